#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads one numeric column of a text given in pieces of any size: whitespace-separated fields, blank
// lines and lines whose first field starts with '#' skipped. The first line that cannot give a value
// stops the reading with an error naming its 1-based line number.
class TAllanColumnReader {
 public:
  // column: 1-based. A value whose product with overflowScale is not finite is an error, so that a
  // later scaling (seconds to picoseconds) cannot lose it.
  explicit TAllanColumnReader(int column, double overflowScale = 1);

  // Fields as measurement log files write them: a decimal comma reads as a point, a field of '-'
  // only (no data) gives NaN, a gap, and a line whose fields up to the column hold one starting with
  // '#' (a session message after the time text) is skipped.
  void AcceptLogFields() { FLogFields = true; }

  // The whole text's size where it is known: once the first piece shows how long a line is, the
  // values get their room at once instead of regrowing through the text.
  void ExpectBytes(uint64_t total) { FExpectedBytes = total; }

  // Takes the next piece; false once an error has stopped the reading.
  bool Add(std::string_view text);
  // Ends the text: a last line without a line end counts. False on an error.
  bool Finish();

  const std::vector<double>& Values() const { return FValues; }
  std::vector<double> TakeValues() { return std::move(FValues); }
  const std::string& Error() const { return FError; }

 private:
  void TakeLine(std::string_view line);
  // The number at the start of rest when it ends the field and is usable; false leaves the field to
  // TakeField, which knows the log fields and the errors.
  bool TakeNumber(std::string_view rest);
  void TakeField(std::string_view field);
  void ReserveFromShare();
  void Fail(const std::string& text);

  int FColumn;
  double FOverflowScale;
  bool FLogFields = false;
  int64_t FLineNo = 0;
  uint64_t FExpectedBytes = 0, FBytesSeen = 0;
  std::string FPartial;  // a line whose end has not arrived yet
  std::vector<double> FValues;
  std::string FError;
};
