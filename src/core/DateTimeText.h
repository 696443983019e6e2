#pragma once
#include <string>

#include "core/Clock.h"

// Local-time texts in the fixed formats of diagnostic logs, message lists and file-name stamps.
std::string TimeOfDayMsText(TWallTime t);  // "hh:nn:ss.zzz"
std::string DateText(TWallTime t);         // "dd.MM.yyyy"
std::string TimeText(TWallTime t);         // "hh:nn:ss"
std::string DateTimeText(TWallTime t);     // "dd.MM.yyyy hh:nn:ss"
std::string FileStampText(TWallTime t);    // "YYYYMMDD_hhnnss"
std::string FileStampMsText(TWallTime t);  // "YYYYMMDD_hhnnss.zzz"
std::string IsoDateTimeMsText(TWallTime t);  // "YYYY-MM-DD hh:nn:ss.zzz"
