#include "acquisition/ReportsCommand.h"

#include <chrono>
#include <optional>
#include <ostream>

#include "acquisition/MultiSource.h"
#include "acquisition/QV_Source.h"
#include "acquisition/QV_SourceResult.h"
#include "core/Clock.h"
#include "core/NamedEvent.h"
#include "protocol/QV_VersionText.h"
#include "protocol/QV_Commands.h"
#include "protocol/QV_Report.h"

namespace {

constexpr auto ArrivalWait = std::chrono::milliseconds(20);

struct TReportsArgs {
  std::string Connection;
  std::optional<int32_t> Count;
  std::optional<int32_t> Seconds;
  bool Struct = false;
  std::vector<int32_t> Options;
};

// Nothing (with the reason on err) for arguments that do not fit.
std::optional<TReportsArgs> ParseArgs(const std::vector<std::string>& args, std::ostream& err) {
  TReportsArgs parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--struct") {
      parsed.Struct = true;
    } else if (arg == "--count" || arg == "--seconds" || arg == "--option") {
      const auto value = hasValue ? ParseDecimal(args[i + 1]) : std::nullopt;
      if (!value) {
        err << "reports: " << arg << " needs a number\n";
        return std::nullopt;
      }
      ++i;
      if (arg == "--count") parsed.Count = *value;
      else if (arg == "--seconds") parsed.Seconds = *value;
      else parsed.Options.push_back(static_cast<int32_t>(*value));
    } else if (arg.starts_with("--") || !parsed.Connection.empty()) {
      err << "reports: unexpected argument " << arg << "\n";
      return std::nullopt;
    } else {
      parsed.Connection = arg;
    }
  }
  if (parsed.Connection.empty()) {
    err << "reports: connection missing\n";
    return std::nullopt;
  }
  return parsed;
}

// Every line goes out at once: a run stopped by a signal keeps what it read, also through a pipe.
void PrintLine(std::ostream& stream, const std::string& line) { stream << line << '\n' << std::flush; }

// One read: true when a report was printed. `ended` is set at the end of a file or when the source
// has closed itself.
bool ReadOne(int32_t id, bool structured, bool fileSource, std::ostream& out, std::ostream& err, bool& ended,
             bool& failed) {
  int32_t code;
  std::string text;
  if (structured) {
    TQV_ReportStruct record;
    code = Multi_GetReportStruct(record, id);
    if (record.GetReportType() == rt_Error) {
      text = record.GetErrorText();
      if (code == mrOk) code = mrError;
    } else if (record.GetReportType() != rt_None) {
      PrintLine(out, record.ToDbgString());
      return true;
    }
  } else {
    char buffer[MULTI_BUFFER_SIZE] = {};
    code = Multi_GetReportEx(id, buffer, nullptr);
    text = buffer;
    if (code == mrOk && !text.empty()) {
      PrintLine(out, text);
      return true;
    }
    // A line longer than the interface's buffer must not pass for a complete report.
    if (code == mrOkTextCut) {
      PrintLine(err, "Error " + std::to_string(code) + ": report cut to " + std::to_string(text.size()) +
                         " characters: " + text);
      return false;
    }
  }
  if (code == mrNotConnected && fileSource) {
    ended = true;  // the end of the recording
  } else if (code != mrOk && code != mrOkTextCut) {
    PrintLine(err, "Error " + std::to_string(code) + ": " + text);
    if (!Multi_IsOpen(id)) {
      ended = true;
      failed = true;
    }
  } else if (!Multi_IsOpen(id)) {
    ended = true;
  }
  return false;
}

}  // namespace

const char* ReportsUsage() {
  return "usage: vta-cli reports CONNECTION [--count N] [--seconds S] [--struct] [--option N]...\n";
}

int RunReportsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const TReportsDriving& driving) {
  const std::optional<TReportsArgs> parsed = ParseArgs(args, err);
  if (!parsed) {
    err << ReportsUsage();
    return 2;
  }
  const TClock& clock = driving.Clock ? *driving.Clock : SystemClock();
  for (int32_t option : parsed->Options) Multi_SetOption(option);
  const std::shared_ptr<TEvent> arrival = NamedEvent("BaseReceiveEvent");
  const int32_t id = Multi_AddSource();
  TSourceItem* source = Multi_GetSource(id);
  source->SetSimulatorDriving(clock, driving.SimulatorWorker);

  char buffer[MULTI_BUFFER_SIZE] = {};
  CopyToCallerBuffer(parsed->Connection, buffer);
  if (Multi_OpenConnectionEx(id, buffer, 0, 0) != mrOk) {
    err << buffer << '\n';
    return 2;
  }
  const bool fileSource = Multi_IsFileDevice(id) != 0;
  // A file that is not paced is read on demand: nothing arrives by waiting, so a read that found no
  // report (a damaged frame) goes straight on to the next.
  const bool waitForData = !fileSource || source->IsPacedFile();
  if (parsed->Struct && !source->HasStructuredReports()) {
    err << "Structured reports are not available for " << parsed->Connection << '\n';
    Multi_CloseConnection(id);
    return 2;
  }
  // The version report names the instrument; another instance's stream relays it unasked.
  char command[MULTI_BUFFER_SIZE] = {static_cast<char>(QVCmd::Version)};
  if (!source->IsRelayed())
    if (const int32_t code = Multi_SendCommand(id, command, 1); code != mrOk)
      err << "Error " << code << ": " << command << '\n';

  const TSteadyTime end = clock.Steady() + std::chrono::seconds(parsed->Seconds.value_or(0));
  int32_t count = 0;
  bool ended = false, failed = false;
  while (!ended && !(parsed->Count && count >= *parsed->Count) && !(parsed->Seconds && clock.Steady() >= end)) {
    // Reset before reading: data that arrive after the read set the event again, so none are missed.
    arrival->Reset();
    if (ReadOne(id, parsed->Struct, fileSource, out, err, ended, failed)) {
      ++count;
    } else if (!ended && waitForData) {
      if (driving.Idle)
        driving.Idle(id);
      else
        arrival->WaitFor(ArrivalWait);
    }
  }
  out.flush();
  Multi_CloseConnection(id);
  return failed ? 2 : 0;
}
