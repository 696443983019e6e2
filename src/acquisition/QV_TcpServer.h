#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/IQV_ArchiveStore.h"
#include "acquisition/IQV_SourceDataServer.h"
#include "acquisition/QV_TcpDataClient.h"
#include "acquisition/QV_TcpSocket.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

struct TTcpRequest;

// Where the server listens, whom it serves and the limits that keep hostile or slow peers from
// hurting it. Taken at the next start.
struct TTcpServerOptions {
  std::string ListenAddress = "0.0.0.0";    // all IPv4 interfaces; "127.0.0.1" for this machine only
  std::vector<std::string> AllowedClients;  // IPv4 addresses that may connect; empty: everyone
  uint32_t MaxConnections = 16;             // management connections at the same time
  uint32_t MaxClients = 64;                 // subscribers at the same time
  uint32_t IdleLimitMs = 300000;            // a management connection silent this long is closed
  size_t MaxRequestBytes = 4096;            // longest request line
  size_t QueueLimitBytes = 4 << 20;         // what one subscriber may lag behind
  uint32_t GatherMs = 10;                   // lines collect this long between two writes
  uint32_t ConnectLimitMs = 5000;           // connecting back to a subscriber
  uint32_t SendLimitMs = 500;               // one write on a data connection
  uint32_t ArchiveWaitMs = 10000;           // room in the queue for an archive hour
};

// The answer to an APPDATA text: true when it is handled; false lets the default handling run too.
using TQV_OnAppData = std::function<bool(const std::string& command, std::string& response)>;

// The local TCP data server of one source. Subscribers ask on the management port (one thread per
// connection) to be connected back on a data connection of their own; the source feeds report lines,
// log lines, kept lines and archive items from the report thread, and every subscriber's writer
// delivers them from its own bounded queue. The client list, the kept lines and the received-mode
// state are guarded by one lock; nothing under it waits for the network.
class TQV_TcpServer : public IQV_SourceDataServer {
 public:
  explicit TQV_TcpServer(int32_t logId, const TClock& clock = SystemClock(), TArchiveStoreFactory storeFactory = {});
  ~TQV_TcpServer() override;
  TQV_TcpServer(const TQV_TcpServer&) = delete;
  TQV_TcpServer& operator=(const TQV_TcpServer&) = delete;

  void SetOptions(const TTcpServerOptions& options);
  // aPort 0: a port of the system's choice; Port() then tells which.
  bool StartServer(uint16_t aPort);
  // True when stopped or not running.
  bool StopServer();
  bool IsRunning() const;
  uint16_t Port() const { return FPort.load(); }
  std::string ListenAddress() const;
  std::string ErrorMessage() const;
  TQV_Result ErrorCode() const;
  void SetLowLevelLog(bool value) { FLowLevelLog = value; }

  // ---- Fed by the source (report thread) ----
  void TakeDllData(const std::string& data) override;
  void TakeLogData(const std::string& data, int32_t logType);
  void SaveLogData(const std::string& data, int32_t logType, int32_t code, int32_t subCode);
  void ClearLogData(int32_t logType, int32_t code, int32_t subCode);
  void ArchiveData(const std::string& data) override;
  std::string GetAppData() override;

  // ---- Application data and archive ----
  // None restores the default handling (a list of at most 101 texts).
  void SetOnAppData(TQV_OnAppData handler);
  void SetStorageEnabled(bool value);
  // "" or the reason why the root cannot change now.
  std::string SetStorageRoot(const std::string& value);
  std::string StorageRootPath() const;

  // ---- Diagnostics, per subscriber in list order ----
  int32_t GetClientCount() const;
  std::string GetClientsRemainingDataCount() const;
  std::string GetClientsSendCount() const;
  std::string GetClientString() const;
  std::string GetClientsTimeString() const;
  // Bytes waiting in all subscribers' queues.
  size_t QueuedBytes() const;

  // One management request line of the host `peer` → the response line (without CR LF).
  std::string DoRequest(const std::string& line, const std::string& peer);

 private:
  using TClientPtr = std::shared_ptr<TTcpDataClient>;
  struct TSaveLogItem {
    TSaveLogKey Key;
    std::string Data;
  };
  struct TConnection {
    TSocketFd Socket;
    std::thread Thread;
    std::atomic<bool> Done = false;
  };

  bool Listen(uint16_t aPort, std::string& reason);
  void OpenStore();
  bool StopLocked();
  // Stops every subscriber, from the last to the first; false when one did not stop cleanly.
  bool StopClients();
  void ListenLoop();
  void Accept();
  void ReapConnections(bool all);
  void ServeConnection(TConnection& connection, const std::string& peer);
  // Answers every complete request in `buffer`; false when the connection is to close.
  bool ServeLines(int fd, std::string& buffer, const std::string& peer);
  bool ClientAllowed(const std::string& address) const;

  std::string DoConnect(const TTcpRequest& request);
  std::string DoDisconnect(const TTcpRequest& request);
  std::string DoTry(const TTcpRequest& request);
  std::string DoAppData(const TTcpRequest& request);
  std::string DoArchive(const TTcpRequest& request);
  std::string DoGet(const TTcpRequest& request);
  std::string StartData(const TTcpSubscription& subscription);
  // The archive stamp of the request, or in `response` why not.
  std::optional<TDateTime> ArchiveStamp(const TTcpRequest& request, const char* who, std::string& response);
  std::shared_ptr<IQV_ArchiveStore> Store() const;
  bool SendArchive(TTcpDataClient& client, const IQV_ArchiveStore& store, TDateTime stamp, std::string& failure);
  bool DefaultAppData(const std::string& text, std::string& response);

  // Under FLock.
  void CheckSavedDataLocked();
  bool SendLocked(TTcpDataClient& client, const std::string& content);
  std::vector<TClientPtr> TakeFailedLocked();
  void DropClients(std::vector<TClientPtr> failed, const char* who);
  void SetError(TQV_Result code, const std::string& message);

  const int32_t FLogId;
  const TClock& FClock;
  const TArchiveStoreFactory FStoreFactory;
  std::atomic<bool> FLowLevelLog = false;

  mutable std::mutex FErrorLock;
  std::string FErrorMessage;
  TQV_Result FErrorCode = QV_No_Err;

  // Listener: started and stopped by the owner's thread (the window thread).
  mutable std::mutex FRunLock;
  TTcpServerOptions FOptions;
  TTcpServerOptions FActive;  // the options of the running listener, read by its threads
  TSocketFd FListen;
  int FWakePipe[2] = {-1, -1};
  std::thread FListener;
  std::atomic<bool> FStop = false;
  std::atomic<bool> FRunning = false;
  std::atomic<uint16_t> FPort = 0;
  std::list<TConnection> FConnections;  // listener thread only, until the stop joins them

  mutable std::mutex FLock;  // subscribers, kept lines, received modes
  std::vector<TClientPtr> FClientList;
  std::vector<TSaveLogItem> FSavedLogs;
  std::string F7901, F7902;
  uint8_t FReceivedModeZCT = 0;
  uint8_t FReceivedLogs = 0;

  mutable std::mutex FAppLock;
  std::deque<std::string> FAppDataList;
  TQV_OnAppData FOnAppData;

  mutable std::mutex FStoreLock;
  std::shared_ptr<IQV_ArchiveStore> FStore;
  bool FStorageEnabled = false;
  std::string FStorageRoot;
};
