// Any binary report and any text line through report processing, in both dialects and with the
// source's options taken from the first byte: no crash, no out-of-bounds read, no runaway line,
// and a packed block always runs out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ReportDeviceFuzz.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_Report.h"

namespace {

constexpr size_t MaxLine = 65536;
constexpr int MaxPacked = 16;

void CheckLine(const std::string& line) {
  if (line.size() > MaxLine) __builtin_trap();
}

void Configure(TQV_ProcessState& state, uint8_t options, TFuzzDevice& device) {
  state.Device = &device;
  state.FOptRawData = options & 0x02;
  state.Fsend7016 = options & 0x04;
  state.FIVC = (options >> 3) % 3;
  state.DecimalSeparator = options & 0x20 ? ',' : '.';
}

void DrainPacked(TQV_ProcessState& state, std::string& line) {
  for (int i = 0; state.PackCount > 0; ++i) {
    if (i > MaxPacked) __builtin_trap();  // a packed block that never ends
    ProcessPackedReport(state, line);
    CheckLine(line);
  }
}

void DrainPackedBinary(TQV_ProcessState& state, std::string& out) {
  for (int i = 0; state.PackCount > 0; ++i) {
    if (i > MaxPacked) __builtin_trap();
    ProcessPackedReportBinOutput(state, out);
  }
}

// One report given as binary and as text to each path, each path with its own state as a source
// keeps one per connection.
struct TPaths {
  TQV_ProcessState text, record, binary, demo, lines;
  TQV_ReportStruct rec;
  std::string line, out;

  // Network-module records as the decoder hands them over: raw doubles after the header.
  void RestoreEspRecord(std::string_view report) {
    const auto header = static_cast<uint16_t>(static_cast<uint8_t>(report[0]) << 8 | static_cast<uint8_t>(report[1]));
    std::string_view values = report.substr(2, QV_ReportContentSize);
    values.remove_suffix(values.size() % 8);
    rec.SetDoubles(header, values.size(), values.data());
    ProcessESPreport(record, rec);
    rec.SetDoubles(header, values.size(), values.data());
    ProcessESP_IVCreport(record, rec);
    ReportStructToLine(record, rec, line);
    CheckLine(line);
  }

  void Run(std::string_view report) {
    ProcessBinReport(text, report, line);
    CheckLine(line);
    DrainPacked(text, line);

    ProcessBinReportStruct(record, report, rec);
    ReportStructToLine(record, rec, line);
    CheckLine(line);
    if (report.size() >= 2) RestoreEspRecord(report);

    ProcessBinReportBinOutput(binary, report, out);
    DrainPackedBinary(binary, out);

    ProcessDemoReport(demo, report, line);
    CheckLine(line);

    ProcessTxtReport(lines, report);
    std::string_view rest;
    ParseTxtReportHeader(lines, report, rest);
    ConvertAsciiZCTMeasurmentReport(lines, report, rec);
    ConvertAsciiIVCMeasurmentReport(lines, report, rec);
    ConvertAsciiMessageReport(lines, report, rec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzDevice coldfire(QV_CDC, ptColdfire);
  static TFuzzDevice esp(QV_CDC, ptESP);
  if (size == 0) return 0;
  const uint8_t options = data[0];
  TFuzzDevice& device = options & 0x01 ? esp : coldfire;
  device.Restart(false);
  TPaths paths;
  for (TQV_ProcessState* state : {&paths.text, &paths.record, &paths.binary, &paths.demo, &paths.lines})
    Configure(*state, options, device);
  // The rest is a sequence of reports, each a length byte and that many bytes.
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  while (!rest.empty()) {
    const size_t len = std::min<size_t>(static_cast<uint8_t>(rest[0]), rest.size() - 1);
    paths.Run(rest.substr(1, len));
    rest.remove_prefix(1 + len);
  }
  return 0;
}
