#include "protocol/Phase.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/QV_NumberText.h"

namespace {

constexpr double TwoPow32 = 4294967296.0;
constexpr double TwoPow63 = 9223372036854775808.0;

// Whole-cycle arithmetic wraps instead of overflowing.
int64_t WrapAdd(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }

// Moves the integral amount `whole` from Low to High; amounts beyond int64 stay in Low.
void MoveToHigh(Phase& p, double whole) {
  if (std::fabs(whole) >= TwoPow63) return;
  p.High = WrapAdd(p.High, static_cast<int64_t>(whole));
  p.Low -= whole;
}

// High split into two parts that doubles hold exactly: High = upper + lower.
std::array<double, 2> ExactParts(int64_t high) {
  const double upper = static_cast<double>(high >> 32) * TwoPow32;
  const double lower = static_cast<double>(high & 0xFFFFFFFF);
  return {upper, lower};
}

// acc += x * d for an exact x; the rounding error of the product is recovered with fma.
void AddProduct(Phase& acc, double x, double d) {
  const double product = x * d;
  const double error = std::fma(x, d, -product);
  const double whole = std::trunc(product);
  if (!std::isfinite(whole) || std::fabs(whole) >= TwoPow63) {
    acc.Low += product + error;
    return;
  }
  acc.High = WrapAdd(acc.High, static_cast<int64_t>(whole));
  acc.Low += (product - whole) + error;
}

// acc += x / d for an exact x: the whole quotient goes to High, the remainder (exact via fma) / d to Low.
void AddQuotient(Phase& acc, double x, double d) {
  const double whole = std::trunc(x / d);
  if (!std::isfinite(whole) || std::fabs(whole) >= TwoPow63) {
    acc.Low += x / d;
    return;
  }
  acc.High = WrapAdd(acc.High, static_cast<int64_t>(whole));
  acc.Low += std::fma(-whole, d, x) / d;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TakeDigits(std::string_view& text) {
  const size_t count = std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin();
  const std::string_view digits = text.substr(0, count);
  text.remove_prefix(count);
  return digits;
}

// "0." + digits as a double; digits past the buffer change the value by less than 1e-120.
double FractionValue(std::string_view digits) {
  // Up to 15 digits both the digits and 10^count are exact doubles, so their one correctly rounded
  // quotient is the correctly rounded value of the text.
  constexpr size_t kExactDigits = 15;
  if (digits.size() <= kExactDigits) {
    uint64_t numerator = 0;
    double denominator = 1;
    for (char c : digits) {
      numerator = numerator * 10 + static_cast<uint64_t>(c - '0');
      denominator *= 10;
    }
    return static_cast<double>(numerator) / denominator;
  }
  char buffer[128] = {'0', '.', '0'};
  const size_t count = std::min(digits.size(), sizeof buffer - 2);
  std::copy_n(digits.begin(), count, buffer + 2);
  double value = 0;
  std::from_chars(buffer, buffer + 2 + std::max<size_t>(count, 1), value);
  return value;
}

}  // namespace

void Phase::Clear() { *this = Phase{}; }

bool Phase::IsCleared() const { return High == 0 && Low == 0; }

void Phase::FromDouble(double x) {
  const double whole = std::trunc(x);
  if (!std::isfinite(x) || std::fabs(whole) >= TwoPow63) {
    *this = Phase{0, x};
    return;
  }
  High = static_cast<int64_t>(whole);
  Low = x - whole;
}

double Phase::ToDouble() const { return static_cast<double>(High) + Low; }

void Phase::Normalize() {
  // A fraction beyond the whole-cycle range has nothing to move.
  if (!std::isfinite(Low) || std::fabs(Low) >= TwoPow63) return;
  const bool negative = static_cast<double>(High) + Low < 0;
  MoveToHigh(*this, negative ? std::ceil(Low) : std::floor(Low));
  // A tiny fraction of the other sign becomes a whole -1 or 1 after the move above.
  if (!negative && Low >= 1) MoveToHigh(*this, 1);
  if (negative && Low <= -1) MoveToHigh(*this, -1);
}

std::string Phase::ToString() const { return std::to_string(High) + " " + FloatToShortest(Low); }

std::string Phase::ToHexString() const {
  char buffer[17];
  const auto result = std::to_chars(buffer, buffer + 16, static_cast<uint64_t>(High), 16);
  std::string hex(buffer, result.ptr);
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return c >= 'a' ? c - 'a' + 'A' : c; });
  return std::string(16 - hex.size(), '0') + hex + " " + FloatToShortest(Low);
}

void Phase::FormatColumn(int decimals, char separator, char* column) const {
  char text[PhaseDecimalMaxText];
  const size_t length = WritePhaseDecimal(RoundPhase(*this, decimals), separator, text);
  const size_t kept = std::min<size_t>(length, PhaseColumnWidth);
  const size_t padding = PhaseColumnWidth - kept;
  std::memset(column, ' ', padding);
  std::memcpy(column + padding, text, kept);
}

