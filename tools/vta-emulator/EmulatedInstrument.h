#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "EmulatorSettings.h"
#include "EmulatorTrace.h"
#include "IInstrumentControl.h"
#include "InstrumentModel.h"
#include "InstrumentRing.h"
#include "ManagementRequest.h"
#include "NetworkStream.h"
#include "CdcLine.h"
#include "SerialLine.h"

class QTcpSocket;

// One emulated counter: a network module or a Coldfire instrument, on the network (management
// port, connect-back data streams for up to four users) or on a serial line. It measures from
// Start on at the configured interval; Stop ends and joins every thread it started.
class TEmulatedInstrument : public IInstrumentControl {
 public:
  explicit TEmulatedInstrument(const TEmulatorSettings& settings);
  ~TEmulatedInstrument() override;
  TEmulatedInstrument(const TEmulatedInstrument&) = delete;
  TEmulatedInstrument& operator=(const TEmulatedInstrument&) = delete;

  // Empty when running, else why not.
  std::string Start();
  void Stop();
  // The management port actually bound (the system's choice when 0 was asked for).
  uint16_t ManagementPort() const { return FBoundPort; }

  // The answer to one management request; none means the instrument stays silent.
  std::optional<std::string> Answer(const TManagementRequest& request);

 private:
  static constexpr int MaxUsers = 4;
  struct TUserSlot {
    bool LoggedOn = false;
    uint32_t HostAddress = 0;
    uint16_t HostPort = 0;
    std::optional<uint64_t> ResumeIndex;  // where the user stopped reading at its last log-off
    std::unique_ptr<TNetworkStream> Stream;
  };

  TInstrumentModel::TCommandResult Execute(std::string_view command, const std::string& who) override;
  uint64_t Announce() override;
  void AppendLocked(const TEmulatedReport& report);

  void RunGenerator();
  void RunManagement(std::promise<std::string>& listening);
  void ServeRequest(QTcpSocket& socket);
  std::optional<std::string> Refusal(TManagementRequest::TKind kind);
  // The whole answer: "ab" carries the user table after its line.
  std::string LogOn(const TManagementRequest& request);
  std::string LogOff(const TManagementRequest& request);
  std::string Try(const TManagementRequest& request);
  std::string Command(const TManagementRequest& request);
  TUserSlot* SlotOf(const TManagementRequest& request);
  std::string UserTable() const;
  EmulatorFrames::TIdentity Identity(int userId) const;

  const TEmulatorSettings FSettings;
  TEmulatorTrace FTrace;
  TInstrumentRing FRing;
  uint32_t FOwnAddress = 0;
  std::atomic<uint16_t> FBoundPort{0};

  std::mutex FModelMutex;  // the model and the order of appends to the ring
  TInstrumentModel FModel;
  std::condition_variable FGeneratorWake;
  std::chrono::steady_clock::time_point FStart;

  std::mutex FSlotMutex;  // the user slots and the refusal count
  std::array<TUserSlot, MaxUsers> FSlots;
  int FRefusalsGiven = 0;

  std::atomic<bool> FStop{false};
  std::thread FGenerator;
  std::thread FManagement;
  std::unique_ptr<TSerialLine> FSerial;
  std::unique_ptr<TCdcLine> FCdc;
};
