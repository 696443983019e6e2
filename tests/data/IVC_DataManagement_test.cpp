#include "data/IVC_DataManagement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "core/QV_NumberText.h"
#include "support/LogCapture.h"
#include "ZCT_TestSupport.h"

using zcttest::TFakeReportLog;
using zcttest::TFakeSampler;

namespace {

const double kNaN = std::nan("");

// A value in its 13-character column, as the report processing writes it.
std::string Column(double value, char separator = '.') { return FormatFloatFixed(value, 13, 2, separator); }
// Any text right-aligned in a 13-character column.
std::string Column(const std::string& text) { return std::string(text.size() < 13 ? 13 - text.size() : 0, ' ') + text; }

// "7900;" + one column and ";" per value (the grouped layout).
std::string IvcLine(const std::vector<std::string>& columns) {
  std::string line = "7900;";
  for (const auto& c : columns) line += c + ";";
  return line;
}
std::string IvcLine(const std::vector<double>& values, char separator = '.') {
  std::vector<std::string> columns;
  for (double v : values) columns.push_back(Column(v, separator));
  return IvcLine(columns);
}

// A value in its 15-character log field.
std::string Field(double value, char separator = '.') { return FormatFloatFixed(value, 15, 2, separator); }
std::string Fields(const std::vector<double>& values, char separator = '.') {
  std::string text;
  for (double v : values) text += Field(v, separator);
  return text;
}

TChannelFactors Factors(std::initializer_list<std::pair<int, double>> channelFactor) {
  TChannelFactors f{};
  for (const auto& [channel, factor] : channelFactor) f[channel - 1] = factor;
  return f;
}

class IvcStoreTest : public ::testing::Test {
 protected:
  IvcStoreTest() { Build(-1); }

  void Build(int logId, int32_t sessId = 1) {
    store.reset();
    store = TDataManagement::Create<TIVC_DataManagement>(logId, sessId, false);
    store->SetSamplerSink(&sampler);
    store->SetReportLogSink(&reportLog);
    store->SetOnError([this](int32_t code, int32_t, const std::string& t) { errors.emplace_back(code, t); });
    store->SetOnReset([this](int32_t, TDataManagement*) { ++resets; });
    store->SetOnChannelCount([this](int32_t, int32_t n) { channelCounts.push_back(n); });
  }

  bool Add(const std::vector<double>& values, char separator = '.') { return store->AddIVC(IvcLine(values, separator)); }
  std::string Text(TTextModeIVC mode, int32_t kanal) const { return store->GetTextModeString(mode, kanal); }
  double LastDiff(int32_t kanal) const { return store->GetLastIVCDiff(false).at(kanal - 1); }
  int32_t Stored() const { return store->GetNewCount(-1, hsNone); }

