#include "protocol/QV_ProcessReport.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_CommonTypes.h"
#include "protocol/Phase.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_Report.h"
#include "devices/QV_ReportCodes.h"

namespace {

constexpr int MaxChannels = 24;
constexpr int ColdfireValueBytes = 7;
constexpr int EightByteValues = 8;
constexpr char OverflowMarker = '#';
constexpr double MaxIVCValue = 999999999.999;
constexpr double IVCNoValue = -9.99;
constexpr const char* IVCSyncErrorText = "Sync Error with IVC data";
constexpr uint64_t HighModulus = (uint64_t{1} << 62) - 1;

// Per interval index (header bits 11-8, plus 14 with header bit 1): exponent offset and divisor of
// averaged values.
constexpr int ExpoOffset[21] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 8, 15, 15, 15, 15, 15, 15};
constexpr double AvgDivisor[21] = {1,    2,     5,     10,    20,    50,    100,   200,   500,   1000, 2000,
                                   5000, 10000, 20000, 250,   25000, 25000, 25000, 31250, 31250, 31250};
// Decimals of a Coldfire value by exponent 1..16 (index 0 unused) and of a network-module value by
// range code 0..15.
constexpr int ExpoDecimals[17] = {0, 11, 11, 11, 10, 10, 10, 9, 9, 9, 8, 8, 8, 7, 7, 7, 7};
constexpr int RangeDecimals[16] = {11, 11, 11, 10, 10, 10, 10, 9, 9, 9, 8, 8, 8, 7, 7, 7};

enum TValueKind { vkPhase, vkFrequency, vkDifference };

// One decoded measurement: per channel the value as the line shows it, its decimals and the plain
// double a record carries (frequency x 1000, signed difference).
struct TDecoded {
  int Count = 0;
  TValueKind Kind = vkPhase;
  std::array<Phase, MaxChannels> Value{};
  std::array<double, MaxChannels> Plain{};
  std::array<int8_t, MaxChannels> Decimals{};
  std::array<bool, MaxChannels> Valid{};
};

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }
uint16_t BigEndian16(std::string_view s, size_t i) { return static_cast<uint16_t>(Byte(s, i) << 8 | Byte(s, i + 1)); }
uint32_t BigEndian32(std::string_view s, size_t i) {
  return uint32_t{Byte(s, i)} << 24 | uint32_t{Byte(s, i + 1)} << 16 | uint32_t{Byte(s, i + 2)} << 8 | Byte(s, i + 3);
}
uint64_t LittleEndian64(std::string_view s, size_t i) {
  uint64_t value = 0;
  for (int b = 7; b >= 0; --b) value = value << 8 | Byte(s, i + b);
  return value;
}

int ModeOf(int header) { return (header >> 12) & 7; }
bool IsMeasurementHeader(int header) { return ModeOf(header) != 7; }
uint16_t Code(int header) { return static_cast<uint16_t>(header & 0x7FFF); }

// ---- Line building: appends only, into the reused capacity of the line ----

void AppendHex(std::string& line, uint32_t value, int digits) {
  static constexpr char HexDigits[] = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) line.push_back(HexDigits[(value >> shift) & 0xF]);
}

void AppendNumber(std::string& line, int64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  line.append(text, end);
}

void StartLine(std::string& line, int header) {
  line.clear();
  line.reserve(QV_MaxLineLength);
  AppendHex(line, static_cast<uint32_t>(header) & 0xFFFF, 4);
}

// A value that does not fit keeps the width (fields are parsed by position) but becomes unreadable.
void AppendMarker(TQV_ProcessState& state, std::string& line, int width) {
  line.append(width, OverflowMarker);
  if (state.FColumnOverflowLogged) return;
  state.FColumnOverflowLogged = true;
  state.Error(".ProcessReport: value does not fit its column of " + std::to_string(width) +
              " characters, shown as unreadable");
}

// The rounded value right-aligned in exactly `width` characters.
void AppendField(TQV_ProcessState& state, std::string& line, const TPhaseDecimal& value, int width) {
  char text[PhaseDecimalMaxText];
  const size_t length = WritePhaseDecimal(value, state.DecimalSeparator, text);
  if (length > static_cast<size_t>(width)) return AppendMarker(state, line, width);
  line.append(width - length, ' ');
  line.append(text, length);
}

void AppendPhaseField(TQV_ProcessState& state, std::string& line, const Phase& value, int decimals, int width) {
  if (!std::isfinite(value.Low)) return AppendMarker(state, line, width);
  AppendField(state, line, RoundPhase(value, decimals), width);
}

void AppendDoubleField(TQV_ProcessState& state, std::string& line, double value, int decimals, int width) {
  // Beyond the whole-cycle range a Phase keeps no integral part: such a value never fits a column.
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return AppendMarker(state, line, width);
  Phase p;
  p.FromDouble(value);
  AppendPhaseField(state, line, p, decimals, width);
}

void AppendGeneric(std::string& line, std::string_view payload) {
  line += ": ";
  line += TrimBlanks(payload);
}

// ---- Value decoding ----

void AddToHigh(TQV_ChannelState& ch, int64_t amount) {
  ch.High = static_cast<int64_t>((static_cast<uint64_t>(ch.High) + static_cast<uint64_t>(amount)) & HighModulus);
}

Phase WholeAndFraction(int64_t high, double x) {
  const double whole = std::trunc(x);
  return Phase{high + static_cast<int64_t>(whole), x - whole};
}

// Extends a Coldfire phase against the channel's previous value (range changes included).
void ExtendColdfirePhase(TQV_ChannelState& ch, int e, int nibble, double x) {
  if (ch.Low > 0) {
    const int m = ch.ExpoAlt;
    const auto pow2 = [](int bits) { return int64_t{1} << bits; };
    if (e == m) {
      if (x < ch.Low) AddToHigh(ch, pow2(e + 17));
    } else if (e == m + 1) {
      if (x < ch.Low) AddToHigh(ch, pow2(e + 16));
      if (x > ch.Low + static_cast<double>(pow2(e + 16))) AddToHigh(ch, -pow2(e + 16));
    } else if (e == m - 1) {
      if (x < ch.Low) {
        const bool newTopBit = nibble & 0x8;
        switch (ch.NumAlt & 0xC) {
          case 0x4: if (!newTopBit) AddToHigh(ch, pow2(e + 17)); break;
          case 0x8: AddToHigh(ch, pow2(e + 17)); break;
          case 0xC: AddToHigh(ch, newTopBit ? pow2(e + 17) : pow2(e + 18)); break;
          default: break;
        }
      }
    } else {
      ch.High = 0;
    }
  }
  ch.Low = x;
  ch.ExpoAlt = e;
  ch.NumAlt = nibble;
}

// Interval index of a measurement header and its averaging constants; false beyond the table.
bool AveragingConstants(int header, int& offset, double& divisor) {
  const int index = ((header >> 8) & 0xF) + ((header & 0x2) ? 14 : 0);
  if (index > 20) return false;
  offset = ExpoOffset[index];
  divisor = AvgDivisor[index];
  return true;
}

