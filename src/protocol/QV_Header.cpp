#include "protocol/QV_Header.h"

#include <array>
#include <charconv>

#include "core/QV_NumberText.h"

namespace {

constexpr std::array<const char*, 7> ModeTexts = {
    "Phase", "Phase Average", "Frequency", "Frequency Avg.", "Phase Difference", "Phase Avg Diff.", "Raw Data"};

constexpr std::array<const char*, 20> IntervalTexts = {
    "1ms", "2ms",  "5ms",  "10ms",  "20ms",  "50ms",  "100ms", "200ms",  "500ms",  "1s",
    "2s",  "5s",   "10s",  "20s",   "50s",   "100s",  "200s",  "500s",   "1000s",  "2000s"};

constexpr std::array<const char*, 4> PPITexts = {"default", "control PPI", "----", "used"};
constexpr std::array<const char*, 4> ScramblerTexts = {"off", "Auto", "Trim", "used"};

// Intervals above this index need the extension bit; indexes from 20 on do not exist.
constexpr int MaxBaseIntervalIndex = 13;
constexpr int IntervalIndexCount = 20;
// The largest index a header word can carry: 15 + 13.
constexpr int MaxHeaderIntervalIndex = 28;

bool Bit(uint16_t word, int bit) { return (word >> bit) & 1; }

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

}  // namespace

TQVHeader::TQVHeader(uint16_t aHeader) { SetHeader(aHeader); }

std::optional<TQVHeader> TQVHeader::FromText(std::string_view aHeaderString) {
  std::string_view text = TrimBlanks(aHeaderString);
  int base = 10;
  if (text.starts_with('$')) {
    text.remove_prefix(1);
    base = 16;
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 0xFFFF) return std::nullopt;
  return TQVHeader(static_cast<uint16_t>(value));
}

int TQVHeader::IntervalMsToIndex(uint32_t aMs) {
  for (int index = 0; index <= MaxBaseIntervalIndex; ++index)
    if (IntervalIndexToMs(index) == aMs) return index % 3;
  return -1;
}

uint32_t TQVHeader::IntervalIndexToMs(int index) {
  static constexpr std::array<uint32_t, 3> Steps = {1, 2, 5};
  if (index < 0 || index > MaxHeaderIntervalIndex) return 0;
  uint32_t ms = Steps[index % 3];
  for (int i = 0; i < index / 3; ++i) ms *= 10;
  return ms;
}

std::string TQVHeader::IntervalIndexToText(int index) {
  return index >= 0 && index < IntervalIndexCount ? IntervalTexts[index] : "";
}

void TQVHeader::SetHeader(uint16_t aHeader) {
  FModeValid = aHeader != 0xFFFF;
  FIntervalValid = FModeValid;
  FLost = Bit(aHeader, 15);
  FHeader = aHeader & 0x7FFF;

  FMode = (FHeader >> 12) & 0x7;
  FModeValid = FModeValid && FMode < 7;

  const bool extended = Bit(FHeader, 1);
  FIntervalIndex = (FHeader >> 8) & 0xF;
  if ((FIntervalIndex == 0 && extended) || FIntervalIndex > MaxBaseIntervalIndex) FIntervalValid = false;
  if (extended) FIntervalIndex += MaxBaseIntervalIndex;
  if (FIntervalIndex >= IntervalIndexCount) FIntervalValid = false;
  FGateTime = IntervalIndexToMs(FIntervalIndex);

  FFilterIndex = (FHeader >> 6) & 0x3;
  FPPIindex = static_cast<uint8_t>(FFilterIndex);
  FMeasFrequence = Bit(FHeader, 5) ? 5 : 10;
  FScrambling = Bit(FHeader, 4);
  FScramblerIndex = (FHeader >> 4) & 0x3;
  FDithering = Bit(FHeader, 3);
  FFpgaBit = Bit(FHeader, 0);
  FMultiplier = FFpgaBit ? 100000 : 1000;

  if (Bit(FHeader, 2)) {
    FBand = "BB";
    FFilterIndex = 0;
    FMeasFrequence = 0;
    FMultiplier = 1;
  } else {
    FBand = "NB";
  }
}

std::string TQVHeader::ModeText() const { return FMode < ModeTexts.size() ? ModeTexts[FMode] : ""; }

std::string TQVHeader::IntervalText() const { return FIntervalValid ? IntervalIndexToText(FIntervalIndex) : ""; }

std::string TQVHeader::MeasFrequenceText() const { return std::to_string(FMeasFrequence * 1000000u); }

std::string TQVHeader::ScramblingText() const { return OnOff(FScrambling); }

std::string TQVHeader::DitheringText() const { return OnOff(FDithering); }

std::string TQVHeader::BandText() const { return FBand == "BB" ? "Broadband" : "Narrowband"; }

std::string TQVHeader::MultiplierText() const {
  // One mantissa digit and the exponent: 1 -> "1E+0", 1000 -> "1E+3", 100000 -> "1E+5".
  int exponent = 0;
  for (double m = FMultiplier; m >= 10; m /= 10) ++exponent;
  return "1E+" + std::to_string(exponent);
}

std::string TQVHeader::PPItext() const { return PPITexts[FPPIindex & 3]; }

std::string TQVHeader::ScramblerText() const { return ScramblerTexts[FScramblerIndex & 3]; }
