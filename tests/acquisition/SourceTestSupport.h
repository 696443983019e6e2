#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/MultiSource.h"
#include "acquisition/QV_Source.h"
#include "core/Clock.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_Simulator.h"
#include "protocol/QV_Report.h"
#include "protocol/QV_ReportDevice.h"

// Helpers for tests that open sources through the interface.

// One text read: its code and text.
struct TRead {
  int32_t Code;
  std::string Text;
};

inline TRead ReadText(int32_t id) {
  char buffer[MULTI_BUFFER_SIZE] = {};
  const int32_t code = Multi_GetReportEx(id, buffer, nullptr);
  return {code, buffer};
}

// Opens `connection` on a new source; the reply text on failure.
inline int32_t OpenSource(int32_t id, const std::string& connection, std::string* reply = nullptr) {
  char buffer[MULTI_BUFFER_SIZE] = {};
  connection.copy(buffer, MULTI_BUFFER_SIZE - 1);
  const int32_t code = Multi_OpenConnectionEx(id, buffer, 0, 0);
  if (reply) *reply = buffer;
  return code;
}

// The simulator of an open "DemoData" source, or none.
inline TQV_SimulDevice* Simulator(int32_t id) {
  TQV_SimulDevice* simulator = nullptr;
  Multi_GetSource(id)->WithDevice([&](TQV_BaseDevice& device, TQV_ReportDevice&) {
    simulator = dynamic_cast<TQV_SimulDevice*>(&device);
  });
  return simulator;
}

// A "DemoData" source whose simulator the test steps (100 ms of instrument time per step).
inline int32_t OpenSteppedSimulator(const TClock& clock) {
  const int32_t id = Multi_AddSource();
  Multi_GetSource(id)->SetSimulatorDriving(clock, false);
  OpenSource(id, "DemoData");
  Simulator(id)->SetRandomSeed(7);
  return id;
}

inline void Step(int32_t id, int times = 1) {
  for (int i = 0; i < times; ++i) Simulator(id)->SimulThread()->Step();
}

// Every text report that is ready now. A read may give nothing while data wait (a command went out
// instead), so reading goes on until the receive buffer is empty.
inline std::vector<std::string> Drain(int32_t id) {
  std::vector<std::string> lines;
  for (int guard = 0; guard < 10000; ++guard) {
    const TRead read = ReadText(id);
    if (!read.Text.empty()) lines.push_back(read.Text);
    else if (Multi_GetBufferAmount(id) == 0) break;
  }
  return lines;
}

// Every structured report that is ready now (records of type none left out).
inline std::vector<TQV_ReportStruct> DrainStruct(int32_t id) {
  std::vector<TQV_ReportStruct> records;
  for (int guard = 0; guard < 10000; ++guard) {
    TQV_ReportStruct record;
    Multi_GetReportStruct(record, id);
    if (record.GetReportType() != rt_None) records.push_back(record);
    else if (Multi_GetBufferAmount(id) == 0) break;
  }
  return records;
}
