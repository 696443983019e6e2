#include "core/ArchiveStamp.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

using namespace std::chrono;

constexpr double UnixEpochDay = 25569.0;

bool AllDigits(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

int Number(const std::string& text, size_t from, size_t count) { return std::stoi(text.substr(from, count)); }

}  // namespace

TArchiveTime ArchiveTimeOf(TWallTime t) { return floor<seconds>(t); }

std::string ArchiveStampText(TArchiveTime t) {
  const auto day = floor<days>(t);
  const year_month_day date{day};
  const hh_mm_ss time{t - day};
  char text[32];
  std::snprintf(text, sizeof text, "%.4d%.2u%.2u_%.2d%.2d%.2d", int(date.year()), unsigned(date.month()),
                unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                int(time.seconds().count()));
  return text;
}

std::optional<TArchiveTime> ParseArchiveStamp(const std::string& text) {
  if (text.size() != 15 || text[8] != '_' || !AllDigits(text, 0, 8) || !AllDigits(text, 9, 6)) return std::nullopt;
  const year_month_day date{year{Number(text, 0, 4)}, month{unsigned(Number(text, 4, 2))},
                            day{unsigned(Number(text, 6, 2))}};
  const int hour = Number(text, 9, 2), minute = Number(text, 11, 2), second = Number(text, 13, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days{date} + hours{hour} + minutes{minute} + seconds{second};
}

TArchiveTime MinuteStart(TArchiveTime t) { return floor<minutes>(t); }
TArchiveTime HourStart(TArchiveTime t) { return floor<hours>(t); }

TDateTime ArchiveToDateTime(TArchiveTime t) {
  return UnixEpochDay + double(t.time_since_epoch().count()) / 86400.0;
}

TArchiveTime DateTimeToArchive(TDateTime value) {
  return TArchiveTime{seconds{std::llround((value - UnixEpochDay) * 86400.0)}};
}