TValueKind KindOf(int header) {
  const int mode = ModeOf(header);
  return mode <= 1 ? vkPhase : mode <= 3 ? vkFrequency : vkDifference;
}

void DecodeColdfire(TQV_ProcessState& state, int header, std::string_view payload, TDecoded& out) {
  out.Kind = KindOf(header);
  out.Count = std::min<int>(payload.size() / ColdfireValueBytes, MaxChannels);
  out.Valid.fill(false);
  const bool averaging = header & 0x1000;
  int offset = 0;
  double divisor = 1;
  if (!AveragingConstants(header, offset, divisor)) {
    if (out.Kind == vkFrequency || averaging) {
      state.Error(".ProcessBinData: interval index out of range, header " + IntToHex(header & 0xFFFF, 4));
      return;
    }
  }
  for (int k = 0; k < out.Count; ++k) {
    const std::string_view v = payload.substr(k * ColdfireValueBytes, ColdfireValueBytes);
    int e = Byte(v, 0) >> 4;
    if (e == 0) e = 16;
    const int nibble = Byte(v, 0) & 0xF;
    uint64_t mantissa = nibble;
    for (int b = 1; b < 7; ++b) mantissa = mantissa << 8 | Byte(v, b);
    TQV_ChannelState& ch = state.Channels[k];
    if (out.Kind == vkPhase) {
      const double x = averaging ? std::ldexp(static_cast<double>(mantissa), e + offset - 35) / divisor
                                 : std::ldexp(static_cast<double>(mantissa), e - 35);
      ExtendColdfirePhase(ch, e, nibble, x);
      out.Value[k] = WholeAndFraction(ch.High, x);
      out.Plain[k] = out.Value[k].ToDouble();
      ch.Decimals = ExpoDecimals[e];
    } else if (out.Kind == vkFrequency) {
      double x = std::ldexp(static_cast<double>(mantissa), e + (averaging ? offset : 0) - 35) / divisor;
      if (averaging) x /= divisor;
      ch.Low = x;
      ch.ExpoAlt = e;
      out.Value[k].FromDouble(x);
      out.Plain[k] = x * 1000;
      ch.Decimals = ExpoDecimals[e] + 5;
    } else {
      const int64_t signedMantissa = (mantissa & (uint64_t{1} << 51)) ? static_cast<int64_t>(mantissa) - (int64_t{1} << 52)
                                                                      : static_cast<int64_t>(mantissa);
      const bool divided = averaging && (k > 0 || out.Count == 1);
      const double x = divided ? std::ldexp(static_cast<double>(signedMantissa), e + offset - 35) / divisor
                               : std::ldexp(static_cast<double>(signedMantissa), e - 35);
      ch.Low = std::fabs(x);
      ch.ExpoAlt = e;
      ch.NumAlt = static_cast<int32_t>(static_cast<uint64_t>(signedMantissa) & 0xFFFFFFFF);
      ch.Negative = signedMantissa < 0;
      out.Value[k].FromDouble(x);
      out.Plain[k] = x;
      ch.Decimals = ExpoDecimals[e];
    }
    out.Decimals[k] = static_cast<int8_t>(ch.Decimals);
    out.Valid[k] = true;
  }
}

// The network-module phase double: the range code sits in exponent bits 58-61.
double RestoreESPDouble(uint64_t bits) {
  const uint64_t top = bits >> 56;
  const uint64_t restored = (top & 0x40) ? (top & 0xC3) : (top | 0x3C);
  return std::bit_cast<double>((bits & 0x00FFFFFFFFFFFFFFull) | restored << 56);
}

int RangeCode(uint64_t bits) { return static_cast<int>((bits >> 58) & 0xF); }

// Extends a network-module phase (step of ReadESPPhase); false when the value cannot be used.
bool ReadESPPhase(TQV_ProcessState& state, int k, uint64_t bits, const char* name, bool negativeToZero, Phase& value) {
  const int range = RangeCode(bits);
  double v = RestoreESPDouble(bits);
  TQV_ChannelState& ch = state.Channels[k];
  // Diagnostic texts only: built when a line is written.
  const auto prefix = [&] { return std::string(name) + "[" + std::to_string(k + 1) + "]"; };
  if (!std::isfinite(v) || std::fabs(v) >= 4611686018427387904.0) {
    state.Error(prefix() + " invalid Phase");
    value = Phase{};
    return false;
  }
  if (v < 0) {
    state.Error(prefix() + " Double < 0 =" + FloatToShortest(v));
    if (negativeToZero) v = 0;
  }
  if (ch.PhaseDoubleOld > v) {
    const int64_t wrap = range == 15 ? 0 : int64_t{1} << (18 + range);
    if (k == 0)
      state.Log(prefix() + " Overflow old=" + FloatToShortest(ch.PhaseDoubleOld) + " new=" + FloatToShortest(v) +
                " Mask=" + std::to_string(wrap));
    ch.High += wrap;
  }
  ch.PhaseDoubleOld = v;
  ch.Decimals = RangeDecimals[range];
  value = WholeAndFraction(ch.High, v);
  return true;
}

void DecodeESP(TQV_ProcessState& state, int header, std::string_view payload, TDecoded& out) {
  out.Kind = KindOf(header);
  out.Count = std::min<int>(payload.size() / EightByteValues, MaxChannels);
  for (int k = 0; k < out.Count; ++k) {
    const uint64_t bits = LittleEndian64(payload, k * EightByteValues);
    TQV_ChannelState& ch = state.Channels[k];
    out.Valid[k] = true;
    if (out.Kind == vkPhase) {
      out.Valid[k] = ReadESPPhase(state, k, bits, "ReadESPPhase", false, out.Value[k]);
      out.Plain[k] = out.Value[k].ToDouble();
    } else {
      const double raw = std::bit_cast<double>(bits);
      const double x = out.Kind == vkFrequency ? raw / 1000 : raw;
      ch.Low = std::fabs(x);
      ch.Negative = x < 0;
      ch.Decimals = RangeDecimals[RangeCode(bits)];
      out.Value[k].FromDouble(x);
      out.Plain[k] = out.Kind == vkFrequency ? raw : x;
      out.Valid[k] = std::isfinite(x);
    }
    out.Decimals[k] = static_cast<int8_t>(ch.Decimals);
  }
}

void AppendDecoded(TQV_ProcessState& state, const TDecoded& values, std::string& line) {
  for (int k = 0; k < values.Count; ++k) {
    line.push_back(';');
    if (!values.Valid[k]) {
      AppendMarker(state, line, QV_ValueColumnWidth);
      continue;
    }
    AppendPhaseField(state, line, values.Value[k], values.Decimals[k], QV_ValueColumnWidth);
  }
}

