#include "SerialLine.h"

namespace {

constexpr size_t MaxBlocksPerTurn = 64;
constexpr int PollMs = 5;
constexpr uint8_t ResumptionTag[2] = {0x04, 0x73};

bool IsEndOrRepeat(uint8_t b) { return b >= 0xBC && b <= 0xBF; }

uint32_t BigEndian32(std::string_view s) {
  uint32_t value = 0;
  for (char c : s.substr(0, 4)) value = value << 8 | static_cast<uint8_t>(c);
  return value;
}

}  // namespace

TSerialLine::TSerialLine(const TInstrumentRing& ring, IInstrumentControl& control, TEmulatorTrace& trace,
                         const TSetup& setup)
    : FRing(ring), FControl(control), FTrace(trace), FSetup(setup) {}

TSerialLine::~TSerialLine() { Stop(); }

std::string TSerialLine::Open() {
  if (std::string error = FTty.Open(FSetup.Path); !error.empty()) return error;
  FThread = std::thread([this] { Run(); });
  return {};
}

void TSerialLine::Stop() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  FTty.Close();
}

bool TSerialLine::Since(std::chrono::milliseconds limit) const {
  return limit.count() > 0 && std::chrono::steady_clock::now() - FStreamStart >= limit;
}

void TSerialLine::Write(std::string_view bytes) { FTty.Write(bytes, FStop); }

void TSerialLine::Run() {
  const bool coldfire = FSetup.Peer == TEmulatorSettings::TPeer::Coldfire;
  FReadIndex = FRing.EndIndex();
  FStreamStart = std::chrono::steady_clock::now();
  while (!FStop) {
    if (const std::string bytes = FTty.Read(PollMs); !bytes.empty()) {
      for (const char byte : bytes) {
        if (coldfire) ColdfireInput(static_cast<uint8_t>(byte));
        else FInput.push_back(byte);
      }
      if (!coldfire) ModuleInput();
    }
    if (!FStreaming || Since(FSetup.SilentAfter)) continue;
    if (coldfire) ColdfireSend();
    else ModuleSend();
  }
}

// ---- Network module ----

void TSerialLine::ModuleInput() {
  while (!FInput.empty()) {
    const auto* tag = reinterpret_cast<const char*>(ResumptionTag);
    if (FInput.compare(0, 2, tag, std::min<size_t>(2, FInput.size())) == 0 && FInput.size() < 6) return;
    if (FInput.size() >= 6 && FInput.compare(0, 2, tag, 2) == 0) {
      const uint32_t address = BigEndian32(std::string_view(FInput).substr(2));
      const auto index = FRing.IndexOfAddress(address);
      FTrace.Note("serial", "resumption from address " + std::to_string(address) + (index ? "" : " (not in the ring)"));
      if (index) FReadIndex = *index;
      FInterrupted = false;
      FStreamStart = std::chrono::steady_clock::now();
      FInput.erase(0, 6);
      continue;
    }
    const size_t length = static_cast<uint8_t>(FInput[0]);
    if (FInput.size() < length + 1) return;
    const std::string command = FInput.substr(1, length);
    FInput.erase(0, length + 1);
    ModuleCommand(command);
  }
}

void TSerialLine::ModuleCommand(const std::string& command) {
  if (!command.empty() && static_cast<uint8_t>(command[0]) == 0xBE) {
    FSetup.Identity.UserId = command.size() > 1 ? static_cast<uint8_t>(command[1]) % 4 + 1 : 1;
    FTrace.Note("serial", "open, user " + std::to_string(FSetup.Identity.UserId));
    FReadIndex = FControl.Announce();
    FStreaming = true;
    FInterrupted = false;
    FStreamStart = std::chrono::steady_clock::now();
    return;
  }
  const auto result = FControl.Execute(command, "serial");
  if (result.Stop) FStreaming = false;
  if (result.Reset) {
    FTrace.Note("serial", "reset, waiting for the open command");
    FStreaming = false;
    FDirect.clear();
    return;
  }
  if (result.ClearBuffer) {
    FReadIndex = FRing.EndIndex();
    FDirect.push_back(TEmulatedReport::Of(TEmulatedReport::rkBufferCleared));
  }
  if (result.ConnectedUsers) {
    // Slot 1 is the serial line itself.
    FDirect.push_back(TEmulatedReport::Of(TEmulatedReport::rkToolsData, std::string("\x04\x00\x00\x00", 4) + std::string(12, '\0')));
  }
  if (result.NvsRead) FDirect.push_back(TInstrumentModel::NvsBlock(*result.NvsRead));
}

void TSerialLine::ModuleSend() {
  if (!FInterrupted && Since(FSetup.DropAfter)) {
    FTrace.Note("serial", "stream interrupted");
    FInterrupted = true;
  }
  if (FInterrupted) return;
  std::string bytes;
  for (const TEmulatedReport& report : FDirect) {
    bytes += EmulatorFrames::TransmitBlock(report, FRing.EndAddress(), FSetup.Identity);
    FTrace.Sent("serial", report);
  }
  FDirect.clear();
  for (const TRingUnit& unit : FRing.From(FReadIndex, MaxBlocksPerTurn)) {
    bytes += EmulatorFrames::TransmitBlock(unit.Report, unit.Address, FSetup.Identity);
    FTrace.Sent("serial", unit.Report);
    FReadIndex = unit.Index + 1;
  }
  Write(bytes);
}

// ---- Coldfire ----

void TSerialLine::ColdfireInput(uint8_t byte) {
  if (!FStreaming) {
    // What a Coldfire instrument sends before the host opens its port is lost on a real line; a
    // pty would keep it, so the instrument starts with the host's first byte, version first.
    FStreaming = true;
    FReadIndex = FControl.Announce();
  }
  if (!FCommand.empty() || !IsEndOrRepeat(byte)) {
    FCommand.push_back(static_cast<char>(byte));
    Write(std::string(1, static_cast<char>(byte)));  // every command byte is echoed
    const size_t length = TInstrumentModel::CommandLength(FCommand);
    if (length == 0 || FCommand.size() < length) return;
    const auto result = FControl.Execute(FCommand, "serial");
    FCommand.clear();
    if (result.ClearBuffer) {
      FReadIndex = FRing.EndIndex();
      FDirect.push_back(TEmulatedReport::Of(TEmulatedReport::rkBufferCleared));
    }
    return;
  }
  if (!FPending) return;
  if (byte == FEndByte) {
    FPending.reset();
  } else if (byte == (FEndByte & 0xFE) || byte == 0xBC) {
    // A repeat request (the end byte with bit 0 cleared) or the host's wake-up: the frame again.
    Write(*FPending);
  }
  // Another end byte acknowledges an earlier frame once more: nothing to do.
}

void TSerialLine::ColdfireSend() {
  if (FPending || !FCommand.empty()) return;
  TEmulatedReport report;
  if (!FDirect.empty()) {
    report = FDirect.front();
    FDirect.pop_front();
  } else {
    const auto units = FRing.From(FReadIndex, 1);
    if (units.empty()) return;
    report = units.front().Report;
    FReadIndex = units.front().Index + 1;
  }
  // The end bytes alternate so that the host can tell a new frame from a repeated one.
  FEndByte = FEndByte == 0xBF ? 0xBD : 0xBF;
  FPending = EmulatorFrames::ColdfireSerialFrame(EmulatorFrames::ColdfireReport(report, FSetup.Identity), FEndByte);
  FTrace.Sent("serial", report);
  Write(*FPending);
}
