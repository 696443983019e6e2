#include "data/ZCT_DataManagement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "protocol/QV_Report.h"
#include "ZCT_TestSupport.h"

using namespace zcttest;

namespace {

// A value right-aligned in its 26-character column.
std::string Col(const std::string& value) { return Field(value).substr(1); }

class ZctStoreTest : public ::testing::Test {
 protected:
  ZctStoreTest() {
    store = TDataManagement::Create<TZCT_DataManagement>(-1, 0, false, false, &clock);
    store->SetSamplerSink(&sampler);
    store->SetOnError([this](int32_t code, int32_t, const std::string& t) { errors.emplace_back(code, t); });
    store->SetOnWarning([this](int32_t code, int32_t, const std::string& t) { warnings.emplace_back(code, t); });
    store->SetOnReset([this](int32_t, TDataManagement*) { ++resets; });
  }

  // One sample of phases (whole cycles + fraction per channel) at device time ms.
  bool AddPhases(uint16_t header, const std::vector<Phase>& phases, int64_t ms = -1) {
    std::vector<std::string> fields;
    for (const Phase& p : phases) fields.push_back(PhaseField(p));
    return store->ExtractData(Line(header, fields), ms);
  }
  bool AddValues(uint16_t header, const std::vector<std::string>& values, int64_t ms = -1) {
    std::vector<std::string> fields;
    for (const auto& v : values) fields.push_back(Field(v));
    return store->ExtractData(Line(header, fields), ms);
  }
  double Last(const std::vector<double>& values, size_t channel = 1) { return values.at(channel - 1); }
  int64_t AllanCount(TAllanMode am) {
    int64_t sum = 0;
    for (int64_t n : store->GetADEVCounts(am)) sum += n;
    return sum;
  }

  TManualClock clock;
  TFakeSampler sampler;
  std::unique_ptr<TZCT_DataManagement> store;
  std::vector<std::pair<int32_t, std::string>> errors, warnings;
  int resets = 0;
};

// --- Extraction ---

TEST_F(ZctStoreTest, MalformedTextLinesAreRejectedWithTheirMessages) {
  struct Case {
    std::string line;
    bool result;
    std::string error;
  } cases[] = {
      {"0900", false, "Transfer error. Data lost: %0900%"},
      {"09", false, "Transfer error. Data lost: %09%"},
      {"XY00" + PhaseField(1, 0), false, "Transfer error. Data lost: %XY00" + PhaseField(1, 0) + "%"},
      {"0900;  12", false, "Transfer error. Data lost: %0900;  12%"},
  };
  for (const auto& c : cases) {
    errors.clear();
    EXPECT_EQ(store->ExtractData(c.line, -1), c.result) << c.line;
    ASSERT_EQ(errors.size(), 1u) << c.line;
    EXPECT_EQ(errors[0], std::make_pair(31, c.error));
  }
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);
}

// A caller that has read the header hands it in with the line: the store gives the same result as
// when it reads the header itself, and still refuses a line that does not begin with four digits.
TEST_F(ZctStoreTest, LineWithItsHeaderReadByTheCallerActsLikeTheLineAlone) {
  const std::string good = Line(kPhase1s, {PhaseField(1000, 0.25), PhaseField(2000, 0.5)});
  auto byText = TDataManagement::Create<TZCT_DataManagement>(-1, 0, false, false, &clock);
  EXPECT_TRUE(byText->ExtractData(good, -1));
  EXPECT_TRUE(store->ExtractData(kPhase1s, good, -1));
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 1);
  EXPECT_EQ(store->ChannelCount(), 2);
  EXPECT_EQ(store->ValueHeader().Header(), kPhase1s);
  for (int32_t k : {1, 2}) EXPECT_EQ(store->GetTextModeString(tmPhase, k), byText->GetTextModeString(tmPhase, k));
  for (const std::string& bad : {std::string("$900") + PhaseField(1, 0), std::string("09")}) {
    errors.clear();
    EXPECT_FALSE(store->ExtractData(kPhase1s, bad, -1)) << bad;
    ASSERT_EQ(errors.size(), 1u) << bad;
    EXPECT_EQ(errors[0], std::make_pair(31, "Transfer error. Data lost: %" + bad + "%"));
  }
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 1);
}

TEST_F(ZctStoreTest, TooManyChannelsAreCutTo24) {
  std::vector<Phase> phases(25, Phase{1000, 0.5});
  EXPECT_TRUE(AddPhases(kPhase1s, phases));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(31, std::string("Measurement data too long! Truncated to 648 Bytes!")));
  EXPECT_EQ(store->ChannelCount(), 24);
}

TEST_F(ZctStoreTest, UnreadablePhaseGivesAnInternalExceptionMessage) {
  EXPECT_FALSE(AddValues(kPhase1s, {"12a.5"}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, 51);
  EXPECT_EQ(errors[0].second, "Internal Exception ExtractData(EConvertError): '12a.5' is not a valid phase value");
}

TEST_F(ZctStoreTest, DuringPllErrorMalformedLinesAreDroppedSilently) {
  AddPhases(kPhase1s, {{10, 0}, {20, 0}});
  store->SetPLLError(true);
  EXPECT_FALSE(store->ExtractData(Line(kPhase1s, {PhaseField(11, 0), PhaseField(21, 0)}) + "xx", -1));
  EXPECT_FALSE(AddPhases(kPhase1s, {{11, 0}}));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(store->ChannelCount(), 2);
  EXPECT_TRUE(AddPhases(kPhase1s, {{11, 0}, {21, 0}}));
}

TEST_F(ZctStoreTest, FirstSampleHasNoFrequencySecondHas) {
  AddPhases(kPhase1s, {{1'000'000, 0}});
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), "");
  AddPhases(kPhase1s, {{1'010'000, 0.5}});
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), "     10000.50000000000");
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 2);
}

