#include "data/VTA_SensorDM.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ZCT_TestSupport.h"

namespace {

using zcttest::TFakeSampler;

TEST(SensorLogLine, TwoDecimalsRightAlignedIn26CharactersWithTheLogSeparator) {
  struct TCase {
    std::vector<double> values;
    char separator;
    std::string line;
  };
  const std::string pad(21, ' ');
  const TCase cases[] = {
      {{21.456}, '.', pad + "21.46"},
      {{21.456}, ',', pad + "21,46"},
      {{-0.004}, '.', pad + "-0.00"},
      {{8, 45.5}, '.', pad + " 8.00" + pad + "45.50"},
      {{std::nan("")}, '.', std::string(25, ' ') + "-"},
      {{}, '.', ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(SensorLogLine(c.values, c.separator), c.line) << c.line;
  EXPECT_EQ(SensorLogLine(std::vector<double>{123456789012.5}, '.').size(), 26u);
}

class SensorStore : public ::testing::Test {
 protected:
  SensorStore() {
    store->SetSampler(&sampler);
    store->SetOnWarning([this](int32_t code, int32_t, const std::string& text) {
      warnings.push_back(std::to_string(code) + " " + text);
    });
    store->SetOnChannelCount([this](int32_t, int32_t n) { channelCounts.push_back(n); });
    store->SetSignals({{"Temperature", "°C", 21, 1, 0}, {"Humidity", "%", 50, 2, -1}}, {1, 2, 1});
  }

  TWallTime At(int seconds) const { return TWallTime{} + std::chrono::seconds(seconds); }

  std::unique_ptr<TVTA_SensorDM> store = TDataManagement::Create<TVTA_SensorDM>(-1, 3, false);
  TFakeSampler sampler;
  std::vector<std::string> warnings;
  std::vector<int32_t> channelCounts;
};

TEST_F(SensorStore, KeepsCurrentValuesAndAHistoryPerChannel) {
  EXPECT_TRUE(std::isnan(store->CurrentValue(1)));
  store->AddValues(std::vector<double>{20.5, 40, 21}, At(1));
  store->AddValues(std::vector<double>{20.75, 41, 22}, At(2));
  EXPECT_EQ(store->CurrentValues(), (std::vector<double>{20.75, 41, 22}));
  EXPECT_EQ(store->CurrentValue(2), 41);
  EXPECT_TRUE(std::isnan(store->CurrentValue(4)));
  EXPECT_EQ(store->LastTime(), At(2));
  EXPECT_EQ(store->SetCount(), 2);
  ASSERT_EQ(store->Count(hsNone), 2);
  EXPECT_EQ(store->GetValues(1, store->FirstX(hsNone), 2), (std::vector<double>{20.5, 20.75}));
  EXPECT_EQ(store->GetValues(3, store->GetNewX(1, hsNone), 1), (std::vector<double>{22}));

  store->Reset();
  EXPECT_EQ(store->Count(hsNone), 0);
  EXPECT_TRUE(store->CurrentValues().empty());
}

TEST_F(SensorStore, DescribesEachChannelBySignal) {
  EXPECT_EQ(store->ChannelCount(), 3);
  EXPECT_EQ(channelCounts, (std::vector<int32_t>{3}));
  EXPECT_EQ(store->ChannelSignalName(3), "Temperature");
  EXPECT_EQ(store->ChannelUnitName(2), "%");
  EXPECT_EQ(store->DefaultCenter(2), 50);
  EXPECT_EQ(store->SignalInfo(2).RangeFaktor, -1);
  EXPECT_EQ(store->ChannelSignalName(4), "");
}

TEST_F(SensorStore, HandsTheLineToTheSamplerAndTheWarningBehindItWhenLogged) {
  struct TCase {
    std::string warning;
    bool logAlarm;
    std::vector<std::string> sequence;
    size_t userWarnings;
  };
  const std::string line = SensorLogLine(std::vector<double>{1, 2, 3}, '.');
  const TCase cases[] = {
      {"", true, {line}, 0},
      {"Sensor warning on channel 1: 1.00", false, {line}, 1},
      {"Sensor warning on channel 1: 1.00", true, {line, "Sensor warning on channel 1: 1.00"}, 1},
  };
  for (const TCase& c : cases) {
    sampler.Sequence.clear();
    warnings.clear();
    store->SetCheck([&](std::span<const double> values) {
      EXPECT_EQ(values.size(), 3u);
      return TSensorWarning{c.warning, c.logAlarm};
    });
    store->AddValues(std::vector<double>{1, 2, 3}, At(1));
    EXPECT_EQ(sampler.Sequence, c.sequence) << c.warning << c.logAlarm;
    ASSERT_EQ(warnings.size(), c.userWarnings);
    if (c.userWarnings) {
      EXPECT_EQ(warnings[0], "42 " + c.warning);
    }
  }
}

TEST_F(SensorStore, WritesWithTheLogSeparatorAndShowsWithTheWindowSeparator) {
  store->SetNumberFormats({',', '.'}, {',', '.'});
  store->AddValues(std::vector<double>{1.5}, At(1));
  ASSERT_EQ(sampler.Lines.size(), 1u);
  EXPECT_EQ(sampler.Lines[0], std::string(22, ' ') + "1,50");
  store->SetNumberFormats({'.', ','}, {',', '.'});
  EXPECT_EQ(store->ValueText(1.5), "1.50");
  EXPECT_EQ(store->ValueText(std::nan("")), "-");
  EXPECT_EQ(channelCounts.back(), 1) << "a set with fewer channels changes the count";
}

}  // namespace