// Raw data: three 16-bit words per value.
void AppendRawData(TQV_ProcessState& state, std::string_view payload, int valueBytes, std::string& line) {
  if (!state.FOptRawData) {
    line.clear();
    line += "7FF0; unsupported mode";
    return;
  }
  const int count = std::min<int>(payload.size() / valueBytes, MaxChannels);
  for (int k = 0; k < count; ++k) {
    const std::string_view v = payload.substr(k * valueBytes, valueBytes);
    uint16_t words[3];
    if (valueBytes == ColdfireValueBytes) {
      words[0] = BigEndian16(v, 0);
      words[1] = BigEndian16(v, 2);
      words[2] = BigEndian16(v, 4);
    } else {
      words[0] = static_cast<uint16_t>(Byte(v, 5) << 8 | Byte(v, 4));
      words[1] = static_cast<uint16_t>(Byte(v, 3) << 8 | Byte(v, 2));
      words[2] = static_cast<uint16_t>(Byte(v, 1) << 8 | Byte(v, 0));
    }
    line += "; ";
    AppendHex(line, words[0], 4);
    line.push_back(',');
    AppendHex(line, words[1], 4);
    line.push_back(',');
    AppendHex(line, words[2], 4);
  }
}

// ---- Interval-counter data ----

double IVCValue(int a, int b, uint32_t c) { return std::min(((a - b) / 2000.0 + c) * 100, MaxIVCValue); }

struct TIVCValues {
  int Count = 0;
  std::array<double, MaxChannels * 4> Values{};  // in line order (groups reversed)
};

enum TIVCResult { ivcOk, ivcSyncError, ivcNoValue };

// Decodes a 7900 payload. Single values and groups with their synchronisation bits.
TIVCResult DecodeIVC(TQV_ProcessState& state, std::string_view payload, bool esp, TIVCValues& out,
                     const char* where) {
  const size_t groupBytes = esp ? 8 : 7;
  const size_t singleBytes = esp ? 8 : 6;
  const bool single = state.FIVC == 1 || (state.FIVC == 0 && payload.size() < (esp ? 9u : 7u));
  out.Count = 0;
  if (single) {
    if (payload.size() != singleBytes) {
      state.Error(std::string(where) + " 7900 single value of " + std::to_string(payload.size()) + " bytes ignored: " +
                  AnsiToHex(payload));
      return ivcNoValue;
    }
    const int a = (Byte(payload, 1) & 0x0F) * 256 + Byte(payload, 0);
    const int b = (Byte(payload, 1) >> 4) + 16 * Byte(payload, 2);
    const uint32_t c = Byte(payload, 3) + 256u * Byte(payload, 4) + 65536u * Byte(payload, 5);
    out.Values[0] = IVCValue(a, b, c);
    out.Count = 1;
    return ivcOk;
  }
  const auto syncError = [&](const std::string& detail) {
    if (!state.FIVCReceived) state.Log(std::string(where) + " ignore first 7900 SyncError " + detail + AnsiToHex(payload));
    return ivcSyncError;
  };
  if (payload.empty() || payload.size() % groupBytes != 0) return syncError("(Length): ");
  const size_t groups = std::min<size_t>(payload.size() / groupBytes, out.Values.size());
  for (size_t i = 0; i < groups; ++i) {
    const std::string_view g = payload.substr(i * groupBytes, groupBytes);
    const bool last = i + 1 == groups;
    const bool g1Bit = Byte(g, 1) & 0x80;
    if (!(Byte(g, 0) & 0x80) || g1Bit == last || (Byte(g, 2) & 0x80) || (Byte(g, 3) & 0x80)) return syncError("");
    const int a = (Byte(g, 1) & 0x7F) * 128 + (Byte(g, 0) & 0x7F);
    const int b = (Byte(g, 3) & 0x7F) * 128 + (Byte(g, 2) & 0x7F);
    const uint32_t c = Byte(g, 4) + 256u * Byte(g, 5) + 65536u * Byte(g, 6);
    out.Values[groups - 1 - i] = a * b == 0 ? IVCNoValue : IVCValue(a, b, c);
  }
  out.Count = static_cast<int>(groups);
  return ivcOk;
}

void MarkIVCReceived(TQV_ProcessState& state) {
  if (state.Device && state.Device->ReceivedSec() == 0) state.Device->SetReceivedSec(1);
}

void ReadIVC(TQV_ProcessState& state, std::string_view payload, bool esp, std::string& line) {
  TIVCValues values;
  const TIVCResult result = DecodeIVC(state, payload, esp, values, ".ProcessBinData:");
  MarkIVCReceived(state);
  if (result == ivcNoValue) return line.clear();
  if (result == ivcSyncError) {
    if (!state.FIVCReceived) return line.clear();
    state.FHeader = rc_IVCSyncError;
    StartLine(line, rc_IVCSyncError);
    line += ": ";
    line += IVCSyncErrorText;
    return;
  }
  state.FIVCReceived = true;
  const bool single = values.Count == 1 && (state.FIVC == 1 || payload.size() == (esp ? 8u : 6u));
  line += single ? "; " : ";";
  for (int i = 0; i < values.Count; ++i) {
    AppendDoubleField(state, line, values.Values[i], 2, QV_IVCColumnWidth);
    line.push_back(';');
  }
}

// ---- Report codes ----

bool PayloadHas(TQV_ProcessState& state, std::string_view payload, size_t needed) {
  if (payload.size() >= needed) return true;
  state.Error(".ProcessBinData: report " + IntToHex(Code(state.FHeader), 4) + " too short: " +
              std::to_string(payload.size()) + " bytes, expected " + std::to_string(needed));
  return false;
}

// "; $" + hex4 for the byte pairs starting at the given offsets.
void AppendWords(std::string& line, std::string_view payload, std::initializer_list<size_t> offsets) {
  for (size_t i : offsets) {
    line += "; $";
    AppendHex(line, BigEndian16(payload, i), 4);
  }
}

void AppendCalibration(TQV_ProcessState& state, std::string_view payload, std::string& line) {
  const bool empty = payload.find_first_not_of('\0') == std::string_view::npos ||
                     payload.find_first_not_of('\xFF') == std::string_view::npos;
  const int words = std::min<int>(payload.size() / 4, MaxChannels);
  const double factor = state.FCalibFactorFloatToInt > 0 ? state.FCalibFactorFloatToInt : 1000;
  line.push_back(';');
  for (int i = 0; i < words; ++i) {
    const uint32_t word = BigEndian32(payload, i * 4);
    const double value = empty || word == 0xFFFFFFFF ? 0.0 : static_cast<int32_t>(word) / factor;
    AppendDoubleField(state, line, value, 3, 14);
    line.push_back(';');
  }
}

// The Coldfire version text up to and including the character after "User".
std::string_view CutAfterUser(std::string_view text) {
  const size_t user = text.find("User");
  if (user == std::string_view::npos) return text;
  return text.substr(0, std::min(text.size(), user + 5));
}

uint32_t Counter(std::string_view payload) { return payload.size() >= 4 ? BigEndian32(payload, 0) : 0; }

void SetReceivedSec(TQV_ProcessState& state, uint32_t counter) {
  if (state.Device) state.Device->SetReceivedSec(counter);
}

// Repeated second / tenth second: the measurements that follow were delivered before.
void StartIgnore(TQV_ProcessState& state, std::string_view payload, const char* where) {
  const uint32_t counter = Counter(payload);
  if (!state.Device || counter != state.Device->ReceivedSec()) return;
  state.ignoreDataPerSecondCounter =
      state.dataPerSecondCounter != 0 ? state.dataPerSecondCounter : state.dataPerSecondCounterReset;
  std::string text = std::string(where) + " START ignore Data";
  if (Code(state.FHeader) == rc_RepeatedTenthSecond)
    text += ", ignoreDataPerSecondCounter=" + std::to_string(state.ignoreDataPerSecondCounter);
  state.Log(text);
}