TEST_F(ZctStoreTest, FrequencyFromPhaseIsLimitedToTheCounterRange) {
  struct Case {
    Phase step;
    std::string text;
  } cases[] = {
      {{10'000, 0.5}, "     10000.50000000000"},
      {{3'000, 0}, "      4000.00000000000"},
      {{200'000'000, 0}, " 131072000.00000000000"},
  };
  for (const auto& c : cases) {
    store->Reset();
    AddPhases(kPhase1s, {{1'000'000, 0}});
    AddPhases(kPhase1s, {Phase{1'000'000, 0} + c.step});
    EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), c.text);
  }
}

TEST_F(ZctStoreTest, FirstFrequencyBecomesTheNominalFrequency) {
  AddPhases(kPhase1s, {{0, 0}});
  AddPhases(kPhase1s, {{10'000'000, 0.25}});
  EXPECT_DOUBLE_EQ(store->NomFreq(1), 10'000'000.25);
  EXPECT_EQ(store->NomFreqUser(1), 0);
  EXPECT_DOUBLE_EQ(store->NomFreqCalculated(1), 10'000'000.25);
  AddPhases(kPhase1s, {{20'000'000, 0.75}});
  // 10 000 000.5 Hz against 10 000 000.25 Hz.
  EXPECT_NEAR(Last(store->GetLastFrequDiffRelative(false)), 0.25 / 10'000'000.25, 1e-18);
  EXPECT_EQ(store->GetTextModeString(tmFreqRel, 1), "+2.4999999E-08");
  // The smoothed frequency follows with weight 1/20.
  EXPECT_DOUBLE_EQ(store->NomFreqCalculated(1), 10'000'000.25 + 0.25 / 20);
}

TEST_F(ZctStoreTest, ResidualAgainstTheIdealPhaseOfTheNominalFrequency) {
  store->SetNomFreq(1, 10'000'000);
  store->SetNomFreq(2, 10'000'000);
  // Channel 1 follows the nominal frequency exactly, channel 2 drifts by 0.001 cycle per sample.
  for (int n = 0; n < 5; ++n) {
    AddPhases(kPhase1s, {Phase{5 + n * 10'000'000LL, 0.5}, Phase{7 + n * 10'000'000LL, 0.001 * n}});
    const auto ps = store->GetLastTheoPhaseDiffPs(false);
    EXPECT_NEAR(ps[0], 0, 1e-9) << n;
    EXPECT_NEAR(ps[1], 100.0 * n, 1e-6) << n;
  }
  EXPECT_EQ(store->GetTextModeString(tmPhaseResiduum, 2), Col("0.40000"));
  EXPECT_EQ(store->GetTheoPhaseDiffPsNoData(2), "");
}

TEST_F(ZctStoreTest, ResidualStaysExactAfterDaysAt10MHz) {
  // Ten days of a 10 000 000.5 Hz signal as the start phase, then 20 000 samples of 1 ms, each
  // 1e-7 cycle (0.01 ps) longer than the ideal 10 000.0005 cycles.
  store->SetNomFreq(1, 10'000'000.5);
  const int64_t start = 8'640'004'320'000;  // 10 days × 86 400 s × 10 000 000.5 Hz
  int64_t fraction = 12'345'678'901;         // in 1e-11 cycles
  int64_t whole = start;
  const int samples = 20'000;
  for (int n = 0; n < samples; ++n) {
    char text[40];
    std::snprintf(text, sizeof text, "%lld.%011lld", static_cast<long long>(whole), static_cast<long long>(fraction));
    ASSERT_TRUE(AddValues(kPhase1ms, {text})) << n;
    // + 10 000.0005 + 0.0000001 cycles
    whole += 10'000;
    fraction += 50'000'000 + 10'000;
    whole += fraction / 100'000'000'000;
    fraction %= 100'000'000'000;
  }
  // The last sample is (samples - 1) intervals after the reference: residual (samples - 1) × 0.01 ps.
  const double expectedPs = (samples - 1) * 0.01;
  EXPECT_NEAR(Last(store->GetLastTheoPhaseDiffPs(false)), expectedPs, 1e-4);
  EXPECT_NEAR(Last(store->GetLastFrequDiff(false)), 0.0001, 1e-6);  // 1e-7 cycles per ms
}

TEST_F(ZctStoreTest, PhaseDifferencesToChannelOneAndToThePredecessor) {
  // Differences start at 0 and then follow the phases: ch2 gains 0.1 and ch3 0.3 cycle per sample.
  for (int n = 0; n < 3; ++n) {
    const int64_t base = 1'000'000 + n * 10'000'000LL;
    AddPhases(kPhase1s, {Phase{base, 0}, Phase{base + 5, 0.25 + 0.1 * n}, Phase{base + 7, 0.3 * n}});
  }
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 1), Col("0.00000000000"));
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 2), Col("0.20000000000"));
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 3), Col("0.60000000000"));
  EXPECT_EQ(store->GetTextModeString(tmPhasePredecessor, 3), Col("0.40000000000"));
  const auto diffPs = store->GetLastPhaDiffPs(false);
  EXPECT_NEAR(diffPs[1], 0.2 / store->NomFreq(2) * 1e12, 1e-3);
  const auto prePs = store->GetLastPhaPredecessorPs(false);
  EXPECT_NEAR(prePs[2], 0.4 / store->NomFreq(3) * 1e12, 1e-3);
}

