#include "data/AllanSeries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

const std::string kAdevDir = std::string(VTA_TESTDATA_DIR) + "/adev/";

struct TReference {
  int64_t Terms;
  double Sigma;
};

// Result table "AF Tau #(terms) Alpha MinSigma Sigma MaxSigma", keyed by the averaging factor.
std::map<int64_t, TReference> ReadReference(const std::string& name) {
  std::ifstream file(kAdevDir + name);
  EXPECT_TRUE(file) << name;
  std::map<int64_t, TReference> table;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int64_t af, terms, alpha;
    double tau, minSigma, sigma;
    if (fields >> af >> tau >> terms >> alpha >> minSigma >> sigma) table[af] = {terms, sigma};
  }
  return table;
}

std::vector<double> ReadColumn(const std::string& name, int column = 1) {
  std::ifstream file(kAdevDir + name);
  EXPECT_TRUE(file) << name;
  TAllanColumn read = ReadAllanColumn(file, column);
  EXPECT_EQ(read.Error, "");
  return read.Values;
}

// Compares at every ladder τ that the reference lists; returns how many were compared.
int CompareWithReference(const std::vector<TAdevPoint>& points, const std::string& referenceName) {
  const auto reference = ReadReference(referenceName);
  int compared = 0;
  for (const TAdevPoint& point : points) {
    const auto it = reference.find(std::llround(point.TauSeconds));
    if (it == reference.end()) continue;
    EXPECT_EQ(point.Terms, it->second.Terms) << referenceName << " tau=" << point.TauSeconds;
    EXPECT_NEAR(point.Adev, it->second.Sigma, 1e-4 * it->second.Sigma) << referenceName << " tau=" << point.TauSeconds;
    ++compared;
  }
  return compared;
}

}  // namespace

// PHASE.DAT starts with a phase of exactly 0: the first term must count all the same.
TEST(AllanSeries, PhaseDataMatchesStable32) {
  const std::vector<double> phase = ReadColumn("PHASE.DAT");
  ASSERT_EQ(phase.size(), 1001u);
  ASSERT_EQ(phase[0], 0.0);
  const std::vector<TAdevPoint> points = ComputeAllanSeries(phase, amPhaseRes, 1.0);
  EXPECT_GE(CompareWithReference(points, "phase_dat_adev.txt"), 6);
  EXPECT_GE(CompareWithReference(points, "phase_dat_adev_octave.txt"), 2);
}

TEST(AllanSeries, OcxoFrequencyMatchesStable32) {
  std::vector<double> frequency = ReadColumn("ocxo_frequency.txt");
  ASSERT_EQ(frequency.size(), 19982u);
  for (double& f : frequency) f = (f - 1e7) / 1e7;
  const std::vector<TAdevPoint> points = ComputeAllanSeries(frequency, amFreq, 1.0);
  EXPECT_GE(CompareWithReference(points, "ocxo_stable32_adev_alltau.txt"), 6);
  EXPECT_GE(CompareWithReference(points, "ocxo_adev_octave.txt"), 2);
}

TEST(AllanSeries, SampleIntervalScalesTauAndPhaseDeviation) {
  const std::vector<double> phase = ReadColumn("PHASE.DAT");
  const std::vector<TAdevPoint> base = ComputeAllanSeries(phase, amPhaseRes, 1.0);
  for (double tau0 : {0.0005, 0.25, 2.0}) {
    const std::vector<TAdevPoint> phaseScaled = ComputeAllanSeries(phase, amPhaseRes, tau0);
    const std::vector<TAdevPoint> freqScaled = ComputeAllanSeries(phase, amFreq, tau0);
    const std::vector<TAdevPoint> freqBase = ComputeAllanSeries(phase, amFreq, 1.0);
    ASSERT_EQ(phaseScaled.size(), base.size());
    for (size_t i = 0; i < base.size(); ++i) {
      EXPECT_DOUBLE_EQ(phaseScaled[i].TauSeconds, base[i].TauSeconds * tau0);
      EXPECT_NEAR(phaseScaled[i].Adev, base[i].Adev / tau0, 1e-12 * base[i].Adev / tau0);
      EXPECT_EQ(freqScaled[i].Adev, freqBase[i].Adev);  // fractional frequency does not depend on tau0
    }
  }
}

