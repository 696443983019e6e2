#include "data/QV_RawData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/LogUnit.h"
#include "support/TempDir.h"

namespace {

struct TReading {
  int32_t T1 = 0;
  int32_t T2 = 0;
  int32_t T3 = 0;
};

// One channel's input: phase(t) = Whole + Fraction + Freq × t. The counter latches the first edge at
// or after each millisecond instant and reports the time to it in reference periods (T2) less
// interpolator steps (T1), as the counter card does.
struct TSignal {
  double Freq = 10'000'000.0;
  int64_t Whole = 0;          // large values stand for counters that have run for days
  double Fraction = 0.25;     // phase fraction at t = 0
  bool Counter17 = false;     // the card's cycle counter has 17 bits (bit 16 travels as bit 13 of T2)
  bool CardFlag = false;      // bit 15 of T2 is set (tells the calculator on a card's first channel)

  // Phase at millisecond n as whole cycles and a fraction in [0, 1).
  void PhaseAt(int64_t n, int64_t& whole, long double& fraction) const {
    const long double cycles = static_cast<long double>(Fraction) + static_cast<long double>(Freq) * n / 1000.0L;
    const long double floor = std::floor(cycles);
    whole = Whole + static_cast<int64_t>(floor);
    fraction = cycles - floor;
  }

  TReading Read(int64_t n, bool ref20MHz) const {
    int64_t whole = 0;
    long double fraction = 0;
    PhaseAt(n, whole, fraction);
    const int64_t edge = whole + (fraction > 0 ? 1 : 0);
    const long double toEdgeCycles = fraction > 0 ? 1.0L - fraction : 0.0L;
    const long double steps = ref20MHz ? 4096.0L : 8192.0L;
    const long double ticks = toEdgeCycles / Freq * (ref20MHz ? 20e6L : 10e6L);
    int32_t t2 = static_cast<int32_t>(std::ceil(ticks));
    int32_t t1 = static_cast<int32_t>(std::llround((t2 - ticks) * steps));
    if (t1 == static_cast<int32_t>(steps)) {
      t1 = 0;
      --t2;
    }
    TReading r;
    r.T1 = t1;
    r.T3 = static_cast<int32_t>(edge & 0xFFFF);
    r.T2 = t2;
    if (Counter17) r.T2 |= static_cast<int32_t>((edge >> 16) & 1) << 13;
    if (CardFlag) r.T2 |= 0x8000;
    return r;
  }

  // What the calculator sees of the phase: the counter starts at its first reading's value.
  Phase SeenPhase(int64_t n, int64_t firstEdge) const {
    int64_t whole = 0;
    long double fraction = 0;
    PhaseAt(n, whole, fraction);
    const int64_t range = Counter17 ? 0x20000 : 0x10000;
    return Phase{whole - (firstEdge - firstEdge % range), static_cast<double>(fraction)};
  }

  int64_t Edge(int64_t n) const {
    int64_t whole = 0;
    long double fraction = 0;
    PhaseAt(n, whole, fraction);
    return whole + (fraction > 0 ? 1 : 0);
  }
};

// Feeds a calculator with the readings of several channels, one raw line per millisecond.
class TRawFeed {
 public:
  TRawFeed(TQV_RawData& calc, std::vector<TSignal> signals, bool ref20MHz = true)
      : FCalc(calc), FSignals(std::move(signals)), FRef20MHz(ref20MHz) {}

  void Step() {
    ++FMs;
    FCalc.BeginCalculation();
    for (size_t i = 0; i < FSignals.size(); ++i) {
      const TReading r = FSignals[i].Read(FMs, FRef20MHz);
      FCalc.Calculate(static_cast<int>(i) + 1, r.T1, r.T2, r.T3);
    }
    FCalc.EndCalculation();
  }
  void Run(int count) {
    for (int i = 0; i < count; ++i) Step();
  }
  int64_t Ms() const { return FMs; }
  const TSignal& Signal(int k) const { return FSignals[k - 1]; }
  // Restarts the millisecond count, so that millisecond 1 is the first after a reset.
  void Restart(int64_t firstMs = 0) { FMs = firstMs; }

