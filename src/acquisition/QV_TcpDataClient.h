#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include "core/IQV_ArchiveStore.h"
#include "acquisition/QV_TcpSendQueue.h"
#include "acquisition/QV_TcpSocket.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

// A kept line's key: the client mode it serves (log type + 16), code and sub-code.
using TSaveLogKey = std::tuple<int32_t, int32_t, int32_t>;

// What a subscriber asked for in its CONNECT or ARCHIVE request.
struct TTcpSubscription {
  std::string Address;
  uint16_t Port = 0;
  uint8_t Mode = 7;
  bool WithTimeStamp = false;
  std::string FormatStr;  // date-time pattern of the UTC time stamp
};

// One subscriber of the local data server: the data connection back to the subscriber's own
// server and the writer thread that empties the subscriber's bounded queue onto it. Queueing never
// waits for the network; a subscriber whose queue overflows or whose write fails or stops short is
// marked not connected, and the server drops it.
class TTcpDataClient {
 public:
  // gather: how long the writer lets lines collect between two writes.
  TTcpDataClient(int32_t logId, TTcpSubscription subscription, size_t queueLimitBytes, std::chrono::milliseconds gather,
                 const TClock& clock);
  ~TTcpDataClient();
  TTcpDataClient(const TTcpDataClient&) = delete;
  TTcpDataClient& operator=(const TTcpDataClient&) = delete;

  // Connects back, starts the writer and queues the authentication line. response: "OK", or
  // "ERR Connect to data server failed: " + reason (result QV_Err_ConnectFailed).
  TQV_Result StartData(uint32_t connectLimitMs, uint32_t sendLimitMs, std::string& response);
  // Writes what is queued, then closes the data connection; response "OK".
  TQV_Result StopData(std::string& response);
  // Ends the connection at once, without writing what is queued (a failed or stalled subscriber).
  void Abort();

  // A line (with the time stamp when asked for); false when it was not queued.
  bool SendData(const std::string& content);
  // An archive record in its binary form, waiting up to `wait` for room in the queue.
  bool SendArchiv(const TStoreDataRecord& rec, std::chrono::milliseconds wait);

  bool NotConnected() const { return FNotConnected.load(); }
  uint8_t Mode() const { return FSubscription.Mode; }
  bool Is(const std::string& address, uint16_t port) const { return FSubscription.Address == address && FSubscription.Port == port; }
  bool Is7901Send = false;
  bool Is7902Send = false;
  void AddSavedLog(const TSaveLogKey& key) { FSavedLogs.insert(key); }
  void ClearSavedLog(const TSaveLogKey& key) { FSavedLogs.erase(key); }
  bool HasSavedLog(const TSaveLogKey& key) const { return FSavedLogs.count(key) != 0; }

  uint32_t SendCount() const { return FSendCount.load(); }
  size_t GetRemainingDataCount() const { return FQueue.Count(); }
  size_t QueuedBytes() const { return FQueue.Bytes(); }
  double TimeMikro() const;
  std::string ErrorMessage() const;
  // "TcpDataClient: Peer=" + address + ":" + port + ", Mode=" + mode name.
  std::string ToString() const;

 private:
  void WriterLoop();
  void Fail(const std::string& message);
  void StopWriter();
  static std::string RecordBytes(const TStoreDataRecord& rec);

  const int32_t FLogId;
  const TTcpSubscription FSubscription;
  const TClock& FClock;
  const std::string FPeer;
  TTcpSendQueue FQueue;
  const std::chrono::milliseconds FGather;
  TSocketFd FSocket;
  std::thread FWriter;
  std::atomic<bool> FNotConnected = false;
  std::atomic<uint32_t> FSendCount = 0;
  std::set<TSaveLogKey> FSavedLogs;  // guarded by the server's client lock
  mutable std::mutex FStatsLock;
  std::string FErrorMessage;
  uint64_t FStringCount = 0;
  double FTimeSumMikro = 0;
};
