#include "data/AllanColumnReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The blanks of the "C" locale, whatever the process locale is.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A whole field as a number; a leading '+' is allowed (not "+-").
bool ParseDouble(std::string_view text, double& value) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

TAllanColumnReader::TAllanColumnReader(int column, double overflowScale)
    : FColumn(column), FOverflowScale(overflowScale) {}

bool TAllanColumnReader::Add(std::string_view text) {
  FBytesSeen += text.size();
  while (FError.empty() && !text.empty()) {
    const char* end = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
    if (!end) {
      FPartial.append(text);
      break;
    }
    const std::string_view line = text.substr(0, static_cast<size_t>(end - text.data()));
    text.remove_prefix(line.size() + 1);
    if (FPartial.empty()) {
      TakeLine(line);
    } else {
      FPartial.append(line);
      TakeLine(FPartial);
      FPartial.clear();
    }
  }
  ReserveFromShare();
  return FError.empty();
}

void TAllanColumnReader::ReserveFromShare() {
  constexpr size_t kSample = 256;  // values enough to tell the bytes per value
  if (FExpectedBytes <= FBytesSeen || FValues.size() < kSample || FValues.capacity() > FValues.size() * 2) return;
  const double perValue = static_cast<double>(FBytesSeen) / static_cast<double>(FValues.size());
  FValues.reserve(static_cast<size_t>(static_cast<double>(FExpectedBytes) / perValue * 1.02) + kSample);
  FExpectedBytes = 0;
}

bool TAllanColumnReader::Finish() {
  if (FError.empty() && !FPartial.empty()) {
    const std::string last = std::move(FPartial);
    FPartial.clear();
    TakeLine(last);
  }
  return FError.empty();
}

void TAllanColumnReader::Fail(const std::string& text) { FError = "line " + std::to_string(FLineNo) + ": " + text; }

void TAllanColumnReader::TakeLine(std::string_view line) {
  ++FLineNo;
  size_t pos = 0;
  for (int index = 1;; ++index) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size()) {
      if (index > 1) Fail("column " + std::to_string(FColumn) + " missing");
      return;  // index 1: a blank line
    }
    const size_t start = pos;
    if (index == FColumn && TakeNumber(line.substr(start))) return;
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
    const std::string_view field = line.substr(start, pos - start);
    // Log files also write session messages after the time text: "TIME # # text #".
    if (field[0] == '#' && (index == 1 || FLogFields)) return;
    if (index == FColumn) return TakeField(field);
  }
}

bool TAllanColumnReader::TakeNumber(std::string_view rest) {
  double value = 0;
  const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (result.ec != std::errc() || (result.ptr != rest.data() + rest.size() && !IsBlank(*result.ptr))) return false;
  if (!std::isfinite(value) || !std::isfinite(value * FOverflowScale)) return false;
  FValues.push_back(value);
  return true;
}

void TAllanColumnReader::TakeField(std::string_view field) {
  double value = 0;
  bool parsed = ParseDouble(field, value);
  // Log fields cost a second look only where the plain number fails.
  if (!parsed && FLogFields) {
    if (field.find_first_not_of('-') == std::string_view::npos) {
      FValues.push_back(std::numeric_limits<double>::quiet_NaN());
      return;
    }
    std::string pointed(field);
    std::replace(pointed.begin(), pointed.end(), ',', '.');
    parsed = ParseDouble(pointed, value);
  }
  if (!parsed || !std::isfinite(value)) {
    Fail("\"" + std::string(field) + "\" is not a number");
  } else if (!std::isfinite(value * FOverflowScale)) {
    Fail("\"" + std::string(field) + "\" overflows when scaled to picoseconds");
  } else {
    FValues.push_back(value);
  }
}
