#pragma once
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "EmulatorFrames.h"
#include "EmulatorTrace.h"
#include "InstrumentRing.h"

// One user's data connection: the instrument connects back to the host's data server and streams
// the transmit ring from the user's position, as transmit blocks (network module) or as CDC blocks
// (Coldfire network interface). Owns its thread; Stop or the destructor closes and joins it.
class TNetworkStream {
 public:
  struct TSetup {
    TEmulatorSettings::TPeer Peer = TEmulatorSettings::TPeer::NetworkModule;
    EmulatorFrames::TIdentity Identity;
    uint32_t HostAddress = 0;
    uint16_t HostPort = 0;
    std::string ConnectFrom;  // local address of the connection; empty = the system's choice
    std::chrono::milliseconds DropAfter{0};
    std::chrono::milliseconds SilentAfter{0};
    uint64_t StartIndex = 0;
    bool BufferCleared = true;  // the first block tells the host that the buffer starts afresh
  };

  TNetworkStream(const TInstrumentRing& ring, TEmulatorTrace& trace, const TSetup& setup);
  ~TNetworkStream();
  TNetworkStream(const TNetworkStream&) = delete;
  TNetworkStream& operator=(const TNetworkStream&) = delete;

  void Stop();
  // A report for this user alone (tools replies, buffer cleared), sent before the ring's next ones.
  void Push(const TEmulatedReport& report);
  // The instrument cleared this user's transmit buffer: what was not sent yet is gone.
  void ClearBuffer();
  // Connected and streaming (also while silent); false once the connection ended.
  bool Running() const { return FRunning; }
  uint64_t ReadIndex() const;

 private:
  void Run();
  // The bytes of everything due now; empty when nothing is.
  std::string NextBytes();
  std::string ModuleBytes(std::deque<TEmulatedReport>& direct);
  std::string CdcBytes(std::deque<TEmulatedReport>& direct);
  std::string Who() const;

  const TInstrumentRing& FRing;
  TEmulatorTrace& FTrace;
  const TSetup FSetup;
  mutable std::mutex FMutex;
  std::deque<TEmulatedReport> FDirect;
  uint64_t FReadIndex;
  bool FCleared;
  uint32_t FReadPtr = 0;  // CDC: ring position after the last block
  std::atomic<bool> FStop{false};
  std::atomic<bool> FRunning{true};
  std::thread FThread;
};
