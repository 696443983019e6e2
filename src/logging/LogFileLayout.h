#pragma once
#include <array>
#include <string>
#include <vector>

#include "core/CalendarTime.h"
#include "core/Clock.h"
#include "data/ISamplerSink.h"
#include "logging/App_LogDefinition.h"

// The text of measurement log files: header lines, the parts of data lines and the time texts.
// Pure functions; the multi-sampler gathers what they need from the sessions.

// What the header and the lines need to know about the source of one simple definition.
struct TLogSourceInfo {
  TLogSourceKind Kind = TLogSourceKind::Counter;
  char Letter = 'A';
  std::string FriendlyName;
  std::string ConnectionString;
  std::string ModeText;       // the header's mode text, "Raw Data Avg." for averaged raw data
  std::string IntervalText;
  std::string ScramblerText;
  std::vector<std::string> IVCCalibration;  // interval-counter calibration values
  int ChannelCount = 0;       // physical (or interval-counter) channels
  std::array<std::string, kLogChannels> ChannelNames{};
  int VirtualChannelCount = 0;
  std::array<std::string, kLogChannels> VirtualChannelNames{};
  int DGICards = 0;           // digital-input cards the session reports
  std::string SyncTime;       // the text of the "Sync Time" column
};

struct TLogTimeSettings {
  std::string Format = "YYMMDD HHNNSS,ZZZ";  // "LogTimeFormat"
  bool SourceZCT = false;                    // "LogTimeSourceZCT"
  bool ZoneUTC = false;                      // "LogTimeZoneSystem"
};

// The caption of channel i (1..24) in the column line of a type, right-aligned in its width.
std::string LogChannelCaption(const TLogColumnType& type, int i,
                              const std::array<std::string, kLogChannels>& names);

// All header lines of a file; `sources` holds one entry per simple definition.
std::vector<std::string> LogHeaderLines(const TLogDefinition& definition,
                                        const std::vector<TLogSourceInfo>& sources,
                                        const TLogTimeSettings& time, const std::string& resetText);

// The part of a line one simple definition adds; strings == nullptr when its source has no data
// for the line. option: the definition's "Sync Time".
std::string LogLinePart(const TSimpleLogDefinition& simple, const TLogSourceInfo& source,
                        const TMultiSamplerStrings* strings, bool option);

// The line without its time text; strings holds one entry (or nullptr) per simple definition.
std::string LogSampleLine(const TLogDefinition& definition, const std::vector<TLogSourceInfo>& sources,
                          const std::vector<const TMultiSamplerStrings*>& strings);

// The decimal separator a line was written with: ',' when it has one, else '.', else 0.
char LineDecimalSeparator(const std::string& line);

// The PC clock as the log files see it (UTC or local time).
TDateTime PcLogDateTime(const TClock& clock, bool utc);
// The PC clock formatted with the log time format.
std::string PcLogTimeString(const TClock& clock, const TLogTimeSettings& time);

// The message line of a definition without header ("# # " + text + " #").
std::string LogMessageLine(const std::string& text);
