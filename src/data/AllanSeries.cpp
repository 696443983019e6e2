#include "data/AllanSeries.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>

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

TAllanColumn ReadAllanColumn(std::istream& in, int column) {
  TAllanColumn result;
  std::string line;
  for (int64_t lineNo = 1; std::getline(in, line); ++lineNo) {
    std::istringstream stream(line);
    std::vector<std::string> fields;
    for (std::string field; stream >> field;) fields.push_back(field);
    if (fields.empty() || fields[0][0] == '#') continue;
    const std::string where = "line " + std::to_string(lineNo) + ": ";
    if (static_cast<int>(fields.size()) < column) {
      result.Error = where + "column " + std::to_string(column) + " missing";
      return result;
    }
    const std::string& field = fields[column - 1];
    const auto value = ParseNumber<double>(field);
    if (!value || !std::isfinite(*value)) {
      result.Error = where + "\"" + field + "\" is not a number";
      return result;
    }
    result.Values.push_back(*value);
  }
  if (in.bad()) result.Error = "read error";
  return result;
}

std::vector<TAdevPoint> ComputeAllanSeries(std::span<const double> values, TAllanMode mode, double tau0Seconds) {
  TVirtAllanData calculator(-1, kTauMax, mode);
  calculator.SetVirtualFactors(1);
  calculator.SetIntervalMs(tau0Seconds * 1000);
  const double scale = mode == amFreq ? 1 : kPsPerSecond;
  for (double value : values) {
    const double input = value * scale;
    calculator.AddData(std::span<const double>(&input, 1));
  }
  std::vector<TAdevPoint> points;
  for (int t = 0; t <= calculator.LastTau(); ++t) {
    if (calculator.TermCount(0, t) > 0)
      points.push_back({calculator.Tau(t) * tau0Seconds, calculator.TermCount(0, t), calculator.Adev(0, t)});
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
  std::ifstream file(parsed.File);
  if (!file) {
    err << "vta-cli adev: cannot open " << parsed.File << "\n";
    return 2;
  }
  const TAllanColumn column = ReadAllanColumn(file, parsed.Column);
  if (!column.Error.empty()) {
    err << "vta-cli adev: " << parsed.File << ": " << column.Error << "\n";
    return 2;
  }
  for (const TAdevPoint& point : ComputeAllanSeries(column.Values, parsed.Mode, parsed.Tau0)) {
    out << Format(point.TauSeconds, std::chars_format::general, 10) << ' ' << point.Terms << ' '
        << Format(point.Adev, std::chars_format::scientific, 6) << '\n';
  }
  return 0;
}
