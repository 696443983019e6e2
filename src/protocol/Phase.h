#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A phase in cycles: whole cycles and the fraction kept apart, so that days of a 10 MHz signal
// (about 1e13 cycles) keep sub-picosecond resolution. Normalised form: the fraction has the sign of
// the whole value, in [0, 1) for values >= 0 and in (-1, 0] below.
struct Phase {
  int64_t High = 0;
  double Low = 0;

  void Clear();
  bool IsCleared() const;
  // High = x truncated toward zero, Low = the rest.
  void FromDouble(double x);
  double ToDouble() const;
  void Normalize();
  // "5 0.25": the whole cycles, a blank, the fraction in its shortest text.
  std::string ToString() const;
  // "0000000000000005 0.25"
  std::string ToHexString() const;

  // The column text of a report line: the value rounded to `decimals` digits (0..PhaseMaxDecimals)
  // with `separator`, right-aligned in exactly PhaseColumnWidth characters written to `column`
  // (no terminator, no allocation). A longer text keeps its first PhaseColumnWidth characters.
  void FormatColumn(int decimals, char separator, char* column) const;
  std::string ToColumnString(int decimals, char separator = '.') const;

  // Reads "[-]digits[<separator>digits]", blanks around it allowed. `precision` receives the
  // number of fraction digits. Nothing for any other text or whole cycles beyond int64.
  static std::optional<Phase> Parse(std::string_view text, char separator, int* precision = nullptr);
};

constexpr int PhaseColumnWidth = 26;
constexpr int PhaseMaxDecimals = 18;

// A phase rounded to a number of decimals and split for fixed-decimal text. Every fixed-decimal
// text of a Phase goes through RoundPhase, so that a fraction that rounds up to 1 carries into the
// whole cycles (5 + 0.9999999 at 6 decimals is 6.000000).
struct TPhaseDecimal {
  bool Negative = false;  // the rounded value is below 0
  uint64_t Whole = 0;     // magnitude of the whole cycles
  uint64_t Fraction = 0;  // fraction digits as an integer, below 10^Decimals
  int Decimals = 0;
};

// `decimals` is clamped to 0..PhaseMaxDecimals. Ties round to even, as printf does. A fraction that
// is not a finite number counts as 0.
TPhaseDecimal RoundPhase(const Phase& value, int decimals);

// Writes "[-]whole[<separator>fraction]" to out (room for PhaseDecimalMaxText characters) and
// returns the number of characters written.
constexpr size_t PhaseDecimalMaxText = 1 + 20 + 1 + PhaseMaxDecimals;
size_t WritePhaseDecimal(const TPhaseDecimal& value, char separator, char* out);

// Sum: parts added, then normalised. Difference: parts subtracted, left as they are.
Phase operator+(const Phase& a, const Phase& b);
Phase operator-(const Phase& a, const Phase& b);
Phase operator+(const Phase& a, double b);
Phase operator-(const Phase& a, double b);
// Scaling keeps the full resolution of the fraction even for very large whole-cycle counts; a
// result beyond the int64 range (or a division by 0) keeps only its double value in Low.
Phase operator*(const Phase& a, double d);
Phase operator/(const Phase& a, double d);
// Compared by value, whether normalised or not.
std::partial_ordering operator<=>(const Phase& a, const Phase& b);
bool operator==(const Phase& a, const Phase& b);
