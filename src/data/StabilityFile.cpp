#include "data/StabilityFile.h"

#include <charconv>
#include <fstream>

#include "data/AllanSeries.h"
#include "data/LogColumnLocator.h"

TStabilityColumn ReadStabilityColumn(const std::string& path, const std::string& column) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {{}, "cannot open " + path};
  int number = 0;
  const auto parsed = std::from_chars(column.data(), column.data() + column.size(), number);
  const bool isNumber = !column.empty() && parsed.ec == std::errc() && parsed.ptr == column.data() + column.size();
  if (isNumber && number < 1) return {{}, path + ": column must be a whole number from 1: " + column};
  if (!isNumber) {
    const TLogColumn located = LocateLogColumn(file, column);
    if (!located.Error.empty()) return {{}, path + ": " + located.Error};
    number = located.Column;
    file.clear();
    file.seekg(0);
  }
  TAllanColumn values = ReadAllanColumn(file, number, 1, true);
  if (!values.Error.empty()) return {{}, path + ": " + values.Error};
  return {std::move(values.Values), ""};
}