std::string Phase::ToColumnString(int decimals, char separator) const {
  std::string column(PhaseColumnWidth, ' ');
  FormatColumn(decimals, separator, column.data());
  return column;
}

std::optional<Phase> Phase::Parse(std::string_view text, char separator, int* precision) {
  text = TrimBlanks(text);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  const std::string_view whole = TakeDigits(text);
  std::string_view fraction;
  if (!text.empty() && text.front() == separator) {
    text.remove_prefix(1);
    fraction = TakeDigits(text);
  }
  if (!text.empty() || (whole.empty() && fraction.empty())) return std::nullopt;

  uint64_t magnitude = 0;
  if (!whole.empty()) {
    const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), magnitude);
    if (ec != std::errc() || magnitude > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  }
  const double low = FractionValue(fraction);
  if (precision) *precision = static_cast<int>(fraction.size());
  const int64_t high = static_cast<int64_t>(magnitude);
  return Phase{negative ? -high : high, negative ? -low : low};
}

TPhaseDecimal RoundPhase(const Phase& value, int decimals) {
  Phase p = value;
  p.Normalize();
  TPhaseDecimal result;
  result.Decimals = std::clamp(decimals, 0, PhaseMaxDecimals);
  result.Negative = p.High < 0 || p.Low < 0;
  result.Whole = result.Negative ? 0 - static_cast<uint64_t>(p.High) : static_cast<uint64_t>(p.High);
  // Only a value beyond the whole-cycle range keeps a fraction outside (-1, 1) after normalising.
  const double fraction = std::fabs(p.Low) < 1 ? std::fabs(p.Low) : 0.0;

  // The exact binary fraction rounded to the decimals (below 10^18 + 1, so it fits); 10^decimals
  // when it carries.
  const uint64_t scaled = ScaleToDecimals(fraction, result.Decimals).value_or(0);
  uint64_t carried = 1;
  for (int d = 0; d < result.Decimals; ++d) carried *= 10;
  bool carry = scaled == carried;
  if (result.Decimals == 0 && fraction == 0.5) carry = (result.Whole & 1) != 0;  // tie: to even whole cycles
  if (carry) {
    ++result.Whole;
  } else if (result.Decimals > 0) {
    result.Fraction = scaled;
  }
  if (result.Whole == 0 && result.Fraction == 0) result.Negative = false;
  return result;
}

size_t WritePhaseDecimal(const TPhaseDecimal& value, char separator, char* out) {
  char* p = out;
  if (value.Negative) *p++ = '-';
  p = std::to_chars(p, out + PhaseDecimalMaxText, value.Whole).ptr;
  const int decimals = std::clamp(value.Decimals, 0, PhaseMaxDecimals);
  if (decimals > 0) {
    *p++ = separator;
    char digits[PhaseMaxDecimals + 1];
    // A fraction with more digits than decimals is not a rounded value; it shows as zeros.
    const auto [end, ec] = std::to_chars(digits, digits + decimals, value.Fraction);
    const size_t count = ec == std::errc() ? end - digits : 0;
    const size_t zeros = decimals - count;
    std::memset(p, '0', zeros);
    std::memcpy(p + zeros, digits, count);
    p += zeros + count;
  }
  return p - out;
}

Phase operator+(const Phase& a, const Phase& b) {
  Phase sum{WrapAdd(a.High, b.High), a.Low + b.Low};
  sum.Normalize();
  return sum;
}

Phase operator-(const Phase& a, const Phase& b) {
  return Phase{WrapAdd(a.High, static_cast<int64_t>(0 - static_cast<uint64_t>(b.High))), a.Low - b.Low};
}

Phase operator+(const Phase& a, double b) {
  Phase p;
  p.FromDouble(b);
  return a + p;
}

Phase operator-(const Phase& a, double b) {
  Phase p;
  p.FromDouble(b);
  return a - p;
}

Phase operator*(const Phase& a, double d) {
  Phase product{0, a.Low * d};
  for (double part : ExactParts(a.High)) AddProduct(product, part, d);
  product.Normalize();
  return product;
}

Phase operator/(const Phase& a, double d) {
  Phase quotient{0, a.Low / d};
  for (double part : ExactParts(a.High)) AddQuotient(quotient, part, d);
  quotient.Normalize();
  return quotient;
}

std::partial_ordering operator<=>(const Phase& a, const Phase& b) {
  Phase x = a;
  Phase y = b;
  x.Normalize();
  y.Normalize();
  if (x.High != y.High) return x.High <=> y.High;
  return x.Low <=> y.Low;
}

bool operator==(const Phase& a, const Phase& b) { return (a <=> b) == 0; }
