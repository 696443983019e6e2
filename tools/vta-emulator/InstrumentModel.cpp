#include "InstrumentModel.h"

#include <algorithm>

namespace {

constexpr int RateCount = 14;
constexpr int RateMs[RateCount] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
constexpr uint64_t FpgaCycleMs = 20000;

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

constexpr uint8_t NvsOptionBlock = 5, NvsLastDataBlock = 4;
constexpr size_t NvsBlockBytes = 128;

// The NVS key of a block the instrument holds; nothing for any other.
std::optional<uint16_t> NvsKeyOf(uint8_t id, uint8_t block) {
  const bool held = (id == 'i' && block == NvsOptionBlock) || (id == 'b' && block <= NvsLastDataBlock);
  if (!held) return std::nullopt;
  return static_cast<uint16_t>(id | block << 8);
}

}  // namespace

TInstrumentModel::TInstrumentModel(const TEmulatorSettings& settings)
    : FMode(std::clamp(settings.Mode, 0, 7)),
      FRateIndex(std::max(0, IntervalIndex(settings.IntervalMs))),
      FChannels(std::clamp(settings.Channels, 1, 24)),
      FNextMeasMs(static_cast<uint64_t>(RateMs[FRateIndex])) {}

double TInstrumentModel::MeasuredValue(int channel, uint64_t sample) {
  return 1000.0 * channel + static_cast<double>(sample) / 8;
}

int TInstrumentModel::IntervalIndex(int ms) {
  const auto* it = std::find(std::begin(RateMs), std::end(RateMs), ms);
  return it == std::end(RateMs) ? -1 : static_cast<int>(it - std::begin(RateMs));
}

int TInstrumentModel::IntervalMs(int index) { return RateMs[std::clamp(index, 0, RateCount - 1)]; }

size_t TInstrumentModel::CommandLength(std::string_view prefix) {
  if (prefix.empty()) return 0;
  switch (Byte(prefix, 0)) {
    case 0x03:
    case 0x3F: return 2;
    case 0x10:
    case 0x60: return 5;
    case 0x04: return 6;  // 0x04 0x73 + 4-byte address
    case 0x85: break;
    default: return 1;
  }
  if (prefix.size() < 2) return 0;
  switch (Byte(prefix, 1)) {
    case 0x12: return 10;
    case '#': return 134;
    case 0x40:
    case 'C': return 7;
    case 'B': return 3;
    case 'E': return 4;
    case 'r': return 3;
    case 's':
    case 't':
    case 'u':
    case 'v':
    case 'w': return 6;
    default: return 2;
  }
}

uint16_t TInstrumentModel::Header() const {
  return static_cast<uint16_t>(FMode << 12 | FRateIndex << 8 | FScrambler << 4);
}

uint64_t TInstrumentModel::NextEventMs() const { return std::min(FNextMeasMs, FNextTenthMs); }

std::vector<TEmulatedReport> TInstrumentModel::AdvanceTo(uint64_t deviceMs) {
  std::vector<TEmulatedReport> reports;
  while (NextEventMs() <= deviceMs) {
    // A measurement ending on a tenth second comes before that second's stamp.
    if (FNextMeasMs <= FNextTenthMs) {
      FNowMs = FNextMeasMs;
      reports.push_back(Measurement(FNowMs));
      FNextMeasMs += RateMs[FRateIndex];
    } else {
      FNowMs = FNextTenthMs;
      reports.push_back(TimestampReport());
      FNextTenthMs += 100;
    }
  }
  return reports;
}

TEmulatedReport TInstrumentModel::Measurement(uint64_t endMs) {
  TEmulatedReport r;
  r.Kind = TEmulatedReport::rkMeasurement;
  r.Header = Header();
  r.Sample = FSample++;
  for (int k = 1; k <= FChannels; ++k) r.Values.push_back(MeasuredValue(k, r.Sample));
  r.Tenths = static_cast<uint32_t>(endMs / 100);
  // The firmware stamps a measurement with the last millisecond of its interval.
  r.FpgaMs = static_cast<uint16_t>((endMs + FpgaCycleMs - 1) % FpgaCycleMs);
  return r;
}

TEmulatedReport TInstrumentModel::TimestampReport() const {
  TEmulatedReport r;
  r.Kind = TEmulatedReport::rkTimestamp;
  r.Tenths = static_cast<uint32_t>(FNowMs / 100);
  return r;
}

TEmulatedReport TInstrumentModel::SettingsReport() const {
  TEmulatedReport r;
  r.Kind = TEmulatedReport::rkSettings;
  r.Header = Header();
  r.Tenths = static_cast<uint32_t>(FNowMs / 100);
  return r;
}

TEmulatedReport TInstrumentModel::NvsBlock(uint16_t key) {
  const bool optionWord = (key & 0xFF) == 'i';
  TEmulatedReport r = TEmulatedReport::Of(TEmulatedReport::rkNvsBlock, optionWord ? std::string("\x01\x00\x00\x00", 4)
                                                                                  : std::string(NvsBlockBytes, '\xFF'));
  r.NvsKey = key;
  return r;
}

void TInstrumentModel::SetRate(int index) {
  FRateIndex = index;
  const uint64_t interval = RateMs[index];
  FNextMeasMs = (FNowMs / interval + 1) * interval;
}

TInstrumentModel::TCommandResult TInstrumentModel::Execute(std::string_view command) {
  TCommandResult result;
  if (command.empty()) return result;
  uint8_t c = Byte(command, 0);
  if (command.size() == 1 && (c & 0x80) && c != 0x85 && (c < 0xBC || c > 0xBF)) {
    result.ClearBuffer = true;
    c &= 0x7F;
  }
  result.Known = true;
  const uint8_t low = c & 0x0F;
  if (command.size() == 1) {
    switch (c & 0xF0) {
      case 0x20:
        if (low < RateCount) SetRate(low), result.SettingsChanged = true;
        else result.Known = false;
        return result;
      case 0x30:
        if (low <= 11) FChannels = low == 0 ? 24 : low;
        else result.Known = false;
        return result;
      case 0x40:
        FMode = low & 7;  // 0x48..0x4F are the same modes with bit 3 ignored
        result.SettingsChanged = true;
        return result;
      case 0x50:
        if (c == 0x50 || c == 0x5E || c == 0x5F) FScrambler = c == 0x50 ? 0 : c == 0x5E ? 1 : 2, result.SettingsChanged = true;
        else result.Known = false;
        return result;
      default:
        result.Version = c == 0x01;
        result.Known = c == 0x00 || c == 0x01 || c == 0x05 || c == 0x0A || c == 0x0F;
        return result;
    }
  }
  if (c == 0x3F && command.size() == 2 && Byte(command, 1) >= 12 && Byte(command, 1) <= 23) {
    FChannels = Byte(command, 1);
  } else if (c == 0x85 && command.size() >= 2) {
    const std::string_view sub = command.substr(1);
    result.Stop = sub == "\x60";
    result.Reset = sub == "P" || sub == "Q";
    result.ConnectedUsers = sub == std::string_view("\x42\x01", 2);
    if (sub.size() == 3 && sub[0] == 'E') result.NvsRead = NvsKeyOf(Byte(sub, 1), Byte(sub, 2));
    if (sub.size() == 6 && sub[0] == 0x40) result.MemoryRead = std::min<int>(Byte(sub, 5), 128);
    result.Known = result.Stop || result.Reset || result.ConnectedUsers || result.NvsRead || result.MemoryRead > 0 || sub == "\x10" ||
                   sub == "\x11";
  } else {
    result.Known = false;
  }
  return result;
}
