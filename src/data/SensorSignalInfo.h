#pragma once
#include <cstdint>
#include <string>

// One kind of quantity a sensor measures, with the default centre and scale of a graph.
struct TSensorSignalInfo {
  std::string SignalName;
  std::string UnitName;
  double NullValue = 0;     // default centre of a graph
  int32_t RangeDiff = 1;    // default scale: step index ...
  int32_t RangeFaktor = 0;  // ... and exponent
  bool operator==(const TSensorSignalInfo&) const = default;
};
