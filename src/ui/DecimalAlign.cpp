#include "ui/DecimalAlign.h"

#include <algorithm>

namespace {

bool AllBlanks(std::string_view text) {
  return !text.empty() && text.find_first_not_of(' ') == std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

int Chars(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace

std::string ValueCellText(const std::string& raw, const std::string& prefix, char separator) {
  if (AllBlanks(raw)) return std::string(raw.size(), '-');
  std::string text = prefix + std::string(Trimmed(raw));
  if (const size_t sep = text.find_first_of(".,"); sep != std::string::npos) text[sep] = separator;
  if (AllBlanks(text)) return std::string(text.size(), '-');
  return text;
}

TDecimalParts SplitDecimal(std::string_view text, char separator) {
  const size_t sep = text.find(separator);
  if (sep == std::string_view::npos) return {text, {}};
  return {text.substr(0, sep), text.substr(sep)};
}

bool TDecimalColumn::Take(std::string_view text, char separator) {
  const TDecimalParts parts = SplitDecimal(text, separator);
  const int oldTotal = TotalChars();
  FLeadChars = std::max(FLeadChars, Chars(parts.Lead));
  FTailChars = std::max(FTailChars, Chars(parts.Tail));
  return TotalChars() > oldTotal;
}

TDecimalLayout LayoutDecimalColumn(const TDecimalColumn& column, const std::vector<std::string>& texts, char separator,
                                   const TTextWidth& width) {
  int lead = width(std::string(size_t(column.LeadChars()), '0'));
  int tail = column.TailChars() > 0 ? width(separator + std::string(size_t(column.TailChars() - 1), '0')) : 0;
  for (const std::string& text : texts) {
    const TDecimalParts parts = SplitDecimal(text, separator);
    lead = std::max(lead, width(parts.Lead));
    tail = std::max(tail, width(text) - width(parts.Lead));
  }
  return {lead, lead + tail};
}

bool FitsDecimalLayout(std::string_view text, char separator, const TDecimalLayout& layout, const TTextWidth& width) {
  const int lead = width(SplitDecimal(text, separator).Lead);
  return lead <= layout.SeparatorX && width(text) - lead <= layout.Width - layout.SeparatorX;
}

int DecimalTextX(std::string_view text, char separator, const TDecimalLayout& layout, const TTextWidth& width) {
  return layout.SeparatorX - width(SplitDecimal(text, separator).Lead);
}