TEST_F(ZctStoreTest, PhaseDiffResetZeroesDifferencesAndKeepsTheFrequency) {
  for (int n = 0; n < 3; ++n)
    AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}, Phase{n * 10'000'000LL + 3, 0.5 * n}});
  const std::string frequency = store->GetTextModeString(tmFreqAbs, 2);
  store->PhaseDiffResetted();
  EXPECT_TRUE(store->IsPhaseDiffResetted());
  AddPhases(kPhase1s, {Phase{30'000'000, 0}, Phase{30'000'010, 0}});  // a jump that is no frequency
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 2), Col("0.00000000000"));
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 2), frequency);
  EXPECT_FALSE(store->IsPhaseDiffResetted());
}

TEST_F(ZctStoreTest, PhaseDifferenceModeTakesTheDeviceValues) {
  store->SetNomFreq(1, 10e6);
  store->SetNomFreq(2, 10e6);
  store->SetNomFreq(3, 10e6);
  AddValues(kDiff1s, {"0.00000000000", "1.25000000000", "-0.50000000000"});
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 3), Col("-0.50000000000"));
  EXPECT_EQ(store->GetTextModeString(tmPhasePredecessor, 3), Col("-1.75000000000"));
  EXPECT_EQ(store->GetTextModeString(tmPhasePredecessor, 1), Col("0.00000000000"));
  EXPECT_NEAR(Last(store->GetLastPhaDiffPs(false), 2), 1.25e5, 1e-6);
  EXPECT_TRUE(store->GetFrequDiff(false, 1, 0, 1).empty());
  EXPECT_EQ(store->GetFrequDiffNoData(), "No frequency value in phase difference report mode");
  EXPECT_EQ(store->GetTheoPhaseDiffPsNoData(1), "No ideal phase value in phase Difference report mode");
}

TEST_F(ZctStoreTest, FrequencyModeTakesKilohertzValuesWithinTheCounterRange) {
  struct Case {
    std::string value;
    std::string text;
  } cases[] = {
      {"10000.12375", "  10000123.75000000000"},
      {"10000,5", "  10000500.00000000000"},
      {"3.0", "      4000.00000000000"},
      {"200000.0", " 131072000.00000000000"},
      {"garbage", "      4000.00000000000"},
  };
  for (const auto& c : cases) {
    AddValues(kFreq1s, {c.value});
    EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), c.text) << c.value;
  }
  EXPECT_TRUE(store->GetTheoPhaseDiffPs(false, 1, 0, 1).empty());
  EXPECT_TRUE(store->GetPhaDiffPs(false, 1, 0, 1).empty());
  EXPECT_EQ(store->GetPhaDiffPsNoData(1), "No phase difference value in frequency report mode");
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 1), "");
}

TEST_F(ZctStoreTest, TextModesEnabledPerMode) {
  struct Case {
    uint16_t header;
    std::array<bool, 6> enabled;  // tmPhase .. tmPhaseResiduum
  } cases[] = {
      {kPhase1s, {true, true, true, true, true, true}},
      {kFreq1s, {false, false, true, true, false, false}},
      {kDiff1s, {false, true, false, false, true, false}},
      {kRaw1ms, {true, true, true, true, true, true}},
  };
  for (const auto& c : cases) {
    store->SetNewHeader(c.header);
    for (int m = 0; m < ZCT_TextModeCount; ++m)
      EXPECT_EQ(store->IsTextModeEnabled(static_cast<TTextModeZCT>(m)), c.enabled[m]) << c.header << " " << m;
    EXPECT_EQ(store->IsTextRawDataEnabled(), c.header == kRaw1ms);
  }
}

TEST_F(ZctStoreTest, CaptionsPerModeAndChannelKind) {
  struct Case {
    uint16_t header;
    TTextModeZCT mode;
    std::string caption, virtualCaption;
  } cases[] = {
      {kPhase1s, tmPhase, "Phase [Pd]", "Phase [Pd]"},
      {kPhaseAvg1s, tmPhase, "Phase Average [Pd]", "Phase Average [Pd]"},
      {kPhase1s, tmPhaseDiff, "Phase Difference (Δ Chan. 1) [Pd]", "Phase Difference (Δ Chan. 1) [Pd]"},
      {kDiffAvg1s, tmPhaseDiff, "Phase Avg. Difference (Δ Chan. 1) [Pd]", "Phase Avg. Difference (Δ Chan. 1) [Pd]"},
      {kFreq1s, tmFreqAbs, "Absolute Frequency [Hz]", "Frequency [Hz]"},
      {kFreqAvg1s, tmFreqAbs, "Absolute Frequency Avg. [Hz]", "Frequency Avg. [Hz]"},
      {kFreq1s, tmFreqRel, "Relative Frequency Offset", "Relative Frequency Offset"},
      {kFreqAvg1s, tmFreqRel, "Relative Frequency Avg. Offset", "Relative Frequency Avg. Offset"},
      {kPhase1s, tmPhasePredecessor, "Phase Difference (Δ Chan. n-1) [Pd]", "Phase Difference (Δ Chan. n-1) [Pd]"},
      {kPhaseAvg1s, tmPhasePredecessor, "Phase Avg. Difference (Δ Chan. n-1) [Pd]", "Phase Avg. Difference (Δ Chan. n-1) [Pd]"},
      {kPhase1s, tmPhaseResiduum, "Phase Residual [ns]", "Phase Residual [ns]"},
      {kPhaseAvg1s, tmPhaseResiduum, "Phase Avg. Residual [ns]", "Phase Avg. Residual [ns]"},
  };
  for (const auto& c : cases) {
    store->SetNewHeader(c.header);
    EXPECT_EQ(store->GetTextModeCaption(c.mode), c.caption);
    EXPECT_EQ(store->GetTextModeVirtualCaption(c.mode), c.virtualCaption);
  }
  store->SetNewHeader(kRaw1ms);
  EXPECT_EQ(store->GetTextModeCaption(tmPhase), "Phase [Pd]");
  store->SetRawMode(10, true);
  EXPECT_EQ(store->GetTextModeCaption(tmPhase), "Phase Average [Pd]");
  EXPECT_EQ(store->GetTextRawDataCaption(), "T1   T2   T3");
}

