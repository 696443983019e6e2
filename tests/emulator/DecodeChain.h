#pragma once
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_ReportDevice.h"
#include "support/QV_TestDevice.h"

// The host's decoder and report processing on a test device: bytes in, text report lines out. The
// emulator's frames are checked against it, not built from it.
class TDecodeChain {
 public:
  explicit TDecodeChain(TQV_PeerType peer, TQV_DeviceType type = QV_CDC) : device(clock) {
    clock.Advance(std::chrono::milliseconds(1000));
    device.SetDeviceType(type);
    device.SetPeer(peer);
    decoder = std::make_unique<TQV_ReportDevice>(&device, &infoList, clock);
    state.Device = &device;
  }
  // Every line the fed bytes complete; a decoder error shows as "ERROR " + its text.
  std::vector<std::string> Lines(const std::string& bytes) {
    device.Feed(bytes);
    std::vector<std::string> lines;
    // A dropped report (a repeated version, say) reads as empty too: go on while bytes are left.
    for (int guard = 0, idle = 0; guard < 100000 && idle < 3; ++guard) {
      std::string report;
      const TQV_Result result = decoder->DeviceGetReport(report);
      if (result != QV_No_Err) {
        lines.push_back("ERROR " + report);
        continue;
      }
      idle = report.empty() ? idle + 1 : 0;
      if (report.empty()) {
        if (device.BufferAmount() == 0) break;
        continue;
      }
      std::string line;
      ProcessBinReport(state, report, line);
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }

  TManualClock clock;
  TQV_TestDevice device;
  TQV_DeviceInfoList infoList;
  std::unique_ptr<TQV_ReportDevice> decoder;
  TQV_ProcessState state;
};

// The values of a measurement line ("HHHH;   v1;   v2...").
inline std::vector<double> LineValues(std::string_view line) {
  std::vector<double> values;
  for (size_t pos = line.find(';'); pos != std::string_view::npos;) {
    const size_t next = line.find(';', pos + 1);
    values.push_back(std::stod(std::string(line.substr(pos + 1, next - pos - 1))));
    pos = next;
  }
  return values;
}

inline bool IsMeasurementLine(std::string_view line) { return line.size() > 4 && line[0] < '7' && line[4] == ';'; }
