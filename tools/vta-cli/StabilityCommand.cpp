#include "StabilityCommand.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <optional>

#include "data/StabilityAnalysis.h"
#include "data/StabilityFile.h"
#include "data/StabilityTable.h"

namespace {

struct TStabilityArgs {
  std::string File;
  bool Frequency = false;
  double Tau0 = 1;
  std::string Column = "1";
  TStabilityStatistic Statistic = TStabilityStatistic::Oadev;
  TTauLadder Ladder = TTauLadder::Octave;
  double Confidence = kDefaultConfidence;
};

// A whole text as a number, whatever the process locale.
template <class T>
std::optional<T> Number(const std::string& text) {
  T value{};
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// Takes the value of the option at list[i] into args; the reason when it is not usable.
std::string TakeValue(const std::string& option, const std::string& value, TStabilityArgs& args) {
  if (option == "--tau0") {
    const auto tau0 = Number<double>(value);
    if (!tau0 || !std::isfinite(*tau0) || *tau0 <= 0) return "--tau0 must be a positive number of seconds: " + value;
    args.Tau0 = *tau0;
  } else if (option == "--column") {
    if (value.empty()) return "--column needs a number from 1 or a column name";
    args.Column = value;
  } else if (option == "--type") {
    const auto statistic = ParseStabilityStatistic(value);
    if (!statistic) return "unknown --type " + value;
    args.Statistic = *statistic;
  } else if (option == "--taus") {
    const auto ladder = ParseTauLadder(value);
    if (!ladder) return "unknown --taus " + value;
    args.Ladder = *ladder;
  } else {
    const auto confidence = Number<double>(value);
    if (!confidence || !(*confidence > 0 && *confidence < 1)) return "--confidence must lie between 0 and 1: " + value;
    args.Confidence = *confidence;
  }
  return "";
}

std::string ParseArgs(const std::vector<std::string>& list, TStabilityArgs& args) {
  bool modeGiven = false;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& arg = list[i];
    if (arg == "--phase" || arg == "--freq") {
      const bool frequency = arg == "--freq";
      if (modeGiven && frequency != args.Frequency) return "--phase and --freq exclude each other";
      args.Frequency = frequency;
      modeGiven = true;
    } else if (arg == "--tau0" || arg == "--column" || arg == "--type" || arg == "--taus" || arg == "--confidence") {
      if (i + 1 >= list.size()) return arg + " needs a value";
      if (std::string problem = TakeValue(arg, list[++i], args); !problem.empty()) return problem;
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

const char* StabilityUsage() {
  return "usage: vta-cli stability FILE [--phase|--freq] [--tau0 S] [--column K|NAME]\n"
         "         [--type adev|oadev|mdev|tdev|hdev|ohdev|totdev|mtie|tierms] [--taus all|octave|decade|125]\n"
         "         [--confidence C]\n";
}

int RunStabilityCommand(const std::vector<std::string>& argList, std::ostream& out, std::ostream& err) {
  TStabilityArgs args;
  if (const std::string problem = ParseArgs(argList, args); !problem.empty()) {
    err << "vta-cli stability: " << problem << "\n" << StabilityUsage();
    return 2;
  }
  TStabilityColumn values = ReadStabilityColumn(args.File, args.Column);
  if (!values.Error.empty()) {
    err << "vta-cli stability: " << values.Error << "\n";
    return 2;
  }
  const size_t valueCount = values.Values.size();
  const TPhaseSeries series = args.Frequency ? TPhaseSeries::FromFrequency(values.Values, args.Tau0)
                                             : TPhaseSeries::FromPhase(std::move(values.Values), args.Tau0);
  const std::vector<int64_t> factors = StabilityFactors(args.Statistic, args.Ladder, series.Size());
  const std::vector<TStabilityPoint> points = AnalyseStability(series, args.Statistic, factors, args.Confidence);
  if (points.empty()) {
    err << "vta-cli stability: " << args.File << ": too few values for " << StabilityStatisticName(args.Statistic)
        << ": " << valueCount << "\n";
    return 2;
  }
  out << StabilityTableText({args.File, args.Frequency, valueCount, args.Statistic, args.Confidence}, points);
  return 0;
}

int StabilityCommand(int argc, char** argv) {
  return RunStabilityCommand(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