TEST_F(ZctStoreTest, ValueTextsUseTheWindowAndLogSeparators) {
  store->SetNumberFormats(TFormatSettings{',', '.'}, TFormatSettings{'.', ','});
  store->SetNomFreq(1, 10e6);
  store->SetNomFreq(2, 10e6);
  AddValues(kPhase1s, {"100,000000", "-0,250000"});
  AddValues(kPhase1s, {"10000100,000000", "9999999,650000"});
  struct Case {
    TTextModeZCT mode;
    int kanal;
    std::string text;
  } cases[] = {
      {tmPhase, 2, Col("9999999,650000")},
      {tmPhaseDiff, 2, Col("-0,100000")},
      {tmFreqAbs, 1, "  10000000,00000000000"},
      {tmFreqRel, 2, "-1,0000000E-08"},
      {tmPhasePredecessor, 2, Col("-0.100000")},
      {tmPhaseResiduum, 2, Col("-10.00000")},
  };
  for (const auto& c : cases) EXPECT_EQ(store->GetTextModeString(c.mode, c.kanal), c.text) << c.mode;
  EXPECT_EQ(store->GetTextModeString(tmPhase, 3), "");
  EXPECT_EQ(store->GetTextModeString(tmPhase, 0), "");
}

TEST_F(ZctStoreTest, NegativeFractionKeepsItsSignInThePhaseText) {
  AddValues(kPhase1s, {"-0.250000"});
  const std::string text = store->GetTextModeString(tmPhase, 1);
  EXPECT_EQ(text.size(), 26u);
  EXPECT_EQ(text, Col("-0.250000"));
}

// --- Header changes, lost data, device events ---

TEST_F(ZctStoreTest, HeaderChangeResetsAndSwitchIntoPhaseModeDropsTheNextSample) {
  AddValues(kFreq1s, {"10000.0"});
  AddValues(kFreq1s, {"10000.0"});
  ASSERT_EQ(store->GetNewCount(-1, hsNone), 2);
  store->SetNewHeader(kPhase1s);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);
  EXPECT_EQ(store->ChannelCount(), 0);
  ASSERT_FALSE(sampler.Sessions.empty());
  EXPECT_EQ(std::get<1>(sampler.Sessions.back()), SE_HeaderChanged);
  EXPECT_TRUE(AddPhases(kPhase1s, {{1, 0}}));
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);  // dropped
  EXPECT_TRUE(AddPhases(kPhase1s, {{2, 0}}));
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 1);
  // A changed header inside a line resets as well.
  AddPhases(kPhaseAvg1s, {{3, 0}});
  EXPECT_EQ(resets, 2);
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 1);
}

TEST_F(ZctStoreTest, ChannelCountChangeIsReportedToTheSampler) {
  AddPhases(kPhase1s, {{1, 0}});
  AddPhases(kPhase1s, {{2, 0}, {3, 0}});
  ASSERT_FALSE(sampler.Sessions.empty());
  EXPECT_EQ(sampler.Sessions.back(), std::make_tuple(0, SE_ChannelCountChanged, std::string()));
}

TEST_F(ZctStoreTest, BufferClearedLostDataAndResync) {
  AddPhases(kPhase1s, {{1, 0}});
  store->BufferCleared(0x7F23);
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);
  ASSERT_EQ(sampler.Sessions.size(), 1u);
  EXPECT_EQ(sampler.Sessions[0],
            std::make_tuple(0, SE_ReSyncOrLinesLost, std::string("Source A One or more lines lost due to receive buffer overflow")));
  store->BufferCleared(0x7022);
  EXPECT_EQ(sampler.Sessions.size(), 1u);
  store->IncLost();
  EXPECT_EQ(store->Lost(), 1);
  EXPECT_EQ(std::get<1>(sampler.Sessions.back()), SE_DataLost);
  store->ReSync("resynchronised");
  EXPECT_EQ(sampler.Sessions.back(), std::make_tuple(0, SE_ReSyncOrLinesLost, std::string("resynchronised")));
  store->DeviceOpened();
  EXPECT_EQ(store->Lost(), 0);
}

TEST_F(ZctStoreTest, ResyncSuppressesOneFrequencyAndTheClockCheck) {
  TFakeClockAlarm alarm;
  store->SetClockAlarmSink(&alarm);
  for (int n = 0; n < 3; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}});
  EXPECT_EQ(alarm.Checked.size(), 2u);  // the first sample has no frequency
  store->ReSync("x");
  AddPhases(kPhase1s, {Phase{30'000'000, 0}});
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), "");
  EXPECT_EQ(alarm.Checked.size(), 2u);
  AddPhases(kPhase1s, {Phase{40'000'000, 0}});
  ASSERT_EQ(alarm.Checked.size(), 3u);
  EXPECT_EQ(alarm.Checked[2], std::vector<double>{10'000'000});
}

