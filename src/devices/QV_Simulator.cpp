#include "devices/QV_Simulator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "core/ThreadName.h"
#include "devices/QV_CommandInterpreter.h"
#include "devices/QV_ReportCodes.h"

namespace {

constexpr char MeasurementId[] = "\xFB\xFB\xFB\xFB";
constexpr char ReportId[] = "\xFB\xFB\xFB\xFC";
constexpr size_t FrameHeaderSize = 7;  // identifier, two header bytes, count or length
constexpr uint8_t IVCHeaderHigh = 0x79;
constexpr size_t SliceSize = 128;
constexpr uint8_t RawDataMode = 6;
constexpr int32_t TimestampMs = 100;

std::atomic<bool> GDGIReports = true;
std::atomic<bool> GIVCReports = true;
std::atomic<uint32_t> GLastSerialNumber = TQV_SimulDevice::FirstSerialNumber;

// The simulated instrument memory that every simulator shares: calibration block, then four HRQ
// slices of 128 bytes.
struct TSharedMemory {
  std::mutex lock;
  std::array<uint8_t, TQV_SimulDevice::MemorySize> bytes{};
};

TSharedMemory& SharedMemory() {
  static TSharedMemory memory;
  return memory;
}

void WriteMemory(size_t address, const std::string& content) {
  auto& memory = SharedMemory();
  std::lock_guard lock(memory.lock);
  const size_t count = std::min(content.size(), memory.bytes.size() - std::min(address, memory.bytes.size()));
  std::copy_n(content.begin(), count, memory.bytes.begin() + static_cast<std::ptrdiff_t>(address));
}

std::string MemorySlice(size_t slice) {
  auto& memory = SharedMemory();
  std::lock_guard lock(memory.lock);
  const auto* first = memory.bytes.data() + slice * SliceSize;
  return std::string(reinterpret_cast<const char*>(first), SliceSize);
}

void AppendBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

uint32_t BigEndian(std::string_view bytes) {
  uint32_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<uint8_t>(c);
  return value;
}

// Value doubles travel in the little-endian order of the processor that made them.
void AppendDouble(std::string& out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  for (int shift = 0; shift < 64; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

double ReadDouble(std::string_view bytes) {
  uint64_t bits = 0;
  for (size_t i = 8; i-- > 0;) bits = (bits << 8) | static_cast<uint8_t>(bytes[i]);
  return std::bit_cast<double>(bits);
}

std::string MessageFrame(uint16_t code, const std::string& data) {
  std::string frame(ReportId, 4);
  AppendBigEndian(frame, code, 2);
  frame += static_cast<char>(data.size());
  return frame + data;
}

std::string MeasurementFrameStart(uint8_t high, uint8_t low, int32_t count) {
  std::string frame(MeasurementId, 4);
  frame += static_cast<char>(high);
  frame += static_cast<char>(low);
  frame += static_cast<char>(count);
  return frame;
}

// The line the report stream log gets for a frame the simulator wrote.
std::string ReportLogText(const std::string& frame) {
  const std::string_view bytes(frame);
  const std::string header = IntToHex(BigEndian(bytes.substr(4, 2)), 4);
  const std::string_view data = bytes.substr(FrameHeaderSize);
  if (bytes.substr(0, 4) == std::string_view(MeasurementId, 4)) {
    std::string line = header;
    for (size_t i = 0; i + 8 <= data.size(); i += 8) line += "; " + FloatToShortest(ReadDouble(data.substr(i, 8)));
    return line;
  }
  switch (BigEndian(bytes.substr(4, 2))) {
    case rc_Version: return header + std::string(data);
    case rc_Second:
    case rc_TenthSecond: return header + "; " + std::to_string(BigEndian(data));
    case rc_SettingsChanged: return header + "; " + IntToHex(BigEndian(data), 4);
    case rc_DigitalInputs:
    case rc_ReSync: return header + "; " + std::string(data);
    default: return header + "; " + AnsiToHex(data);
  }
}

}  // namespace

// ============================== TQV_SimulThread ==============================

TQV_SimulThread::TQV_SimulThread(TQV_SimulDevice& owner) : FOwner(owner) {
  SetRate(9);
  FNextDue = FOwner.FClock.Steady() + std::chrono::milliseconds(FnextWaitMs);
}

TQV_SimulThread::~TQV_SimulThread() { Stop(); }

void TQV_SimulThread::Start() {
  if (!FWorker.joinable()) FWorker = std::thread(&TQV_SimulThread::Run, this);
}

void TQV_SimulThread::Stop() {
  {
    std::lock_guard lock(FWaitLock);
    FStopRequested = true;
  }
  FWake.notify_all();
  if (FWorker.joinable()) FWorker.join();
}

void TQV_SimulThread::Run() {
  NameThisThread("vta-simulator");
  try {
    std::unique_lock lock(FWaitLock);
    while (!FStopRequested) {
      lock.unlock();
      GenerateUntil(FOwner.FClock.Steady());
      TSteadyTime due;
      {
        std::lock_guard ownerLock(FOwner.FLock);
        due = FNextDue;
      }
      lock.lock();
      // Wakes at least every 100 ms so that a clock that jumps is followed.
      const auto wait = std::clamp<std::chrono::steady_clock::duration>(due - FOwner.FClock.Steady(),
                                                                        std::chrono::milliseconds(0),
                                                                        std::chrono::milliseconds(100));
      FWake.wait_for(lock, wait, [this] { return FStopRequested; });
    }
  } catch (const std::exception& e) {
    LogException(FOwner.FLogId, "TQV_SimulThread.Execute failed", e);
    FOwner.SetError(QV_Err_Exception, std::string("Simulator stopped: ") + e.what());
  }
}

void TQV_SimulThread::Step() {
  std::lock_guard lock(FOwner.FLock);
  StepLocked();
}

void TQV_SimulThread::GenerateUntil(TSteadyTime now) {
  for (;;) {
    std::lock_guard lock(FOwner.FLock);
    if (FNextDue > now) return;
    if (now - FNextDue > std::chrono::milliseconds(MaxCatchUpMs)) {
      LogWarn(FOwner.FLogId, "TQV_SimulThread.Execute: behind by " +
                                 std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now - FNextDue).count()) +
                                 " ms, skipping ahead");
      FNextDue = now;
    }
    StepLocked();
    FNextDue += std::chrono::milliseconds(FnextWaitMs);
  }
}

