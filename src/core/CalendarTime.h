#pragma once
#include <string>

#include "core/Clock.h"

// Calendar date-times as day numbers: whole days since 1899-12-30 plus the time of day as the
// fraction, the form the settings files keep (for example "ZCTDateTimeStart"). NaN = unknown.
// Whether a value counts in local time or in UTC is up to its owner.
using TDateTime = double;

constexpr double MsPerDay = 86400000.0;

bool DateTimeKnown(TDateTime value);
// The wall time as local time (utc false) or as UTC.
TDateTime WallToDateTime(TWallTime t, bool utc);
// Offset of the local time from UTC, in days, at the moment `utc` (a UTC date-time).
double LocalOffsetDays(TDateTime utc);
// The same moment in the other time base.
TDateTime UtcToLocal(TDateTime utc);
TDateTime LocalToUtc(TDateTime local);
// The value with its milliseconds cut off.
TDateTime TruncateToSecond(TDateTime value);
// Milliseconds within the second, 0..999.
int MillisecondOf(TDateTime value);

// Formats a date-time with a log time format: "YYYY", "YY", "MM", "DD", "HH", "NN" (minutes), "SS",
// "ZZZ" (milliseconds) and their one-letter forms, in any case; "MM" right after an hour token
// means minutes; text in double quotes is copied without its quotes; other characters are copied.
// An unknown date-time gives an empty text.
std::string FormatLogTime(const std::string& format, TDateTime value);
