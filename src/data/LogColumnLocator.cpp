#include "data/LogColumnLocator.h"

#include <vector>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

struct TCaption {
  std::string Text;
  size_t End;  // one past its last character
};

// Blank-separated words of a line with their end positions.
std::vector<TCaption> Words(const std::string& line) {
  std::vector<TCaption> words;
  for (size_t pos = 0; pos < line.size();) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    const size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
    if (pos > start) words.push_back({line.substr(start, pos - start), pos});
  }
  return words;
}

// The zone line's quantity caption standing over a column that ends at end: the last caption that
// starts before it. Captions of the zone line may hold blanks ("Phase [Pd]"): runs of single blanks
// stay together.
std::string QuantityOver(const std::string& zone, size_t end) {
  std::string caption;
  for (size_t pos = 0; pos < zone.size() && pos < end;) {
    while (pos < zone.size() && IsBlank(zone[pos])) ++pos;
    const size_t start = pos;
    while (pos < zone.size() && !(IsBlank(zone[pos]) && (pos + 1 >= zone.size() || IsBlank(zone[pos + 1])))) ++pos;
    if (pos > start && start < end) caption = zone.substr(start, pos - start);
  }
  return caption;
}

bool IsColumnLine(const std::string& line) { return line.rfind("#ZCT time", 0) == 0 || line.rfind("#PC time", 0) == 0; }

}  // namespace

TLogColumn LocateLogColumn(std::istream& in, const std::string& name) {
  std::string line, previous, columns, zone;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (line[0] == '#') {
      if (IsColumnLine(line)) {
        columns = line;
        zone = previous;
      }
      previous = line;
      continue;
    }
    if (columns.empty()) return {0, "no column line (\"#ZCT time\" or \"#PC time\") before the data"};
    std::vector<size_t> ends;
    for (const TCaption& caption : Words(columns)) {
      if (caption.Text == name || QuantityOver(zone, caption.End) + " " + caption.Text == name) ends.push_back(caption.End);
    }
    if (ends.empty()) return {0, "no column named \"" + name + "\""};
    if (ends.size() > 1) return {0, "several columns named \"" + name + "\"; name the quantity too, as in \"Frequency [Hz] " + name + "\""};
    const std::vector<TCaption> fields = Words(line);
    for (size_t k = 0; k < fields.size(); ++k)
      if (fields[k].End >= ends[0] && fields[k].End - fields[k].Text.size() < ends[0]) return {static_cast<int>(k) + 1, ""};
    return {0, "the first data line has no field under \"" + name + "\""};
  }
  return {0, "no data lines"};
}