TEST_F(ZctStoreTest, ClockWarningsBecomeWarningsAndLogLines) {
  TFakeClockAlarm alarm;
  store->SetClockAlarmSink(&alarm);
  store->SetAddLogStrings(true);
  alarm.NextAlarm = "Frequency warning on channel 1";
  alarm.NextOk = "Reference clock ok";
  for (int n = 0; n < 2; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}}, 1000 * n);
  EXPECT_EQ(warnings, (std::vector<std::pair<int32_t, std::string>>{{41, "Frequency warning on channel 1"}, {43, "Reference clock ok"}}));
  EXPECT_TRUE(sampler.Warnings.empty());
  alarm.Log = true;
  AddPhases(kPhase1s, {Phase{20'000'000, 0}}, 2000);
  EXPECT_EQ(sampler.Warnings, std::vector<std::string>{"Frequency warning on channel 1"});
  alarm.Limit = 1e6;
  EXPECT_TRUE(store->HasClockAlarm(1));
  EXPECT_FALSE(store->HasClockAlarm(2));
}

TEST_F(ZctStoreTest, SyncMarkerAndSyncTimeFromTheDeviceTime) {
  store->SetAddLogStrings(true);
  store->SetSamplerLogTypes(1u << 0);
  store->SetNumberFormats(TFormatSettings{}, TFormatSettings{',', '.'});
  AddPhases(kPhase1s, {{1, 0}}, 12'345'000);
  AddPhases(kPhase1s, {{2, 0}}, 12'345'100);
  AddPhases(kPhase1s, {{3, 0}}, 12'345'150);
  ASSERT_EQ(sampler.Standard.size(), 3u);
  EXPECT_EQ(sampler.SyncTimes, (std::vector<std::string>{"12345,0", "12345,1", ""}));
  EXPECT_EQ(sampler.Standard[0][0].substr(0, 1), "1");
  EXPECT_EQ(sampler.Standard[1][0].substr(0, 1), "0");
  EXPECT_EQ(store->Sync(), "0");
  // Without a device time nothing goes to the sampler.
  AddPhases(kPhase1s, {{4, 0}}, -1);
  EXPECT_EQ(sampler.Standard.size(), 3u);
}

TEST_F(ZctStoreTest, TimeStampsMarkTheirPosition) {
  EXPECT_EQ(store->GetNewCountTimeStamp(-1), 0);
  AddPhases(kPhase1s, {{1, 0}}, 1000);
  AddPhases(kPhase1s, {{2, 0}}, 2000);
  store->AddTimeStamp(25);  // not a full second
  EXPECT_EQ(store->TimeCount(), 0);
  store->AddTimeStamp(30);
  EXPECT_EQ(store->TimeCount(), 1);
  EXPECT_EQ(store->TimeIndex(), 2);
  EXPECT_EQ(store->GetNewCountTimeStamp(-1), 0);  // the sample of that second has not come yet
  AddPhases(kPhase1s, {{3, 0}}, 3000);
  EXPECT_EQ(store->GetNewCountTimeStamp(-1), 1);
  EXPECT_EQ(store->LastZCTTime(), 3000);
  EXPECT_EQ(store->LastTimeStamp(), 3);
  EXPECT_EQ(store->GetZCTTimeGraphic(2048), 1000);
}

TEST_F(ZctStoreTest, DigitalInputCards) {
  std::vector<std::pair<int32_t, int32_t>> counts;
  store->SetOnDGICount([&](int32_t code, int32_t n) { counts.emplace_back(code, n); });
  EXPECT_TRUE(store->AddDGI("7100: 0000000F 00000001"));
  EXPECT_EQ(store->DGICount(), 2);
  EXPECT_EQ(store->GetDGI(1), 0xFu);
  EXPECT_EQ(store->GetDGI(2), 1u);
  EXPECT_EQ(counts, (std::vector<std::pair<int32_t, int32_t>>{{5, 2}}));
  // The words go with the next sample; later samples show dashes.
  store->SetAddLogStrings(true);
  AddPhases(kPhase1s, {{1, 0}}, 0);
  AddPhases(kPhase1s, {{2, 0}}, 1000);
  ASSERT_EQ(sampler.Standard.size(), 2u);
  EXPECT_EQ(sampler.Standard[0][5], " 0000000F 00000001");
  EXPECT_EQ(sampler.Standard[1][5], " -------- --------");

  std::string ten = "7100:";
  for (int i = 0; i < 10; ++i) ten += " 0000000" + std::to_string(i);
  EXPECT_TRUE(store->AddDGI(ten));
  EXPECT_EQ(store->DGICount(), 8);
  EXPECT_EQ(store->GetDGI(8), 7u);
  store->SetPLLError(true);
  EXPECT_FALSE(store->AddDGI(ten));
  EXPECT_FALSE(store->AddDGI("7100: 00000001"));
  EXPECT_EQ(store->DGICount(), 8);
}

TEST_F(ZctStoreTest, HeartbeatTextAndTransmitBuffer) {
  store->AddHeartbeat("7EFF 00000010 00000020 00000030 00000040 00020005 00000001", 12'345'678);
  EXPECT_EQ(store->HeartbeatString(), "12.345.678;00000010;00000020;00000030;00000040;00020005;00000001");
  EXPECT_EQ(store->HeartbeatString(), "");
  EXPECT_EQ(store->GetESPTransmitBufferAmount(), 16);
  EXPECT_EQ(store->GetESPTransmitBufferHighAmount(), 16);
  store->AddHeartbeat("7EFF 00000000 00000000 00000000 00000000 00000003 00000001", 999);
  EXPECT_EQ(store->HeartbeatString(), "      999;00000000;00000000;00000000;00000000;00000003;00000001");
  EXPECT_EQ(store->GetESPTransmitBufferAmount(), 8);
  EXPECT_EQ(store->GetESPTransmitBufferHighAmount(), 16);

  TQV_ReportStruct report;
  TQV_Int32 words{};
  words[0] = 0xABCDEF01;
  report.SetInt32(0x7EFF, 1, words);
  report.SetDeviceMs(-1);
  store->AddHeartbeat(report);
  EXPECT_EQ(store->HeartbeatString(), ";ABCDEF01");
}