 private:
  TQV_RawData& FCalc;
  std::vector<TSignal> FSignals;
  bool FRef20MHz;
  int64_t FMs = 0;
};

double Cycles(const Phase& p) { return p.ToDouble(); }

void Feed(TQV_RawData& calc, int k, const std::vector<TReading>& readings) {
  for (const TReading& r : readings) {
    calc.BeginCalculation();
    calc.Calculate(k, r.T1, r.T2, r.T3);
    calc.EndCalculation();
  }
}

TQV_RawData MakeCalculator(int32_t rawMs = 1, bool avg = false, bool ref20 = true) {
  TQV_RawData calc(-1);
  calc.SetRef20MHz(ref20);
  calc.SetRawAvg(avg);
  calc.SetRawMs(rawMs);
  return calc;
}

// Worst phase error from the interpolator's step of 1/4096 (or 1/8192) reference period.
double QuantisationCycles(double freq, bool ref20) { return freq / (ref20 ? 20e6 * 4096 : 10e6 * 8192); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure phase arithmetic at the magnitudes of long runs.

TEST(RawDataPhase, InterpolatedPhaseIsExactAtLargeCounts) {
  struct Case {
    int64_t Counter;
    int32_t T1, T2;
    double Freq;
    bool Ref20;
    int64_t High;
    double Low;
  };
  const int64_t day = 864'000'000'000LL;  // cycles of a day at 10 MHz
  const Case cases[] = {
      {1000, 2048, 2, 10e6, true, 999, 0.25},           // 1.5 periods of 20 MHz = 0.75 cycles
      {1000, 2048, 1, 10e6, false, 999, 0.25},          // 0.75 periods of 10 MHz
      {1000, 0, 0, 10e6, true, 1000, 0.0},              // edge at the instant itself
      {1000, 123, 5, 0.0, true, 1000, 0.0},             // no frequency yet: no interpolation
      {day + 7, 0, 0, 10e6, true, day + 7, 0.0},
      {day, 1024, 3, 10'000'001.0, true, day - 2, 2.0 - 1.3750001375},
      {10 * day, 4095, 8191, 131'072'000.0, true, 10 * day - 53'674, 0.0144},
  };
  for (const Case& c : cases) {
    const Phase p = TQV_RawData::InterpolatedPhase(c.Counter, c.T1, c.T2, c.Freq, c.Ref20);
    EXPECT_EQ(p.High, c.High) << c.Counter << " " << c.T1 << " " << c.T2;
    EXPECT_NEAR(p.Low, c.Low, 1e-12) << c.Counter << " " << c.T1 << " " << c.T2;
  }
}

TEST(RawDataPhase, IdealPhaseKeepsFractionOverDays) {
  struct Case {
    int64_t Intervals;
    double NomFreq;
    int64_t High;
    double Low;
  };
  // 864 000 000 ms are ten days; one double of ~8.6e12 cycles resolves only ~0.001 cycles.
  const Case cases[] = {
      {0, 10e6, 0, 0.0},
      {1, 10e6, 10'000, 0.0},
      {864'000'000, 10e6, 8'640'000'000'000, 0.0},
      {864'000'000, 10'000'000.25, 8'640'000'216'000, 0.0},
      {864'000'001, 10'000'000.25, 8'640'000'226'000, 0.00025},
      {864'000'000, 5'000'000.125, 4'320'000'108'000, 0.0},
      {3, 1'000.5, 3, 0.0015},
  };
  for (const Case& c : cases) {
    Phase perMs;
    perMs.FromDouble(c.NomFreq);
    const Phase p = TQV_RawData::IdealPhase(c.Intervals, perMs / 1000.0);
    EXPECT_EQ(p.High, c.High) << c.Intervals << " x " << c.NomFreq;
    EXPECT_NEAR(p.Low, c.Low, 1e-10) << c.Intervals << " x " << c.NomFreq;
  }
}

// ---------------------------------------------------------------------------------------------
// Extended counter, interpolation and frequency from synthesised signals.

TEST(RawData, FollowsSignalAcrossCounterWraps) {
  struct Case {
    const char* Name;
    TSignal Signal;
    bool Ref20;
  };
  const Case cases[] = {
      {"16 bit, 10 MHz", {10e6, 0, 0.25}, true},
      {"16 bit, 10 MHz, 10 MHz reference", {10e6, 0, 0.25}, false},
      {"16 bit, 60 MHz, nearly a wrap per ms", {60e6 + 3.7, 0, 0.1}, true},
      {"16 bit, counter started at days of cycles", {10e6 + 0.3, 864'000'000'123LL, 0.6}, true},
      {"17 bit, 100 MHz, more than 16 bits per ms", {100e6 + 1.0, 0, 0.4, true, true}, true},
      {"17 bit, 131 MHz", {131e6, 5'000'000'000LL, 0.9, true, true}, false},
      {"16 bit, 5 kHz", {5'000.0, 0, 0.5}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TQV_RawData calc = MakeCalculator(1, false, c.Ref20);
    TRawFeed feed(calc, {c.Signal}, c.Ref20);
    const int64_t firstEdge = c.Signal.Edge(1);
    const double tolerance = 2 * QuantisationCycles(c.Signal.Freq, c.Ref20) + 1e-9;
    feed.Run(50);  // the interpolation settles once the frequency is known (slowest at low frequencies)
    for (int i = 0; i < 300; ++i) {
      feed.Step();
      const Phase expected = c.Signal.SeenPhase(feed.Ms(), firstEdge);
      ASSERT_NEAR(Cycles(calc.PhaseRaw(1) - expected), 0.0, tolerance) << "ms " << feed.Ms();
      ASSERT_NEAR(calc.FreqRaw(1), c.Signal.Freq, 2000 * tolerance) << "ms " << feed.Ms();
    }
  }
}

TEST(RawData, FirstMillisecondsGiveZeroThenPhaseStepTimesThousand) {
  struct Case {
    const char* Name;
    std::vector<TReading> Readings;
    double HRQ;
    std::vector<double> Freqs;  // after each reading
  };
  const Case cases[] = {
      {"plain", {{0, 0, 0x0100}, {0, 0, 0x0100 + 10000}, {0, 0, 0x0100 + 20000}}, 1.0, {0, 10e6, 10e6}},
      {"below the lower limit", {{0, 0, 0x0100}, {0, 0, 0x0102}}, 1.0, {0, 4000}},
      {"unchanged counter is a wrap", {{0, 0, 0x0100}, {0, 0, 0x0100}}, 1.0, {0, 65'536'000}},
      // 17-bit wrap, then a far edge, then a near edge: the phase step exceeds 131 072 cycles.
      {"above the upper limit",
       {{0, 0x8000, 0x1000}, {0, 0x8000, 0x1000}, {0, 0x8000 | 0x1FFF, 0x1000}, {0, 0x8000, 0x1000}},
       1.0,
       {0, 131'072'000, 131'072'000 - 53'680'537.6, 131'072'000}},
      // HRQ: no limits; without nominal frequency the step is (counted - 10 000) / factor per ms.
      {"HRQ factor 2 is not limited", {{0, 0, 0x0100}, {0, 0, 0x0102}}, 2.0, {0, (2.0 - 10000) / 2 * 1000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TQV_RawData calc = MakeCalculator();
    calc.SetHRQFactor(1, c.HRQ);
    for (size_t i = 0; i < c.Readings.size(); ++i) {
      Feed(calc, 1, {c.Readings[i]});
      EXPECT_NEAR(calc.FreqRaw(1), c.Freqs[i], 1e-3) << "reading " << i;
    }
  }
}

TEST(RawData, SecondChannelOfA17BitCardUsesTheFirstChannelsFlag) {
  struct Case {
    const char* Name;
    bool Leader17;  // channel 1 (and 5) report the 17-bit flag
    int Channels;
    bool LastCorrect;  // the last channel's 17-bit counter is read right
  };
  const Case cases[] = {
      {"flag from channel 1 holds for channel 2", true, 2, true},
      {"without channel 1's flag channel 2 reads 16 bits", false, 2, false},
      {"channel 5 starts a new card", true, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TSignal> signals(c.Channels, TSignal{10e6, 0, 0.25, true, false});
    signals[0].CardFlag = c.Leader17;
    // The last channel counts 100 MHz on a 17-bit counter without its own flag.
    signals.back() = TSignal{100e6, 0, 0.25, true, false};
    TQV_RawData calc = MakeCalculator();
    TRawFeed feed(calc, signals);
    feed.Run(50);
    const double f = calc.FreqRaw(c.Channels);
    if (c.LastCorrect) {
      EXPECT_NEAR(f, 100e6, 1.0);
    } else {
      EXPECT_GT(std::fabs(f - 100e6), 1e6);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Residual against the nominal frequency.

TEST(RawData, ResidualGrowsWithTheFrequencyOffset) {
  struct Case {
    const char* Name;
    TSignal Signal;
    double Nominal;
    bool Ref20;
  };
  const Case cases[] = {
      {"ideal 10 MHz", {10e6, 0, 0.25}, 10e6, true},
      {"ideal 10 MHz, 10 MHz reference", {10e6, 123'456'789'000LL, 0.25}, 10e6, false},
      {"+1 Hz", {10e6 + 1, 0, 0.5}, 10e6, true},
      {"-0.25 Hz", {10e6 - 0.25, 0, 0.5}, 10e6, true},
      {"fractional cycles per ms, ideal", {10'000'000.25, 0, 0.1}, 10'000'000.25, true},
      {"5 MHz +2 Hz, 17 bit", {5e6 + 2, 0, 0.3, true, true}, 5e6, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TQV_RawData calc = MakeCalculator(1, false, c.Ref20);
    calc.SetNomFreq(1, c.Nominal);
    TRawFeed feed(calc, {c.Signal}, c.Ref20);
    // No residual before the frequency is known and the reference taken.
    int64_t referenceMs = 0;
    while (referenceMs == 0) {
      const bool takes = calc.FreqRaw(1) != 0;
      feed.Step();
      if (takes) {
        referenceMs = feed.Ms();
      } else {
        EXPECT_TRUE(calc.PhaseResRaw(1).IsCleared()) << "ms " << feed.Ms();
      }
    }
    EXPECT_EQ(referenceMs, 3);
    const double tolerance = 2 * QuantisationCycles(c.Signal.Freq, c.Ref20) + 1e-9;
    const double slope = (c.Signal.Freq - c.Nominal) / 1000;  // cycles per ms
    for (int i = 0; i < 2000; ++i) {
      feed.Step();
      const double expected = slope * (feed.Ms() - referenceMs);
      ASSERT_NEAR(Cycles(calc.PhaseResRaw(1)), expected, tolerance + std::fabs(slope) * 1e-6) << "ms " << feed.Ms();
    }
  }
}

TEST(RawData, IdealSignalKeepsAnExactZeroResidualOverALongRun) {
  // 200 000 ms of 10 MHz with a counter that had run for days: no drift of the ideal phase.
  TQV_RawData calc = MakeCalculator();
  calc.SetNomFreq(1, 10e6);
  const TSignal signal{10e6, 864'000'000'000LL, 0.25};
  TRawFeed feed(calc, {signal});
  feed.Run(20);
  const int64_t firstEdge = signal.Edge(1);
  for (int block = 0; block < 100; ++block) {
    feed.Run(2000);
    ASSERT_NEAR(Cycles(calc.PhaseResRaw(1)), 0.0, 1e-9) << "ms " << feed.Ms();
    ASSERT_EQ(calc.PhaseRaw(1), signal.SeenPhase(feed.Ms(), firstEdge)) << "ms " << feed.Ms();
    ASSERT_EQ(calc.FreqRaw(1), 10e6);
  }
}

TEST(RawData, NewNominalFrequencyRetakesTheReference) {
  TQV_RawData calc = MakeCalculator();
  calc.SetNomFreq(1, 10e6);
  TRawFeed feed(calc, {TSignal{10e6 + 1, 0, 0.5}});
  feed.Run(500);
  EXPECT_NEAR(Cycles(calc.PhaseResRaw(1)), 0.497, 1e-3);
  calc.SetNomFreq(1, 10e6 + 1);
  feed.Step();  // the reference is taken at once: the frequency is known
  EXPECT_NEAR(Cycles(calc.PhaseResRaw(1)), 0.0, 1e-12);
  feed.Run(500);
  EXPECT_NEAR(Cycles(calc.PhaseResRaw(1)), 0.0, 1e-4);
}

TEST(RawData, ReferenceBelowOneCycleIsKept) {
  // A slow signal whose phase at the reference instant lies within the first cycle: the reference
  // is taken once and kept, not retaken every millisecond.
  TQV_RawData calc = MakeCalculator(1, false, false);
  calc.SetNomFreq(1, 4000);
  Feed(calc, 1, {{0, 0, 1}, {0, 0, 2}, {0, 8191, 3}});  // 4 kHz (limit), edge 819.1 us after the instant
  ASSERT_EQ(calc.PhaseRaw(1).High, 0);
  ASSERT_NEAR(calc.PhaseRaw(1).Low, 3 - 0.8191 * 4, 1e-12);
  Feed(calc, 1, {{0, 0, 7}});
  EXPECT_NEAR(Cycles(calc.PhaseResRaw(1)), 7 - (3 - 0.8191 * 4) - 4, 1e-9);
}

TEST(RawData, HRQChannelInterpolatesWithTheCountedFrequency) {
  // An HRQ channel counts 10 MHz + factor × (input - nominal); the input's residual is the counted
  // one divided by the factor.
  struct Case {
    double Nominal, Offset, Factor;
  };
  const Case cases[] = {{100e6, 0.5, 4.0}, {100e6, 0.0, 4.0}, {20e6, -0.25, 2.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Nominal) + " " + std::to_string(c.Offset) + " " + std::to_string(c.Factor));
    TQV_RawData calc = MakeCalculator();
    calc.SetNomFreq(1, c.Nominal);
    calc.SetHRQFactor(1, c.Factor);
    const TSignal counted{10e6 + c.Offset * c.Factor, 0, 0.3};
    TRawFeed feed(calc, {counted});
    feed.Run(3);  // reference at ms 3
    const double tolerance = 2 * QuantisationCycles(counted.Freq, true) / c.Factor + 1e-9;
    for (int i = 0; i < 1000; ++i) {
      feed.Step();
      const double expected = c.Offset / 1000 * (feed.Ms() - 3);
      ASSERT_NEAR(Cycles(calc.PhaseResRaw(1)), expected, tolerance) << "ms " << feed.Ms();
      if (i > 5) {
        ASSERT_NEAR(calc.FreqRaw(1), c.Nominal + c.Offset, 2000 * tolerance) << "ms " << feed.Ms();
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Windows.

TEST(RawData, WindowAveragesOrTakesTheLastMillisecond) {
  struct Case {
    int32_t RawMs;
    bool Avg;
  };
  const Case cases[] = {{10, true}, {10, false}, {1, true}, {1, false}, {7, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.RawMs) + (c.Avg ? " avg" : " last"));
    TQV_RawData calc = MakeCalculator(c.RawMs, c.Avg);
    calc.SetNomFreq(1, 10e6);
    TRawFeed feed(calc, {TSignal{10e6 + 3, 500'000'000'000LL, 0.7}});
    EXPECT_TRUE(calc.IsPhaseValid());
    std::vector<Phase> phases;
    std::vector<Phase> residuals;
    for (int window = 0; window < 5; ++window) {
      phases.clear();
      residuals.clear();
      for (int i = 0; i < c.RawMs; ++i) {
        feed.Step();
        phases.push_back(calc.PhaseRaw(1));
        residuals.push_back(calc.PhaseResRaw(1));
        EXPECT_EQ(calc.IsPhaseValid(), i == c.RawMs - 1) << "window " << window << " ms " << i;
      }
      Phase phaseSum;
      Phase residualSum;
      for (int i = 0; i < c.RawMs; ++i) {
        phaseSum = phaseSum + (phases[i] - phases[0]);
        residualSum = residualSum + residuals[i];
      }
      const Phase expectedPhase = c.Avg ? phases[0] + phaseSum / c.RawMs : phases.back();
      const Phase expectedRes = c.Avg ? residualSum / c.RawMs : residuals.back();
      EXPECT_NEAR(Cycles(calc.GetPhase(1) - expectedPhase), 0.0, 1e-9) << "window " << window;
      EXPECT_NEAR(Cycles(calc.GetPhaseRes(1) - expectedRes), 0.0, 1e-12) << "window " << window;
    }
  }
}

TEST(RawData, ZeroWindowLengthNeverCompletes) {
  for (int32_t rawMs : {0, -5}) {
    TQV_RawData calc = MakeCalculator(rawMs, true);
    TRawFeed feed(calc, {TSignal{}});
    feed.Run(50);
    EXPECT_FALSE(calc.IsPhaseValid());
    EXPECT_TRUE(calc.GetPhase(1).IsCleared());
    EXPECT_NEAR(calc.FreqRaw(1), 10e6, 1e-6);  // the milliseconds are still taken in
  }
}

// ---------------------------------------------------------------------------------------------
// Phase differences.

TEST(RawData, DifferencesToChannelOneAndToThePredecessor) {
  // Channels 1 and 3 ideal, channel 2 one hertz high; counters far apart.
  TQV_RawData calc = MakeCalculator();
  TRawFeed feed(calc, {TSignal{10e6, 0, 0.25}, TSignal{10e6 + 1, 777'777'777LL, 0.5},
                       TSignal{10e6, 3'000'000'000LL, 0.75}});
  feed.Run(20);
  EXPECT_TRUE(calc.PhaseRawDiff(1).IsCleared());
  EXPECT_TRUE(calc.PhaseRawPreDiff(1).IsCleared());
  calc.SetPhaseDiffResetted();
  feed.Step();
  for (int k = 1; k <= 3; ++k) {
    EXPECT_TRUE(calc.PhaseRawDiff(k).IsCleared()) << k;
    EXPECT_TRUE(calc.PhaseRawPreDiff(k).IsCleared()) << k;
  }
  feed.Run(1000);
  const double tolerance = 4 * QuantisationCycles(10e6, true);
  EXPECT_NEAR(Cycles(calc.PhaseRawDiff(2)), 1.0, tolerance);      // 1 Hz for 1000 ms
  EXPECT_NEAR(Cycles(calc.PhaseRawPreDiff(2)), 1.0, tolerance);   // channel 1 is its predecessor
  EXPECT_NEAR(Cycles(calc.PhaseRawDiff(3)), 0.0, tolerance);
  EXPECT_NEAR(Cycles(calc.PhaseRawPreDiff(3)), -1.0, tolerance);  // against channel 2
}

TEST(RawData, DifferencesAfterAResetStartAtTheFirstWindow) {
  // The window phases are zero until the first window completes; the zero references must not be
  // taken from them, or the differences would be the counters' absolute distance.
  for (int32_t rawMs : {1, 10}) {
    SCOPED_TRACE(rawMs);
    TQV_RawData calc = MakeCalculator(rawMs, true);
    TRawFeed feed(calc, {TSignal{10e6, 0, 0.25}, TSignal{10e6, 40'000, 0.25}});
    feed.Run(rawMs);
    ASSERT_TRUE(calc.IsPhaseValid());
    EXPECT_TRUE(calc.PhaseRawDiff(2).IsCleared());
    feed.Run(10 * rawMs);
    EXPECT_NEAR(Cycles(calc.PhaseRawDiff(2)), 0.0, 1.0);
  }
}

// ---------------------------------------------------------------------------------------------
// Resets, settings and readers.

TEST(RawData, ResetStartsOver) {
  TQV_RawData calc = MakeCalculator();
  calc.SetNomFreq(1, 10e6);
  TRawFeed feed(calc, {TSignal{10e6 + 1, 0, 0.5}});
  feed.Run(100);
  ASSERT_NE(calc.FreqRaw(1), 0.0);
  calc.Reset();
  EXPECT_EQ(calc.FreqRaw(1), 0.0);
  EXPECT_EQ(calc.T1T2T3(1), "");
  EXPECT_TRUE(calc.GetPhase(1).IsCleared());
  EXPECT_TRUE(calc.GetPhaseRes(1).IsCleared());
  EXPECT_TRUE(calc.PhaseRaw(1).IsCleared());
  EXPECT_TRUE(calc.IsPhaseValid());
  feed.Step();
  EXPECT_EQ(calc.FreqRaw(1), 0.0);  // the first millisecond after a reset has no frequency
  feed.Step();
  EXPECT_NEAR(calc.FreqRaw(1), 10e6, 1000);
  feed.Step();  // new reference, residual from zero again
  EXPECT_NEAR(Cycles(calc.PhaseResRaw(1)), 0.0, 1e-12);
}

TEST(RawData, SettingsResetAndLog) {
  TTempDir dir;
  const int logId = CreateLogger();
  LogFileName(logId, dir.File("raw.txt"), false);
  const std::string file = InternLogFileName(logId);
  {
    TQV_RawData calc(logId);
    Feed(calc, 1, {{0, 0, 0x100}, {0, 0, 0x100 + 10000}});
    ASSERT_NE(calc.FreqRaw(1), 0.0);
    calc.SetRawAvg(false);  // the same value still resets
    EXPECT_EQ(calc.FreqRaw(1), 0.0);
    Feed(calc, 1, {{0, 0, 0x100}, {0, 0, 0x100 + 10000}});
    calc.SetRef20MHz(false);  // unchanged: no reset
    EXPECT_NE(calc.FreqRaw(1), 0.0);
    calc.SetRef20MHz(true);
    EXPECT_EQ(calc.FreqRaw(1), 0.0);
    EXPECT_TRUE(calc.Ref20MHz());
    calc.SetRawMs(10);
    EXPECT_EQ(calc.RawMs(), 10);
    calc.SetNomFreq(1, 10e6);
    calc.SetNomFreq(2, 0);
    calc.SetNomFreq(25, 5e6);
    Feed(calc, 1, {{0, 0, 0x100}, {0, 0, 0x100 + 10000}, {0, 0, 0x100 + 20000}});
  }
  LogFileName(logId, "", false);
  const std::string log = ReadWholeFile(file);
  for (const char* text :
       {"TQV_RawData.SetRawAvg: old=False new=False", "TQV_RawData.SetRef20MHz True", "TQV_RawData.Reset",
        "TQV_RawData.SetRawMs: old=0 new=10", "TQV_RawData.SetNom_Frequ[1]=10000000 FtheoNomFreqPerInterval=10000",
        "TQV_RawData.Calculate PPhaseZeroOffset[1]=20256 0"}) {
    EXPECT_NE(log.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(log.find("SetRef20MHz False"), std::string::npos);
  EXPECT_EQ(log.find("SetNom_Frequ[2]"), std::string::npos);
  EXPECT_EQ(log.find("SetNom_Frequ[25]"), std::string::npos);
}

TEST(RawData, FailedPhaseStepIsLoggedAndKeepsTheFrequency) {
  TTempDir dir;
  const int logId = CreateLogger();
  LogFileName(logId, dir.File("raw.txt"), false);
  const std::string file = InternLogFileName(logId);
  {
    TQV_RawData calc(logId);
    calc.SetRawMs(1);
    Feed(calc, 1, {{0, 0, 0x100}, {0, 0, 0x100 + 10000}});
    // A vanishing HRQ factor blows the phase up to infinity.
    calc.SetHRQFactor(1, 1e-320);
    Feed(calc, 1, {{0, 0, 0x100 + 20000}, {0, 0, 0x100 + 30001}});
    EXPECT_EQ(calc.FreqRaw(1), 10e6);
  }
  LogFileName(logId, "", false);
  const std::string log = ReadWholeFile(file);
  EXPECT_NE(log.find("TQV_RawData.AddPhase PhaseDiff failed"), std::string::npos);
  EXPECT_NE(log.find("TQV_RawData.AddPhase Kanal=1, aPhase="), std::string::npos);
}

TEST(RawData, PostDecimalDigitsFollowTheFrequency) {
  struct Case {
    int32_t CyclesPerMs;
    int Digits;
  };
  const Case cases[] = {{8000, 7}, {7999, 8}, {1000, 8}, {999, 9}, {128, 9}, {127, 10}, {16, 10}, {15, 11}, {4, 11}};
  for (const Case& c : cases) {
    TQV_RawData calc = MakeCalculator();
    Feed(calc, 1, {{0, 0, 0x100}, {0, 0, 0x100 + c.CyclesPerMs}});
    EXPECT_EQ(calc.GetPostDecDigits(1), c.Digits) << c.CyclesPerMs;
  }
  TQV_RawData calc = MakeCalculator();
  EXPECT_EQ(calc.GetPostDecDigits(1), 11);  // no frequency yet
  EXPECT_EQ(calc.GetPostDecDigits(0), 11);
  EXPECT_EQ(calc.GetPostDecDigits(25), 11);
}

TEST(RawData, ChannelsOutsideTheRangeAreIgnored) {
  TQV_RawData calc = MakeCalculator();
  Feed(calc, 0, {{1, 2, 3}});
  Feed(calc, 25, {{1, 2, 3}});
  Feed(calc, 24, {{0x0ABC, 0x8123, 0xFFFF}});
  EXPECT_EQ(calc.T1T2T3(24), "  0ABC 8123 FFFF");
  for (int k : {0, -1, 25}) {
    EXPECT_EQ(calc.T1T2T3(k), "");
    EXPECT_TRUE(calc.GetPhase(k).IsCleared());
    EXPECT_TRUE(calc.GetPhaseRes(k).IsCleared());
    EXPECT_TRUE(calc.PhaseRaw(k).IsCleared());
    EXPECT_TRUE(calc.PhaseResRaw(k).IsCleared());
    EXPECT_TRUE(calc.PhaseRawDiff(k).IsCleared());
    EXPECT_TRUE(calc.PhaseRawPreDiff(k).IsCleared());
    EXPECT_EQ(calc.FreqRaw(k), 0.0);
    EXPECT_EQ(calc.HRQFactor(k), 1.0);
    calc.SetHRQFactor(k, 3.0);
    EXPECT_EQ(calc.HRQFactor(k), 1.0);
  }
}

TEST(RawData, HRQFactorWrites) {
  struct Case {
    double Written, Read;
  };
  const Case cases[] = {{1.0, 1.0}, {4.5, 4.5}, {-2.0, -2.0}, {0.0, 1.0}, {NAN, 1.0}, {INFINITY, 1.0}};
  for (const Case& c : cases) {
    TQV_RawData calc(-1);
    EXPECT_EQ(calc.HRQFactor(3), 1.0);  // no conversion until told
    calc.SetHRQFactor(3, c.Written);
    EXPECT_EQ(calc.HRQFactor(3), c.Read) << c.Written;
  }
}

TEST(RawData, CalculationBracket) {
  TQV_RawData calc = MakeCalculator(3);
  EXPECT_TRUE(calc.CalculationFinished());
  calc.BeginCalculation();
  EXPECT_FALSE(calc.CalculationFinished());
  calc.Calculate(1, 0, 0, 0x100);
  calc.EndCalculation();
  EXPECT_TRUE(calc.CalculationFinished());
  EXPECT_FALSE(calc.IsPhaseValid());
}