void TQV_SimulThread::StepLocked() {
  if (FFirstTimestampNeeded) {
    FFirstTimestampNeeded = false;
    LogIt(FOwner.FLogId, "TQV_SimulThread.Execute: first timestamp");
    FOwner.GenerateTimeStamp();
    if (FTimestampPerData > 0) ++FTimestampCounter;
    return;
  }
  if (FTimestampPerData <= 0) {
    // Rates below 100 ms: several measurements per timestamp.
    if (FDataCounter >= FDataPerTimestamp) {
      FOwner.GenerateTimeStamp();
      FDataCounter = 0;
      if (SwitchDue()) {
        SwitchInterval();
        return;
      }
    }
    FOwner.GenerateData(FRate, FMode, FInterval);
    ++FDataCounter;
    return;
  }
  // Rates of 100 ms and more: several timestamps per measurement.
  FOwner.GenerateTimeStamp();
  if (++FTimestampCounter >= FTimestampPerData) {
    FOwner.GenerateData(FRate, FMode, FInterval);
    FTimestampCounter = 0;
    if (SwitchDue()) {
      SwitchInterval();
      // The measurement just sent is the one at this time stamp: a faster new rate sends one fewer
      // before the next stamp, or that block would hold one measurement too many.
      FDataCounter = 1;
    }
  }
}

// A change takes effect only at an instant that is a whole number of (new) intervals after the start.
bool TQV_SimulThread::SwitchDue() const {
  if (!FnewDo7020) return false;
  const int32_t grid = FnewInterval > 0 ? FnewInterval : FInterval;
  return grid > 0 && uint64_t{FOwner.FTimeStamp} * TimestampMs % static_cast<uint64_t>(grid) == 0;
}

