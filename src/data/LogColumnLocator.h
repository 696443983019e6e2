#pragma once
#include <istream>
#include <string>

// Finds a column of a measurement log file by its header name: the caption in the column line (the
// last "#ZCT time"/"#PC time" line before the data), alone when it is unique, or after the quantity's
// caption of the zone line above it ("Frequency [Hz] 2:2"). Captions stand right-aligned above their
// fields, so the field under a caption's last character is the column.
struct TLogColumn {
  int Column = 0;     // 1-based blank-separated field of the data lines; 0 on an error
  std::string Error;  // "no column named ..." and the like
};

TLogColumn LocateLogColumn(std::istream& in, const std::string& name);
