#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "devices/QV_CommonTypes.h"
#include "devices/QV_EspBlockStream.h"
#include "devices/QV_TtyLine.h"

class TQV_UsbDevice;

// One physical CDC line (/dev/ttyACM*) and the thread that reads and writes it. Up to four users
// (devices of this or other sources) share the line: the thread routes each received block to the
// device of its user and sends the commands of all users from one queue, switching the
// instrument to the target's user before a command of another user. The first device creates the
// line; the line ends with its last user (the destructor stops and joins the thread), or by itself
// on a time-out or a failed read or write, which its users find through Terminated.
class TQV_UsbThread : private TQV_EspBlockStream::TSink {
 public:
  static constexpr int MaxUsers = 4;
  // Largest CDC window (the biggest transmit ring of a Coldfire instrument) and the chunk a
  // network-module line is read in.
  static constexpr uint32_t MaxCDCBlockSize = 0x80000;
  static constexpr uint32_t CDCHeaderSize = 32;
  static constexpr size_t ESPChunkSize = 1024;
  // Network-module buffer addresses are the 18-bit pointer of word Y; the next address wraps there.
  static constexpr uint32_t ESPAddressMask = 0x3FFFF;
  // System errors the line ends with.
  static constexpr uint32_t ErrTimeout = 1460;
  static constexpr uint32_t ErrWriteTimeout = 121;
  static constexpr uint32_t ErrBadFormat = 11;

  // The line that serves the device's path: a running one is joined when the device may share it;
  // else a new one is opened with the device as its owner. Nothing, with the result and the reason,
  // when the line is in use or cannot be opened.
  static std::shared_ptr<TQV_UsbThread> GetThread(TQV_UsbDevice& device, TQV_Result& code, std::string& error);

  ~TQV_UsbThread();
  TQV_UsbThread(const TQV_UsbThread&) = delete;
  TQV_UsbThread& operator=(const TQV_UsbThread&) = delete;

  // The device receives nothing more once this returns.
  void RemoveDevice(TQV_UsbDevice& device);
  // Queues a command of the device (the line frames it).
  void AddCommand(const std::string& cmd, TQV_UsbDevice& target);
  int32_t PendingCount(const TQV_UsbDevice& device) const;
  void DeleteCommands(const TQV_UsbDevice& device);
  // The command delay of the line, shared by all its users.
  int32_t GetDelayNextCmdMs();
  void SetDelayNextCmdMs(int32_t ms);
  bool Terminated() const { return FTerminated; }
  uint32_t SystemError() const { return FSystemError; }
  bool IsOwner(const TQV_UsbDevice& device) const;
  const std::string& Path() const { return FPath; }
  // The buffer address after the last network-module block, and whether one is known.
  uint32_t RepeatAddr() const { return FRepeatAddr; }
  bool RepeatAddrKnown() const { return FRepeatAddrKnown; }

 private:
  struct TCommand {
    std::string Framed;             // length byte + command
    TQV_UsbDevice* Target;          // nullptr: disconnect request for DisconnectUser
    uint8_t DisconnectUser = 0;
  };
  struct TCDCHeader {
    uint32_t Size, ByteCount, Offset, Flags, WritePtr, ReadPtr;
  };

  TQV_UsbThread(TQV_UsbDevice& owner, bool esp);
  bool Open(std::string& reason, bool& inUse);
  void Start();
  void Run();
  void Terminate(uint32_t systemError, const std::string& text);

  // ---- Writing (line thread, under FLock) ----
  void SendNextCommand();
  bool SwitchUser(uint8_t user);
  bool WriteFramed(const std::string& framed, TQV_UsbDevice* target);
  void AfterWrite(const std::string& cmd, TQV_UsbDevice* target);
  void SendDisconnect(uint8_t user);

  // ---- Reading (line thread) ----
  // A read time-out: the line ends after too many in a row, or at once when one was expected.
  void OnTimeout(const char* reader);
  // A resumption that the instrument has not continued within the limit gives up: data lost.
  void CheckResumption();
  // True (the line ended) when a log-on has waited beyond its limit.
  bool CheckLoginExpired();
  bool ReadMore(const char* reader);
  void ReadESP();
  // A block whose value count is beyond the largest block: dropped and reported.
  void ReportBadESPBlock(uint8_t count);
  void TakeESPBlock(std::string_view block);
  void Block(std::string_view block) override;
  void Skipped(std::string_view bytes, bool broken) override;
  // The device of the block's user; a new device takes the empty slot once its log-on is through.
  TQV_UsbDevice* ESPTarget(uint8_t user, uint8_t type, uint32_t w);
  // False when the block is to be dropped while a resumption runs.
  bool CheckESPAddress(uint32_t address, uint32_t words, uint8_t user);
  void AdvanceRepeatAddr(uint32_t address, uint32_t words);
  void ReadCDCBlock();
  void TakeCDCBlock(const TCDCHeader& h, std::string_view data);
  TQV_UsbDevice* NewDeviceFor(uint8_t user) const;
  TQV_UsbDevice* FirstNotRefused() const;
  void Deliver(TQV_UsbDevice& target, std::string_view bytes);
  void QueueMissingDisconnects();

  const std::string FPath;
  const bool FESP;
  const int32_t FLogId;
  const uint32_t FReadTimeoutMs;
  const uint32_t FTimeoutLimit;
  const uint32_t FRepeatLimitMs;
  const uint32_t FLoginLimitMs;
  TQV_TtyLine FLine;

  mutable std::mutex FLock;  // devices, slots, queue, owner, delay
  TQV_UsbDevice* FOwner;
  std::vector<TQV_UsbDevice*> FDevices;
  std::array<TQV_UsbDevice*, MaxUsers> FSlots{};
  std::vector<TQV_UsbDevice*> FNewDevices;
  std::deque<TCommand> FCommands;
  TQV_UsbDevice* FLastUser = nullptr;
  TQV_UsbDevice* FToolsReceiver = nullptr;
  std::set<uint8_t> FMissingDisconnects;
  std::set<uint8_t> FClosedUsers;

  std::atomic<bool> FStop = false;
  std::atomic<bool> FTerminated = false;
  std::atomic<uint32_t> FSystemError = 0;
  std::thread FThread;

  // Line thread only, except the atomics.
  uint32_t FTimeoutCount = 0;
  bool FTimeoutExpected = false;
  bool FPendingBadFormat = false;
  bool FFirstReceive = true;
  std::string FRemaining;
  TQV_EspBlockStream FEspStream;
  std::atomic<uint32_t> FRepeatAddr = 0;
  std::atomic<bool> FRepeatAddrKnown = false;
  // After a recovery: the resumption is running since FRepeatRequestMs (steady ms).
  std::atomic<bool> FReconnecting = false;
  int64_t FRepeatRequestMs = 0;
  int64_t FLoginTicksMs = 0;  // 0: no log-on waiting
};