// A tenth-second timestamp's line: the full second, the count-check failure, the timestamp when
// passed on, or the empty report.
void AppendTenthSecondLine(TQV_ProcessState& state, uint32_t counter, std::string& line) {
  line.clear();
  if (counter % 10 == 0) {
    line += "7015; ";
    AppendNumber(line, counter / 10);
    return;
  }
  const std::string failure = state.CheckDataPerSecondCounter();
  if (!failure.empty()) {
    line += failure;
  } else if (state.Fsend7016) {
    line += "7016; ";
    AppendNumber(line, counter);
  } else {
    line += "7000;";
  }
}

enum TDialect { dlColdfire, dlESP };

void ProcessCode(TQV_ProcessState& state, std::string_view payload, TDialect dialect, std::string& line) {
  const uint16_t code = Code(state.FHeader);
  const bool esp = dialect == dlESP;
  switch (code) {
    case rc_Empty: line.push_back(';'); break;
    case rc_Version:
      if (esp) {
        line += TrimBlanks(payload);
        line += " / SW: ";
      } else {
        line += CutAfterUser(TrimBlanks(payload));
        line += " / ";
      }
      line += state.OwnVersion;
      if (state.Host) state.Host->TakeIsIVConly();
      break;
    case rc_Word:
    case rc_RegisterWord:
      if (!PayloadHas(state, payload, 2)) return line.clear();
      AppendWords(line, payload, {0});
      break;
    case rc_BlockDone: line += "; Block done"; break;
    case rc_TwoWords:
      if (!PayloadHas(state, payload, 4)) return line.clear();
      line += "; $";
      AppendHex(line, BigEndian16(payload, 0), 4);
      line += ", $";
      AppendHex(line, BigEndian16(payload, 2), 4);
      break;
    case rc_Value24:
      if (!PayloadHas(state, payload, 3)) return line.clear();
      line += "; $";
      AppendHex(line, uint32_t{Byte(payload, 0)} << 16 | BigEndian16(payload, 1), 6);
      break;
    case rc_Second: {
      if (!PayloadHas(state, payload, 4)) return line.clear();
      const uint32_t counter = Counter(payload);
      state.TakeTimestamp(!esp, ".ProcessBinData: FirstTimestampReceived");
      SetReceivedSec(state, counter);
      line += "; ";
      AppendNumber(line, counter);
      break;
    }
    case rc_TenthSecond: {
      if (!PayloadHas(state, payload, 4)) return line.clear();
      const uint32_t counter = Counter(payload);
      state.TakeTimestamp(true, ".ProcessBinReport: FirstTimestampReceived");
      SetReceivedSec(state, counter);
      AppendTenthSecondLine(state, counter, line);
      break;
    }
    case rc_OptionWord:
      if (!esp) return AppendGeneric(line, payload);
      if (!PayloadHas(state, payload, 4)) return line.clear();
      line += "; $";
      AppendHex(line, uint32_t{Byte(payload, 3)} << 24 | uint32_t{Byte(payload, 2)} << 16 | uint32_t{Byte(payload, 1)} << 8 | Byte(payload, 0), 8);
      break;
    case rc_SettingsChanged:
      state.ResetChecks("ProcessBinData: header changed -> reset data/timestamp checks");
      if (!PayloadHas(state, payload, 2)) return line.clear();
      AppendWords(line, payload, {0});
      break;
    case rc_ChannelSelection:
      state.Log(".ProcessBinData Do NOT report ChannelSelection data to app");
      line.clear();
      break;
    case rc_BufferCleared:
    case rc_OverflowCleared:
      state.ResetChecks(".ProcessBinData: receive buffer cleared -> reset data/timestamp checks");
      line += code == rc_BufferCleared ? "; Buffer cleared" : "; Buffer cleared after buffer overflow";
      break;
    case rc_ConnectedUsers:
      line += "; Connected users:";
      if (state.Device)
        line += state.Device->ConvertConnectedUsersBinToAnsi(std::string(payload),
                                                             state.Host ? state.Host->ServerIPAndPort() : "");
      break;
    case rc_TextMessage:
      line.clear();
      line += "7040; ";
      line += TrimBlanks(payload);
      break;
    case rc_RegisterBlock55:
      if (!PayloadHas(state, payload, 15)) return line.clear();
      line += "; $";
      AppendHex(line, Byte(payload, 0), 2);
      AppendWords(line, payload, {1, 3, 5, 7, 9, 11, 13});
      break;
    case rc_RepeatedSecond:
    case rc_RepeatedTenthSecond:
      StartIgnore(state, payload, ".ProcessBinData");
      line.clear();
      break;
    case rc_IntervalCounter: ReadIVC(state, payload, esp, line); break;
    case rc_Calibration: AppendCalibration(state, payload, line); break;
    case rc_HRQSettings:
      line.clear();
      if (state.Device) line = state.Device->Check7902Report(std::string(payload));
      break;
    case rc_StatusBlock:
      if (!PayloadHas(state, payload, 11)) return line.clear();
      line += "; $";
      AppendHex(line, Byte(payload, 0), 2);
      AppendWords(line, payload, {1});
      line += "; $";
      line += IntToHex(BigEndian32(payload, 3), 4);
      line += "; $";
      line += IntToHex(BigEndian32(payload, 7), 4);
      break;
    case rc_ByteDump:
      for (char c : payload) {
        line.push_back(' ');
        AppendHex(line, static_cast<uint8_t>(c), 2);
      }
      break;
    case rc_Dump:
      if (!PayloadHas(state, payload, 16)) return line.clear();
      line.push_back(' ');
      AppendHex(line, BigEndian32(payload, 0), 8);
      for (size_t i = 4; i < 16; i += 2) {
        line.push_back(' ');
        AppendHex(line, BigEndian16(payload, i), 4);
      }
      break;
    case rc_RegisterBlock1A:
      if (!PayloadHas(state, payload, 11)) return line.clear();
      line += "; $";
      AppendHex(line, Byte(payload, 0), 2);
      line += "=$";
      AppendHex(line, Byte(payload, 2), 2);
      line += ": $";
      AppendHex(line, BigEndian16(payload, 3), 4);
      AppendWords(line, payload, {5, 7, 9});
      break;
    case rc_RegisterBlock1B:
      if (!PayloadHas(state, payload, 10)) return line.clear();
      line += "; $";
      AppendHex(line, Byte(payload, 0), 2);
      AppendWords(line, payload, {1, 3, 5, 8});
      break;
    case rc_ESPText:
      if (!esp) return AppendGeneric(line, payload);
      line += payload;
      break;
    case rc_ReSync:
      state.ResetChecks(".ProcessBinData: Re-Sync -> reset data/timestamp checks");
      if (state.Host) state.Host->ReSync();
      AppendGeneric(line, payload);
      break;
    case rc_Error2:
      if (!esp && TrimBlanks(payload) == "Scrambler in use!")
        state.Log(".ProcessBinData: Scrambler in use");
      else
        state.ResetChecks(".ProcessBinData: receive input data overrun -> reset data/timestamp checks");
      AppendGeneric(line, payload);
      break;
    case rc_RefClockOk:
    case rc_RefClockInvalid:
      if (state.Device) state.Device->SetReferenceClockError(code == rc_RefClockInvalid);
      AppendGeneric(line, payload);
      break;
    case rc_TooManyUsers:
      if (state.Device && state.Device->RegisterID() != TQV_BaseDevice::NoUser) {
        line.clear();
        line += "7FFA: UserID ";
        AppendNumber(line, state.Device->RegisterID());
        line += " already in use";
      } else {
        AppendGeneric(line, payload);
      }
      break;
    default: AppendGeneric(line, payload); break;
  }
}

