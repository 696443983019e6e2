#include "CdcLine.h"


namespace {

constexpr int PollMs = 2;
constexpr size_t MaxBlocksPerTurn = 64;
constexpr size_t HistoryBlocks = 8192;
constexpr uint16_t StatusTooManyUsers = 254;

uint32_t BigEndian32(std::string_view s) {
  uint32_t value = 0;
  for (char c : s.substr(0, 4)) value = value << 8 | static_cast<uint8_t>(c);
  return value;
}

// The "too many users" status: a status block with code 254 and no user.
std::string TooManyUsersBlock(uint32_t address) {
  std::string block = "ZCT2";
  block += std::string{'s', 0, char(StatusTooManyUsers & 0xFF), char(StatusTooManyUsers >> 8), 0, 0, 0, 0};
  const uint32_t y = (address & TCdcLine::AddressMask) | 0xF00000;
  for (int i = 0; i < 4; ++i) block.push_back(static_cast<char>(y >> (8 * i)));
  uint8_t sum = 0;
  for (char c : block) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  block[15] = static_cast<char>(static_cast<uint8_t>(block[15]) - sum);
  return block;
}

}  // namespace

TCdcLine::TCdcLine(const TInstrumentRing& ring, IInstrumentControl& control, TEmulatorTrace& trace, const TSetup& setup)
    : FRing(ring), FControl(control), FTrace(trace), FSetup(setup) {}

TCdcLine::~TCdcLine() { Stop(); }

std::string TCdcLine::Open() {
  if (std::string error = FTty.Open(FSetup.Path); !error.empty()) return error;
  FStreamStart = std::chrono::steady_clock::now();
  FThread = std::thread([this] { Run(); });
  return {};
}

void TCdcLine::Stop() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  FTty.Close();
}

void TCdcLine::Write(std::string_view bytes) { FTty.Write(bytes, FStop); }

void TCdcLine::Run() {
  while (!FStop) {
    if (const std::string bytes = FTty.Read(PollMs); !bytes.empty()) {
      FInput += bytes;
      Input();
    }
    Produce();
    if (!FInterrupted && FSetup.DropAfter.count() > 0 &&
        std::chrono::steady_clock::now() - FStreamStart >= FSetup.DropAfter) {
      FTrace.Note("cdc", "line interrupted");
      FInterrupted = true;
    }
    if (!FInterrupted) Send();
  }
}

void TCdcLine::Input() {
  while (!FInput.empty()) {
    const size_t length = static_cast<uint8_t>(FInput[0]);
    if (FInput.size() < length + 1) return;
    const std::string command = FInput.substr(1, length);
    FInput.erase(0, length + 1);
    Command(command);
  }
}

void TCdcLine::Command(const std::string& command) {
  const auto byte = [&](size_t i) { return i < command.size() ? static_cast<uint8_t>(command[i]) : 0; };
  if (byte(0) == 0xBE) return LogOn(command);
  if (byte(0) == 0x85 && byte(1) >= 0x28 && byte(1) <= 0x2B) {
    FCurrent = byte(1) - 0x28;
    return;
  }
  if (byte(0) == 0x04 && byte(1) == 0x73 && command.size() == 6) return Resume(BigEndian32(command.substr(2)));
  TUser& user = FUsers[FCurrent];
  if (!user.On) return;  // a command of a user that is not logged on is ignored
  const auto result = FControl.Execute(command, "cdc user " + std::to_string(FCurrent + 1));
  if (result.Stop) {
    user = TUser{};
    FTrace.Note("cdc", "user " + std::to_string(FCurrent + 1) + " off");
  }
  if (result.ClearBuffer) {
    user.ReadIndex = FRing.EndIndex();
    user.Direct.push_back(TEmulatedReport::Of(TEmulatedReport::rkBufferCleared));
  }
  if (result.NvsRead) user.Direct.push_back(TInstrumentModel::NvsBlock(*result.NvsRead));
}

void TCdcLine::LogOn(const std::string& command) {
  int slot = -1;
  if (command.size() > 1) {
    const int wanted = static_cast<uint8_t>(command[1]);
    if (wanted < MaxUsers && !FUsers[wanted].On) slot = wanted;
  } else {
    for (int i = 0; i < MaxUsers && slot < 0; ++i)
      if (!FUsers[i].On) slot = i;
  }
  if (slot < 0) {
    FTrace.Note("cdc", "log-on refused: too many users");
    FHistory.push_back({FNextAddress, TooManyUsersBlock(FNextAddress)});
    FNextAddress = (FNextAddress + static_cast<uint32_t>(FHistory.back().Bytes.size() / 4)) & AddressMask;
    return;
  }
  TUser& user = FUsers[slot];
  user = TUser{};
  user.On = true;
  user.Direct.push_back(TEmulatedReport::Of(TEmulatedReport::rkBufferCleared));
  user.ReadIndex = FControl.Announce();
  FCurrent = slot;
  FInterrupted = false;
  FStreamStart = std::chrono::steady_clock::now();
  FTrace.Note("cdc", "user " + std::to_string(slot + 1) + " on");
}

void TCdcLine::Resume(uint32_t address) {
  size_t pos = FHistory.size();
  for (size_t i = 0; i < FHistory.size(); ++i)
    if (FHistory[i].Address == address) pos = i;
  if (FSetup.LoseOnReconnect) {
    // What was not sent is gone; the new data start further on in the buffer.
    FHistory.clear();
    FNextAddress = (FNextAddress + 0x100) & AddressMask;
    pos = 0;
  }
  FTrace.Note("cdc", "resumption from address " + std::to_string(address) +
                         (pos < FHistory.size() || FSetup.LoseOnReconnect ? "" : " (not in the buffer)"));
  FSendPos = std::min(pos, FHistory.size());
  FInterrupted = false;
  FStreamStart = std::chrono::steady_clock::now();
}

void TCdcLine::Append(const TEmulatedReport& report, int user) {
  const EmulatorFrames::TIdentity identity{FSetup.SerialNumber, user + 1, 0};
  FHistory.push_back({FNextAddress, EmulatorFrames::TransmitBlock(report, FNextAddress, identity)});
  FNextAddress = (FNextAddress + static_cast<uint32_t>(FHistory.back().Bytes.size() / 4)) & AddressMask;
  FTrace.Sent("cdc user " + std::to_string(user + 1), report);
}

void TCdcLine::Produce() {
  for (int u = 0; u < MaxUsers; ++u) {
    TUser& user = FUsers[u];
    if (!user.On) continue;
    for (const TEmulatedReport& report : user.Direct) Append(report, u);
    user.Direct.clear();
    for (const TRingUnit& unit : FRing.From(user.ReadIndex, MaxBlocksPerTurn)) {
      Append(unit.Report, u);
      user.ReadIndex = unit.Index + 1;
    }
  }
  while (FHistory.size() > HistoryBlocks) {
    FHistory.pop_front();
    if (FSendPos > 0) --FSendPos;
  }
}

void TCdcLine::Send() {
  std::string bytes;
  for (; FSendPos < FHistory.size(); ++FSendPos) bytes += FHistory[FSendPos].Bytes;
  if (!bytes.empty()) Write(bytes);
}