void TQV_SimulThread::SwitchInterval() {
  LogIt(FOwner.FLogId, "TQV_SimulThread.Execute: switchInterval");
  const std::string before = StateText();
  if (FnewTimestampPerData >= 0) FTimestampPerData = std::exchange(FnewTimestampPerData, -1);
  if (FnewDataPerTimestamp >= 0) FDataPerTimestamp = std::exchange(FnewDataPerTimestamp, -1);
  if (FnewInterval > 0) FInterval = std::exchange(FnewInterval, 0);
  if (FnewMode != 255) FMode = std::exchange(FnewMode, 255);
  if (FnewRate != 255) FRate = std::exchange(FnewRate, 255);
  FTimestampCounter = 0;
  FDataCounter = 0;
  FnextWaitMs = std::min(FInterval, TimestampMs);
  FDo7020 = std::exchange(FnewDo7020, false);
  if (FDo7020) {
    FOwner.Generate7020(FRate, FMode);
    FDo7020 = false;
  }
  LogIt(FOwner.FLogId, "TQV_SimulThread.Execute: " + before);
}

void TQV_SimulThread::SetRate(uint8_t Value) {
  LogIt(FOwner.FLogId, "TQV_SimulThread.SetRate: " + std::to_string(Value));
  if (Value >= QV_RateIntervalMs.size()) return;
  FnewRate = Value;
  SetInterval(QV_RateIntervalMs[Value]);
}

void TQV_SimulThread::SetInterval(int32_t a) {
  LogIt(FOwner.FLogId, "TQV_SimulThread.SetInterval: " + std::to_string(a));
  if (a <= 0) return;
  FnewDo7020 = FInterval > 0;
  FnewInterval = a;
  if (a < TimestampMs) {
    FnewDataPerTimestamp = TimestampMs / a;
    FnewTimestampPerData = 0;
  } else {
    FnewTimestampPerData = a / TimestampMs;
    FnewDataPerTimestamp = 0;
  }
  if (FInterval == 0 || FInterval == a) {
    // Nothing to wait for: the first interval, or the one in force. A pending mode change still
    // waits for the grid; the 7020 report of a repeated rate command comes at the next grid point.
    FInterval = std::exchange(FnewInterval, 0);
    FDataPerTimestamp = std::exchange(FnewDataPerTimestamp, -1);
    FTimestampPerData = std::exchange(FnewTimestampPerData, -1);
    if (FnewRate != 255) FRate = std::exchange(FnewRate, 255);
    FnextWaitMs = std::min(a, TimestampMs);
  }
  LogIt(FOwner.FLogId, "TQV_SimulThread.SetInterval: Interval=" + std::to_string(FInterval) + ", new Interval=" +
                           std::to_string(FnewInterval) + ", TimestampPerData=" + std::to_string(FTimestampPerData) +
                           ", DataPerTimestamp=" + std::to_string(FDataPerTimestamp) +
                           ", new Do7020=" + BoolText(FnewDo7020) + ", FnextWaitMs=" + std::to_string(FnextWaitMs));
}

void TQV_SimulThread::SetMode(uint8_t Value) {
  FnewDo7020 = true;
  // Asking for the mode in force cancels a different one still pending.
  FnewMode = Value != FMode ? Value : 255;
  LogIt(FOwner.FLogId, "TQV_SimulThread.SetMode: old=" + std::to_string(FMode) + " new=" + std::to_string(FnewMode) +
                           ", Do7020=" + BoolText(FDo7020) + ", new Do7020=" + BoolText(FnewDo7020));
}

std::string TQV_SimulThread::StateText() const {
  return "Interval/Rate=" + std::to_string(FInterval) + "/" + std::to_string(FRate) + ", new Interval/Rate=" +
         std::to_string(FnewInterval) + "/" + std::to_string(FnewRate) + ", Mode=" + std::to_string(FMode) +
         " new=" + std::to_string(FnewMode) + ", Do7020=" + BoolText(FDo7020) +
         ", TimestampPerData=" + std::to_string(FTimestampPerData) +
         ", TimestampCounter=" + std::to_string(FTimestampCounter) +
         ", DataPerTimestamp=" + std::to_string(FDataPerTimestamp) + ", DataCounter=" + std::to_string(FDataCounter) +
         ", FnextWaitMs=" + std::to_string(FnextWaitMs);
}

