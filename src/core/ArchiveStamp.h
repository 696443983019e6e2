#pragma once
#include <chrono>
#include <optional>
#include <string>

#include "core/CalendarTime.h"

// UTC times of the archive in whole seconds, and their text "YYYYMMDD_HHmmss" as archive file names
// and the archive requests of the data protocol write them.
using TArchiveTime = std::chrono::sys_seconds;

// The wall time cut to its second.
TArchiveTime ArchiveTimeOf(TWallTime t);
// "YYYYMMDD_HHmmss" of a UTC time.
std::string ArchiveStampText(TArchiveTime t);
// Exactly eight digits, '_' and six digits naming a valid date and time; nullopt otherwise.
std::optional<TArchiveTime> ParseArchiveStamp(const std::string& text);
// Start of the clock minute and of the clock hour.
TArchiveTime MinuteStart(TArchiveTime t);
TArchiveTime HourStart(TArchiveTime t);
// Day numbers (days since 1899-12-30) of archive records and back, to the nearest second.
TDateTime ArchiveToDateTime(TArchiveTime t);
TArchiveTime DateTimeToArchive(TDateTime value);
