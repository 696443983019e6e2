#pragma once
#include <cstdint>
#include <string>

#include "devices/QV_CommonTypes.h"
#include "protocol/QV_Report.h"

// The source that serves an order. Sources live until the program ends, so orders refer to them
// without owning them.
class TSourceItem;

// States of a report order: placed, being served, done, collected (freed with the next call).
enum TGetReportState : int32_t { grs_Placed = 0, grs_Serving = 1, grs_Done = 2, grs_Collected = 3 };

// An order for the next text report line of a source, placed by the report thread.
struct TGetReportItem {
  uint32_t ThreadId = 0;
  TSourceItem* Source = nullptr;
  int32_t MultiId = 0;
  int32_t state = grs_Placed;
  std::string report;  // one text report line
  int64_t deviceMs = -1;
  TQV_Result qvRes = QV_No_Err;
};

// An order for the next structured report of a source.
struct TGetReportItemStruct {
  uint32_t ThreadId = 0;
  TSourceItem* Source = nullptr;
  int32_t MultiId = 0;
  int32_t state = grs_Placed;
  TQV_ReportStruct report;
};
