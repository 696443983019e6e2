#include "core/CalendarTime.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace {

// Day number of 1970-01-01.
constexpr double UnixEpochDay = 25569.0;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Offset of local time from UTC in seconds at the moment `seconds` since 1970 (UTC).
long GmtOffsetSeconds(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_gmtoff;
}

int64_t UnixMs(TDateTime value) { return std::llround((value - UnixEpochDay) * MsPerDay); }

struct TCivil {
  int Year, Month, Day, Hour, Minute, Second, Ms;
};

// Days since 1970-01-01 to the proleptic Gregorian date.
TCivil ToCivil(TDateTime value) {
  const int64_t ms = UnixMs(value);
  int64_t days = FloorDiv(ms, 86400000);
  const int64_t msOfDay = ms - days * 86400000;
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
          static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
          static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000)};
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

}  // namespace

bool DateTimeKnown(TDateTime value) { return std::isfinite(value); }

TDateTime WallToDateTime(TWallTime t, bool utc) {
  int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  if (!utc) ms += int64_t{GmtOffsetSeconds(FloorDiv(ms, 1000))} * 1000;
  return static_cast<double>(ms) / MsPerDay + UnixEpochDay;
}

double LocalOffsetDays(TDateTime utc) {
  return static_cast<double>(GmtOffsetSeconds(FloorDiv(UnixMs(utc), 1000))) / 86400.0;
}

TDateTime UtcToLocal(TDateTime utc) { return utc + LocalOffsetDays(utc); }

TDateTime LocalToUtc(TDateTime local) {
  // The offset belongs to the UTC moment; one correction step finds it outside the hour of a switch.
  const double guess = local - LocalOffsetDays(local);
  return local - LocalOffsetDays(guess);
}

TDateTime TruncateToSecond(TDateTime value) {
  const int64_t ms = UnixMs(value);
  return static_cast<double>(FloorDiv(ms, 1000) * 1000) / MsPerDay + UnixEpochDay;
}

int MillisecondOf(TDateTime value) {
  const int64_t ms = UnixMs(value);
  return static_cast<int>(ms - FloorDiv(ms, 1000) * 1000);
}

std::string FormatLogTime(const std::string& format, TDateTime value) {
  if (!DateTimeKnown(value)) return {};
  const TCivil c = ToCivil(value);
  std::string text;
  bool afterHour = false;
  for (size_t i = 0; i < format.size();) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(format[i])));
    if (letter == '"') {
      const size_t end = format.find('"', i + 1);
      text += format.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? format.size() : end + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < format.size() && std::toupper(static_cast<unsigned char>(format[i + run])) == letter) ++run;
    const int width = run >= 2 ? 2 : 1;
    switch (letter) {
      case 'Y': text += run >= 3 ? Digits(c.Year, 4) : Digits(c.Year % 100, 2); break;
      case 'M': text += Digits(afterHour ? c.Minute : c.Month, width); break;
      case 'D': text += Digits(c.Day, width); break;
      case 'H': text += Digits(c.Hour, width); break;
      case 'N': text += Digits(c.Minute, width); break;
      case 'S': text += Digits(c.Second, width); break;
      case 'Z': text += Digits(c.Ms, run >= 3 ? 3 : 1); break;
      default:
        text.append(format, i, run);
        i += run;
        continue;
    }
    afterHour = letter == 'H';
    i += run;
  }
  return text;
}
