#pragma once
#include <string>
#include <vector>

// One column of a text or measurement log file for a stability analysis: column is a 1-based number
// or a header name of a log file (LocateLogColumn); decimal commas read as points, "-" fields are
// gaps (NaN). Error (empty on success) says why the column could not be read.
struct TStabilityColumn {
  std::vector<double> Values;
  std::string Error;
};

TStabilityColumn ReadStabilityColumn(const std::string& path, const std::string& column);
