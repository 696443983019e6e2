#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EmulatorSettings.h"

// One report of the emulated instrument before it is framed for a transport.
struct TEmulatedReport {
  enum TKind { rkMeasurement, rkTimestamp, rkVersion, rkSettings, rkBufferCleared, rkToolsData, rkNvsBlock };
  TKind Kind = rkMeasurement;
  uint16_t Header = 0;         // measurement header of measurements and settings reports
  uint64_t Sample = 0;         // measurements: index since the instrument started
  std::vector<double> Values;  // measurements: MeasuredValue(k, Sample) for k = 1..n
  uint32_t Tenths = 0;         // 100 ms counter of the instrument
  uint16_t FpgaMs = 0;         // measurements: FPGA time at the end of the interval (0..19999)
  std::string Data;            // tools data, NVS block contents
  uint16_t NvsKey = 0;         // NVS blocks: id (low byte) and block number (high byte)

  static TEmulatedReport Of(TKind kind, std::string data = {}) {
    TEmulatedReport r;
    r.Kind = kind;
    r.Data = std::move(data);
    return r;
  }
};

// The measuring part of the instrument: settings, device time and the reports they produce, and
// the command bytes that change them. Shared by every transport; not thread-safe by itself.
class TInstrumentModel {
 public:
  struct TCommandResult {
    bool Known = false;
    bool ClearBuffer = false;     // a byte with bit 7 asked to clear the transmit buffer first
    bool Stop = false;            // 0x85 0x60
    bool Reset = false;           // 0x85 "P" or "Q": the instrument restarts and waits for a log-on
    bool Version = false;         // 0x01: the version report is to be sent
    bool ConnectedUsers = false;  // 0x85 0x42 0x01
    std::optional<uint16_t> NvsRead;  // 0x85 "E" id block: the NVS key (id | block << 8) asked for
    bool SettingsChanged = false; // rate, mode or scrambler: a settings report follows
    int MemoryRead = 0;           // 0x85 0x40 + address + length: bytes of memory asked for
  };

  explicit TInstrumentModel(const TEmulatorSettings& settings);

  // What channel k (1..24) measures at sample n: 1000 k + n / 8. Exact in binary and in three
  // decimals, so a log can be checked against it value by value.
  static double MeasuredValue(int channel, uint64_t sample);
  // Position in the rate table (1 ms .. 20 s), -1 when ms is none of its intervals.
  static int IntervalIndex(int ms);
  static int IntervalMs(int index);
  // Bytes the instrument needs for a command starting with prefix; 0 = not known yet (more bytes).
  static size_t CommandLength(std::string_view prefix);

  // The measurements and tenth-second stamps due up to device time deviceMs, in time order.
  std::vector<TEmulatedReport> AdvanceTo(uint64_t deviceMs);
  uint64_t NextEventMs() const;
  TCommandResult Execute(std::string_view command);

  uint16_t Header() const;
  int Channels() const { return FChannels; }
  int Mode() const { return FMode; }
  int RateIndex() const { return FRateIndex; }
  TEmulatedReport SettingsReport() const;
  TEmulatedReport TimestampReport() const;
  // The answer to an NVS read: the option word (id "i" block 5; bit 0, the one the host asks about,
  // set) or an erased calibration or HRQ block (id "b" blocks 0..4, 128 bytes 0xFF).
  static TEmulatedReport NvsBlock(uint16_t key);

 private:
  TEmulatedReport Measurement(uint64_t endMs);
  void SetRate(int index);

  int FMode;
  int FRateIndex;
  int FChannels;
  int FScrambler = 0;
  uint64_t FNowMs = 0;
  uint64_t FNextMeasMs;
  uint64_t FNextTenthMs = 100;
  uint64_t FSample = 0;
};
