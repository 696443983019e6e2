#include "data/App_VirtAllanData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void Feed(TVirtAllanData& calc, const std::vector<double>& series) {
  for (double value : series) calc.AddData(std::span<const double>(&value, 1));
}

// Deterministic random-walk phase in ps.
std::vector<double> RandomPhase(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> step(0.0, 50.0);
  std::vector<double> phase{0.0};
  while (phase.size() < count) phase.push_back(phase.back() + 3.0 + step(generator));
  return phase;
}

void ExpectSameResults(const TVirtAllanData& a, int va, const TVirtAllanData& b, int vb) {
  for (int t = 0; t <= a.TauMax(); ++t) {
    EXPECT_EQ(a.TermCount(va, t), b.TermCount(vb, t)) << "t=" << t;
    EXPECT_DOUBLE_EQ(a.Adev(va, t), b.Adev(vb, t)) << "t=" << t;
  }
}

}  // namespace

TEST(VirtAllanData, LadderIsOneTwoFive) {
  TVirtAllanData calc(-1, 19, amFreq);
  const std::vector<int32_t> expected{1,    2,    5,     10,    20,    50,     100,    200,    500,     1000,
                                      2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000, 2000000};
  for (int t = 0; t <= 19; ++t) EXPECT_EQ(calc.Tau(t), expected[t]) << t;
  EXPECT_EQ(calc.Tau(20), 0);
  EXPECT_EQ(calc.TauMax(), 19);
  EXPECT_EQ(calc.RealCount(), -1);
  EXPECT_STREQ(AllanModeName(amPhaseDiff), "PhaseDiff");
}

TEST(VirtAllanData, ConstantFrequencyIsZeroFromTheSecondSample) {
  TVirtAllanData calc(-1, 19, amFreq);
  calc.SetVirtualFactors(1);
  Feed(calc, {1e-9});
  EXPECT_EQ(calc.LastTau(), -1);
  EXPECT_EQ(calc.TermCount(0, 0), 0);
  Feed(calc, {1e-9});
  EXPECT_EQ(calc.LastTau(), 0);
  EXPECT_EQ(calc.TermCount(0, 0), 1);
  EXPECT_EQ(calc.Adev(0, 0), 0.0);
}

TEST(VirtAllanData, AlternatingFrequencyAndBlocksWithZeroMean) {
  TVirtAllanData calc(-1, 19, amFreq);
  for (int i = 0; i < 10; ++i) Feed(calc, {i % 2 == 0 ? 1e-9 : -1e-9});
  EXPECT_NEAR(calc.Adev(0, 0), std::sqrt(2.0) * 1e-9, 1e-21);
  // Every block of two averages to exactly 0: a genuine value, not "no value yet".
  EXPECT_EQ(calc.TermCount(0, 1), 4);
  EXPECT_EQ(calc.Adev(0, 1), 0.0);
  // Blocks of five: +1e-9/5 and -1e-9/5.
  EXPECT_EQ(calc.TermCount(0, 2), 1);
  EXPECT_NEAR(calc.Adev(0, 2), std::sqrt(0.5) * 0.4e-9, 1e-21);
  EXPECT_EQ(calc.LastTau(), 2);
  EXPECT_EQ(calc.GetADEVCounts(), (std::vector<int64_t>{9, 4, 1}));
}

TEST(VirtAllanData, LinearPhaseStartingAtZeroIsZeroAfterTwoTauPlusOneSamples) {
  TVirtAllanData calc(-1, 19, amPhaseRes);
  calc.SetIntervalMs(1000);
  const std::vector<int> samplesNeeded{3, 5, 11, 21};  // 2τ + 1 for τ = 1, 2, 5, 10
  for (int n = 1; n <= 21; ++n) {
    Feed(calc, {100.0 * (n - 1)});
    for (int t = 0; t < 4; ++t) {
      EXPECT_EQ(calc.TermCount(0, t) > 0, n >= samplesNeeded[t]) << "n=" << n << " t=" << t;
      EXPECT_EQ(calc.Adev(0, t), 0.0);
    }
  }
  EXPECT_EQ(calc.LastTau(), 3);
}