  TFakeSampler sampler;
  TFakeReportLog reportLog;
  std::unique_ptr<TIVC_DataManagement> store;
  std::vector<std::pair<int32_t, std::string>> errors;
  std::vector<int32_t> channelCounts;
  int resets = 0;
};

// --- Taking reports ---

TEST_F(IvcStoreTest, GroupsBecomeChannelsAndTheirValues) {
  EXPECT_TRUE(Add({100.25, 150.5, 99.75}));
  EXPECT_EQ(store->ChannelCount(), 3);
  EXPECT_EQ(Stored(), 1);
  EXPECT_EQ(Text(tmIVC, 1), "100.25");
  EXPECT_EQ(Text(tmIVC, 2), "150.50");
  EXPECT_EQ(Text(tmIVC, 3), "99.75");
  EXPECT_EQ(Text(tmIVC, 4), "");
  EXPECT_EQ(Text(tmIVC, 0), "");
  EXPECT_EQ(Text(tmIVC, -1), "");
  EXPECT_EQ(store->GenerateSamplerStringIVC(), Fields({100.25, 150.5, 99.75}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(IvcStoreTest, ChannelCountChangeReachesTheSamplerOnlyAfterAFirstCount) {
  Add({1, 2, 3});
  EXPECT_EQ(channelCounts, std::vector<int32_t>({3}));
  EXPECT_TRUE(sampler.Sessions.empty());
  Add({1, 2, 3});
  EXPECT_TRUE(sampler.Sessions.empty());
  Add({1, 2});
  EXPECT_EQ(channelCounts, std::vector<int32_t>({3, 2}));
  ASSERT_EQ(sampler.Sessions.size(), 1u);
  // The multi-sampler gives what 10 its own reason text.
  EXPECT_EQ(sampler.Sessions[0], std::make_tuple(1, SE_IVCChannelsChanged, std::string()));
}

TEST_F(IvcStoreTest, SingleValueLayoutWithItsLeadingBlankReadsTheWholeValue) {
  // A single value comes as "7900; " + column + ";": one character more than a group.
  EXPECT_TRUE(store->AddIVC("7900; " + Column(123456789.25) + ";"));
  EXPECT_EQ(store->ChannelCount(), 1);
  EXPECT_EQ(Text(tmIVC, 1), "123456789.25");
}

TEST_F(IvcStoreTest, MoreThan24ChannelsAreCut) {
  EXPECT_TRUE(Add(std::vector<double>(25, 5.5)));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(31, std::string("IVC data too long! Truncated to 336 Bytes!")));
  EXPECT_EQ(store->ChannelCount(), 24);
  EXPECT_EQ(store->GenerateSamplerStringIVC(), Fields(std::vector<double>(24, 5.5)));
}

TEST_F(IvcStoreTest, LinesWithoutACompleteColumnAreRejectedAndStoreNothing) {
  store->SetAddLogStrings(true);
  Add({7.5});
  sampler.Standard.clear();
  for (const std::string& line : std::vector<std::string>{"7900", "7900;", "79", "7900;     12.34", "7900;" + Column(1.0)}) {
    errors.clear();
    EXPECT_FALSE(store->AddIVC(line)) << line;
    ASSERT_EQ(errors.size(), 1u) << line;
    EXPECT_EQ(errors[0], std::make_pair(31, "Transfer error. Data lost: %" + line + "%"));
  }
  EXPECT_EQ(Stored(), 1);
  EXPECT_EQ(store->ChannelCount(), 1);
  EXPECT_TRUE(sampler.Standard.empty());
}

TEST_F(IvcStoreTest, EitherDecimalSeparatorIsReadWithTheLogFormat) {
  for (char logSep : {'.', ','}) {
    store->SetNumberFormats({'.', ','}, {logSep, ' '});
    for (char lineSep : {'.', ','}) {
      Add({1234.5, -3.25}, lineSep);
      EXPECT_EQ(Text(tmIVC, 1), "1234.50") << logSep << lineSep;
      EXPECT_EQ(Text(tmIVC, 2), "-3.25") << logSep << lineSep;
    }
  }
}

// --- Invalid and unreadable values ---

TEST_F(IvcStoreTest, InvalidValuesAreStoredAsMinus999) {
  for (double invalid : {-9.99, -10.0, -500.0}) {
    Add({100, 120});
    const double learned = store->CalibrateCalculated(2);
    Add({100, invalid});
    EXPECT_EQ(Text(tmIVC, 2), "---") << invalid;
    EXPECT_EQ(Text(tmIVCDiff, 2), "---") << invalid;
    EXPECT_EQ(store->GenerateSamplerStringIVC(), Fields({100, -9.99})) << invalid;
    EXPECT_EQ(store->GenerateSamplerStringIVCDiff(), Fields({0, -9.99})) << invalid;
    EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), learned) << invalid;
    EXPECT_TRUE(std::isnan(LastDiff(2)));
  }
  Add({100, -9.98});
  EXPECT_EQ(Text(tmIVC, 2), "-9.98");
}

TEST_F(IvcStoreTest, OverflowAndNonFiniteColumnsAreInvalidValues) {
  const struct {
    std::string column;
  } cases[] = {{"#############"}, {Column("nan")}, {Column("inf")}, {Column("-inf")}};
  for (const auto& c : cases) {
    Add({100, 130});
    const double learned = store->CalibrateCalculated(2);
    EXPECT_TRUE(store->AddIVC(IvcLine({Column(100.0), c.column, Column(50.0)}))) << c.column;
    EXPECT_EQ(Text(tmIVC, 2), "---") << c.column;
    EXPECT_EQ(Text(tmIVC, 3), "50.00") << c.column;
    EXPECT_EQ(store->GenerateSamplerStringIVC(), Fields({100, -9.99, 50})) << c.column;
    EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), learned) << c.column;
  }
}