void RememberZctHeader(TQV_ProcessState& state) {
  const int code = state.FHeader & 0x7FFF;
  if (state.FdasSindMessdaten || code == rc_TenthSecond) state.FLastZctHeader = code;
}

void FinishLine(TQV_ProcessState& state, const std::string& line) {
  RememberZctHeader(state);
  state.LogReportLine(line);
}

void ProcessMeasurement(TQV_ProcessState& state, std::string_view payload, TDialect dialect, std::string& line) {
  const int valueBytes = dialect == dlESP ? EightByteValues : ColdfireValueBytes;
  if (ModeOf(state.FHeader) == 6) return AppendRawData(state, payload, valueBytes, line);
  TDecoded values;
  if (dialect == dlESP)
    DecodeESP(state, state.FHeader, payload, values);
  else
    DecodeColdfire(state, state.FHeader, payload, values);
  AppendDecoded(state, values, line);
}

void ProcessData(TQV_ProcessState& state, std::string_view payload, TDialect dialect, std::string& line) {
  StartLine(line, state.FHeader);
  if (state.FdasSindMessdaten)
    ProcessMeasurement(state, payload, dialect, line);
  else
    ProcessCode(state, payload, dialect, line);
  FinishLine(state, line);
}

bool IsESP(const TQV_ProcessState& state) { return state.Device && state.Device->PeerType() == ptESP; }

// Skips a measurement while a repeated interval is being dropped; true when the report is dropped.
bool IgnoreMeasurement(TQV_ProcessState& state, const char* where) {
  if (state.ignoreDataPerSecondCounter == 0) return false;
  if (--state.ignoreDataPerSecondCounter == 0) state.Log(std::string(where) + " END ignore Data");
  return true;
}

// The next report of the packed block: removes it from the block.
std::string_view TakePacked(TQV_ProcessState& state) {
  const std::string_view block(state.PackedString);
  return block.substr(0, std::min<size_t>(block.size(), state.PackLen));
}

void DropPacked(TQV_ProcessState& state) {
  state.PackedString.erase(0, std::min<size_t>(state.PackedString.size(), state.PackLen));
  if (--state.PackCount <= 0) {
    state.PackCount = 0;
    state.PackedString.clear();
    state.FdasSindGepackteDaten = false;
  }
}

}  // namespace

bool CheckHeader(TQV_ProcessState& state, std::string_view report, bool eightByteValues, std::string_view& payload) {
  payload = {};
  const bool esp = IsESP(state);
  const size_t valueBytes = esp || eightByteValues ? EightByteValues : ColdfireValueBytes;
  const bool packed = !esp && !report.empty() && Byte(report, 0) >= 0xF0;
  if (report.size() < (packed ? 3u : 2u)) {
    state.Error(".CheckHeader: report too short: " + AnsiToHex(report));
    return false;
  }
  state.PackCount = 0;
  state.FdasSindGepackteDaten = false;
  if (packed) {
    state.FHeader = BigEndian16(report, 1);
    state.PackCount = (Byte(report, 0) & 0x0F) + 1;
    state.PackedString.assign(report.substr(3));
    state.PackLen = static_cast<int32_t>(state.PackedString.size() / state.PackCount);
    state.FdasSindGepackteDaten = true;
  } else {
    state.FHeader = BigEndian16(report, 0);
    payload = report.substr(2);
  }
  state.FdasSindMessdaten = esp ? state.FHeader < QV_FirstReportCode : IsMeasurementHeader(state.FHeader);
  if (!state.FdasSindMessdaten) {
    if (packed) payload = TakePacked(state);
    return true;
  }
  if (state.FHeader & QV_LostBit) state.ResetChecks(".CheckHeader: Device reports lost data -> reset data/timestamp checks");

  const size_t length = packed ? state.PackLen : payload.size();
  const size_t values = length / valueBytes;
  if (values > MaxChannels) {
    state.Error(".CheckHeader Measured data too long, " + std::to_string(values) + " channels reported, truncated to " +
                std::to_string(MaxChannels) + " channels");
    const size_t kept = MaxChannels * valueBytes;
    if (packed) {
      // Every report of the block keeps its own first 24 values.
      std::string cut;
      cut.reserve(state.PackCount * kept);
      for (int i = 0; i < state.PackCount; ++i) cut.append(state.PackedString, i * state.PackLen, kept);
      state.PackedString = std::move(cut);
      state.PackLen = static_cast<int32_t>(kept);
    } else {
      payload = payload.substr(0, kept);
    }
  } else if (length % valueBytes != 0) {
    state.Error(".CheckHeader: " + std::to_string(length % valueBytes) + " bytes after the last whole value ignored");
  }
  if (packed) payload = TakePacked(state);
  state.FDataHeader = state.FHeader & 0x7FFF;
  return true;
}

void ProcessBinData(TQV_ProcessState& state, std::string_view payload, std::string& line) {
  ProcessData(state, payload, dlColdfire, line);
}

void ProcessESPBinData(TQV_ProcessState& state, std::string_view payload, std::string& line) {
  ProcessData(state, payload, dlESP, line);
}

void ProcessBinReport(TQV_ProcessState& state, std::string_view report, std::string& line) {
  line.clear();
  std::string_view payload;
  if (!CheckHeader(state, report, false, payload)) return;
  const bool packed = state.FdasSindGepackteDaten;
  if (state.FdasSindMessdaten) {
    const bool ignored = IgnoreMeasurement(state, ".ProcessBinReport");
    if (!ignored) state.CountMeasurement(".ProcessBinReport: FirstDataReceived");
    if (ignored) {
      if (packed) DropPacked(state);
      return;
    }
  }
  // The payload of a packed block points into the block: it is dropped once the line is built.
  if (IsESP(state))
    ProcessESPBinData(state, payload, line);
  else
    ProcessBinData(state, payload, line);
  if (packed) DropPacked(state);
}

void ProcessPackedReport(TQV_ProcessState& state, std::string& line) {
  line.clear();
  if (state.PackCount <= 0) return;
  state.FHeader &= ~QV_LostBit;
  if (IgnoreMeasurement(state, ".ProcessPackedReport")) return DropPacked(state);
  if (state.FFirstTimestampReceived) ++state.dataPerSecondCounter;
  const std::string_view payload = TakePacked(state);
  ProcessBinData(state, payload, line);
  DropPacked(state);
}

