#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "devices/QV_BaseDevice.h"
#include "devices/UsbIds.h"

class IHidApi;
class IHidDevice;
class THIDThread;
class TQV_UsbThread;

enum TLoginState : uint8_t { ls_waitBufferCleared = 0, ls_waitVersion = 1, ls_registered = 2 };
std::string LoginStateName(TLoginState state);

// Time limits of the USB device; tests shorten them.
struct TUsbTimings {
  uint32_t RecoverPauseMs = 100;       // between the end of a line and its reopening
  uint32_t ReconnectTimeoutMs = 7000;  // a reopened line that does not continue is recovered again
  uint32_t RepeatLimitMs = 1000;       // a resumption that does not continue gives up
  uint32_t LineTimeoutMs = 3000;       // network-module line: silence that ends the line
  uint32_t ColdfireTimeoutCount = 5;   // Coldfire line: read time-outs in a row that end the line
  uint32_t CloseStepMs = 100;          // waits of the close for the stop and the line's end
  uint32_t HidReadTimeoutMs = 100;     // one HID read
  uint32_t LoginLimitMs = 5000;        // network-module line: a log-on not answered ends the line
};

// An instrument on USB: a HID device of its own (THIDThread reads and writes it), or a user of a
// CDC line (TQV_UsbThread, shared by up to four users on network-module instruments). The device
// logs on when opened, stops its user's stream when closed, and after a broken line reopens it and
// logs on again from the last received position.
class TQV_UsbDevice : public TQV_BaseDevice {
 public:
  // hidApi is needed for HID instruments only and must outlive the device.
  TQV_UsbDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                const TUsbInstrument& instrument, IHidApi* hidApi = nullptr, const TUsbTimings& timings = {},
                const TClock& clock = SystemClock());
  ~TQV_UsbDevice() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  bool DeviceWrite(const std::string& Data) override;
  bool CheckDeviceClosed() override;
  int32_t PendingCmdsCount() const override;
  void DeleteCommands() override;
  int32_t GetDelayNextCmdMs() override;
  void SetDelayNextCmdMs(int32_t ms) override;
  std::string ToString() const override;

  // The longest command one HID output report carries (its length byte and the report id besides).
  uint32_t GetMaxCommandLength() const;
  bool GetIsBootLoader() const { return FIdentity.BootLoader; }
  // "Q+V USB device" + nickname or serial number, for the device list.
  std::string ToUserString() const;
  TLoginState LoginState() const { return FLoginState; }
  bool TooManyUsers() const { return FTooManyUsers; }
  bool MultiUSB() const { return FMultiUSB; }
  const std::string& NickName() const { return FNickName; }
  uint16_t Vid() const { return FVid; }
  uint16_t Pid() const { return FPid; }
  const TUsbTimings& Timings() const { return FTimings; }

  void SetLoginState(TLoginState state);
  void SetTooManyUsers(bool value);
  void SetMultiUSB(bool value);

 private:
  friend class TQV_UsbThread;

  bool IsCDC() const { return FDevType == QV_CDC; }
  bool OpenCDC(std::string& ErrorMsg);
  bool OpenHID(std::string& ErrorMsg);
  // The log-on of a fresh open (not a recovery).
  std::string LogOnCommand() const;
  // The log-on that restarts this user's stream: its known user again.
  std::string RestartLogOnCommand() const;
  // The log-on after a recovery: the resumption from the last position where one is known.
  std::string RecoverLogOnCommand(bool lineOwner) const;
  bool WriteLogOn(const std::string& cmd, std::string& ErrorMsg);
  bool CheckLineEnded();
  bool CheckHIDEnded();
  void RecoverFromUSBError();
  void SendStopCmd();
  void LeaveLine();

  // ---- Called by the line thread (under its lock) ----
  // Appends received data to the receive buffer (a full buffer is cleared first).
  void TakeReceived(std::string_view bytes);
  // The reconnect did not continue the stream: the data in between are lost.
  void ReconnectFailed();

  TUsbIdentity FIdentity;
  IHidApi* FHidApi;
  TUsbTimings FTimings;
  std::string FNickName, FSerialNumber, FProductString, FManufacturerString;
  uint16_t FPid, FVid;
  std::atomic<TLoginState> FLoginState = ls_waitBufferCleared;
  std::atomic<bool> FBufferOverflow = false;
  std::atomic<bool> FTooManyUsers = false;
  std::atomic<bool> FMultiUSB = false;
  std::atomic<bool> FStopSent = false;
  std::atomic<bool> FFirstCommand = false;
  // A buffer-clearing command went out: this user's data are dropped until the instrument reports
  // the cleared buffer.
  std::atomic<bool> FIgnoreData = false;
  std::atomic<bool> FDataReceived = false;  // since the last interruption
  std::atomic<bool> FisReconnected = false;
  std::shared_ptr<TQV_UsbThread> FUsbThread;
  std::unique_ptr<IHidDevice> FHid;
  std::unique_ptr<THIDThread> FHIDThread;
  bool FRecoverNeeded = false;
  bool FCloseRequested = false;
  TSteadyTime FInterruptedTime{};
  TSteadyTime FReconnectedTime{};
};
