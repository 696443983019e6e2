#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "devices/QV_ReportCodes.h"

// The decoded 16-bit header word of a report: measurement mode, interval and flags, or (from 0x7000)
// a report code. Writing Header decodes again.
class TQVHeader {
 public:
  // 0xFFFF: neither mode nor interval valid.
  explicit TQVHeader(uint16_t aHeader = 0xFFFF);
  // The trimmed text as decimal or "$"/"0x" hexadecimal; nothing for other texts or values
  // outside 0..0xFFFF.
  static std::optional<TQVHeader> FromText(std::string_view aHeaderString);

  // Position of a rate within its decade (1, 10 .. 10000 -> 0; 2 .. 20000 -> 1; 5 .. 5000 -> 2);
  // -1 for anything that is not a rate of the command set.
  static int IntervalMsToIndex(uint32_t aMs);
  // Interval in ms (1, 2 or 5 times a power of ten; 0 for an index outside 0..28, which no header
  // word carries) and its text ("1ms" .. "2000s", empty when the index is not 0..19).
  static uint32_t IntervalIndexToMs(int index);
  static std::string IntervalIndexToText(int index);

  uint16_t Header() const { return FHeader; }
  void SetHeader(uint16_t aHeader);

  bool Lost() const { return FLost; }
  bool IsZCTData() const { return FHeader < QV_FirstReportCode; }
  uint8_t Mode() const { return FMode; }
  bool ModeValid() const { return FModeValid; }
  std::string ModeText() const;
  int32_t IntervalIndex() const { return FIntervalIndex; }
  bool IntervalIndexValid() const { return FIntervalValid; }
  std::string IntervalText() const;
  uint32_t GateTime() const { return FGateTime; }
  int32_t FilterIndex() const { return FFilterIndex; }
  uint8_t MeasFrequence() const { return FMeasFrequence; }
  std::string MeasFrequenceText() const;
  bool Scrambling() const { return FScrambling; }
  std::string ScramblingText() const;
  bool Dithering() const { return FDithering; }
  std::string DitheringText() const;
  const std::string& Band() const { return FBand; }
  std::string BandText() const;
  double Multiplier() const { return FMultiplier; }
  std::string MultiplierText() const;
  bool FpgaBit() const { return FFpgaBit; }
  uint8_t PPIindex() const { return FPPIindex; }
  std::string PPItext() const;
  uint8_t ScramblerIndex() const { return FScramblerIndex; }
  std::string ScramblerText() const;

 private:
  bool FLost = false;
  uint32_t FGateTime = 0;
  uint16_t FHeader = 0;
  bool FModeValid = false;
  bool FIntervalValid = false;
  uint8_t FMode = 0;
  int32_t FIntervalIndex = 0;
  int32_t FFilterIndex = 0;
  bool FFpgaBit = false;
  uint8_t FMeasFrequence = 0;
  bool FScrambling = false;
  bool FDithering = false;
  std::string FBand;
  double FMultiplier = 0;
  uint8_t FPPIindex = 0;
  uint8_t FScramblerIndex = 0;
};