void ProcessDemoReport(TQV_ProcessState& state, std::string_view report, std::string& line) {
  line.clear();
  if (report.starts_with("7902")) {
    line.assign(report);
    return;
  }
  std::string_view payload;
  if (!CheckHeader(state, report, true, payload)) return;
  if (state.FdasSindMessdaten) {
    if (IgnoreMeasurement(state, ".ProcessDemoReport")) return;
    state.CountMeasurement(".ProcessDemoReport: FirstDataReceived");
  }
  StartLine(line, state.FHeader);
  const uint16_t code = Code(state.FHeader);
  if (state.FdasSindMessdaten || code == rc_IntervalCounter) {
    const bool ivc = code == rc_IntervalCounter;
    const int decimals = ivc ? 2 : (code >= 0x2000 && code < 0x4000) ? 15 : 11;
    const int count = std::min<int>(payload.size() / EightByteValues, MaxChannels);
    for (int k = 0; k < count; ++k) {
      line.push_back(';');
      AppendDoubleField(state, line, std::bit_cast<double>(LittleEndian64(payload, k * EightByteValues)), decimals,
                        ivc ? QV_IVCColumnWidth : QV_ValueColumnWidth);
    }
    if (ivc) {
      line.push_back(';');
      state.FIVCReceived = true;
      MarkIVCReceived(state);
    }
    return FinishLine(state, line);
  }
  switch (code) {
    case rc_Empty: line.push_back(';'); break;
    case rc_Version:
      line += TrimBlanks(payload);
      line += " / ";
      line += state.OwnVersion;
      if (state.Host) state.Host->TakeIsIVConly();
      break;
    case rc_Second: {
      if (!PayloadHas(state, payload, 4)) return line.clear();
      state.TakeTimestamp(true, ".ProcessDemoReport: FirstTimestampReceived");
      SetReceivedSec(state, Counter(payload));
      line += "; ";
      AppendNumber(line, Counter(payload));
      break;
    }
    case rc_TenthSecond:
    case rc_BufferCleared:
    case rc_OverflowCleared:
    case rc_Calibration: ProcessCode(state, payload, dlColdfire, line); break;
    case rc_SettingsChanged:
      state.ResetChecks(".ProcessDemoReport: header changed -> reset data/timestamp checks");
      if (payload.size() >= 2) AppendWords(line, payload, {0});
      break;
    case rc_Word: case rc_BlockDone: case rc_TwoWords: case rc_Value24: case rc_ChannelSelection:
    case rc_TextMessage: case rc_RegisterBlock55: case rc_RepeatedSecond: case rc_RepeatedTenthSecond:
    case rc_StatusBlock: case rc_ByteDump: case rc_Dump: case rc_RegisterWord: case rc_RegisterBlock1A:
    case rc_RegisterBlock1B: case rc_Error2: case rc_RefClockOk: case rc_RefClockInvalid:
      break;  // the bare header
    default: AppendGeneric(line, payload); break;
  }
  FinishLine(state, line);
}

bool ParseTxtReportHeader(TQV_ProcessState& state, std::string_view line, std::string_view& rest) {
  uint32_t header = 0;
  if (line.size() < 4 || std::from_chars(line.data(), line.data() + 4, header, 16).ptr != line.data() + 4) {
    state.Error(".ProcessTxtReport: no report header: " + std::string(line.substr(0, 40)));
    return false;
  }
  state.FHeader = static_cast<int32_t>(header);
  state.FdasSindMessdaten = IsMeasurementHeader(state.FHeader);
  if (state.FdasSindMessdaten) state.FDataHeader = state.FHeader & 0x7FFF;
  rest = line.substr(4);
  if (rest.starts_with(';')) rest.remove_prefix(1);
  rest = TrimBlanks(rest);
  return true;
}

void ProcessTxtReport(TQV_ProcessState& state, std::string_view line) {
  std::string_view rest;
  if (!ParseTxtReportHeader(state, line, rest)) return;
  if (state.FdasSindMessdaten) {
    if (state.FHeader & QV_LostBit) state.ResetChecks(".ProcessTxtReport: Device reports lost data -> reset data/timestamp checks");
    state.CountMeasurement(".ProcessTxtReport: FirstDataReceived");
    if (state.FFirstTimestampReceived && state.FReportLog)
      state.Log(".ProcessTxtReport: dataCounter=" + std::to_string(state.dataPerSecondCounter));
    return RememberZctHeader(state);
  }
  switch (Code(state.FHeader)) {
    case rc_Version:
      if (state.Host) state.Host->TakeIsIVConly();
      break;
    case rc_Second:
      state.TakeTimestamp(true, ".ProcessTxtReport: FirstTimestampReceived");
      if (state.FReportLog) state.Log(".ProcessTxtReport: timestampCounter=" + std::to_string(state.FTimestampCounter));
      break;
    case rc_SettingsChanged: state.ResetChecks("ProcessTxtReport: header changed -> reset data/timestamp checks"); break;
    case rc_BufferCleared:
    case rc_OverflowCleared:
      state.ResetChecks("ProcessTxtReport: receive buffer cleared -> reset data/timestamp checks");
      break;
    case rc_ReSync:
      state.ResetChecks("ProcessTxtReport: Re-Sync -> reset data/timestamp checks");
      if (state.Host) state.Host->ReSync();
      break;
    case rc_Error2: state.ResetChecks("ProcessTxtReport: receive input data overrun -> reset data/timestamp checks"); break;
    case rc_RefClockOk:
    case rc_RefClockInvalid: {
      const bool error = Code(state.FHeader) == rc_RefClockInvalid;
      if (state.Device) state.Device->SetReferenceClockError(error);
      state.Log(error ? "ProcessTxtReport: Reference Clock Error" : "ProcessTxtReport: Reference Clock Ok");
      break;
    }
    default: break;
  }
  RememberZctHeader(state);
}

// ---- Structured path ----