// The one-pass series gives the bits of the running calculator the counter store uses.
TEST(AllanSeries, SameBitsAsTheRunningCalculator) {
  std::mt19937 generator(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  struct Case {
    const char* name;
    TAllanMode mode;
    size_t count;
    double scale;
  };
  const Case cases[] = {
      {"phase, ladder edge", amPhaseRes, 2001, 1e-9}, {"phase, between", amPhaseRes, 5317, 1e-9},
      {"frequency, ladder edge", amFreq, 2000, 1e-11}, {"frequency, between", amFreq, 4999, 1e-11},
      {"frequency, whole numbers", amFreq, 1003, 1}, {"phase, tiny", amPhaseRes, 777, 1e-15},
  };
  for (const Case& c : cases) {
    std::vector<double> series(c.count);
    double walk = 0;
    for (double& value : series) value = (walk += noise(generator)) * c.scale;
    if (c.scale == 1)
      for (double& value : series) value = std::round(value);
    const double tau0 = 0.25;
    TVirtAllanData calculator(-1, 19, c.mode);
    calculator.SetVirtualFactors(1);
    calculator.SetIntervalMs(tau0 * 1000);
    for (double value : series) {
      const double input = c.mode == amFreq ? value : value * 1e12;
      calculator.AddData(std::span<const double>(&input, 1));
    }
    const std::vector<TAdevPoint> points = ComputeAllanSeries(series, c.mode, tau0);
    size_t i = 0;
    for (int t = 0; t <= calculator.LastTau(); ++t) {
      if (calculator.TermCount(0, t) == 0) continue;
      ASSERT_LT(i, points.size()) << c.name;
      EXPECT_EQ(points[i].TauSeconds, calculator.Tau(t) * tau0) << c.name << " t=" << t;
      EXPECT_EQ(points[i].Terms, calculator.TermCount(0, t)) << c.name << " t=" << t;
      EXPECT_EQ(points[i].Adev, calculator.Adev(0, t)) << c.name << " t=" << t;
      ++i;
    }
    EXPECT_EQ(i, points.size()) << c.name;
  }
}

TEST(AllanSeries, ShortSeriesGiveNoPoints) {
  EXPECT_TRUE(ComputeAllanSeries({}, amFreq, 1.0).empty());
  const std::vector<double> two{1e-9, 2e-9};
  EXPECT_TRUE(ComputeAllanSeries(two, amPhaseRes, 1.0).empty());  // phase needs three points
  ASSERT_EQ(ComputeAllanSeries(two, amFreq, 1.0).size(), 1u);
}

TEST(AllanSeries, ReadColumn) {
  struct Case {
    const char* name;
    const char* text;
    int column;
    std::vector<double> values;
    const char* error;
  };
  const Case cases[] = {
      {"comments and blanks", "# head\n\n  \n1.5\n  # indented comment\n-2e-3\n", 1, {1.5, -2e-3}, ""},
      {"second column, CR LF, tabs", "0 10\r\n1\t+20 x\r\n", 2, {10, 20}, ""},
      {"column missing", "1 2\n\n3\n", 2, {2}, "line 3: column 2 missing"},
      {"not a number", "1\n2\nabc\n4\n", 1, {1, 2}, "line 3: \"abc\" is not a number"},
      {"trailing junk", "1.0x\n", 1, {}, "line 1: \"1.0x\" is not a number"},
      {"decimal comma", "1,5\n", 1, {}, "line 1: \"1,5\" is not a number"},
      {"NaN is not a value", "nan\n", 1, {}, "line 1: \"nan\" is not a number"},
      {"infinity", "1\ninf\n", 1, {1}, "line 2: \"inf\" is not a number"},
      {"no final line end", "7", 1, {7}, ""},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    const TAllanColumn read = ReadAllanColumn(in, c.column);
    EXPECT_EQ(read.Values, c.values) << c.name;
    EXPECT_EQ(read.Error, c.error) << c.name;
  }
}
