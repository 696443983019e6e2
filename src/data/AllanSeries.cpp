#include "data/AllanSeries.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>

#include "data/AllanColumnReader.h"
#include "data/AllanLadderPosition.h"

namespace {

// The ladder of the counter store: τ up to 2 000 000 samples.
constexpr int kTauMax = 19;
constexpr double kPsPerSecond = 1e12;

// Number parsing that ignores the process locale (a German locale must not turn "0.5" into an error).
template <class T>
std::optional<T> ParseNumber(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  T value{};
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Format(double value, std::chars_format format, int precision) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

struct TAdevArgs {
  std::string File;
  TAllanMode Mode = amPhaseRes;
  double Tau0 = 1;
  int Column = 1;
};

// Fills args or returns the reason why the command line is not usable.
std::string ParseAdevArgs(const std::vector<std::string>& list, TAdevArgs& args) {
  bool modeGiven = false;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& arg = list[i];
    if (arg == "--phase" || arg == "--freq") {
      const TAllanMode mode = arg == "--phase" ? amPhaseRes : amFreq;
      if (modeGiven && mode != args.Mode) return "--phase and --freq exclude each other";
      args.Mode = mode;
      modeGiven = true;
    } else if (arg == "--tau0" || arg == "--column") {
      if (i + 1 >= list.size()) return arg + " needs a value";
      const std::string& value = list[++i];
      if (arg == "--tau0") {
        const auto tau0 = ParseNumber<double>(value);
        if (!tau0 || !std::isfinite(*tau0) || *tau0 <= 0) return "--tau0 must be a positive number of seconds: " + value;
        args.Tau0 = *tau0;
      } else {
        const auto column = ParseNumber<int>(value);
        if (!column || *column < 1) return "--column must be a whole number from 1: " + value;
        args.Column = *column;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else if (!args.File.empty()) {
      return "only one file, got also " + arg;
    } else {
      args.File = arg;
    }
  }
  return args.File.empty() ? "no file given" : "";
}

}  // namespace

TAllanColumn ReadAllanColumn(std::istream& in, int column, double overflowScale, bool logFields) {
  std::vector<char> buffer(1 << 20);
  TAllanColumnReader reader(column, overflowScale);
  if (logFields) reader.AcceptLogFields();
  // A file tells its size: the values need no regrowing.
  if (const std::streampos start = in.tellg(); start != std::streampos(-1)) {
    const std::streamoff size = in.seekg(0, std::ios::end) ? in.tellg() - start : 0;
    in.clear();
    in.seekg(start);
    if (size > 0) reader.ExpectBytes(static_cast<uint64_t>(size));
  }
  while (in && reader.Error().empty()) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    reader.Add(std::string_view(buffer.data(), static_cast<size_t>(in.gcount())));
  }
  reader.Finish();
  TAllanColumn result{reader.TakeValues(), reader.Error()};
  if (result.Error.empty() && in.bad()) result.Error = "read error";
  return result;
}

namespace {

// Running mean of squared differences, as the running calculator keeps it without decay, so that
// both give the same bits.
struct TRunningSquareMean {
  double Mean = 0;
  double N = 0;
  int64_t Terms = 0;
  void Add(double d) {
    const double q = d * d;
    Mean = (N == 0) ? q : (N * Mean + q) / (N + 1);
    N += 1;
    ++Terms;
  }
};

constexpr int kTauCount = kTauMax + 1;

// Ladder τ in samples: 1, 2, 5, 10, ...
std::array<int64_t, kTauCount> Ladder() {
  std::array<int64_t, kTauCount> taus{};
  taus[0] = 1;
  for (int t = 1; t < kTauCount; ++t) taus[t] = (t % 3 == 2) ? taus[t - 1] / 2 * 5 : taus[t - 1] * 2;
  return taus;
}

// Frequency: one pass; every τ sums its current block, and a closing block adds the difference of its
// average to the previous one.
std::array<TRunningSquareMean, kTauCount> FrequencyTerms(std::span<const double> values) {
  const auto taus = Ladder();
  std::array<TRunningSquareMean, kTauCount> terms{};
  std::array<double, kTauCount> sums{}, previous{};
  std::array<int64_t, kTauCount> blocks{};
  TAllanLadderPosition position(kTauCount);
  for (double y : values) {
    for (int t = 0; t < kTauCount; ++t) sums[t] += y;
    position.Advance();
    for (auto ends = position.Ends(); ends != 0; ends &= ends - 1) {
      const int t = std::countr_zero(ends);
      const double average = sums[t] / static_cast<int32_t>(taus[t]);
      sums[t] = 0;
      if (++blocks[t] >= 2) terms[t].Add(average - previous[t]);
      previous[t] = average;
    }
  }
  return terms;
}

// Phase: per τ the second differences of the series taken every τ samples.
std::array<TRunningSquareMean, kTauCount> PhaseTerms(std::span<const double> values, double scale) {
  const auto taus = Ladder();
  std::array<TRunningSquareMean, kTauCount> terms{};
  const auto n = static_cast<int64_t>(values.size());
  for (int t = 0; t < kTauCount; ++t) {
    const int64_t tau = taus[t];
    if (2 * tau >= n) break;
    double x0 = values[0] * scale, x1 = values[tau] * scale;
    for (int64_t i = 2 * tau; i < n; i += tau) {
      const double x2 = values[i] * scale;
      terms[t].Add(x0 - 2 * x1 + x2);
      x0 = x1;
      x1 = x2;
    }
  }
  return terms;
}

}  // namespace

std::vector<TAdevPoint> ComputeAllanSeries(std::span<const double> values, TAllanMode mode, double tau0Seconds) {
  const auto taus = Ladder();
  const bool frequency = mode == amFreq;
  const auto terms = frequency ? FrequencyTerms(values) : PhaseTerms(values, kPsPerSecond);
  const double intervalMs = tau0Seconds * 1000;
  std::vector<TAdevPoint> points;
  for (int t = 0; t < kTauCount; ++t) {
    if (terms[t].Terms == 0) continue;
    double adev = std::sqrt(terms[t].Mean / 2);
    if (!frequency) adev = adev / (static_cast<int32_t>(taus[t]) * 1e12) * 1000 / intervalMs;
    points.push_back({static_cast<int32_t>(taus[t]) * tau0Seconds, terms[t].Terms, adev});
  }
  return points;
}

const char* AdevUsage() { return "usage: vta-cli adev FILE [--phase|--freq] [--tau0 SECONDS] [--column K]\n"; }

int RunAdevCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TAdevArgs parsed;
  if (const std::string problem = ParseAdevArgs(args, parsed); !problem.empty()) {
    err << "vta-cli adev: " << problem << "\n" << AdevUsage();
    return 2;
  }
  std::ifstream file(parsed.File, std::ios::binary);
  if (!file) {
    err << "vta-cli adev: cannot open " << parsed.File << "\n";
    return 2;
  }
  const bool frequency = parsed.Mode == amFreq;
  const TAllanColumn column = ReadAllanColumn(file, parsed.Column, frequency ? 1 : kPsPerSecond);
  const auto fail = [&](const std::string& text) {
    err << "vta-cli adev: " << parsed.File << ": " << text << "\n";
    return 2;
  };
  if (!column.Error.empty()) return fail(column.Error);
  const std::vector<TAdevPoint> points = ComputeAllanSeries(column.Values, parsed.Mode, parsed.Tau0);
  if (points.empty()) {
    return fail("too few values for a deviation: " + std::to_string(column.Values.size()) + " (at least " +
                (frequency ? "2 fractional frequencies" : "3 phase values") + ")");
  }
  std::string text;
  for (const TAdevPoint& point : points) {
    if (!std::isfinite(point.Adev))
      return fail("the deviation at tau " + Format(point.TauSeconds, std::chars_format::general, 10) + " s overflows");
    text += Format(point.TauSeconds, std::chars_format::general, 10) + ' ' + std::to_string(point.Terms) + ' ' +
            Format(point.Adev, std::chars_format::scientific, 6) + '\n';
  }
  out << text;
  return 0;
}
