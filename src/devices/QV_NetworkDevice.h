#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "devices/NetworkReachability.h"
#include "devices/QV_EspBlockRouter.h"
#include "devices/QV_EspBlockStream.h"
#include "devices/QV_BaseDevice.h"

// Time limits of the network device; tests shorten them.
struct TNetworkTimings {
  uint32_t RequestLimitMs = 10000;  // first byte of a management answer
  uint32_t SilenceMs = 100;         // silence that ends an answer
  uint32_t DataWaitSteps = 20;      // waits for the instrument's data connection
  uint32_t DataWaitStepMs = 50;
  uint32_t NoDataLimitMs = 10000;
  uint32_t RepeatPauseMs = 30;      // before a busy command is repeated
  uint32_t LogOnPauseMs = 100;      // before a log-on is repeated
  uint32_t PingLimitMs = 1500;
  uint64_t DailyReconnectMs = 86400000;  // open time after which the device reconnects itself
  uint32_t ResetWaitMs = 3000;           // a reset network module restarts before it is reopened
  uint32_t ResetWaitColdfireMs = 1000;
};

// An instrument on the LAN (device type QV_Remote), reached by a reverse connection: the device
// runs a data server of its own, asks the instrument on its management port to connect back
// ("CONNECT"), and receives all measurement data on the connection the instrument opened. Commands
// and the log-off are short requests on the management port answered by one text line.
class TQV_NetworkDevice : public TQV_BaseDevice, private TQV_EspBlockStream::TSink {
 public:
  static constexpr uint16_t DefaultManagementPort = 1024;
  // Largest CDC window: the biggest transmit ring of a Coldfire instrument.
  static constexpr uint32_t MaxCDCBlockSize = 0x80000;
  static constexpr uint32_t CDCHeaderSize = 32;
  static constexpr uint32_t MaxCommandSize = 255;

