#pragma once
#include <cstdint>
#include <string>

#include "core/CalendarTime.h"
#include "logging/LogTypes.h"

// Names of measurement log files. A definition's file name is a pattern: every file made from it
// carries the date of its first line and a running number, and never replaces an existing file.

struct TLogFilePattern {
  std::string Folder;     // with a trailing '/'
  std::string Body;       // the name without folder and extension
  std::string Extension;  // with its dot; ".txt" when the pattern has none
  bool operator==(const TLogFilePattern&) const = default;
};

// Splits a definition's file name; without a folder the file goes to `programFolder`.
TLogFilePattern SplitLogFilePattern(const std::string& fileName, const std::string& programFolder);

// Name number n of a day: "Name_Date" = folder + body + "_" + YYMMDD + "_" + n + extension,
// "Date_Name" (prependDate) = folder + YYMMDD + "_" + n + "_" + body + extension.
std::string LogFileCandidate(const TLogFilePattern& pattern, bool prependDate, TDateTime date, int n);
// The first candidate of the date (n = 1, 2, ...) under which no file exists.
std::string NewLogFileName(const TLogFilePattern& pattern, bool prependDate, TDateTime date);

// The name the dialog proposes: the name parts of the selected types, "_", the letters of the
// sources, "_", definition index + 1, ".txt" ("PhaseFreq_A_1.txt").
std::string GeneratedLogFileName(uint32_t types, TLogSourceKind kind, const std::string& sourceLetters,
                                 int defIndex);

// Makes sure a log folder exists (creating it when missing). Empty on success, otherwise the
// text "Invalid path " + folder.
std::string CheckLogFolder(const std::string& folder);