TEST_F(IvcStoreTest, ANonNumericColumnThrowsAndLeavesTheStoreAsItWas) {
  store->SetAddLogStrings(true);
  Add({100, 110, 120});
  const std::string before = store->GenerateSamplerStringIVC();
  const double learned = store->CalibrateCalculated(2);
  sampler.Standard.clear();
  for (const std::string& column : {Column("12.3x"), Column(""), Column("1.2.3")}) {
    EXPECT_THROW(store->AddIVC(IvcLine({Column(200.0), Column(300.0), column})), EConvertError) << column;
    EXPECT_EQ(Stored(), 1);
    EXPECT_EQ(store->GenerateSamplerStringIVC(), before);
    EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), learned);
  }
  EXPECT_TRUE(sampler.Standard.empty());
  try {
    store->AddIVC(IvcLine({Column("abc")}));
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

// --- Calculated calibration ---

TEST_F(IvcStoreTest, CalculatedCalibrationStartsWithTheFirstDifferenceAndMovesByAThirtieth) {
  EXPECT_EQ(store->CalibrateCalculated(2), 0);
  Add({100, 110, 95});
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 10);
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(3), -5);
  Add({100, 140, 95});
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 11);  // 10 + (40 - 10) / 30
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(3), -5);
  EXPECT_EQ(store->CalibrateCalculated(1), 0);
  EXPECT_EQ(store->CalibrateCalculated(0), 0);
  EXPECT_EQ(store->CalibrateCalculated(25), 0);
}

TEST_F(IvcStoreTest, ADifferenceOfZeroIsAFirstDifferenceToo) {
  Add({100, 100});
  EXPECT_EQ(store->CalibrateCalculated(2), 0);
  Add({100, 130});
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 1);  // averaged, not taken as a first one
}

TEST_F(IvcStoreTest, WithoutAValidChannel1NothingIsLearnedAndNoDifferenceShown) {
  Add({100, 130});
  Add({-9.99, 200});
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 30);
  EXPECT_EQ(Text(tmIVC, 2), "200.00");
  EXPECT_EQ(Text(tmIVCDiff, 2), "---");
  EXPECT_EQ(Text(tmIVCDiff, 1), "---");
  EXPECT_EQ(store->GenerateSamplerStringIVCDiff(), Fields({-9.99, -9.99}));
  EXPECT_TRUE(std::isnan(LastDiff(2)));
}

TEST_F(IvcStoreTest, CalcIVCDiffComparesWithChannel1OfTheCurrentSample) {
  Add({100, 130});
  // The current position is the next one to write: it holds nothing of this report yet.
  EXPECT_EQ(store->CalcIVCDiff(2, 50), 50);
  EXPECT_EQ(store->CalcIVCDiff(1, 50), 0);
  EXPECT_EQ(store->CalcIVCDiff(2, -9.99), 0);
}

// --- Calibration in force ---

TEST_F(IvcStoreTest, FixedCalibrationIsSubtractedExceptOnChannel1) {
  TCalibrationData calibration{};
  calibration[0] = 7;
  calibration[1] = 2.5;
  calibration[2] = -1.25;
  EXPECT_TRUE(store->SetCalibrationData(calibration));
  EXPECT_EQ(store->CalibrationValues()[0], 0);
  EXPECT_EQ(store->CalibrationValues()[1], 2.5);
  Add({100, 110, 120});
  EXPECT_EQ(store->GenerateSamplerStringIVC(), Fields({100, 107.5, 121.25}));
  EXPECT_EQ(store->GenerateSamplerStringIVCDiff(), Fields({0, 7.5, 21.25}));
  // The running offset is learned from the uncalibrated values.
  EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 10);
  // An invalid value stays invalid, whatever the calibration.
  Add({100, -9.99, 120});
  EXPECT_EQ(Text(tmIVC, 2), "---");
}

TEST_F(IvcStoreTest, ChangedCalibrationRestartsTheHistoryAnEqualOneKeepsIt) {
  TCalibrationData calibration{};
  calibration[1] = 1;
  store->SetCalibrationData(calibration);
  Add({100, 110});
  Add({100, 111});
  resets = 0;
  EXPECT_FALSE(store->SetCalibrationData(calibration));
  EXPECT_EQ(Stored(), 2);
  calibration[0] = 99;  // channel 1 has no calibration: still no change
  EXPECT_FALSE(store->SetCalibrationData(calibration));
  EXPECT_EQ(Stored(), 2);
  EXPECT_EQ(resets, 0);
  calibration[1] = 2;
  EXPECT_TRUE(store->SetCalibrationData(calibration));
  EXPECT_EQ(Stored(), 0);
  EXPECT_EQ(store->ChannelCount(), 0);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(store->CalibrateCalculated(2), 0);
  Add({100, 110});
  EXPECT_EQ(Text(tmIVC, 2), "108.00");
}

