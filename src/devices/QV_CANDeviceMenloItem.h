#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "devices/CanAdapter.h"
#include "devices/QV_CommonTypes.h"
#include "devices/QV_EspBlockStream.h"

class TQV_CANDeviceItem;

// Time limits of the CAN devices; tests shorten them.
struct TMenloLimits {
  std::chrono::milliseconds Settle{100};       // after connecting and after the log-on
  std::chrono::milliseconds NoData{1000};      // silence that counts as a lost instrument
  std::chrono::milliseconds StartGrace{5000};  // after the log-on, before silence counts
  std::chrono::milliseconds ReadWait{200};     // the reader's wait for the receive event
};

// How the program-wide item comes to be: its adapter, clock and limits.
struct TMenloSetup {
  std::function<std::unique_ptr<TCanAdapter>(int32_t logId)> CreateAdapter;  // none: TCanAdapterChoice
  const TClock* Clock = nullptr;                                              // none: the system clock
  TMenloLimits Limits;
};

// One connected CAN device as the adapter item sees it.
struct TMenloInfo {
  TQV_CANDeviceItem* Device = nullptr;
  int32_t LogId = -1;
  bool Open = false;  // logged on
  TSteadyTime OpenTime{};
  TSteadyTime LastReceived{};
  bool DataReceived = false;
  bool NoDataReported = false;
  bool Reconnected = false;
  bool RefClockError = false;
  bool DropRepeat = false;  // after a recovery: drop a frame that repeats the last one
  bool Interrupted = false;  // "Nothing received" was reported
  std::string LastFrame;
  TQV_EspBlockStream Blocks;  // network-module bytes of a transmit block not yet complete
};

// The program's one adapter channel: created with the first CAN device and freed with the last. It
// owns the adapter, the reader thread and the list of connected devices, and routes each received
// frame to its device by identifier.
class TMenloItem {
 public:
  static constexpr uint32_t IdMask = 0x7000000;

  explicit TMenloItem(std::unique_ptr<TCanAdapter> adapter, const TClock& clock, const TMenloLimits& limits,
                      int32_t logId);
  ~TMenloItem();
  TMenloItem(const TMenloItem&) = delete;
  TMenloItem& operator=(const TMenloItem&) = delete;

  // The program-wide item, created (adapter brought up, reader started) when none lives; none with
  // the reason in `error`.
  static std::shared_ptr<TMenloItem> Acquire(int32_t logId, std::string& error);
  // Empty when the adapter can be used (the live item's, else the one the next item would take),
  // else why not.
  static std::string AdapterCondition();
  // What the next item is made of (tests: a virtual bus, a manual clock, short limits).
  static void SetSetup(TMenloSetup setup);
  static TMenloSetup Setup();

  // Filters and lists the device; its index, or -1 with the reason in `error`.
  int32_t Connect(TQV_CANDeviceItem& device, std::string& error);
  void Disconnect(TQV_CANDeviceItem& device);
  bool Write(const TCanFrame& frame, std::string& error);
  void MarkOpen(TQV_CANDeviceItem& device, bool open);
  // A copy of the device's entry; false when it is not listed.
  bool Info(const TQV_CANDeviceItem& device, TMenloInfo& info) const;
  // Notes the reference-clock error state seen by the device; true when it changed to "error".
  bool RefClockTurnedBad(const TQV_CANDeviceItem& device, bool error);
  void SetInterrupted(const TQV_CANDeviceItem& device);
  bool ThreadFinished() const { return FThreadFinished; }
  std::string ThreadMessage() const;
  const TClock& Clock() const { return FClock; }
  const TMenloLimits& Limits() const { return FLimits; }

 private:
  bool Start(std::string& error);
  void StartThread();
  void StopThread();
  void Execute();
  void ReadFrames();
  void ReportSilence();
  TMenloInfo* Find(const TQV_CANDeviceItem& device);
  const TMenloInfo* Find(const TQV_CANDeviceItem& device) const;
  TMenloInfo* Route(const TCanFrame& frame, bool& heartbeat);
  void Dispatch(const TCanFrame& frame);
  void TakeData(TMenloInfo& info, const std::string& data);
  void CheckPeer(TMenloInfo& info, const std::string& data);
  void DoESPFrame(TMenloInfo& info, const std::string& data);
  void ReadFailed(const std::string& text);

  std::unique_ptr<TCanAdapter> FAdapter;
  const TClock& FClock;
  TMenloLimits FLimits;
  int32_t FLogId;
  mutable std::mutex FLock;  // the device list and the entries
  std::vector<TMenloInfo> FInfos;
  std::atomic<TQV_PeerType> FPeerType = ptUnknown;
  std::thread FThread;
  std::atomic<bool> FStop = false;
  std::atomic<bool> FThreadFinished = false;
  std::string FThreadMessage;  // under FLock
  uint32_t FReadErrors = 0;
};
