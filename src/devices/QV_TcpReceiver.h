#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/ArchiveStamp.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

// Time limits of the receiver; tests shorten them.
struct TTcpReceiverTimings {
  uint32_t RequestLimitMs = 10000;  // connecting and the answer line of a management request
  uint32_t NoDataLimitMs = 10000;   // silence after which the stream is probed
  uint32_t CloseWaitStepMs = 10;    // 20 steps for the server to close the data connection
  uint32_t RingPauseMs = 100;       // archive: pause while the owner's ring is nearly full
};

// Each line (live) or chunk of archive bytes; an empty text when the data connection failed or the
// server closed it (ErrorCode and ErrorMessage tell why). Called on the data server's thread.
using TQV_TcpReceived = std::function<void(const std::string& Data)>;
// Free bytes of the owner's receive ring, which paces an archive replay.
using TRingFreeSpace = std::function<uint32_t()>;

// The subscriber end of the local data server protocol. Every management request (CONNECT,
// ARCHIVE, GETDATA, TRYBABY, DISCONN, APPDATA) goes over a connection of its own to the server's
// address and port; the server connects back to the receiver's own data server, which accepts only
// the server's host, and streams report lines or archive records. The owner calls
// CheckDataTransferInterrupted periodically: it starts the hour-by-hour GETDATA requests of a
// replay, probes a silent stream with TRYBABY and reports the end of a replay.
class TQV_TcpReceiver {
 public:
  static constexpr uint32_t ArchiveChunkSize = 10240;
  static constexpr size_t MaxLineLength = 65536;

  TQV_TcpReceiver(int32_t aLogId, const std::string& aIP, uint16_t aPort, TQV_TcpReceived callback,
                  const TTcpReceiverTimings& timings = {}, const TClock& clock = SystemClock());
  ~TQV_TcpReceiver();
  TQV_TcpReceiver(const TQV_TcpReceiver&) = delete;
  TQV_TcpReceiver& operator=(const TQV_TcpReceiver&) = delete;

  bool OpenPort(const std::string& aReportMode, bool withTimeStamp, const std::string& FormatStr);
  // Replays the archive from startTime to endTime (none: open end, up to the last stored hour).
  bool OpenArchive(TArchiveTime startTime, std::optional<TArchiveTime> endTime, TRingFreeSpace freeSpace);
  bool ClosePort();
  // True when the transfer is over or broken; the owner then closes.
  bool CheckDataTransferInterrupted();
  bool IsReceiveTimeExceeded() const;
  // Sends "APPDATA"; TcpData receives the server's answer or the error text.
  TQV_Result SendAppData(std::string& TcpData);
  void QuitError();
  std::string ToString() const;

  bool Connected() const { return FConnected; }
  bool PortIsOpened() const { return FPortIsOpened; }
  uint16_t DataPort() const { return FDataPort; }
  void SetDataPort(uint16_t Value);
  std::string DataServerIPAndPort() const;
  TQV_Result ErrorCode() const;
  std::string ErrorMessage() const;
  bool LowLevelLog() const { return FLowLevelLog; }
  void SetLowLevelLog(bool Value) { FLowLevelLog = Value; }

 private:
  enum TRequestState { reqCleared, reqRunning, reqFinished };
  struct TRequestResults {
    std::string ErrorMessage;
    TQV_Result ErrorCode = QV_No_Err;
    bool Result = false;
    std::atomic<int> State = reqCleared;
  };
  enum class TExchange { Answered, ConnectFailed, Closed };
  struct TRequestTexts {
    const char* Tag;           // "TcpReceiver.StartData" ...
    std::string TimedOut;      // empty answer
    std::string ServerClosed;  // the server closed the management connection
  };

  bool Open();
  // One request on a connection of its own: the answer line or the failure in code and message.
  TQV_Result Request(const std::function<std::string()>& build, const TRequestTexts& texts, std::string& request,
                     std::string& answer, std::string& message);
  TExchange Exchange(const std::function<std::string()>& build, std::string& request, std::string& answer,
                     std::string& reason);
  std::string SocketText(int error) const;
  std::string ConnectRequest() const;
  std::string StampString() const;
  bool StartData();
  bool StopData();
  void TestDataConnected();
  void GetArchiveData();
  bool RecoverFromTCPError();
  void StartRequestThread(std::thread& thread, TRequestResults& results, void (TQV_TcpReceiver::*request)());
  static void JoinThread(std::thread& thread);
  void SetError(TQV_Result code, const std::string& message);

  // Data server (its own thread, started and joined by the owner's calls).
  bool StartServer();
  bool StopServer();
  void ServerLoop();
  void AcceptConnection();
  bool CheckPeer(int fd) const;
  void ReadDataConnection();
  void ServerExecuteLine(const std::string& line);
  // Archive bytes wanted next from the socket, 0 while the owner's ring has no room.
  size_t ArchiveWanted() const;
  void ServerExecuteArchive(std::string_view bytes);
  void DataConnectionEnded(const std::string& reason);
  void Deliver(const std::string& data);
  void Touch();

  int32_t FLogId;
  std::string FServerIP;
  uint16_t FServerPort;
  TQV_TcpReceived FOnReceived;
  TTcpReceiverTimings FTimings;
  const TClock& FClock;

  mutable std::mutex FLock;  // guards the error, the learnt address and the stamp
  std::string FErrorMessage;
  TQV_Result FErrorCode = QV_No_Err;
  std::string FDataServerIP;
  std::string FStampString;

  uint32_t FNoAnswerCounter = 0;
  std::atomic<bool> FLowLevelLog = false;
  std::atomic<bool> FPortIsOpened = false;
  std::atomic<bool> FClosePortRequested = false;
  std::atomic<bool> FConnected = false;
  std::string FReportMode;
  bool FwithTimeStamp = false;
  std::string FFormatStr;
  bool FIsArchive = false;
  std::atomic<bool> FArchiveEndReached = false;  // a record beyond the end arrived
  bool FAllHoursRequested = false;
  TArchiveTime FArchiveStart{};
  std::optional<TArchiveTime> FArchiveEnd;
  std::atomic<bool> FGetRequestNeeded = false;
  TRingFreeSpace FFreeSpace;
  std::thread FTryThread;
  TRequestResults FTryResults;
  std::thread FGetThread;
  TRequestResults FGetResults;
  std::atomic<int64_t> FLastReceivedMs = -1;  // steady ms; -1 = not watching

  std::atomic<uint16_t> FDataPort = 0;
  bool FSystemDataPort = false;
  int FListenFd = -1;
  int FWakePipe[2] = {-1, -1};
  std::atomic<int> FDataFd = -1;
  std::thread FServerThread;
  std::atomic<bool> FStopServer = false;
  std::atomic<bool> FAuthentificationNeeded = true;
  // Data server thread only.
  std::string FLineBuffer;
  std::string FRecordHead;
  uint32_t FRecordRemaining = 0;
  bool FRecordDropped = false;
};