namespace {

void SetIVCRecord(TQV_ProcessState& state, const TIVCValues& values, TIVCResult result, TQV_ReportStruct& record) {
  if (result == ivcSyncError && state.FIVCReceived) {
    record.SetMessage(rc_IVCSyncError, IVCSyncErrorText);
  } else if (result == ivcOk) {
    state.FIVCReceived = true;
    TQV_Doubles doubles{};
    const int count = std::min(values.Count, MaxChannels);
    std::copy_n(values.Values.begin(), count, doubles.begin());
    record.SetDoubles(rc_IntervalCounter, count, doubles);
  } else {
    record.Clear();
  }
}

void SetDecodedRecord(const TDecoded& values, uint16_t header, TQV_ReportStruct& record) {
  if (values.Kind == vkPhase) {
    TQV_ReportPhases phases{};
    for (int k = 0; k < values.Count; ++k) {
      phases[k] = values.Valid[k] ? values.Value[k] : Phase{0, NAN};
      phases[k].Normalize();
    }
    return record.SetPhases(header, values.Count, phases);
  }
  TQV_Doubles doubles{};
  for (int k = 0; k < values.Count; ++k) doubles[k] = values.Valid[k] ? values.Plain[k] : NAN;
  record.SetDoubles(header, values.Count, doubles);
}

TQV_Doubles CalibrationDoubles(const TQV_ProcessState& state, std::string_view payload) {
  TQV_Doubles doubles{};
  const bool empty = payload.find_first_not_of('\0') == std::string_view::npos ||
                     payload.find_first_not_of('\xFF') == std::string_view::npos;
  const double factor = state.FCalibFactorFloatToInt > 0 ? state.FCalibFactorFloatToInt : 1000;
  for (size_t i = 0; i < doubles.size() && (i + 1) * 4 <= payload.size(); ++i) {
    const uint32_t word = BigEndian32(payload, i * 4);
    doubles[i] = empty || word == 0xFFFFFFFF ? 0.0 : static_cast<int32_t>(word) / factor;
  }
  return doubles;
}

// The fields of a text line after its header, split on ";" and trimmed (empty fields skipped).
template <typename Take>
void ForEachField(std::string_view rest, Take take) {
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    const std::string_view field = TrimBlanks(rest.substr(0, end));
    if (!field.empty()) take(field);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

// A field as the parsers read it: the source's separator or a point; '#' columns are unreadable.
std::optional<Phase> ParseField(const TQV_ProcessState& state, std::string_view field) {
  if (auto value = Phase::Parse(field, state.DecimalSeparator)) return value;
  return Phase::Parse(field, '.');
}

bool HeaderOfLine(std::string_view line, uint16_t& header, std::string_view& rest) {
  uint32_t value = 0;
  if (line.size() < 4 || std::from_chars(line.data(), line.data() + 4, value, 16).ptr != line.data() + 4) return false;
  header = static_cast<uint16_t>(value);
  rest = line.substr(4);
  return true;
}

std::string MessageText(std::string_view rest) {
  if (rest.starts_with(';') || rest.starts_with(':')) rest.remove_prefix(1);
  return std::string(TrimBlanks(rest));
}

}  // namespace

void ProcessBinReportStruct(TQV_ProcessState& state, std::string_view report, TQV_ReportStruct& record) {
  const int64_t deviceMs = record.GetDeviceMs();
  record.Clear();
  record.SetDeviceMs(deviceMs);
  std::string_view payload;
  if (!CheckHeader(state, report, false, payload)) return;
  const bool packed = state.FdasSindGepackteDaten;
  const uint16_t header = static_cast<uint16_t>(state.FHeader);
  if (state.FdasSindMessdaten) {
    const bool ignored = IgnoreMeasurement(state, ".ProcessBinReport");
    if (!ignored) {
      state.CountMeasurement(".ProcessBinReport: FirstDataReceived");
      if (ModeOf(header) == 6) {
        if (state.FOptRawData) record.SetMessage(header, payload);
        else record.SetMessage(rc_UnsupportedMode, "unsupported mode");
      } else {
        TDecoded values;
        DecodeColdfire(state, header, payload, values);
        SetDecodedRecord(values, header, record);
      }
      RememberZctHeader(state);
    }
    if (packed) DropPacked(state);
    return;
  }
  switch (Code(header)) {
    case rc_IntervalCounter: {
      TIVCValues values;
      const TIVCResult result = DecodeIVC(state, payload, false, values, ".ProcessBinData:");
      MarkIVCReceived(state);
      return SetIVCRecord(state, values, result, record);
    }
    case rc_Calibration: return record.SetDoubles(rc_Calibration, MaxChannels, CalibrationDoubles(state, payload));
    case rc_HRQSettings: {
      const std::string text = state.Device ? state.Device->Check7902Report(std::string(payload)) : std::string();
      if (text.size() > 5) record.SetMessage(rc_HRQSettings, TrimBlanks(std::string_view(text).substr(5)));
      return;
    }
    case rc_ConnectedUsers: {
      std::string text = "; Connected users:";
      if (state.Device)
        text += state.Device->ConvertConnectedUsersBinToAnsi(std::string(payload),
                                                             state.Host ? state.Host->ServerIPAndPort() : "");
      return record.SetMessage(rc_ConnectedUsers, text);
    }
    default: {
      // Tallies, resets and the skipping of repeated data as on the text path; the line is not needed.
      std::string line;
      ProcessBinData(state, payload, line);
      if (Code(header) == rc_RepeatedSecond || Code(header) == rc_RepeatedTenthSecond ||
          Code(header) == rc_ChannelSelection)
        return;
      record.SetMessage(header, payload);
      return;
    }
  }
}

void ConvertAsciiZCTMeasurmentReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record) {
  if (state.FReportLog) state.Log(".ConvertAsciiZCTMeasurmentReport " + std::string(line));
  uint16_t header = 0;
  std::string_view rest;
  if (!HeaderOfLine(line, header, rest)) return record.SetError(QV_Err_BadFormat, "Invalid report line");
  const int code = header & 0x7FFF;
  int count = 0;
  if (code < 0x2000) {
    TQV_ReportPhases phases{};
    ForEachField(rest, [&](std::string_view field) {
      if (count >= MaxChannels) return;
      const auto value = ParseField(state, field);
      phases[count++] = value ? *value : Phase{0, NAN};
    });
    return record.SetPhases(header, count, phases);
  }
  TQV_Doubles doubles{};
  const double scale = code < 0x4000 ? 1000 : 1;
  ForEachField(rest, [&](std::string_view field) {
    if (count >= MaxChannels) return;
    const auto value = ParseField(state, field);
    doubles[count++] = value ? value->ToDouble() * scale : NAN;
  });
  record.SetDoubles(header, count, doubles);
}

void ConvertAsciiIVCMeasurmentReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record) {
  uint16_t header = 0;
  std::string_view rest;
  if (!HeaderOfLine(line, header, rest)) return record.SetError(QV_Err_BadFormat, "Invalid report line");
  TQV_Doubles doubles{};
  int count = 0;
  ForEachField(rest, [&](std::string_view field) {
    if (count >= MaxChannels) return;
    const auto value = ParseField(state, field);
    doubles[count++] = value ? value->ToDouble() : NAN;
  });
  record.SetDoubles(header, count, doubles);
}

void ConvertAsciiMessageReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record) {
  uint16_t header = 0;
  std::string_view rest;
  if (!HeaderOfLine(line, header, rest)) return record.SetError(QV_Err_BadFormat, "Invalid report line");
  if (header == rc_Second || header == rc_TenthSecond) {
    const std::string text = MessageText(rest);
    uint32_t counter = 0;
    std::from_chars(text.data(), text.data() + text.size(), counter);
    const char bytes[4] = {static_cast<char>(counter >> 24), static_cast<char>(counter >> 16),
                           static_cast<char>(counter >> 8), static_cast<char>(counter)};
    return record.SetMessage(header, std::string_view(bytes, 4));
  }
  if (header == rc_Calibration) {
    TQV_Doubles doubles{};
    int count = 0;
    ForEachField(rest, [&](std::string_view field) {
      if (count >= MaxChannels) return;
      const auto value = ParseField(state, field);
      doubles[count++] = value ? value->ToDouble() : NAN;
    });
    return record.SetDoubles(header, MaxChannels, doubles);
  }
  record.SetMessage(header, MessageText(rest));
}