TEST_F(IvcStoreTest, NonFiniteCalibrationValuesCountAsZero) {
  TCalibrationData calibration{};
  calibration[1] = kNaN;
  EXPECT_FALSE(store->SetCalibrationData(calibration));
  Add({100, 110});
  EXPECT_EQ(Text(tmIVC, 2), "110.00");
}

// --- Calibration reported by the instrument ---

TEST_F(IvcStoreTest, DeviceCalibrationTakesItemsFromChannel2On) {
  EXPECT_FALSE(store->DeviceCalibrationSet());
  const std::string line = "7901;" + FormatFloatFixed(5, 14, 3) + ";" + FormatFloatFixed(1.5, 14, 3) + ";" +
                           FormatFloatFixed(-2.25, 14, 3, ',') + ";" + "   abc;";
  EXPECT_TRUE(store->AddCalibration(line));
  EXPECT_TRUE(store->DeviceCalibrationSet());
  const TCalibrationData device = store->DeviceCalibration();
  EXPECT_EQ(device[0], 0);  // channel 1 has no calibration
  EXPECT_EQ(device[1], 1.5);
  EXPECT_EQ(device[2], -2.25);
  EXPECT_EQ(device[3], 0);  // unreadable
  EXPECT_EQ(device[4], 0);
  // Reporting it does not apply it.
  EXPECT_EQ(store->CalibrationValues(), TCalibrationData{});
  EXPECT_FALSE(store->AddCalibration(line));
  EXPECT_TRUE(store->AddCalibration("7901;    0.000;    1.250;"));
  EXPECT_EQ(store->DeviceCalibration()[1], 1.25);
  EXPECT_EQ(store->DeviceCalibration()[2], -2.25);  // not in the report: unchanged
}

TEST_F(IvcStoreTest, DeviceCalibrationIsReadWithEitherSeparatorInEitherLogFormat) {
  store->SetNumberFormats({'.', ','}, {',', '.'});
  EXPECT_TRUE(store->AddCalibration("7901;         0.000;         3.500;"));
  EXPECT_EQ(store->DeviceCalibration()[1], 3.5);
  EXPECT_TRUE(store->AddCalibration("7901;         0,000;         4,250;"));
  EXPECT_EQ(store->DeviceCalibration()[1], 4.25);
}

// --- Strings for the multi-sampler and the local data server ---

TEST_F(IvcStoreTest, SamplerAndServerGetTheStringsOfEveryReport) {
  store->SetZCTtimeString("12:00:01.0");
  store->SetAddLogStrings(true);
  Add({100.25, 150.5, -9.99});
  ASSERT_EQ(sampler.Standard.size(), 1u);
  const TMultiSamplerStrings& set = sampler.Standard[0];
  EXPECT_EQ(set[0], "         100.25         150.50          -9.99");
  EXPECT_EQ(set[1], "           0.00          50.25          -9.99");
  EXPECT_EQ(set[9], "12:00:01.0");
  for (int slot = 2; slot < 9; ++slot) EXPECT_EQ(set[slot], "") << slot;
  EXPECT_TRUE(sampler.Virtual.empty());
  ASSERT_EQ(reportLog.Lines.size(), 2u);
  EXPECT_EQ(reportLog.Lines[0], std::make_pair(set[0], 3));
  EXPECT_EQ(reportLog.Lines[1], std::make_pair(set[1], 4));
}

TEST_F(IvcStoreTest, SamplerStringsUseTheLogSeparator) {
  store->SetNumberFormats({'.', ','}, {',', '.'});
  store->SetAddLogStrings(true);
  Add({12.5, 10});
  EXPECT_EQ(sampler.Standard.at(0)[0], "          12,50          10,00");
  EXPECT_EQ(sampler.Standard.at(0)[1], "           0,00          -2,50");
}

TEST_F(IvcStoreTest, WithoutAddLogStringsNothingIsHandedOn) {
  store->SetVirtualFactors(1, Factors({{1, 1}}));
  Add({1, 2});
  EXPECT_TRUE(sampler.Standard.empty());
  EXPECT_TRUE(sampler.Virtual.empty());
  EXPECT_TRUE(reportLog.Lines.empty());
}