int32_t TQV_SimulThread::Interval() const { return FInterval; }
uint8_t TQV_SimulThread::Mode() const { return FMode; }
uint8_t TQV_SimulThread::Rate() const { return FRate; }
int32_t TQV_SimulThread::NextWaitMs() const { return FnextWaitMs; }

// ============================== TQV_SimulDevice ==============================

TQV_SimulDevice::TQV_SimulDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                                 bool aDoResetEvent, const TClock& clock, bool runWorker)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FCommands(std::make_unique<TQV_CommandInterpreter>(aLogId)),
      FRandom(std::random_device{}()),
      FRunWorker(runWorker) {
  FDevType = QV_Simul;
  SetDemoData(true);
  FZCTChannelCount = FChannelCount;
  SetSerialNumberValue(++GLastSerialNumber);
}

TQV_SimulDevice::~TQV_SimulDevice() { ClosePort(); }

bool TQV_SimulDevice::OpenPort(std::string& ErrorMsg) {
  ErrorMsg.clear();
  std::lock_guard lock(FLock);
  if (FThread) return true;
  ResetPhases();
  LogIt(FLogId, "TQV_SimulDevice.OpenPort");
  FThread = std::make_unique<TQV_SimulThread>(*this);
  FPortIsOpened = true;
  if (FRunWorker) FThread->Start();
  return true;
}

bool TQV_SimulDevice::ClosePort() {
  std::unique_ptr<TQV_SimulThread> thread;
  {
    std::lock_guard lock(FLock);
    thread = std::move(FThread);
    FPortIsOpened = false;
  }
  // Joined outside the lock: the worker may be waiting for it.
  if (thread) {
    LogIt(FLogId, "TQV_SimulDevice.ClosePort");
    thread->Stop();
  }
  return true;
}

bool TQV_SimulDevice::CheckDeviceClosed() {
  if (FPortIsOpened) return false;
  SetError(QV_DeviceNotConnected, "SimulDevice closed");
  LogIt(FLogId, "TQV_SimulDevice.CheckDeviceClosed: SimulDevice closed");
  return true;
}

bool TQV_SimulDevice::DeviceWrite(const std::string& Data) {
  std::lock_guard lock(FLock);
  if (!FThread) {
    SetError(QV_DeviceNotConnected, "SimulDevice closed");
    LogError(FLogId, "TQV_SimulDevice.DeviceWrite: no thread");
    return false;
  }
  const std::string hex = AnsiToHex(Data);
  LogIt(FLogId, "TQV_SimulDevice.DeviceWrite " + hex);
  if (!FCommands->CheckCommand(Data)) {
    SetError(FCommands->ErrorCode(), FCommands->ErrorMessage());
    LogError(FLogId, "TQV_SimulDevice.DeviceWrite: " + FCommands->ErrorMessage());
    return false;
  }
  LogIt(FLogId, "{" + hex + "}");
  if (FLogId >= 0) LogIt(FLogId + 1, "{" + hex + "}");

  if (FCommands->WriteFRAMCmd()) {
    const size_t address = FCommands->FRAMAdr();
    const std::string& content = FCommands->FRAMContent();
    WriteMemory(address, content);
    // Echo every block the write touched: block 0 as 7901, the HRQ slices as 7902.
    const size_t last = std::min((address + content.size() - 1) / SliceSize, MemorySize / SliceSize - 1);
    for (size_t block = address / SliceSize; block <= last; ++block) {
      if (block == 0)
        F7901ReportNeeded = true;
      else
        F7902ReportNeeded |= static_cast<uint16_t>(1u << (block - 1));
    }
  } else if (FCommands->ResetPhaseDiffCmd()) {
    return Refuse("Unsupported command " + hex);
  } else if (FCommands->IntervalCmd()) {
    FThread->SetRate(FCommands->Rate());
  } else if (FCommands->ChannelCountCmd()) {
    FChannelCount = FCommands->ChannelCount();
    FZCTChannelCount = FChannelCount;
  } else if (FCommands->ModeCmd()) {
    if (FCommands->Mode() == RawDataMode) return Refuse("Unsupported command mode raw data");
    FThread->SetMode(FCommands->Mode());
  } else if (FCommands->ScramblerCmd()) {
    FScrambler = FCommands->Scrambler();
  }
  // Version, re-sync, calibration and HRQ reads are answered by the next measurement tick.
  return true;
}

