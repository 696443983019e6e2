#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "devices/QV_BaseDevice.h"

// An instrument on a serial port (device type QV_Serial). A reader of its own fills the receive
// buffer with every byte the port delivers; the report decoder reads the Coldfire byte protocol
// from there one byte at a time and writes its acknowledgements through DeviceWrite. The peer is
// recognised from the first bytes after the open. A vanished port (an unplugged adapter) is
// reopened every 500 ms until the data flow again.
class TQV_SerialDevice : public TQV_BaseDevice {
 public:
  static constexpr uint32_t DefaultBaud = 115200;
  // Bytes looked at to tell the peers apart: one transmit block header.
  static constexpr uint32_t PeerCheckSize = 16;
  static constexpr uint32_t ReOpenPauseMs = 500;
  static constexpr uint32_t NoDataLimitMs = 1000;

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
  void TakeReceived(const std::string& bytes);
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
  // The no-data check counts from now: after the open, a reopen, or a restart of the second counter.
  void ArmNoDataCheck();
  bool CheckNoData();

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
  // A network-module instrument answered: its transmit blocks are not read over serial yet.
  bool FUnsupportedPeer = false;
};