TEST_F(IvcStoreTest, VirtualStringsGoToTheVirtualSet) {
  store->SetZCTtimeString("t");
  store->SetAddLogStrings(true);
  store->SetVirtualFactors(1, Factors({{1, 1}, {2, -1}}));
  store->SetVirtualFactors(2, Factors({{3, 2}}));
  Add({100, 40, 7.25});
  ASSERT_EQ(sampler.Virtual.size(), 1u);
  EXPECT_EQ(sampler.Virtual[0][0], Fields({60, 14.5}));
  EXPECT_EQ(sampler.Virtual[0][9], "t");
  for (int slot = 1; slot < 9; ++slot) EXPECT_EQ(sampler.Virtual[0][slot], "") << slot;
  // An invalid contribution leaves the field blank.
  Add({100, 40, -9.99});
  EXPECT_EQ(sampler.Virtual.at(1)[0], Field(60) + std::string(15, ' '));
}

// --- Virtual channels ---

TEST_F(IvcStoreTest, VirtualChannelsCombineTheChannelsOfOnePosition) {
  store->SetVirtualFactors(1, Factors({{2, 0.5}, {3, 2}}));
  Add({100, 120, 50});
  const int32_t x = store->LaufX(hsNone) - 1;
  EXPECT_DOUBLE_EQ(store->GetVirtual(tmIVC, 1, x), 160);          // 0.5·120 + 2·50
  EXPECT_DOUBLE_EQ(store->GetVirtual(tmIVCDiff, 1, x), -90);      // 0.5·20 + 2·(-50)
  EXPECT_EQ(store->GetVirtual(tmIVC, 2, x), 0);                   // no factors
  EXPECT_TRUE(std::isnan(store->GetVirtual(tmIVCShortAvg, 1, 0)));  // no averages
  Add({-9.99, 120, 50});
  EXPECT_DOUBLE_EQ(store->GetVirtual(tmIVC, 1, x + 1), 160);     // channel 1 has no factor
  EXPECT_TRUE(std::isnan(store->GetVirtual(tmIVCDiff, 1, x + 1)));
  Add({100, 120, -9.99});
  EXPECT_TRUE(std::isnan(store->GetVirtual(tmIVC, 1, x + 2)));
  // Positions wrap.
  EXPECT_DOUBLE_EQ(store->GetVirtual(tmIVC, 1, x + DM_HistoryLength), 160);
}

TEST_F(IvcStoreTest, VirtualTextsAndReaders) {
  store->SetNumberFormats({',', '.'}, {'.', ','});
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVC, 1), "");
  store->SetVirtualFactors(1, Factors({{1, 1}, {2, 1}}));
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVC, 1), "---");  // nothing stored yet
  Add({10.25, 20.5});
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVC, 1), "30,75");
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVCDiff, 1), "10,25");
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVCShortAvg, 1), "---");
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVC, 2), "");
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVC, 0), "");
  EXPECT_EQ(store->GetIVCDiff(true, 1, 0, 1), std::vector<double>({10.25}));
  EXPECT_EQ(store->GetLastIVCDiff(true), std::vector<double>({10.25}));
  store->AddShort(std::vector<double>{8, 4}, 2);
  EXPECT_EQ(store->GetTextModeVirtualString(tmIVCShortAvg, 1), "6,00");
  EXPECT_EQ(store->GetAvgShort(true, 1, 0, 1), std::vector<double>({6}));
  EXPECT_EQ(store->GetLastAvgShort(true), std::vector<double>({6}));
}

// --- View texts ---

TEST_F(IvcStoreTest, ViewTextsOfEachModeInBothNumberFormats) {
  Add({100.5, 112.25, -9.99});
  store->AddShort(std::vector<double>{3, 6.5}, 2);
  store->AddLong(std::vector<double>{-30}, 4);
  const struct {
    TTextModeIVC mode;
    int32_t kanal;
    std::string dot, comma;
  } cases[] = {
      {tmIVC, 1, "100.50", "100,50"},       {tmIVC, 2, "112.25", "112,25"},     {tmIVC, 3, "---", "---"},
      {tmIVCDiff, 1, "0.00", "0,00"},       {tmIVCDiff, 2, "11.75", "11,75"},   {tmIVCDiff, 3, "---", "---"},
      {tmIVCShortAvg, 1, "1.50", "1,50"},   {tmIVCShortAvg, 2, "3.25", "3,25"}, {tmIVCShortAvg, 3, "---", "---"},
      {tmIVCLongAvg, 1, "-7.50", "-7,50"},  {tmIVCLongAvg, 2, "---", "---"},    {tmIVCDiff, 4, "", ""},
  };
  for (char sep : {'.', ','}) {
    store->SetNumberFormats({sep, ' '}, {'.', ','});
    for (const auto& c : cases)
      EXPECT_EQ(Text(c.mode, c.kanal), sep == '.' ? c.dot : c.comma) << int(c.mode) << "/" << c.kanal << sep;
  }
}