bool TQV_SimulDevice::Refuse(const std::string& message) {
  SetError(QV_CmdIgnored, message);
  LogError(FLogId, "TQV_SimulDevice.DeviceWrite: " + message);
  return false;
}

std::string TQV_SimulDevice::ToString() const { return "TQV_SimulDevice"; }

void TQV_SimulDevice::ConfigChannel(int32_t k, double base, double stdDev) {
  if (k < 1 || k > 24) return;
  LogIt(FLogId, "TQV_SimulDevice.ConfigChannel " + std::to_string(k) + ", base=" + FloatToShortest(base) +
                    ", stdDev=" + FloatToShortest(stdDev));
  std::lock_guard lock(FLock);
  const size_t i = static_cast<size_t>(k - 1);
  TChannelConfig& config = FConfig[i];
  if (base != config.base) {
    FPhaseValues[i] = 0;
    FPhaseCount[i] = 0;
  } else if (stdDev != config.stdDev) {
    const int32_t interval = FThread ? FThread->Interval() : 0;
    FPhaseValues[i] = config.base / 1000 * interval * static_cast<double>(FPhaseCount[i]);
  }
  config.base = base;
  config.stdDev = stdDev;
}

void TQV_SimulDevice::SetDGIReports(bool on) { GDGIReports = on; }
bool TQV_SimulDevice::DGIReports() { return GDGIReports; }
void TQV_SimulDevice::SetIVCReports(bool on) { GIVCReports = on; }
bool TQV_SimulDevice::IVCReports() { return GIVCReports; }

std::array<uint8_t, TQV_SimulDevice::MemorySize> TQV_SimulDevice::Memory() {
  auto& memory = SharedMemory();
  std::lock_guard lock(memory.lock);
  return memory.bytes;
}

void TQV_SimulDevice::SetRandomSeed(uint64_t seed) {
  std::lock_guard lock(FLock);
  FRandom.seed(seed);
  FHasSpareGauss = false;
}

int32_t TQV_SimulDevice::ChannelCount() const {
  std::lock_guard lock(FLock);
  return FChannelCount;
}

uint32_t TQV_SimulDevice::TimeStamp() const {
  std::lock_guard lock(FLock);
  return FTimeStamp;
}

// ---- Report generation (worker, FLock held) ----

void TQV_SimulDevice::GenerateTimeStamp() {
  ++FTimeStamp;
  std::string data;
  AppendBigEndian(data, FTimeStamp, 4);
  WriteReport(MessageFrame(rc_TenthSecond, data), "TQV_SimulDevice.GenerateTimeStamp ");
  if (IVCReports() && FTimeStamp % 10 == 5) GenerateIVC();
}

void TQV_SimulDevice::GenerateData(uint8_t rate, uint8_t mode, int32_t interval) {
  if (FCommands->VersionCmd()) {
    const std::string version = IVCReports() ? "VERSION Simulator IVC: 5.0 240826" : "VERSION Simulator: 5.0 240826";
    WriteReport(MessageFrame(rc_Version, version), "TQV_SimulDevice.GenerateData ");
  }
  if (FCommands->ReSyncCmd())
    WriteReport(MessageFrame(rc_ReSync, "Measurement re-synchronized"), "TQV_SimulDevice.GenerateData ");
  GenerateMemoryAnswers();
  if (DGIReports()) GenerateDGI();
  WriteReport(MeasurementReport(rate, mode, interval), "TQV_SimulDevice.GenerateData ");
}

void TQV_SimulDevice::GenerateMemoryAnswers() {
  const bool calibrationRead = FCommands->GetCalibCmd();
  if (calibrationRead || F7901ReportNeeded) {
    WriteReport(MessageFrame(rc_Calibration, MemorySlice(0)), "TQV_SimulDevice.GenerateData ");
    F7901ReportNeeded = false;
  }
  // An echo goes first; a pending HRQ read stays pending for the next tick instead of being lost.
  size_t slice = 0;
  if (F7902ReportNeeded != 0) {
    slice = static_cast<size_t>(std::countr_zero(F7902ReportNeeded)) + 1;
    F7902ReportNeeded &= static_cast<uint16_t>(F7902ReportNeeded - 1);
  } else if (FCommands->GetHRQCmd()) {
    const uint8_t block = FCommands->HRQBlock();
    slice = block >= 2 && block <= 4 ? block : 1;
  }
  if (slice != 0) WriteReport(MessageFrame(rc_HRQSettings, MemorySlice(slice)), "TQV_SimulDevice.GenerateData ");
}