void ProcessESPreport(TQV_ProcessState& state, TQV_ReportStruct& record) {
  if (record.GetReportType() != rt_Double) return;
  const int header = record.GetHeader();
  const int code = header & 0x7FFF;
  if (code >= 0x6000) return;
  const int count = record.GetChannelCount();
  TQV_Doubles doubles = record.GetDoubles();
  if (code < 0x2000) {
    TQV_ReportPhases phases{};
    for (int k = 0; k < count; ++k)
      ReadESPPhase(state, k, std::bit_cast<uint64_t>(doubles[k]), "ProcessESPreport Phase", true, phases[k]);
    return record.SetPhases(static_cast<uint16_t>(header), count, phases);
  }
  if (code < 0x4000) {
    for (int k = 0; k < count; ++k) doubles[k] /= 1000;
    record.SetDoubles(static_cast<uint16_t>(header), count, doubles);
  }
}

void ProcessESP_IVCreport(TQV_ProcessState& state, TQV_ReportStruct& record) {
  const int header = record.GetHeader();
  if (header == rc_ConnectedUsers && record.GetReportType() == rt_Message) {
    std::string text = "; Connected users:";
    if (state.Device)
      text += state.Device->ConvertConnectedUsersBinToAnsi(record.GetContent(),
                                                           state.Host ? state.Host->ServerIPAndPort() : "");
    return record.SetMessage(rc_ConnectedUsers, text);
  }
  if (header != rc_IntervalCounter || record.GetReportType() != rt_Double) return;
  const std::string content = record.GetContent();
  TIVCValues values;
  const TIVCResult result = DecodeIVC(state, content, true, values, ".ProcessESP_IVCreport:");
  MarkIVCReceived(state);
  SetIVCRecord(state, values, result, record);
}

void ReportStructToLine(TQV_ProcessState& state, const TQV_ReportStruct& record, std::string& line) {
  line.clear();
  const TQV_ReportType type = record.GetReportType();
  if (type == rt_None || type == rt_Error) return;
  const int header = record.GetHeader();
  const int code = header & 0x7FFF;
  const int width = code < 0x6000 ? QV_ValueColumnWidth
                    : code == rc_IntervalCounter ? QV_IVCColumnWidth
                    : code == rc_Calibration      ? 14
                    : code == rc_ESPText          ? 9
                                                  : 0;
  StartLine(line, header);
  if (code != rc_Version) line.push_back(';');
  if (width == 0) line.push_back(' ');
  if (type == rt_Message) {
    if (code == rc_Second || code == rc_TenthSecond) {
      AppendNumber(line, record.GetTimeStamp());
    } else if (code == rc_OptionWord || code == rc_SettingsChanged) {
      const std::string content = record.GetContent();
      uint32_t word = 0;
      for (size_t i = 0; i < std::min<size_t>(content.size(), 4); ++i) word = word << 8 | static_cast<uint8_t>(content[i]);
      AppendHex(line, word, 8);
    } else {
      line += record.GetContent();
    }
    return state.LogReportLine(line);
  }
  const int count = record.GetChannelCount();
  // Interval-counter and calibration lines end every value with ";" as the binary path does.
  const bool terminated = code == rc_IntervalCounter || code == rc_Calibration;
  for (int k = 0; k < count; ++k) {
    if (k > 0) line.push_back(';');
    const int decimals = k < MaxChannels ? state.Channels[k].Decimals : 11;
    if (type == rt_Phase) {
      AppendPhaseField(state, line, record.GetPhases()[k], decimals, width);
    } else if (type == rt_Int32) {
      char text[9];
      const uint32_t word = record.GetInts32()[k];
      for (int i = 0; i < 8; ++i) text[i] = "0123456789ABCDEF"[(word >> (28 - 4 * i)) & 0xF];
      line.append(std::max(0, width - 8), ' ');
      line.append(text, 8);
    } else {
      const double value = record.GetDoubles()[k];
      if (code < 0x2000) AppendDoubleField(state, line, value, decimals, width);
      else if (code < 0x4000) AppendDoubleField(state, line, value / 1000, decimals, width);
      else if (code < 0x6000) AppendDoubleField(state, line, value, decimals, width);
      else AppendDoubleField(state, line, value, code == rc_IntervalCounter ? 2 : 3, width == 0 ? 1 : width);
    }
  }
  if (terminated && count > 0) line.push_back(';');
  state.LogReportLine(line);
}

// ---- Binary output ----

void ProcessBinReportBinOutput(TQV_ProcessState& state, std::string_view report, std::string& out) {
  out.clear();
  std::string_view payload;
  if (!CheckHeader(state, report, false, payload)) return;
  const uint16_t code = Code(state.FHeader);
  if (state.FdasSindMessdaten) {
    const bool packed = state.FdasSindGepackteDaten;
    if (IgnoreMeasurement(state, ".ProcessBinReportBinOutput")) {
      if (packed) DropPacked(state);
      return;
    }
    ++state.dataPerSecondCounter;
    if (!packed) {
      out.assign(report);
      return;
    }
    out.push_back(static_cast<char>(state.FHeader >> 8));
    out.push_back(static_cast<char>(state.FHeader));
    out.append(payload);
    return DropPacked(state);
  }
  switch (code) {
    case rc_Version:
      out.assign(report);
      out += "; DLL: ";
      out += state.OwnVersion;
      state.Log(".ProcessBinReportBinOutput Version: " + out.substr(2));
      return;
    case rc_Second:
    case rc_TenthSecond: {
      const uint32_t counter = Counter(payload);
      SetReceivedSec(state, counter);
      state.Log(std::string(code == rc_Second ? " *** Sekunden empfangen: " : " *** ZehntelSekunden empfangen: ") +
                std::to_string(counter) + ", dataCounter=" + std::to_string(state.dataPerSecondCounter));
      state.dataPerSecondCounter = 0;
      out.assign(report);
      return;
    }
    case rc_SettingsChanged:
      state.dataPerSecondCounter = 0;
      out.assign(report);
      return;
    case rc_RepeatedSecond:
    case rc_RepeatedTenthSecond:
      state.Log(std::string(code == rc_RepeatedSecond ? " *** wiederholte Sekunden empfangen: "
                                                      : " *** wiederholte ZehntelSekunden empfangen: ") +
                std::to_string(Counter(payload)));
      StartIgnore(state, payload, ".ProcessBinReportBinOutput");
      return;
    default: out.assign(report); return;
  }
}

void ProcessPackedReportBinOutput(TQV_ProcessState& state, std::string& out) {
  out.clear();
  if (state.PackCount <= 0) return;
  state.FHeader &= ~QV_LostBit;
  if (IgnoreMeasurement(state, ".ProcessPackedReportBinOutput")) return DropPacked(state);
  ++state.dataPerSecondCounter;
  out.push_back(static_cast<char>(state.FHeader >> 8));
  out.push_back(static_cast<char>(state.FHeader));
  out.append(TakePacked(state));
  DropPacked(state);
}
