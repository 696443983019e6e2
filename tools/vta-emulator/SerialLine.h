#pragma once
#include <atomic>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include "EmulatorFrames.h"
#include "EmulatorTrace.h"
#include "IInstrumentControl.h"
#include "InstrumentRing.h"
#include "RawTty.h"

// The instrument on a serial line (one end of a pty pair). A network module waits for the open
// command (length-framed 0xBE), then streams transmit blocks, executes length-framed commands,
// stops on 0x85 0x60 and resends from a buffer address on 0x04 0x73 + address. A Coldfire
// instrument sends serial frames one at a time, each acknowledged by its end byte, echoes every
// command byte and resends a frame on a repeat request. Owns its thread.
class TSerialLine {
 public:
  struct TSetup {
    TEmulatorSettings::TPeer Peer = TEmulatorSettings::TPeer::NetworkModule;
    std::string Path;
    EmulatorFrames::TIdentity Identity;
    // Network module: stop sending until the host asks for a resumption or opens again.
    std::chrono::milliseconds DropAfter{0};
    std::chrono::milliseconds SilentAfter{0};
  };

  TSerialLine(const TInstrumentRing& ring, IInstrumentControl& control, TEmulatorTrace& trace, const TSetup& setup);
  ~TSerialLine();
  TSerialLine(const TSerialLine&) = delete;
  TSerialLine& operator=(const TSerialLine&) = delete;

  // Opens the line and starts the thread; the error text, empty on success.
  std::string Open();
  void Stop();

 private:
  void Run();
  void ModuleInput();
  void ModuleCommand(const std::string& command);
  void ModuleSend();
  void ColdfireInput(uint8_t byte);
  void ColdfireSend();
  void Write(std::string_view bytes);
  bool Since(std::chrono::milliseconds limit) const;

  const TInstrumentRing& FRing;
  IInstrumentControl& FControl;
  TEmulatorTrace& FTrace;
  TSetup FSetup;
  TRawTty FTty;
  std::atomic<bool> FStop{false};
  std::thread FThread;

  // Used by the line thread only.
  std::string FInput;
  std::deque<TEmulatedReport> FDirect;
  uint64_t FReadIndex = 0;
  bool FStreaming = false;
  bool FInterrupted = false;  // network module after DropAfter: waits for resumption or open
  std::chrono::steady_clock::time_point FStreamStart;
  std::string FCommand;                   // Coldfire: command bytes echoed so far
  std::optional<std::string> FPending;    // Coldfire: the frame waiting for its acknowledgement
  uint8_t FEndByte = 0xBD;                // Coldfire: end byte of the last frame sent
};