TEST_F(IvcStoreTest, CaptionsAndEnabledModes) {
  const std::pair<TTextModeIVC, std::string> captions[] = {
      {tmIVC, "Time Interval [ns]"},
      {tmIVCDiff, "Interval Difference [ns]"},
      {tmIVCShortAvg, "Interval Diff. Short Average [ns]"},
      {tmIVCLongAvg, "Interval Diff. Long Average [ns]"},
  };
  for (const auto& [mode, caption] : captions) EXPECT_EQ(store->GetTextModeCaption(mode), caption);
  EXPECT_EQ(store->GetTextModeCaption(static_cast<TTextModeIVC>(4)), "");
  const auto enabled = [&] {
    std::vector<bool> result;
    for (int m = 0; m <= 4; ++m) result.push_back(store->IsTextModeEnabled(static_cast<TTextModeIVC>(m)));
    return result;
  };
  EXPECT_EQ(enabled(), std::vector<bool>({false, false, false, false, false}));
  Add({1});
  EXPECT_EQ(enabled(), std::vector<bool>({true, false, false, false, false}));
  Add({1, 2});
  EXPECT_EQ(enabled(), std::vector<bool>({true, true, true, true, false}));
}

// --- Averages ---

TEST_F(IvcStoreTest, AveragesAreKeptWithTheirTextsAtTheirOwnScale) {
  Add({1, 2});
  store->AddShort(std::vector<double>{10, 5}, 4);
  EXPECT_EQ(store->GetNewCount(-1, hsShort), 1);
  EXPECT_EQ(store->GetAvgShortString(), FormatFloatFixed(2.5, 26, 3) + FormatFloatFixed(1.25, 26, 3));
  EXPECT_EQ(store->GetAvgShortString(), "                     2.500                     1.250");
  EXPECT_EQ(store->GetLastAvgShort(false), std::vector<double>({2.5, 1.25}));
  EXPECT_EQ(store->GetAvgShort(false, 2, 0, 1), std::vector<double>({1.25}));
  EXPECT_EQ(store->GetAvgLongString(), "");
  EXPECT_TRUE(std::isnan(store->GetLastAvgLong(false).at(0)));
  store->AddLong(std::vector<double>{9}, 2);
  EXPECT_EQ(store->GetAvgLong(false, 1, 0, 2)[0], 4.5);
  EXPECT_TRUE(std::isnan(store->GetAvgLong(false, 1, 0, 2)[1]));
  // A new report empties the texts again.
  Add({1, 2});
  EXPECT_EQ(store->GetAvgShortString(), "");
  EXPECT_EQ(store->GetAvgLongString(), "");
}

TEST_F(IvcStoreTest, AverageTextsUseTheLogSeparator) {
  store->SetNumberFormats({'.', ','}, {',', '.'});
  Add({1});
  store->AddLong(std::vector<double>{1}, 8);
  EXPECT_EQ(store->GetAvgLongString(), std::string(21, ' ') + "0,125");
}

TEST_F(IvcStoreTest, AveragesOfNoSamplesAreIgnored) {
  Add({1, 2});
  store->AddShort(std::vector<double>{10, 5}, 0);
  store->AddLong(std::vector<double>{10, 5}, -1);
  EXPECT_EQ(store->GetNewCount(-1, hsShort), 0);
  EXPECT_EQ(store->GetNewCount(-1, hsLong), 0);
  EXPECT_EQ(Text(tmIVCShortAvg, 1), "---");
}

// --- Readers ---

