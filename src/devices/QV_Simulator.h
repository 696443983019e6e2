#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "devices/QV_BaseDevice.h"

class TQV_CommandInterpreter;
class TQV_SimulDevice;

// The simulator's schedule and its worker. One pass (Step) stands for FnextWaitMs of instrument
// time: timestamps every 100 ms, measurements at the rate, and rate and mode changes taken over
// only on the timestamp grid. The worker runs passes as the clock passes their due times; tests
// call Step or GenerateUntil directly without starting it. Every pass runs under the owner's lock,
// which also guards the pending values that commands set.
class TQV_SimulThread {
 public:
  // How far the worker may fall behind (a stalled process) before it skips instead of catching up.
  static constexpr int32_t MaxCatchUpMs = 1000;

  explicit TQV_SimulThread(TQV_SimulDevice& owner);
  ~TQV_SimulThread();  // stops and joins the worker
  TQV_SimulThread(const TQV_SimulThread&) = delete;
  TQV_SimulThread& operator=(const TQV_SimulThread&) = delete;

  void Start();
  void Stop();

  // One pass of the loop.
  void Step();
  // Runs every pass that is due by `now` on the owner's clock.
  void GenerateUntil(TSteadyTime now);

  int32_t Interval() const;
  uint8_t Mode() const;
  uint8_t Rate() const;
  int32_t NextWaitMs() const;

 private:
  friend class TQV_SimulDevice;
  // Called with the owner's lock held.
  void SetRate(uint8_t Value);
  void SetInterval(int32_t a);
  void SetMode(uint8_t Value);
  bool SwitchDue() const;
  void SwitchInterval();
  void StepLocked();
  std::string StateText() const;
  void Run();

  TQV_SimulDevice& FOwner;
  bool FDo7020 = false;
  bool FnewDo7020 = false;
  uint8_t FMode = 0;
  uint8_t FnewMode = 255;
  uint8_t FRate = 255;
  uint8_t FnewRate = 255;
  int32_t FInterval = 0;
  int32_t FnewInterval = 0;
  int32_t FDataPerTimestamp = 0;
  int32_t FnewDataPerTimestamp = -1;
  int32_t FDataCounter = 0;
  int32_t FTimestampPerData = 0;
  int32_t FnewTimestampPerData = -1;
  int32_t FTimestampCounter = 0;
  bool FFirstTimestampNeeded = true;
  int32_t FnextWaitMs = 100;
  TSteadyTime FNextDue;

  std::mutex FWaitLock;
  std::condition_variable FWake;
  bool FStopRequested = false;
  std::thread FWorker;
};

// A simulated counter. While the port is open its worker writes demo frames (FB FB FB FB
// measurements, FB FB FB FC reports) into the receive buffer; commands are parsed by the command
// interpreter and answered from a simulated 640-byte memory (calibration block and four HRQ
// slices) shared by all simulators.
class TQV_SimulDevice : public TQV_BaseDevice {
 public:
  struct TChannelConfig {
    double base = 10000000;
    double stdDev = 0.001;
    double ivcMean = 3300000;
    double ivcStdDev = 10000.15;
  };
  static constexpr size_t MemorySize = 640;
  static constexpr uint32_t FirstSerialNumber = 0x10000000;

  // With runWorker false, OpenPort prepares the schedule without starting its thread; the owner
  // then drives it through SimulThread() (tests do, to step instrument time deterministically).
  TQV_SimulDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                  const TClock& clock = SystemClock(), bool runWorker = true);
  ~TQV_SimulDevice() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  bool CheckDeviceClosed() override;
  bool DeviceWrite(const std::string& Data) override;
  std::string ToString() const override;

  // Channel k = 1..24; other k are ignored.
  void ConfigChannel(int32_t k, double base, double stdDev);

  // Program-wide switches (both on by default): digital-input and interval-counter reports.
  static void SetDGIReports(bool on);
  static bool DGIReports();
  static void SetIVCReports(bool on);
  static bool IVCReports();
  // A copy of the shared simulated memory.
  static std::array<uint8_t, MemorySize> Memory();

  // The schedule while the port is open, else none. Owned by the device.
  TQV_SimulThread* SimulThread() { return FThread.get(); }
  // Makes the random values repeatable.
  void SetRandomSeed(uint64_t seed);
  int32_t ChannelCount() const;
  uint32_t TimeStamp() const;
  uint32_t TimeStampMs() const { return TimeStamp() * 100; }
  // Reports dropped because the receive buffer was full, since creation.
  uint64_t LostReports() const { return FLostReports; }

 private:
  friend class TQV_SimulThread;
  // The generators below run on the worker with FLock held.
  void GenerateTimeStamp();
  void GenerateData(uint8_t rate, uint8_t mode, int32_t interval);
  void Generate7020(uint8_t rate, uint8_t mode);
  void GenerateDGI();
  void GenerateIVC();
  void GenerateMemoryAnswers();
  std::string MeasurementReport(uint8_t rate, uint8_t mode, int32_t interval);
  double Gauss(double stdDev);
  void ResetPhases();
  void WriteReport(const std::string& report, const char* lowLevelTag);
  void ApplyCommand(const std::string& Data);
  bool Refuse(const std::string& message);

  std::unique_ptr<TQV_CommandInterpreter> FCommands;
  std::array<TChannelConfig, 24> FConfig{};
  std::array<double, 24> FPhaseValues{};
  std::array<int64_t, 24> FPhaseCount{};
  std::unique_ptr<TQV_SimulThread> FThread;
  int32_t FChannelCount = 4;
  uint8_t FScrambler = 0;
  uint32_t FDGIValue = 0xFFFFFFFF;
  uint32_t FDGICount = 0;
  bool F7901ReportNeeded = false;
  uint16_t F7902ReportNeeded = 0;
  uint32_t FTimeStamp = 0;
  std::mt19937_64 FRandom;
  double FSpareGauss = 0;
  bool FHasSpareGauss = false;
  std::atomic<uint64_t> FLostReports = 0;
  bool FLastWriteLost = false;
  const bool FRunWorker;
  // Guards the schedule, the channel state and the report generation against commands.
  mutable std::mutex FLock;
};
