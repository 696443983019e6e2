#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "devices/QV_BaseDevice.h"
#include "devices/QV_EspBlockRouter.h"
#include "devices/QV_EspBlockStream.h"
#include "devices/QV_SerialCommandQueue.h"

// An instrument on a serial port (device type QV_Serial). A reader of its own fills the receive
// buffer with every byte the port delivers; the report decoder reads the Coldfire byte protocol
// from there one byte at a time and writes its acknowledgements through DeviceWrite. The peer is
// recognised from the first bytes after the open. A network-module instrument sends transmit
// blocks instead: the line's thread then cuts them, checks them, asks the instrument to resend
// from the last good buffer address when the stream breaks, and writes the queued commands one at
// a time. A vanished port (an unplugged adapter) is reopened every 500 ms until the data flow again.
// An instrument that falls silent after a reset command is restarting: it is given 1500 ms and
// logged on afresh instead of being asked to resend.
class TQV_SerialDevice : public TQV_BaseDevice, private TQV_EspBlockStream::TSink {
 public:
  static constexpr uint32_t DefaultBaud = 115200;
  // Bytes looked at to tell the peers apart: one transmit block header.
  static constexpr uint32_t PeerCheckSize = 16;
  static constexpr uint32_t ReOpenPauseMs = 500;
  static constexpr uint32_t NoDataLimitMs = 1000;
  // A network-module instrument sends timestamps ten times a second: this much silence is a break.
  static constexpr uint32_t ESPSilenceMs = 600;
  // A network-module instrument that was reset needs this long before it takes a log-on again.
  static constexpr uint32_t ResetRestartMs = 1500;
  // Steps of 10 ms that the close waits for the stop command to leave the queue.
  static constexpr uint32_t StopWaitSteps = 50;

  TQV_SerialDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                   uint32_t aBaudRate = DefaultBaud, const std::string& aDevicePath = {},
                   const TClock& clock = SystemClock());
  ~TQV_SerialDevice() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  std::string DeviceRead(uint8_t len) override;
  std::string DeviceReadAvailable(uint32_t maxLen) override;
  bool DeviceWrite(const std::string& Data) override;
  bool CheckDeviceClosed() override;
  void SetBlockingIO(bool Value) override;
  void SetReceivedSec(uint32_t Value) override;
  void QuitError() override;
  std::string ToString() const override;

  uint32_t Baud() const { return FBaud; }
  // The port path as the user gave it.
  const std::string& DisplayName() const { return FDevicePath; }
  bool RecoverNeeded() const { return FRecoverNeeded; }
  void SetDbgTag(const std::string& Value) { FDbgTag = Value; }

 private:
  class TLine;

  // Opens and configures the port and starts its reader; false with the reason in ErrorMsg. The
  // device error is left to the caller: a failed reopen keeps the interruption as the error.
  bool OpenLine(std::string& ErrorMsg);
  void CloseLine();
  // Called by the reader thread.
  void TakeReceived(TLine& line, const std::string& bytes);
  void WriteReceived(std::string_view bytes);
  void LineGone(const std::string& reason);
  // Raises the interruption error once per interruption (true when it did so now): the decoder
  // quits each error it takes, and every read or write while the line is down would raise it again.
  bool ReportInterruption();
  // Decides the peer from the first bytes; true once it is known.
  bool CheckPeer();
  bool PeerKnown();
  // Bytes read: the first ones after a reopen end the interruption.
  std::string Delivered(std::string bytes);
  void TryReOpen();
  // After a reset command the silent line pauses; once the instrument is up again (the report
  // thread times the pause) the line thread logs it on afresh.
  void ReportReset();
  void RestartAfterReset(TLine& line);
  // The no-data check counts from now: after the open, a reopen, or a restart of the second counter.
  void ArmNoDataCheck();
  bool CheckNoData();

  // ---- Network-module peer; the line thread runs these ----
  void TakeESPPeer();
  // One turn of the line thread: pending bytes, the next command, the silence check.
  void ESPTurn(TLine& line);
  void ESPRead(TLine& line, std::string_view bytes);
  void Block(std::string_view bytes) override;
  void Skipped(std::string_view bytes, bool broken) override;
  // The stream broke: the instrument is asked to resend from the last good block.
  void StartResumption();
  void WriteResumption(TLine& line);
  void EndInterruption();
  bool WriteOnLine(TLine& line, const std::string& bytes);
  // Close: the instrument stops sending to this line before the port goes.
  void SendStopCmd();
  void WaitCommandsSent(const std::string& what);

  std::unique_ptr<TLine> FLine;  // the port with its reader thread; none while closed
  std::mutex FLineLock;          // guards FLine against a close during a write
  std::atomic<bool> FCloseRequested = false;
  TSteadyTime FPortOpenedTime{};
  uint32_t FBaud;
  std::atomic<bool> FSuppressErrorDisconnected = false;  // the interruption has been reported
  bool FSuppressErrorOpen = false;
  bool FSuppressErrorReOpen = false;
  std::string FDbgTag = "TQV_SerialDevice";
  std::atomic<bool> FRecoverNeeded = false;
  TSteadyTime FSleepStart{};
  uint32_t FSleepMs = 0;
  // The lost port is open again; the first bytes end the interruption. A new loss clears it.
  std::atomic<bool> FReOpened = false;
  bool FNoDataCheckDone = false;
  uint32_t FReceivedSecAtOpen = 0;

  // Network-module peer. The report thread hands the bytes it looked at to the line thread.
  std::atomic<bool> FEspPeer = false;
  std::mutex FEspLock;
  std::string FEspPending;
  std::atomic<bool> FFirstCommand = false;
  TQV_EspBlockStream FEspStream;
  TQV_EspBlockRouter FEspRouter;
  TQV_SerialCommandQueue FCommands;
  // Line thread (and the report thread while no line runs).
  bool FFirstBlockSeen = false;
  std::atomic<bool> FResuming = false;
  std::atomic<bool> FResumptionDue = false;
  // Set by the line thread when the instrument fell silent after a reset command: the line takes
  // nothing until the restart. The port stays open, the instrument's side of the cable with it.
  std::atomic<bool> FLineEndedAfterReset = false;
  // The reset has been reported and the line waits for its restart; the first good block clears it.
  std::atomic<bool> FRecoverAfterReset = false;
  // The pause after the reset is over: the line thread restarts the line on its next turn.
  std::atomic<bool> FRestartDue = false;
  TSteadyTime FLastDataTime{};
};