TEST_F(IvcStoreTest, ReadersGiveNothingForChannelsOutOfRangeOrNoCount) {
  Add({1, 2});
  for (int32_t kanal : {0, 25, -1}) {
    EXPECT_TRUE(store->GetIVCDiff(false, kanal, 0, 1).empty()) << kanal;
    EXPECT_TRUE(store->GetAvgShort(true, kanal, 0, 1).empty()) << kanal;
    EXPECT_TRUE(store->GetAvgLong(false, kanal, 0, 1).empty()) << kanal;
  }
  EXPECT_TRUE(store->GetIVCDiff(false, 2, 0, 0).empty());
  EXPECT_TRUE(store->GetIVCDiff(false, 2, 0, -3).empty());
}

TEST_F(IvcStoreTest, DifferenceReaderWrapsOverTheHistory) {
  for (int n = 0; n < DM_HistoryLength + 3; ++n) Add({100, 100.0 + n});
  EXPECT_EQ(Stored(), DM_HistoryLength);
  EXPECT_EQ(store->FirstX(hsNone), 3);
  // The three newest positions are 0..2, the oldest still readable one 3.
  const std::vector<double> diffs = store->GetIVCDiff(false, 2, DM_HistoryLength - 1, 4);
  EXPECT_EQ(diffs, std::vector<double>({2047, 2048, 2049, 2050}));
  EXPECT_EQ(store->GetLastIVCDiff(false), std::vector<double>({0, 2050}));
}

// --- Resets ---

TEST_F(IvcStoreTest, OpeningAndClearedBuffersRestartTheStore) {
  const struct {
    const char* name;
    std::function<void(TIVC_DataManagement&)> action;
    std::optional<std::string> samplerText;
  } cases[] = {
      {"DeviceOpened", [](TIVC_DataManagement& s) { s.DeviceOpened(); }, std::nullopt},
      {"BufferCleared 7022", [](TIVC_DataManagement& s) { s.BufferCleared(0x7022); }, std::nullopt},
      {"BufferCleared 7F23", [](TIVC_DataManagement& s) { s.BufferCleared(0x7F23); },
       "Source B One or more lines lost due to receive buffer overflow"},
  };
  for (const auto& c : cases) {
    Add({100, 110});
    store->AddShort(std::vector<double>{1, 2}, 1);
    sampler.Sessions.clear();
    resets = 0;
    c.action(*store);
    EXPECT_EQ(resets, 1) << c.name;
    EXPECT_EQ(Stored(), 0) << c.name;
    EXPECT_EQ(store->GetNewCount(-1, hsShort), 0) << c.name;
    EXPECT_EQ(store->ChannelCount(), 0) << c.name;
    EXPECT_EQ(store->CalibrateCalculated(2), 0) << c.name;
    EXPECT_EQ(store->GetAvgShortString(), "") << c.name;
    if (c.samplerText) {
      ASSERT_EQ(sampler.Sessions.size(), 1u) << c.name;
      EXPECT_EQ(sampler.Sessions[0], std::make_tuple(1, SE_ReSyncOrLinesLost, *c.samplerText));
    } else {
      EXPECT_TRUE(sampler.Sessions.empty()) << c.name;
    }
    // The first report afterwards starts over: a first count is no change for the sampler.
    const size_t events = sampler.Sessions.size();
    Add({100, 130});
    EXPECT_EQ(sampler.Sessions.size(), events) << c.name;
    EXPECT_DOUBLE_EQ(store->CalibrateCalculated(2), 30) << c.name;
  }
}

TEST_F(IvcStoreTest, DiagnosticsCarryTheStoreTag) {
  TLogCapture log;
  Build(log.Id(), 2);
  store->SetReportDetails(true);  // per-report lines are written only on request
  store->SetAddLogStrings(true);
  store->SetAddLogStrings(true);
  Add({1.5});
  store->SetCalibrationData(TCalibrationData{});
  store->SetSessIsCopy(true);
  store->BufferCleared(0x7022);
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/False].Create"));
  EXPECT_EQ(log.Count("TIVC_DataManagement[2/False].SetAddLogStrings True"), 1u);
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/False]: IVCCount=1"));
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/False].GenerateSamplerStringIVC=" + Field(1.5)));
  std::string zeros = "0";
  for (int i = 1; i < 24; ++i) zeros += " 0";
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/False].SetCalibrationData " + zeros + ", changed=False"));
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/True].BufferCleared header=7022"));
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/True].Reset"));
  store.reset();
  EXPECT_TRUE(log.Contains("TIVC_DataManagement[2/True].Destroy"));
}

}  // namespace