// x sampled at 1, 1+τ, 1+2τ, ... gives exactly the estimator of the block-averaged frequencies.
TEST(VirtAllanData, PhaseModeAgreesWithFrequencyModeOnTheSameSeries) {
  const std::vector<double> phase = RandomPhase(2001, 7);
  for (double intervalMs : {1000.0, 0.5}) {
    TVirtAllanData phaseCalc(-1, 19, amPhaseRes), freqCalc(-1, 19, amFreq);
    phaseCalc.SetIntervalMs(intervalMs);
    Feed(phaseCalc, phase);
    for (size_t i = 0; i + 1 < phase.size(); ++i)
      Feed(freqCalc, {(phase[i + 1] - phase[i]) * 1e-12 / (intervalMs / 1000)});
    ASSERT_EQ(phaseCalc.LastTau(), freqCalc.LastTau());
    for (int t = 0; t <= phaseCalc.LastTau(); ++t) {
      EXPECT_EQ(phaseCalc.TermCount(0, t), freqCalc.TermCount(0, t)) << t;
      EXPECT_NEAR(phaseCalc.Adev(0, t), freqCalc.Adev(0, t), 1e-9 * freqCalc.Adev(0, t)) << t;
    }
  }
}

TEST(VirtAllanData, DecayStopsTheCountAndWeighsNewTermsOneEleventh) {
  TVirtAllanData decaying(-1, 0, amFreq), plain(-1, 0, amFreq);
  decaying.SetDecayConst(10);
  EXPECT_EQ(decaying.DecayConst(), 10);
  // Ten squared differences of 1, then one of 9, then one of 0.
  std::vector<double> series;
  for (int i = 0; i <= 10; ++i) series.push_back(i % 2);
  series.push_back(3);
  series.push_back(3);
  for (size_t i = 0; i < series.size(); ++i) {
    Feed(decaying, {series[i]});
    Feed(plain, {series[i]});
    if (i == 10) {
      EXPECT_EQ(decaying.TauQuadN(0, 0), 10);
    }
  }
  EXPECT_EQ(decaying.TauQuadN(0, 0), 10);
  EXPECT_EQ(plain.TauQuadN(0, 0), 12);
  EXPECT_EQ(decaying.TermCount(0, 0), 12);
  const double decayedMean = (10 * (10 + 9) / 11.0 + 0) / 11;
  EXPECT_DOUBLE_EQ(decaying.Adev(0, 0), std::sqrt(decayedMean / 2));
  EXPECT_DOUBLE_EQ(plain.Adev(0, 0), std::sqrt(19.0 / 12 / 2));
}

TEST(VirtAllanData, TauCaption) {
  struct Case {
    int len, intervalMs;
    const char* expected;
  };
  const Case cases[] = {
      {8, 1000, "     1 s     2 s     5 s"},
      {8, 100, "  100 ms  200 ms  500 ms"},
      {8, 1500, "     1 s     3 s     7 s"},  // whole seconds, cut down
      {3, 1000, "1 s2 s5 s"},                // no room: texts are not cut
  };
  TVirtAllanData calc(-1, 19, amFreq);
  EXPECT_EQ(calc.GetTauCaption(8, 1000), "");
  for (int i = 0; i < 10; ++i) Feed(calc, {i * 1e-9});
  ASSERT_EQ(calc.LastTau(), 2);
  for (const Case& c : cases) EXPECT_EQ(calc.GetTauCaption(c.len, c.intervalMs), c.expected) << c.intervalMs;
}

TEST(VirtAllanData, ReadersOfMissingChannelsGiveZeros) {
  TVirtAllanData calc(-1, 19, amFreq);
  calc.SetVirtualFactors(2);
  for (int i = 0; i < 4; ++i) calc.AddData(std::vector<double>{i % 2 * 1e-9, 1e-9});
  for (int k : {0, 3}) {
    EXPECT_EQ(calc.GetTextValues(k), std::vector<double>(20, 0.0)) << k;
    EXPECT_TRUE(calc.GetGraphicPersistValues(k).empty()) << k;
  }
  EXPECT_EQ(calc.Adev(0, 20), 0.0);
  EXPECT_TRUE(std::isnan(calc.AdevMin(2, 0)));
  EXPECT_FALSE(calc.AdevMaxTime(-1, 0).has_value());
}

