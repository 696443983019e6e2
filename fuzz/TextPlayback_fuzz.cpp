// Any file played back as a text recording: the reader hands out its lines, never crashes, never
// hangs and reaches the end of the file; report processing takes every line it hands out.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "FuzzScratchFolder.h"
#include "ReportDeviceFuzz.h"
#include "devices/QV_FileDevices.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"

namespace {

// The process's one text-file device, on a file of its own that each input overwrites.
class TFuzzTextFile : public TFuzzRestartable<TQV_FileDeviceItem> {
 public:
  explicit TFuzzTextFile(const std::string& path)
      : TFuzzRestartable<TQV_FileDeviceItem>(-1, 0, nullptr, false, Created(path), SystemClock(),
                                             [](std::chrono::milliseconds) {}) {}

  // Plays the input from its start as a freshly opened recording.
  void Play(const uint8_t* data, size_t size) {
    ClosePort();
    std::ofstream(Filename(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    RestoreBaseState();
    SetTimestampReceived(false);
    SetWaitMs(0);
    ResetDevice();
  }

 private:
  static const std::string& Created(const std::string& path) {
    std::ofstream{path};
    return path;
  }
};


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TFuzzScratchFolder folder;
  static TFuzzTextFile device(folder.Path() + "fuzz_QV_ReportData.txt");
  device.Play(data, size);
  TQV_ReportDevice decoder(&device);
  TQV_ProcessState state;
  state.Device = &device;
  const size_t limit = 2 * size + 16;  // at least one byte per line, and the end of the file
  for (size_t call = 0;; ++call) {
    if (call > limit) __builtin_trap();  // never reaches the end of the file
    std::string line;
    const TQV_Result result = decoder.DeviceGetReport(line);
    if (result == QV_Err_EndOfFile || !device.PortIsOpened()) break;
    if (result != QV_No_Err || line.empty()) continue;
    ProcessTxtReport(state, line);
    std::string_view rest;
    ParseTxtReportHeader(state, line, rest);
  }
  return 0;
}
