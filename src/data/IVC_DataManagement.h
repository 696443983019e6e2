#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/App_Settings.h"
#include "data/App_DataManagement.h"
#include "devices/QV_CommonTypes.h"

class IReportLogSink;
class ISamplerSink;

// What the views show of the interval-counter channels.
enum TTextModeIVC : uint8_t { tmIVC = 0, tmIVCDiff = 1, tmIVCShortAvg = 2, tmIVCLongAvg = 3 };

// The interval-counter store of a counter session, shared with the session's interval-counter copy.
// It takes the "7900;" lines (one 13-character column of nanoseconds with 2 decimals per channel),
// subtracts the calibration in force, keeps 2048 samples of history, keeps a running estimate of
// each channel's offset to channel 1, forms the virtual channels and hands the value strings to the
// multi-sampler and the local data server.
//
// Values at or below -9.99 ns are invalid: they are stored as -9.99, never feed the running offset,
// show as "---" in the views and make virtual values NaN.
//
// Threads: the report thread takes reports under the store's lock; the window thread reads under
// the same lock and may apply a new calibration, which has a lock of its own.
class TIVC_DataManagement : public TDataManagement {
 public:
  static constexpr double InvalidValue = -9.99;
  static constexpr int32_t ColumnWidth = 14;  // 13 value characters and ";"
  static constexpr size_t MaxReportLength = DM_MaxChannels * ColumnWidth;
  static constexpr size_t SamplerFieldWidth = 15;
  static constexpr size_t AverageTextWidth = 26;

  ~TIVC_DataManagement() override;

  // --- Taking reports (report thread) ---
  // One "7900;" line. False (and error 31) for a line without a complete column. A column that is
  // not a number throws EConvertError and leaves the store as it was; a column of '#' (a value that
  // did not fit) is an invalid value.
  virtual bool AddIVC(const std::string& BufCopy);
  // A "7901;" line: the instrument's calibration. True when a value changed.
  bool AddCalibration(const std::string& BufCopy);
  // Reports 0x7022 and 0x7F23: the history restarts; after an overflow the log files learn of it.
  void BufferCleared(uint16_t header);
  void DeviceOpened();
  // The calibration in force (channel i at index i - 1). A change restarts the history.
  bool SetCalibrationData(const TCalibrationData& data);

  void Reset() override;

  // --- Properties ---
  // Running offset of channel kanal to channel 1; 0 outside 1..24 and before the first difference.
  double CalibrateCalculated(int32_t kanal) const;
  TCalibrationData CalibrationValues() const;
  TCalibrationData DeviceCalibration() const;
  bool DeviceCalibrationSet() const;
  bool CalibChannel1Disabled() const { return FCalibChannel1Disabled; }

  // --- Derived values ---
  // Difference of a value to channel 1's value of the current sample; 0 for channel 1, for an
  // invalid value and while channel 1 has none.
  virtual double CalcIVCDiff(int32_t kanal, double value) const;
  virtual double CorrectIVC(double value) const { return value; }
  virtual double GetHardwareOffsetNs() const { return 0; }
  // Short and long averages: channel i + 1 gets values[i] / count. A count below 1 stores nothing.
  virtual void AddShort(std::span<const double> values, int32_t count);
  virtual void AddLong(std::span<const double> values, int32_t count);
  virtual std::string GetAvgLongString() const;
  virtual std::string GetAvgShortString() const;

  // --- Strings of the current sample for the multi-sampler ---
  virtual std::string GenerateSamplerStringIVC() const;
  virtual std::string GenerateSamplerStringIVCDiff() const;
  virtual std::string GenerateSamplerVirtualStringIVC();

  // --- Graph readers: anz values from position startX on (wrapping); empty for kanal outside
  // 1..24 or anz <= 0. NaN where a position has no value. ---
  virtual std::vector<double> GetAvgLong(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  virtual std::vector<double> GetAvgShort(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  // Differences to channel 1; NaN where either value is invalid.
  virtual std::vector<double> GetIVCDiff(bool virtualChannel, int32_t kanal, int32_t startX, int32_t anz) const;
  // The newest value of each channel 1..ChannelCount (virtual: 1..VirtualChannelCount).
  virtual std::vector<double> GetLastIVCDiff(bool virtualChannel);
  std::vector<double> GetLastAvgShort(bool virtualChannel);
  std::vector<double> GetLastAvgLong(bool virtualChannel);
  // Virtual channel kanal of a quantity at history position index (of the quantity's scale): the sum
  // of factor times value over the channels with a factor; NaN as soon as one value is invalid.
  double GetVirtual(TTextModeIVC aMode, int32_t kanal, int32_t index) const;

  // --- Text views ---
  virtual std::string GetTextModeCaption(TTextModeIVC aMode) const;
  virtual bool IsTextModeEnabled(TTextModeIVC aMode) const;
  std::string GetTextModeString(TTextModeIVC aMode, int32_t kanal) const;
  std::string GetTextModeVirtualString(TTextModeIVC aMode, int32_t kanal);

 protected:
  TIVC_DataManagement(int32_t aLogID, int32_t aSessId, bool aSessIsCopy);

 private:
  friend class TDataManagement;
  template <typename T>
  using TChannels = std::array<T, DM_MaxChannels + 1>;  // index 0 unused
  struct THistories;

  void Dbg(const std::string& text) const;
  char WinSep() const { return FOutput.FormatWin.DecimalSeparator; }
  char LogSep() const { return FOutput.FormatLog.DecimalSeparator; }
  int32_t X() const { return LaufX(hsNone); }
  bool IsValid(double value) const { return value > FinvalidIVCValue; }
  std::vector<double> ReadColumns(const std::string& s, int32_t n) const;
  double ReadCalibrationItem(const std::string& item) const;
  void StoreValue(int32_t i, double x, const TCalibrationData& fixed);
  void LearnCalibration(int32_t i, double b);
  void TakeChannelCount(int32_t n);
  void HandOnStrings();
  void AddAverage(const char* operation, THorizontalScale hScale, std::span<const double> values, int32_t count);
  std::string AverageString(const TChannels<std::string>& texts) const;
  double PhysicalValue(TTextModeIVC aMode, int32_t i, int32_t index) const;
  double DiffValue(int32_t kanal, int32_t x) const;
  void UpdateSession(int32_t what, const std::string& text);
  std::vector<double> Collect(bool virtualChannel, TTextModeIVC aMode, int32_t kanal, int32_t startX, int32_t anz) const;
  std::vector<double> LastValues(bool virtualChannel, TTextModeIVC aMode);

  double FHardwareOffsetNs = 0;
  TChannels<double> FCalibrate{};
  // Whether FCalibrate holds a first difference (a running offset of exactly 0 is a valid one).
  TChannels<bool> FCalibrateTaken{};
  TCalibrationData FCalibrateFixed{};  // guarded by FLockCalib
  TCalibrationData FDeviceCalibration{};
  bool FDeviceCalibrationSet = false;
  mutable std::mutex FLockCalib;
  int32_t FLetzterKanal = 0;
  const double FinvalidIVCValue = InvalidValue;
  const bool FCalibChannel1Disabled = true;
  TChannels<double> FIVC{};
  TChannels<double> FAvgLongLast{};
  TChannels<double> FAvgShortLast{};
  std::unique_ptr<THistories> FHist;
  TChannels<std::string> FAverageShortValueString;
  TChannels<std::string> FAverageLongValueString;

};