std::string TQV_SimulDevice::MeasurementReport(uint8_t rate, uint8_t mode, int32_t interval) {
  std::string report = MeasurementFrameStart(static_cast<uint8_t>(rate + 16 * mode),
                                             static_cast<uint8_t>(16 * FScrambler), FChannelCount);
  for (size_t k = 0; k < static_cast<size_t>(FChannelCount); ++k) {
    const TChannelConfig& config = FConfig[k];
    double value = 0;
    switch (mode) {
      case 0:
      case 1:  // phase
        FPhaseValues[k] += (config.base + Gauss(config.stdDev)) / 1000 * interval;
        ++FPhaseCount[k];
        value = FPhaseValues[k];
        break;
      case 2:
      case 3:  // frequency
        value = (config.base + Gauss(config.stdDev)) / 1000;
        break;
      case 4:
      case 5:  // phase difference to channel 1
        value = k == 0 ? 0 : Gauss(config.stdDev);
        break;
      default:
        break;
    }
    AppendDouble(report, value);
  }
  return report;
}

void TQV_SimulDevice::Generate7020(uint8_t rate, uint8_t mode) {
  std::string data;
  data += static_cast<char>(rate + 16 * mode);
  data += static_cast<char>(16 * FScrambler);
  WriteReport(MessageFrame(rc_SettingsChanged, data), "TQV_SimulDevice.Generate7020 ");
  ResetPhases();
}

void TQV_SimulDevice::GenerateDGI() {
  ++FDGICount;
  FDGIValue ^= 1;
  if (FDGICount % 2 == 0) FDGIValue ^= 4;
  if (FDGICount % 5 == 0) FDGIValue ^= 32;
  WriteReport(MessageFrame(rc_DigitalInputs, " " + IntToHex(FDGIValue, 8)), "TQV_SimulDevice.GenerateDGI ");
}

void TQV_SimulDevice::GenerateIVC() {
  std::string report = MeasurementFrameStart(IVCHeaderHigh, 0x00, FChannelCount);
  for (size_t k = 0; k < static_cast<size_t>(FChannelCount); ++k)
    AppendDouble(report, FConfig[k].ivcMean + Gauss(FConfig[k].ivcStdDev));
  WriteReport(report, "TQV_SimulDevice.GenerateIVC ");
}

// Marsaglia's polar method; the second value of each pair is kept for the next call.
double TQV_SimulDevice::Gauss(double stdDev) {
  if (FHasSpareGauss) {
    FHasSpareGauss = false;
    return FSpareGauss * stdDev;
  }
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  double u, v, s;
  do {
    u = uniform(FRandom);
    v = uniform(FRandom);
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  const double factor = std::sqrt(-2.0 * std::log(s) / s);
  FSpareGauss = v * factor;
  FHasSpareGauss = true;
  return u * factor * stdDev;
}

void TQV_SimulDevice::ResetPhases() {
  FPhaseValues.fill(0);
  FPhaseCount.fill(0);
}

void TQV_SimulDevice::WriteReport(const std::string& report, const char* lowLevelTag) {
  if (!FReceiveBuffer->WriteAnsiString(report)) {
    // The reader cannot keep up: count what is lost and say so through the device error.
    const uint64_t lost = ++FLostReports;
    SetError(QV_Err_ReceiveBufferOverflow,
             "Receive buffer full: " + std::to_string(lost) + " simulated reports lost");
    if (!FLastWriteLost) LogError(FLogId, "TQV_SimulDevice.WriteReport: receive buffer full, reports are lost");
    FLastWriteLost = true;
    return;
  }
  FLastWriteLost = false;
  if (FLowLevelLog) LogIt(FLogId, lowLevelTag + AnsiToHex(report));
  if (FLogId >= 0) LogIt(FLogId + 1, ReportLogText(report));
}
