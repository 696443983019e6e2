#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>

#include "EmulatorFrames.h"
#include "EmulatorTrace.h"
#include "IInstrumentControl.h"
#include "InstrumentRing.h"
#include "RawTty.h"

// A network-module instrument on its USB CDC line (one end of a pty pair), shared by up to four
// users. A user logs on with the length-framed 0xBE [u] and gets a cleared-buffer status, the
// version and its stream; a fifth gets the "too many users" status. Commands go to the user the
// host last switched to (0x85 0x28..0x2B); 0x85 0x60 logs that user off. Every block the line sends,
// for whichever user, takes the next address of the line's transmit buffer, so that the host can
// ask for a resumption (0x04 0x73 + address) after a broken line. Owns its thread.
class TCdcLine {
 public:
  struct TSetup {
    std::string Path;
    uint32_t SerialNumber = 0;
    // The line falls silent after this long (until a resumption or a log-on); zero = never.
    std::chrono::milliseconds DropAfter{0};
    // A resumption continues with new data: what was not sent is lost.
    bool LoseOnReconnect = false;
  };

  TCdcLine(const TInstrumentRing& ring, IInstrumentControl& control, TEmulatorTrace& trace, const TSetup& setup);
  ~TCdcLine();
  TCdcLine(const TCdcLine&) = delete;
  TCdcLine& operator=(const TCdcLine&) = delete;

  std::string Open();
  void Stop();

  static constexpr int MaxUsers = 4;
  static constexpr uint32_t AddressMask = 0x3FFFF;  // the 18-bit buffer pointer of word Y

 private:
  struct TUser {
    bool On = false;
    uint64_t ReadIndex = 0;
    std::deque<TEmulatedReport> Direct;
  };
  struct TSent {
    uint32_t Address;
    std::string Bytes;
  };

  void Run();
  void Input();
  void Command(const std::string& command);
  void LogOn(const std::string& command);
  void Resume(uint32_t address);
  void Produce();
  void Append(const TEmulatedReport& report, int user);
  void Send();
  void Write(std::string_view bytes);

  const TInstrumentRing& FRing;
  IInstrumentControl& FControl;
  TEmulatorTrace& FTrace;
  TSetup FSetup;
  TRawTty FTty;
  std::atomic<bool> FStop{false};
  std::thread FThread;

  // Line thread only.
  std::string FInput;
  std::array<TUser, MaxUsers> FUsers;
  int FCurrent = 0;  // user index the commands go to
  std::deque<TSent> FHistory;  // the transmit buffer: sent and unsent blocks
  size_t FSendPos = 0;         // first block of FHistory not yet sent
  uint32_t FNextAddress = 0;
  bool FInterrupted = false;
  std::chrono::steady_clock::time_point FStreamStart;
};
