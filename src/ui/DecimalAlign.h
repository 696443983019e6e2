#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Decimal alignment of the text views' value columns, free of widgets: the text a value cell shows,
// the column statistics that decide when a column needs a new layout, and where each text is drawn
// so that all decimal separators of a column sit on one vertical line.
//
// Padding short fractions with blanks only approximates this in a proportional font (a blank is
// not as wide as a digit) and misplaces values without a separator. Measuring the part in front
// of the separator and drawing the text so that the separator lands on the column's line is exact
// for every font and every value, with or without separator.

// Width of a text in pixels in the font being laid out (the grid passes its font metrics).
using TTextWidth = std::function<int(std::string_view text)>;

// The text of a value cell: a text of blanks only becomes as many '-'. Otherwise the text is
// trimmed, `prefix` is put in front, and a decimal separator ('.' or ',') becomes `separator`; a
// result of blanks only again becomes as many '-'.
std::string ValueCellText(const std::string& raw, const std::string& prefix, char separator);

// A value text cut in front of its separator: Lead is everything before it (sign, digits,
// markers), Tail the separator and what follows. A text without the separator is all Lead.
struct TDecimalParts {
  std::string_view Lead;
  std::string_view Tail;
};
TDecimalParts SplitDecimal(std::string_view text, char separator);

// The characters a column has needed since its columns were built: the longest part in front of
// the separator and the longest part from the separator on.
class TDecimalColumn {
 public:
  // Takes a shown text; true when the column's widest aligned text grew.
  bool Take(std::string_view text, char separator);
  void Reset() { FLeadChars = FTailChars = 0; }
  int LeadChars() const { return FLeadChars; }
  int TailChars() const { return FTailChars; }
  // The width of the column's aligned texts in characters.
  int TotalChars() const { return FLeadChars + FTailChars; }
  // As many zeros as the widest aligned text has characters, plus one: what the font fitting
  // measures for the column.
  std::string ReferenceText() const { return std::string(size_t(TotalChars() + 1), '0'); }

 private:
  int FLeadChars = 0;
  int FTailChars = 0;
};

// A column laid out in one font: the x of the separator line, measured from the left edge of the
// column's content, and the content width that holds every text with its separator on that line.
struct TDecimalLayout {
  int SeparatorX = 0;
  int Width = 0;
  bool operator==(const TDecimalLayout&) const = default;
};

// The layout that holds zeros in the column's statistics' shape and each of `texts`.
TDecimalLayout LayoutDecimalColumn(const TDecimalColumn& column, const std::vector<std::string>& texts, char separator,
                                   const TTextWidth& width);
// Whether a text fits a layout with its separator on the line.
bool FitsDecimalLayout(std::string_view text, char separator, const TDecimalLayout& layout, const TTextWidth& width);
// Where a text starts so that its separator (or, without one, its end) sits on the layout's line.
int DecimalTextX(std::string_view text, char separator, const TDecimalLayout& layout, const TTextWidth& width);