TEST_F(ZctStoreTest, HrqSettingsConvertValuesAndResetOnChange) {
  TZCT_HRQChannels hrq{};
  hrq[0] = {100e6, 10, true};
  EXPECT_TRUE(store->AddHRQData(hrq));
  EXPECT_TRUE(store->DeviceHRQSet());
  EXPECT_DOUBLE_EQ(store->NomFreq(1), 100e6);
  EXPECT_FALSE(store->AddHRQData(hrq));
  // Frequency mode: (value - nominal) / factor + nominal, without the counter's range limit for
  // the converted value.
  AddValues(kFreq1s, {"100000.010"});
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), " 100000001.00000000000");
  // Phase mode: the 10 MHz phase counted by the counter, residual scaled down by the factor.
  store->SetNewHeader(kPhase1s);
  AddPhases(kPhase1s, {{0, 0}});  // dropped after the switch into phase mode
  for (int n = 0; n < 3; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0.5 * n}});
  // 0.5 counted cycles per sample / factor 10 = 0.05 cycles of 100 MHz = 500 ps per sample.
  EXPECT_NEAR(Last(store->GetLastTheoPhaseDiffPs(false)), 1000, 1e-6);
  hrq[0].enabled = false;
  EXPECT_TRUE(store->AddHRQData(hrq));
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);
}

TEST_F(ZctStoreTest, ReportRecordsOfPhasesAndDoubles) {
  TQV_ReportStruct report;
  TQV_ReportPhases phases{};
  phases[0] = Phase{1'000'000, 0};
  phases[1] = Phase{2'000'000, 0.5};
  report.SetPhases(kPhase1s, 2, phases);
  report.SetDeviceMs(1000);
  EXPECT_TRUE(store->ExtractReport(report));
  phases[0] = Phase{11'000'000, 0};
  phases[1] = Phase{12'000'000, 0.75};
  report.SetPhases(kPhase1s, 2, phases);
  EXPECT_TRUE(store->ExtractReport(report));
  EXPECT_EQ(store->ChannelCount(), 2);
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 2), "  10000000.25000000000");
  EXPECT_EQ(store->GetTextModeString(tmPhaseDiff, 2), Col("0.25000000000"));

  TQV_Doubles doubles{};
  doubles[0] = 10'000'000.5;
  report.SetDoubles(kFreq1s, 1, doubles);
  EXPECT_TRUE(store->ExtractReport(report));
  EXPECT_EQ(store->GetTextModeString(tmFreqAbs, 1), "  10000000.50000000000");

  std::vector<double> many(30, 10e6);
  report.SetDoubles(kFreq1s, many.size() * 8, many.data());
  errors.clear();
  EXPECT_TRUE(store->ExtractReport(report));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(31, std::string("Measurement data too long! Ignore last 6 channels!")));
  EXPECT_EQ(store->ChannelCount(), 24);

  TQV_ReportStruct message;
  message.SetMessage(0x7040, "hello");
  EXPECT_FALSE(store->ExtractReport(message));
}

TEST_F(ZctStoreTest, RawDataLinesBecomeOneSamplePerWindow) {
  store->SetRawMode(1, false);
  const auto raw = [&](uint16_t t3, int64_t ms) {
    return store->ExtractRawData(Hex4(kRaw1ms) + RawField(0x0100, 0x0200, t3) + RawField(0x0100, 0x0200, t3), ms);
  };
  EXPECT_TRUE(raw(0x0010, 0));
  EXPECT_EQ(store->ChannelCount(), 2);
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 0);  // no channels before this line: nothing stored
  EXPECT_TRUE(raw(0x0020, 1));
  EXPECT_EQ(store->GetNewCount(-1, hsNone), 1);
  EXPECT_EQ(store->GetTextRawDataString(1), "  0100 0200 0020");

  errors.clear();
  std::string tooLong = Hex4(kRaw1ms);
  for (int i = 0; i < 25; ++i) tooLong += RawField(1, 2, 3);
  EXPECT_TRUE(store->ExtractRawData(tooLong, 2));
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], std::make_pair(31, std::string("Raw data too long! Truncated to 384 Bytes!")));
  EXPECT_FALSE(store->ExtractRawData(Hex4(kRaw1ms) + "; 0100", 3));
}

// --- Virtual channels, averages ---

TEST_F(ZctStoreTest, VirtualChannelIsALinearCombination) {
  TChannelFactors f{};
  f[0] = 2;
  f[1] = -1;
  store->SetVirtualFactors(1, f);
  store->SetNomFreq(1, 10e6);  // channel 2 has no nominal frequency before its first frequency
  store->SetAddLogStrings(true);
  store->SetSamplerLogTypes(0xFFFFFFFF);
  AddPhases(kPhase1s, {{100, 0}, {50, 0.5}}, 0);
  AddPhases(kPhase1s, {{10'000'100, 0}, {9'000'050, 0.5}}, 1000);
  EXPECT_EQ(store->GetTextModeVirtualString(tmFreqAbs, 1), "  11000000.00000000000");
  EXPECT_EQ(store->GetTextModeVirtualString(tmPhase, 1), Col("11000149.50000000000"));
  // Channel 2 had no residual yet.
  EXPECT_EQ(store->GetTextModeVirtualString(tmPhaseResiduum, 1), "-----");
  ASSERT_EQ(sampler.Virtual.size(), 2u);
  EXPECT_EQ(sampler.Virtual[1][0], "1" + std::string(26, ' '));
  EXPECT_EQ(sampler.Virtual[1][1], "  11000000.00000000000");
  EXPECT_EQ(store->GetTextModeVirtualString(tmPhase, 2), "");
  const auto diff = store->GetFrequDiff(true, 1, 1, 1);
  ASSERT_EQ(diff.size(), 1u);
  EXPECT_DOUBLE_EQ(diff[0], 2 * 0 - (9'000'000 - 9'000'000));  // ch2's nominal is its first frequency
}