TEST(VirtAllanData, GraphicValuesAndScales) {
  TVirtAllanData calc(-1, 19, amFreq);
  for (int i = 0; i < 10; ++i) Feed(calc, {i % 2 == 0 ? 1e-9 : -1e-9});
  const std::vector<double> graphic = calc.GetGraphicValues(1);
  ASSERT_EQ(graphic.size(), 20u);
  EXPECT_DOUBLE_EQ(graphic[0], std::log10(calc.Adev(0, 0)));
  EXPECT_EQ(graphic[1], 0.0);  // a deviation of 0 is drawn at 0
  // Current values 1.41e-9 (τ 1) and 2.83e-10 (τ 5); the zero at τ 2 is left out.
  const TAllanMinMax actual = calc.GetGraphicActualScaleMinMax(1);
  EXPECT_EQ(actual.xLastTau, 2);
  EXPECT_EQ(actual.yMin, -11);  // round(-9.55 - 1)
  EXPECT_EQ(actual.yMax, -8);   // round(-8.85 + 1)
  const TAllanMinMax kept = calc.GetGraphicScaleMinMax(1);
  EXPECT_EQ(kept.xLastTau, 2);
  EXPECT_EQ(kept.yMin, -11);
  EXPECT_EQ(kept.yMax, -8);
  const TAllanMinMax none = calc.GetGraphicActualScaleMinMax(2);
  EXPECT_EQ(none.yMin, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(none.yMax, std::numeric_limits<int32_t>::min());
}

// Frequencies 0, 2, 2, 2 give deviations sqrt(2), 1, sqrt(2/3) at τ 1 at the 2nd, 3rd and 4th second.
class VirtAllanMinMax : public ::testing::Test {
 protected:
  void FeedAt(double value) {
    clock.Advance(1s);
    Feed(calc, {value});
  }
  TManualClock clock;
  TVirtAllanData calc{-1, 19, amFreq, clock};
};

TEST_F(VirtAllanMinMax, KeepsExtremesWithTheirTimes) {
  const TWallTime start = clock.Wall();
  FeedAt(0);
  EXPECT_EQ(calc.StartTime(), start + 1s);
  EXPECT_TRUE(calc.Running());
  EXPECT_TRUE(std::isnan(calc.AdevMin(0, 0)));
  FeedAt(2);
  FeedAt(2);
  FeedAt(2);
  EXPECT_DOUBLE_EQ(calc.AdevMax(0, 0), std::sqrt(2.0));
  EXPECT_EQ(calc.AdevMaxTime(0, 0), start + 2s);
  EXPECT_DOUBLE_EQ(calc.AdevMin(0, 0), std::sqrt(2.0 / 3));
  EXPECT_EQ(calc.AdevMinTime(0, 0), start + 4s);
  // τ 2 got its first deviation (block averages 1 and 2) at the fourth sample.
  EXPECT_DOUBLE_EQ(calc.AdevMin(0, 1), std::sqrt(0.5));
  EXPECT_EQ(calc.AdevMinTime(0, 1), start + 4s);

  const std::vector<TAllanPersistEntry> persist = calc.GetGraphicPersistValues(1);
  ASSERT_EQ(persist.size(), 2u);
  EXPECT_DOUBLE_EQ(persist[0].Min(), std::log10(std::sqrt(2.0 / 3)));
  EXPECT_DOUBLE_EQ(persist[0].Max(), std::log10(std::sqrt(2.0)));
  EXPECT_EQ(persist[1].Tau(), 1);
  EXPECT_DOUBLE_EQ(persist[1].Min(), std::log10(std::sqrt(0.5)));
}

TEST_F(VirtAllanMinMax, ResetsOfMinimaAndPersistStartFromTheCurrentValues) {
  for (double value : {0.0, 2.0, 2.0}) FeedAt(value);
  calc.ResetMinimumMaximum(0);
  calc.ResetPersist(0);
  EXPECT_TRUE(std::isnan(calc.AdevMax(0, 0)));
  EXPECT_FALSE(calc.AdevMaxTime(0, 0).has_value());
  EXPECT_TRUE(calc.GetGraphicPersistValues(1).empty());
  FeedAt(2);
  EXPECT_DOUBLE_EQ(calc.AdevMin(0, 0), std::sqrt(2.0 / 3));
  EXPECT_DOUBLE_EQ(calc.AdevMax(0, 0), std::sqrt(2.0 / 3));
  EXPECT_EQ(calc.AdevMaxTime(0, 0), clock.Wall());
  const std::vector<TAllanPersistEntry> persist = calc.GetGraphicPersistValues(1);
  ASSERT_FALSE(persist.empty());
  EXPECT_EQ(persist[0].Min(), persist[0].Max());
}

TEST_F(VirtAllanMinMax, ResetStartsOverAndKeepsTheDecay) {
  calc.SetDecayConst(5);
  for (double value : {0.0, 2.0, 2.0, 2.0}) FeedAt(value);
  calc.Reset();
  EXPECT_FALSE(calc.Running());
  EXPECT_FALSE(calc.StartTime().has_value());
  EXPECT_EQ(calc.LastTau(), -1);
  EXPECT_TRUE(calc.GetADEVCounts().empty());
  EXPECT_EQ(calc.Adev(0, 0), 0.0);
  EXPECT_TRUE(std::isnan(calc.AdevMin(0, 0)));
  EXPECT_EQ(calc.DecayConst(), 5);
  EXPECT_EQ(calc.RealCount(), -1);
  // After the reset the calculator behaves like a new one.
  TVirtAllanData fresh(-1, 19, amFreq);
  fresh.SetDecayConst(5);
  for (double value : {5.0, 1.0, 7.0}) {
    FeedAt(value);
    Feed(fresh, {value});
  }
  EXPECT_EQ(calc.StartTime(), clock.Wall() - 2s);
  ExpectSameResults(calc, 0, fresh, 0);
}

TEST(VirtAllanData, ChannelCountChangesOnRestart) {
  TVirtAllanData calc(-1, 19, amPhaseDiff);
  calc.SetVirtualFactors(2);
  for (int i = 0; i < 5; ++i) calc.AddData(std::vector<double>{1.0 * i, 2.0 * i * i});
  calc.Reset();
  calc.SetVirtualFactors(3);
  EXPECT_EQ(calc.RealCount(), 3);
  for (int i = 0; i < 3; ++i) calc.AddData(std::vector<double>{0, 0, 7.0 * i * i});
  EXPECT_EQ(calc.TermCount(0, 0), 1);
  EXPECT_EQ(calc.TermCount(2, 0), 1);
  EXPECT_DOUBLE_EQ(calc.Adev(2, 0), std::sqrt(14.0 * 14.0 / 2) / 1e12);
  EXPECT_EQ(calc.GetTextValues(3).size(), 20u);

  // Without SetVirtualFactors the first sample after a reset fixes the count.
  calc.Reset();
  calc.AddData(std::vector<double>{1, 2, 3, 4});
  EXPECT_EQ(calc.RealCount(), 4);
}

TEST(VirtAllanData, MissingValuesAreSkippedPerChannel) {
  const std::vector<double> clean = RandomPhase(300, 11);
  const auto missing = [](size_t i) { return i % 7 == 3 || i % 11 == 5; };
  for (TAllanMode mode : {amFreq, amPhaseRes}) {
    TVirtAllanData calc(-1, 19, mode), reference(-1, 19, mode), gapless(-1, 19, mode);
    calc.SetVirtualFactors(2);
    // Channel 0 misses values (NaN or infinity), channel 1 has the whole series.
    for (size_t i = 0; i < clean.size(); ++i) {
      const double gap = i % 7 == 3 ? kNaN : INFINITY;
      calc.AddData(std::vector<double>{missing(i) ? gap : clean[i], clean[i]});
      if (!missing(i)) Feed(gapless, {clean[i]});
    }
    Feed(reference, clean);
    ExpectSameResults(calc, 0, gapless, 0);
    ExpectSameResults(calc, 1, reference, 0);
  }
}

TEST(VirtAllanData, ChannelsWithoutAValueInAShortSampleAreMissing) {
  const std::vector<double> clean = RandomPhase(50, 3);
  TVirtAllanData calc(-1, 19, amPhaseRes), reference(-1, 19, amPhaseRes);
  calc.SetVirtualFactors(2);
  for (size_t i = 0; i < clean.size(); ++i) {
    if (i % 4 == 0)
      calc.AddData(std::vector<double>{clean[i]});  // channel 1 gets nothing
    else
      calc.AddData(std::vector<double>{clean[i], clean[i]});
    if (i % 4 != 0) Feed(reference, {clean[i]});
  }
  ExpectSameResults(calc, 1, reference, 0);
  // Values beyond the channel count are ignored.
  calc.AddData(std::vector<double>{1, 2, 3});
  EXPECT_EQ(calc.RealCount(), 2);
}

// A τ whose block does not end in the next sample still gets its extremes and persist range back
// in that sample after their reset.
TEST_F(VirtAllanMinMax, ResetExtremesComeBackForEveryTauInTheNextSample) {
  for (double value : {0.0, 2.0, 2.0, 2.0}) FeedAt(value);
  calc.ResetMinimumMaximum(0);
  calc.ResetPersist(0);
  FeedAt(2);  // sample 5: no block of τ = 2 ends
  EXPECT_DOUBLE_EQ(calc.AdevMin(0, 1), std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(calc.AdevMax(0, 1), std::sqrt(0.5));
  EXPECT_EQ(calc.AdevMinTime(0, 1), clock.Wall());
  const std::vector<TAllanPersistEntry> persist = calc.GetGraphicPersistValues(1);
  ASSERT_EQ(persist.size(), 2u);
  EXPECT_DOUBLE_EQ(persist[1].Min(), std::log10(std::sqrt(0.5)));
}

namespace {

class TCountingClock : public TClock {
 public:
  TSteadyTime Steady() const override { return inner.Steady(); }
  TWallTime Wall() const override {
    ++wallReads;
    return inner.Wall();
  }
  TManualClock inner;
  mutable int wallReads = 0;
};

}  // namespace

// The wall clock is read for the start and when an extreme moves, not for every sample.
TEST(VirtAllanData, ClockIsReadOnlyWhenAnExtremeMoves) {
  TCountingClock clock;
  TVirtAllanData calc(-1, 19, amFreq, clock);
  const std::vector<double> constant(1000, 1e-9);
  Feed(calc, constant);
  EXPECT_EQ(calc.LastTau(), 8);  // τ 1 .. 500 have terms: each moved its extremes once
  EXPECT_LE(clock.wallReads, 1 + 9);
  EXPECT_EQ(calc.AdevMax(0, 8), 0.0);
}

// Persist ranges built from deviations inside the range seen so far equal the log10 range of all.
TEST(VirtAllanData, PersistRangeIsTheLogRangeOfEveryDeviation) {
  TVirtAllanData calc(-1, 19, amPhaseRes);
  double low = 1e300, high = -1e300;
  for (double x : RandomPhase(3000, 7)) {
    Feed(calc, {x});
    if (calc.TermCount(0, 0) == 0) continue;
    low = std::min(low, std::log10(calc.Adev(0, 0)));
    high = std::max(high, std::log10(calc.Adev(0, 0)));
  }
  const std::vector<TAllanPersistEntry> persist = calc.GetGraphicPersistValues(1);
  ASSERT_FALSE(persist.empty());
  EXPECT_EQ(persist[0].Min(), low);
  EXPECT_EQ(persist[0].Max(), high);
}

// The terms of all channels are computed together; every channel must still get exactly the values
// it gets alone, whatever the interval (power of two or not) and the decay.
TEST(VirtAllanData, ChannelsComputedTogetherMatchEachChannelAloneBitForBit) {
  constexpr int kChannels = 3;
  std::vector<std::vector<double>> series;
  for (unsigned k = 0; k < kChannels; ++k) series.push_back(RandomPhase(700, 20 + k));
  for (TAllanMode mode : {amFreq, amPhaseRes}) {
    for (double intervalMs : {1.0, 0.25, 1000.0, 3.0}) {
      for (int decay : {0, 7}) {
        TVirtAllanData together(-1, 8, mode);
        together.SetVirtualFactors(kChannels);
        together.SetIntervalMs(intervalMs);
        together.SetDecayConst(decay);
        for (size_t i = 0; i < series[0].size(); ++i)
          together.AddData(std::vector<double>{series[0][i], series[1][i], series[2][i]});
        for (int v = 0; v < kChannels; ++v) {
          TVirtAllanData alone(-1, 8, mode);
          alone.SetIntervalMs(intervalMs);
          alone.SetDecayConst(decay);
          Feed(alone, series[v]);
          for (int t = 0; t <= alone.TauMax(); ++t) {
            SCOPED_TRACE(testing::Message() << "mode=" << mode << " interval=" << intervalMs << " decay=" << decay
                                            << " v=" << v << " t=" << t);
            EXPECT_EQ(together.TermCount(v, t), alone.TermCount(0, t));
            EXPECT_EQ(together.Adev(v, t), alone.Adev(0, t));
            EXPECT_EQ(together.TauQuadN(v, t), alone.TauQuadN(0, t));
          }
        }
      }
    }
  }
}
