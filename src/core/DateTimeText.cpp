#include "core/DateTimeText.h"

#include <cstdio>
#include <ctime>

namespace {
struct TLocalTime {
  std::tm Tm{};
  int Ms = 0;
};

TLocalTime ToLocal(TWallTime t) {
  const auto ms = std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  TLocalTime local;
  local.Ms = static_cast<int>(ms - static_cast<int64_t>(seconds) * 1000);
  localtime_r(&seconds, &local.Tm);
  return local;
}

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}
}  // namespace

std::string TimeOfDayMsText(TWallTime t) {
  const TLocalTime l = ToLocal(t);
  return Format("%02d:%02d:%02d.%03d", l.Tm.tm_hour, l.Tm.tm_min, l.Tm.tm_sec, l.Ms);
}

std::string DateText(TWallTime t) {
  const TLocalTime l = ToLocal(t);
  return Format("%02d.%02d.%04d", l.Tm.tm_mday, l.Tm.tm_mon + 1, l.Tm.tm_year + 1900);
}

std::string TimeText(TWallTime t) {
  const TLocalTime l = ToLocal(t);
  return Format("%02d:%02d:%02d", l.Tm.tm_hour, l.Tm.tm_min, l.Tm.tm_sec);
}

std::string DateTimeText(TWallTime t) { return DateText(t) + " " + TimeText(t); }

std::string FileStampText(TWallTime t) {
  const TLocalTime l = ToLocal(t);
  return Format("%04d%02d%02d_%02d%02d%02d", l.Tm.tm_year + 1900, l.Tm.tm_mon + 1, l.Tm.tm_mday,
                l.Tm.tm_hour, l.Tm.tm_min, l.Tm.tm_sec);
}

std::string FileStampMsText(TWallTime t) {
  return FileStampText(t) + Format(".%03d", ToLocal(t).Ms);
}

std::string IsoDateTimeMsText(TWallTime t) {
  const TLocalTime l = ToLocal(t);
  return Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", l.Tm.tm_year + 1900, l.Tm.tm_mon + 1, l.Tm.tm_mday,
                l.Tm.tm_hour, l.Tm.tm_min, l.Tm.tm_sec, l.Ms);
}