TEST_F(ZctStoreTest, ShortAndLongAveragesWithTheirEvents) {
  int shortEvents = 0, longEvents = 0;
  store->SetOnShortAverage([&] { ++shortEvents; });
  store->SetOnLongAverage([&] { ++longEvents; });
  AddPhases(kPhase1s, {{1, 0}, {2, 0}});
  const double values[] = {10, 20};
  store->AddShort(values, 4);
  store->AddLong(values, 10);
  EXPECT_EQ(shortEvents, 1);
  EXPECT_EQ(longEvents, 1);
  EXPECT_EQ(store->GetAvgShort(false, 2, 0, 1), std::vector<double>{5});
  EXPECT_EQ(store->GetAvgLong(false, 1, 0, 1), std::vector<double>{1});
  EXPECT_EQ(store->GetLastAvgShort(), (std::vector<double>{2.5, 5}));
  EXPECT_EQ(store->GetLastAvgLong(), (std::vector<double>{1, 2}));
  TChannelFactors f{};
  f[0] = 1;
  f[1] = 1;
  store->SetVirtualFactors(1, f);
  EXPECT_EQ(store->GetAvgShort(true, 1, 0, 1), std::vector<double>{7.5});
}

// --- Allan feeding ---

TEST_F(ZctStoreTest, EachAllanCalculatorIsFedInItsModes) {
  struct Case {
    uint16_t header;
    bool freq, res, diff;
  } cases[] = {
      {kPhase1s, true, true, true},
      {kFreq1s, true, false, false},
      {kDiff1s, false, false, true},
  };
  for (const auto& c : cases) {
    store->SetNewHeader(c.header);
    store->ResetAllan();
    for (int k = 1; k <= 2; ++k) store->SetNomFreq(k, 10e6);
    for (int n = 0; n < 12; ++n) {
      if (c.header == kFreq1s)
        AddValues(kFreq1s, {"10000.0001", n % 2 ? "10000.0002" : "9999.9998"});
      else if (c.header == kDiff1s)
        AddValues(kDiff1s, {"0.00000000000", n % 2 ? "0.00100000000" : "-0.00100000000"});
      else
        AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}, Phase{n * 10'000'000LL, n % 2 ? 0.001 : 0}});
    }
    EXPECT_EQ(AllanCount(amFreq) > 0, c.freq) << c.header;
    EXPECT_EQ(AllanCount(amPhaseRes) > 0, c.res) << c.header;
    EXPECT_EQ(AllanCount(amPhaseDiff) > 0, c.diff) << c.header;
    EXPECT_EQ(store->AllanIgnored(amPhaseDiff), !c.diff) << c.header;
  }
}

TEST_F(ZctStoreTest, AllanModeTexts) {
  struct Case {
    uint16_t header;
    std::string freq, res, diff;
  } cases[] = {
      {kPhase1s, "", "", ""},
      {kFreq1s, "", "Phase residual values only for report modes Phase", "No Phase difference values for Frequency report modes"},
      {kDiff1s, "No Frequency values for Phase Difference report modes", "Phase residual values only for report modes Phase", ""},
  };
  for (const auto& c : cases) {
    store->SetNewHeader(c.header);
    EXPECT_EQ(store->CheckAllanMode(amFreq), c.freq);
    EXPECT_EQ(store->CheckAllanMode(amPhaseRes), c.res);
    EXPECT_EQ(store->CheckAllanMode(amPhaseDiff), c.diff);
  }
}

TEST_F(ZctStoreTest, AllanStartsWithTheFirstCompleteSample) {
  // Channel 2 has no nominal frequency before its second sample; the residual calculator waits
  // until both channels have a residual.
  store->SetNomFreq(1, 10e6);
  AddPhases(kPhase1s, {{0, 0}, {0, 0.5}});
  EXPECT_TRUE(store->AllanIgnored(amFreq));
  EXPECT_TRUE(store->AllanIgnored(amPhaseRes));
  AddPhases(kPhase1s, {{10'000'000, 0}, {10'000'000, 0.5}});
  EXPECT_FALSE(store->AllanIgnored(amFreq));
  EXPECT_TRUE(store->AllanIgnored(amPhaseRes));
  EXPECT_FALSE(store->AllanIgnored(amPhaseDiff));
  AddPhases(kPhase1s, {{20'000'000, 0}, {20'000'000, 0.5}});
  EXPECT_FALSE(store->AllanIgnored(amPhaseRes));
}