  TQV_NetworkDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                    const std::string& deviceIP, const std::string& host = {},
                    uint16_t managementPort = DefaultManagementPort, uint16_t serverPort = 0,
                    const TNetworkTimings& timings = {}, const TClock& clock = SystemClock(),
                    TNetworkReachability reachability = TNetworkReachability());
  ~TQV_NetworkDevice() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  // Stops the server and drops the connections without a log-off.
  void ForceClose();
  bool DeviceWrite(const std::string& Data) override;
  bool CheckDeviceClosed() override;
  std::string DeviceRead(uint8_t len) override;
  std::string DeviceReadAvailable(uint32_t maxLen) override;
  std::string DeviceHost() const override { return FDeviceHost; }
  std::string DeviceIP() const override { return FDeviceIP; }
  std::string ToString() const override;

  uint16_t ServerPort() const { return FServerPort; }
  void SetServerPort(uint16_t Value);
  std::string ServerIPAndPort() const;
  bool ServerIsRunning() const { return FServerThread.joinable(); }
  const std::string& DeviceIPAndPort() const { return FDeviceIPAndPort; }
  uint16_t DeviceManagementPort() const { return FDeviceManagementPort; }
  bool DataConnected() const { return FDataFd.load() >= 0; }
  bool IsReconnected() const { return FisReconnected; }

  enum TRequestKind { rkLogOn, rkLogOff, rkTry };
  // The management request bytes; text is the printable form for the log.
  std::string BuildRequest(TRequestKind kind) const;
  std::string BuildRequest(TRequestKind kind, uint8_t user, uint16_t port) const;
  std::string BuildCommandRequest(const std::string& command) const;
  // Takes bytes of the data connection (the server's reader calls it).
  void ServerExecute(const std::string& data);

 private:
  enum class TExchange { Answered, ConnectFailed, Closed };
  // One request on a fresh management connection: waits up to the request limit for the first
  // byte, then reads until the silence limit passes or the instrument closes.
  // build makes the request once the connection is up; request receives it.
  TExchange Exchange(const std::function<std::string()>& build, std::string& request, std::string& answer,
                     std::string& reason);
  TQV_Result StartData();
  TQV_Result StopData();
  TQV_Result SendServerCmd(const std::string& command);
  // Waits out the delay a previous command started.
  void WaitCommandDelay();
  // After a sent command: the delay it needs and, on a network-module peer, the reply it waits for.
  void StartCommandPacing(const std::string& command);
  bool StartServer();
  void StopServer();
  void ServerLoop();
  void AcceptConnection();
  void ReadDataConnection();
  void ServerExecuteCDC(const std::string& data);
  void ServerExecute_ESP(const std::string& data);
  // The transmit blocks of a network-module peer, cut from the data connection's stream.
  void Block(std::string_view block) override;
  void Skipped(std::string_view bytes, bool broken) override;
  // Report 0x7021 with the channel selection a CDC header carries in its flags.
  void InsertChannelSelection(uint32_t flags);
  // A network-module peer's hardware-feature word is read once its stream has shown the peer.
  void ReadHardFeature();
  void TakeCDCBlock(const std::string& header, std::string_view block);
  // After a reopen: true when the block continues the stream, false when it repeats data at hand.
  bool ContinuesAfterReconnect(uint32_t repeatAddr, uint32_t byteCount, uint32_t ringMask, uint32_t flags);
  void RecoverFromTCPError();
  void TestDataConnected();
  void JoinTry();
  void Reconnect();
  void CheckReconnect();
  // The instrument dropped the data connection: log off and close on the owner's thread.
  void DataConnectionDropped();
  void WriteReceived(std::string_view bytes);
  bool WaitDataConnection();
  // Tools context: the instrument is switched to tools mode right after the log-on.
  bool EnterToolsMode();
  bool Reachable();
  static std::string AnswerText(const std::string& answer);
  std::string UserDigit(uint8_t user) const;

  std::string FDeviceHost;
  std::string FDeviceIP;
  std::string FDeviceIPAndPort;
  uint16_t FDeviceManagementPort;
  uint16_t FServerPort = 0;
  bool FSystemServerPort = false;
  std::string FServerIP;
  std::string FServerIP_CFformat = std::string(4, '\0');
  std::mutex FServerIPLock;
  TNetworkTimings FTimings;
  TNetworkReachability FReachability;
  std::string FDbgTag = "TQV_NetworkDevice";
  std::string FPingError;
  bool FPingNeeded = false;
  uint8_t FOldUserId = NoUser;
  std::atomic<bool> FDeviceDisconnectRequested = false;
  bool FDeviceDisconnectNeccessary = false;
  std::string FDeviceDisconnectString;  // missing-disconnect entry to log off first
  std::atomic<bool> FFirstCommand = false;

  // Recovery: the liveness test runs on FTryThread, which the report thread starts and joins.
  enum TTryState { tryCleared = 0, tryRunning = 1, tryFinished = 2 };
  std::atomic<int> FTryState = tryCleared;
  std::thread FTryThread;
  bool FTryResult = false;
  TQV_Result FTryErrorCode = QV_No_Err;
  std::string FTryErrorMessage;
  std::atomic<bool> FDataDuringTry = false;
  uint32_t FNoAnswerCounter = 0;
  uint8_t FErrorFlags = 0;
  std::atomic<bool> FisReconnected = false;
  uint64_t FOpenTicks = 0;

  // Data server: listening socket, data connection and a wake pipe, served by one thread that
  // this device starts and joins.
  int FListenFd = -1;
  std::atomic<int> FDataFd = -1;
  int FWakePipe[2] = {-1, -1};
  std::thread FServerThread;
  std::atomic<bool> FStopServer = false;
  std::atomic<bool> FDataConnectionLost = false;

  // Receiving (server thread only, except the time stamp).
  std::string FremainingData;
  std::string FLastCDCBlockString;
  bool FCDCTitleLogged = false;
  std::atomic<int64_t> FLastReceivedMs = -1;  // tick ms of the device clock; -1 = none yet
  TQV_EspBlockStream FEspStream;
  TQV_EspBlockRouter FEspRouter;
  std::atomic<bool> FHardFeatureReadDue = false;
};
