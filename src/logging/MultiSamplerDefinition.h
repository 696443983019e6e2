#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/CalendarTime.h"
#include "core/VTA_Common.h"
#include "logging/App_LogDefinition.h"
#include "logging/LogFileName.h"

class QFile;

constexpr int32_t kMsgCodeLogOpened = 91;
constexpr int32_t kMsgCodeLogClosed = 92;

// "Log opened " + file.
std::string LogOpenedText(const std::string& fileName);
// "Log closed (" + reason + "): " + file, or "Log closed " + file without a reason.
std::string LogClosedText(const std::string& fileName, const std::string& reason);

// A log file that cannot be created, written or placed.
class ELogFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a file writer needs from the multi-sampler that owns it. The owner outlives its writers.
class ILogFileOwner {
 public:
  virtual ~ILogFileOwner() = default;
  // The date-time that names and rolls over the files: that of the main simple definition's session.
  virtual TDateTime GetMainDateTime(const TLogDefinition& aLogDef) = 0;
  // The PC clock formatted with the log time format, for lines without a time text of their own.
  virtual std::string GetTimeString() = 0;
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
// overwritten or truncated; a file that stayed empty is deleted when it is closed.
class TMultiSamplerDefinition {
 public:
  // decimalSeparator: the separator the files start with ('.' or ','; 0 = the first line decides).
  // programFolder: where a pattern without folder puts its files.
  TMultiSamplerDefinition(int aLogId, std::unique_ptr<TLogDefinition> aLogDef, ILogFileOwner& aMultiSampler,
                          int defIndex, char decimalSeparator, std::string programFolder);
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
  // Opens the file when needed and writes the lines (none: only opens). ELogFileError on failure.
  void WriteHeader(const std::vector<std::string>& lines);
  // Time text + s + CR LF; dropped while no file is open. A line with the other decimal separator
  // closes the file with "Floating point format changed" and goes to a new one.
  void WriteLine(const std::string& s);
  // A session message as a line of its own ("# # " + text + " #"), which fixes no separator.
  void WriteMessage(const std::string& text);
  // Closes an open file: deleted when empty, the user is told (an error message when error is
  // set). A reason also becomes the next header's message. The read positions start again.
  void Close(const std::string& reason = {}, bool error = false);
  bool IsOpen() const { return FSamplingFile != nullptr; }
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
  bool TimeSynchroNeeded() const { return FTimeSynchroNeeded; }
  void SetTimeSynchroNeeded(bool Value) { FTimeSynchroNeeded = Value; }
  char DecimalSeparator() const { return FDecimalSeparator; }

 private:
  void OpenFile();
  void WriteText(const std::string& text);
  void Log(const std::string& text) const;

  int FLogId;
  std::unique_ptr<TLogDefinition> FLogDef;
  int FDefIndex;
  std::unique_ptr<QFile> FSamplingFile;
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
  std::string FProgramFolder;
};
