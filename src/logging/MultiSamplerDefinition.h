#pragma once
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/CalendarTime.h"
#include "core/VTA_Common.h"
#include "logging/App_LogDefinition.h"
#include "logging/LogFile.h"
#include "logging/LogFileName.h"

constexpr int32_t kMsgCodeLogOpened = 91;
constexpr int32_t kMsgCodeLogClosed = 92;

// "Log opened " + file.
std::string LogOpenedText(const std::string& fileName);
// "Log closed (" + reason + "): " + file, or "Log closed " + file without a reason.
std::string LogClosedText(const std::string& fileName, const std::string& reason);

// What a file writer needs from the multi-sampler that owns it. The owner outlives its writers.
class ILogFileOwner {
 public:
  virtual ~ILogFileOwner() = default;
  // The date-time that names and rolls over the files: that of the main simple definition's session.
  virtual TDateTime GetMainDateTime(const TLogDefinition& aLogDef) = 0;
  // The PC clock formatted with the log time format, for lines without a time text of their own.
  virtual std::string GetTimeString() = 0;
  // The PC clock in the log time zone, and a date-time in the log time format: a line timed by the
  // PC takes its text and its day from one reading.
  virtual TDateTime GetPcDateTime() = 0;
  virtual std::string FormatLineTime(TDateTime time) = 0;
  // The header lines of a new file of the definition, with reason as its "#Message:".
  virtual std::vector<std::string> GetHeader(const TLogDefinition& aLogDef, const std::string& reason) = 0;
  // A user message for no session, from the report thread.
  virtual void AddLogMessage(TMsgType type, int32_t code, const std::string& text) = 0;
  // Every read position of the definition starts again (its file was closed).
  virtual void ResetProtocolItems(int defIndex) = 0;
};

// The file writer of one log definition: opens a file named from the definition's pattern on the
// first header or line, starts a new file on a new day, at the size limit and when the decimal
// separator of the lines changes, and reports every open and close to the user. No file is ever
// overwritten; a file that stayed empty is deleted when it is closed.
//
// A file that cannot be created or written affects this definition alone: the file is closed
// (a partly written line cut off), the user is told once with the system's reason, and the lines
// that follow are dropped and counted until the next new file: a new day, or any close with a
// reason (a changed definition or option, a session event). That file starts with a "#Message:"
// naming the reason and the time span of the missed lines.
class TMultiSamplerDefinition {
 public:
  // decimalSeparator: the separator the files start with ('.' or ','; 0 = the first line decides).
  // programFolder: where a pattern without folder puts its files. fileFactory: none = real files.
  TMultiSamplerDefinition(int aLogId, std::unique_ptr<TLogDefinition> aLogDef, ILogFileOwner& aMultiSampler,
                          int defIndex, char decimalSeparator, std::string programFolder,
                          TLogFileFactory fileFactory = {});
  ~TMultiSamplerDefinition();
  TMultiSamplerDefinition(const TMultiSamplerDefinition&) = delete;
  TMultiSamplerDefinition& operator=(const TMultiSamplerDefinition&) = delete;

  // Closes with "Definition changed" and continues with the new definition.
  void ChangeDef(std::unique_ptr<TLogDefinition> aLogDef);
  void SetAddHeader(bool Value);
  // A new value closes the file (an error close when a reason is given).
  void SetEnabled(bool Value, const std::string& reason);
  // Before each line while a file is open: closes it on a new day or at the size limit. True when
  // the next header or line starts a new file.
  bool CheckNewFile();
  // One data line with everything around it: a new file with its header when one is due, the
  // line dropped and counted while the definition has failed.
  void AddLine(const std::string& s);
  // Opens the file when needed and writes the lines (none: only opens). False when that failed.
  bool WriteHeader(const std::vector<std::string>& lines);
  // Time text + s + CR LF; dropped while no file is open. A line with the other decimal separator
  // closes the file with "Floating point format changed" and goes to a new one. False when the
  // line was not written.
  bool WriteLine(const std::string& s);
  // A session message as a line of its own ("# # " + text + " #"), which fixes no separator.
  void WriteMessage(const std::string& text);
  // Closes an open file: deleted when empty, the user is told (an error message when error is
  // set). A reason also becomes the next header's message. The read positions start again.
  void Close(const std::string& reason = {}, bool error = false);
  bool IsOpen() const { return FSamplingFile != nullptr; }
  // The last file could not be created or written; lines are dropped until the next new file.
  bool Failed() const { return FFailed; }
  TDateTime GetMainDateTime();

  int DefIndex() const { return FDefIndex; }
  void SetDefIndex(int Value);
  const std::string& FileName() const { return FFileName; }
  bool HeaderNeeded() const { return FHeaderNeeded; }
  void SetHeaderNeeded(bool Value) { FHeaderNeeded = Value; }
  const TLogDefinition& LogDef() const { return *FLogDef; }
  int LogId() const { return FLogId; }
  void SetLogId(int Value) { FLogId = Value; }
  const std::string& ResetText() const { return FResetText; }
  void SetResetText(const std::string& Value) { FResetText = Value; }
  const std::string& TimeString() const { return FTimeString; }
  void SetTimeString(const std::string& Value) { FTimeString = Value; }
  // The date-time of the report the next line is built from (NaN = unknown): with a time text of
  // the report, its day decides the file the line goes to.
  void SetReportDate(TDateTime Value) { FReportDate = Value; }
  bool TimeSynchroNeeded() const { return FTimeSynchroNeeded; }
  void SetTimeSynchroNeeded(bool Value) { FTimeSynchroNeeded = Value; }
  char DecimalSeparator() const { return FDecimalSeparator; }

 private:
  bool OpenFile();
  bool WriteText(const std::string& text);
  void CloseFile();
  void Fail(const std::string& name, const std::string& reason);
  void Retry();
  void MissLine();
  void WriteSample(const std::string& s);
  void TakeLineTime();
  TDateTime LineDate();
  std::string LineTimeText();
  std::string MessageText() const;
  void Log(const std::string& text) const;

  int FLogId;
  std::unique_ptr<TLogDefinition> FLogDef;
  int FDefIndex;
  std::unique_ptr<ILogFile> FSamplingFile;
  TDateTime FFileDate = 0;
  TLogFilePattern FPattern;  // folder, body and extension of the file names
  std::string FFileName;
  ILogFileOwner& FMultiSampler;
  bool FTimeSynchroNeeded = false;
  std::string FDbgTag;
  bool FHeaderNeeded;
  std::string FResetText = "First create";
  char FDecimalSeparator;
  std::string FTimeString;
  TDateTime FReportDate = NAN;
  TDateTime FLineDate = NAN;  // the day of the line being written
  std::string FLineText;      // its PC time text when the report has none
  std::string FProgramFolder;
  TLogFileFactory FFileFactory;
  // A failure and the lines it cost, for the user message and the next file's "#Message:".
  bool FFailed = false;
  TDateTime FFailureDate = 0;
  bool FFailureTold = false;
  std::string FGapReason;    // kept until a file carries it
  std::string FMissedFirst;  // time texts of the first and last dropped line
  std::string FMissedLast;
  int64_t FMissedCount = 0;
};