TEST_F(ZctStoreTest, UpdateBracketDefersTheAllanReset) {
  for (int k = 1; k <= 2; ++k) store->SetNomFreq(k, 10e6);
  for (int n = 0; n < 6; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}, Phase{n * 10'000'000LL, n % 2 ? 0.001 : 0}});
  ASSERT_GT(AllanCount(amFreq), 0);
  store->BeginUpdate();
  store->BeginUpdate();
  store->SetNomFreq(1, 10e6 + 1);
  EXPECT_GT(AllanCount(amFreq), 0);
  store->EndUpdate();
  EXPECT_GT(AllanCount(amFreq), 0);
  store->EndUpdate();
  EXPECT_EQ(AllanCount(amFreq), 0);
  EXPECT_EQ(AllanCount(amPhaseDiff), 0);
  EXPECT_TRUE(store->AllanIgnored(amPhaseRes));
  store->EndUpdate();  // at depth 0 nothing happens
  // Without the bracket a changed nominal frequency resets at once; the same value does not.
  for (int n = 6; n < 12; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0}, Phase{n * 10'000'000LL, n % 2 ? 0.001 : 0}});
  ASSERT_GT(AllanCount(amFreq), 0);
  store->SetNomFreq(1, 10e6 + 1);
  EXPECT_GT(AllanCount(amFreq), 0);
  store->SetNomFreq(1, 10e6);
  EXPECT_EQ(AllanCount(amFreq), 0);
}

TEST_F(ZctStoreTest, AllanDecayGoesToAllCalculators) {
  store->SetAllanDecay(100);
  EXPECT_EQ(store->AllanDecay(), 100);
}

// --- Log strings ---

TEST_F(ZctStoreTest, SamplerStringsHaveFixedWidthFields) {
  store->SetAddLogStrings(true);
  store->SetSamplerLogTypes((1u << 0) | (1u << 1) | (1u << 2) | (1u << 6) | (1u << 15));
  store->SetZCTtimeString("12:00:01");
  store->SetNomFreq(1, 10e6);
  store->SetNomFreq(2, 10e6);
  AddValues(kPhase1s, {"5.000000", "7.500000"}, 0);
  AddValues(kPhase1s, {"10000005.000000", "10000007.625000"}, 1000);
  ASSERT_EQ(sampler.Standard.size(), 2u);
  const TMultiSamplerStrings& s = sampler.Standard[1];
  EXPECT_EQ(s[0], "1" + Col("10000005.000000") + Col("10000007.625000"));
  EXPECT_EQ(s[1], "  10000000.00000000000  10000000.12500000000");
  EXPECT_EQ(s[2], Col("0.000000") + Col("0.125000"));
  EXPECT_EQ(s[3], "");
  EXPECT_EQ(s[4], "");
  EXPECT_EQ(s[6], Col("0.000000") + Col("0.125000"));
  EXPECT_EQ(s[7], "");
  EXPECT_EQ(s[8], Col("0.00000") + Col("12.50000"));
  EXPECT_EQ(s[9], "12:00:01");
  // The first sample has no frequency: its frequency string is empty.
  EXPECT_EQ(sampler.Standard[0][1], "");
  EXPECT_TRUE(sampler.Virtual.empty());
}

TEST_F(ZctStoreTest, LongPhaseTextsKeepALeadingBlankInTheLog) {
  store->SetAddLogStrings(true);
  store->SetSamplerLogTypes(1u << 0);
  AddValues(kPhase1s, {"12345678901234.12345678901"}, 0);
  ASSERT_EQ(sampler.Standard.size(), 1u);
  EXPECT_EQ(sampler.Standard[0][0], "1 12345678901234.1234567890");
}

TEST_F(ZctStoreTest, ServerGetsTheValueLinesWhileItRuns) {
  TFakeReportLog server;
  store->SetReportLogSink(&server);
  store->SetAddLogStrings(true);
  AddPhases(kPhase1s, {{1, 0}}, 0);
  EXPECT_TRUE(server.Lines.empty());
  store->SetLocalServerRunning(true);
  AddPhases(kPhase1s, {{10'000'001, 0}}, 1000);
  ASSERT_EQ(server.Lines.size(), 4u);
  EXPECT_EQ(server.Lines[0], std::make_pair("1" + PhaseField(10'000'001, 0).substr(1), 0));
  EXPECT_EQ(server.Lines[1].second, 1);
  EXPECT_EQ(server.Lines[2].second, 2);
  EXPECT_EQ(server.Lines[3].second, 5);
}

// --- Graph helpers ---

TEST_F(ZctStoreTest, ScramblerTrimKeepsDifferencesWithin25Cycles) {
  store->SetScramblerTrim(true);
  // Channel 2 gains 0.02 cycles per sample: 40.94 cycles before the ring wraps to position 0.
  for (int n = 0; n < DM_HistoryLength + 1; ++n) {
    const int64_t whole = n * 10'000'000LL;
    AddPhases(kPhase1s, {Phase{whole, 0}, Phase{whole, 0} + 0.02 * n});
  }
  const std::string text = store->GetTextModeString(tmPhaseDiff, 2);
  EXPECT_NEAR(std::stod(text), 0.02, 1e-9) << text;
}

TEST_F(ZctStoreTest, PhaseTrimAgainstTheIdeal10MHzPhase) {
  for (int n = 0; n < 4; ++n) AddPhases(kPhase1s, {Phase{n * 10'000'000LL, 0.25 * n}});
  // Against 10 000 000 cycles per second plus 1/256 cycle per step of plotX.
  const auto trim = store->GetPhaseTrim(1, 0, 0, 4);
  ASSERT_EQ(trim.size(), 4u);
  for (int n = 0; n < 4; ++n) EXPECT_NEAR(trim[n], 0.25 * n - n / 256.0, 1e-12) << n;
  const auto last = store->GetLastPhaseTrim(3);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_NEAR(last[0], 0.75 - 3 / 256.0, 1e-12);
  EXPECT_TRUE(store->GetPhaseTrim(0, 0, 0, 4).empty());
}

}  // namespace
