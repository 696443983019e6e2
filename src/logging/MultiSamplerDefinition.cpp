#include "logging/MultiSamplerDefinition.h"

#include <cmath>
#include <filesystem>

#include "core/LogUnit.h"
#include "data/ZCT_ValueText.h"
#include "logging/LogFileLayout.h"

namespace {
// Names taken by someone else between the check and the open before we give up.
constexpr int kOpenAttempts = 100;

bool IsLaterDay(TDateTime now, TDateTime than) {
  return DateTimeKnown(now) && DateTimeKnown(than) && std::floor(now) > std::floor(than);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}
}  // namespace

std::string LogOpenedText(const std::string& fileName) { return "Log opened " + fileName; }

std::string LogClosedText(const std::string& fileName, const std::string& reason) {
  return reason.empty() ? "Log closed " + fileName : "Log closed (" + reason + "): " + fileName;
}

TMultiSamplerDefinition::TMultiSamplerDefinition(int aLogId, std::unique_ptr<TLogDefinition> aLogDef,
                                                 ILogFileOwner& aMultiSampler, int defIndex,
                                                 char decimalSeparator, std::string programFolder,
                                                 TLogFileFactory fileFactory)
    : FLogId(aLogId),
      FLogDef(aLogDef ? std::move(aLogDef) : std::make_unique<TLogDefinition>()),
      FDefIndex(defIndex),
      FMultiSampler(aMultiSampler),
      FHeaderNeeded(FLogDef->AddHeader()),
      FDecimalSeparator(decimalSeparator),
      FProgramFolder(std::move(programFolder)),
      FFileFactory(fileFactory ? std::move(fileFactory) : TLogFileFactory(CreateLogFile)) {
  SetDefIndex(defIndex);
  FPattern = SplitLogFilePattern(FLogDef->FileName(), FProgramFolder);
}

TMultiSamplerDefinition::~TMultiSamplerDefinition() {
  try {
    Close();
  } catch (const std::exception& e) {
    LogException(FLogId, FDbgTag + ".Destroy failed", e);
  }
}

void TMultiSamplerDefinition::SetDefIndex(int Value) {
  FDefIndex = Value;
  FDbgTag = "TMultiSamplerDefinition[" + std::to_string(Value) + "]";
}

void TMultiSamplerDefinition::ChangeDef(std::unique_ptr<TLogDefinition> aLogDef) {
  if (!aLogDef) return;
  Close("Definition changed");
  const bool samePattern = aLogDef->FileName() == FLogDef->FileName();
  FLogDef = std::move(aLogDef);
  FPattern = SplitLogFilePattern(FLogDef->FileName(), FProgramFolder);
  FResetText = samePattern ? "Definition changed" : "First create";
  FHeaderNeeded = FLogDef->AddHeader();
}

void TMultiSamplerDefinition::SetAddHeader(bool Value) {
  if (Value == FLogDef->AddHeader()) return;
  Close("Header changed");
  FLogDef->SetAddHeader(Value);
  FHeaderNeeded = Value;
}

void TMultiSamplerDefinition::SetEnabled(bool Value, const std::string& reason) {
  if (Value == FLogDef->Enabled()) return;
  Close(reason, !reason.empty());
  Retry();
  FLogDef->SetEnabled(Value);
  FResetText = "First create";
  FHeaderNeeded = FLogDef->AddHeader();
}

bool TMultiSamplerDefinition::CheckNewFile() {
  if (!IsOpen()) return false;
  if (IsLaterDay(LineDate(), FFileDate)) {
    Log(".CheckNewFile True");
    Close("New Day");
    return true;
  }
  const int64_t limit = FLogDef->FileSize();
  const int64_t size = FSamplingFile->Size();
  if (limit > 0 && size >= limit) {
    Log(".CheckNewFile file size reached: limit=" + ZCTDottedNumber(limit) + ", size=" + ZCTDottedNumber(size));
    Close("File size reached");
    return true;
  }
  return false;
}

void TMultiSamplerDefinition::AddLine(const std::string& s) {
  TakeLineTime();
  WriteSample(s);
  FLineText.clear();
  FLineDate = NAN;
}

void TMultiSamplerDefinition::WriteSample(const std::string& s) {
  if (Failed()) {
    if (!IsLaterDay(LineDate(), FFailureDate)) return MissLine();
    FResetText = "New Day";
    FHeaderNeeded = FLogDef->AddHeader();
    Retry();
  }
  if (!IsOpen() || CheckNewFile()) {
    if (!WriteHeader(FHeaderNeeded ? FMultiSampler.GetHeader(*FLogDef, MessageText()) : std::vector<std::string>{}))
      return MissLine();
  }
  if (!WriteLine(s)) MissLine();
}

bool TMultiSamplerDefinition::WriteHeader(const std::vector<std::string>& lines) {
  if (!IsOpen() && !OpenFile()) return false;
  // Without a header a file after a gap still says what is missing.
  const bool gapLine = !FHeaderNeeded && !FGapReason.empty() && FSamplingFile->Size() == 0;
  if (!WriteText(gapLine ? "#Message:   " + MessageText() + "\r\n" : Joined(lines))) return false;
  FHeaderNeeded = false;
  FGapReason.clear();
  FMissedFirst.clear();
  FMissedLast.clear();
  FMissedCount = 0;
  return true;
}

bool TMultiSamplerDefinition::WriteLine(const std::string& s) {
  if (!IsOpen()) {
    Log(".WriteLine no file open, line dropped");
    return false;
  }
  const char separator = LineDecimalSeparator(s);
  if (separator != 0 && FDecimalSeparator != 0 && separator != FDecimalSeparator) {
    Close("Floating point format changed");
    FDecimalSeparator = 0;
    // The line that shows the change is the first of the next file, not lost.
    if (!WriteHeader(FHeaderNeeded ? FMultiSampler.GetHeader(*FLogDef, MessageText()) : std::vector<std::string>{}))
      return false;
  }
  if (FDecimalSeparator == 0) FDecimalSeparator = separator;
  return WriteText(LineTimeText() + s + "\r\n");
}

void TMultiSamplerDefinition::WriteMessage(const std::string& text) {
  if (!IsOpen()) {
    Log(".WriteMessage no file open, message dropped: " + text);
    return;
  }
  WriteText(LineTimeText() + LogMessageLine(text) + "\r\n");
}

void TMultiSamplerDefinition::Close(const std::string& reason, bool error) {
  if (IsOpen()) {
    Log(".Close: " + FFileName);
    CloseFile();
    FMultiSampler.AddLogMessage(error ? mtError : mtInfo, kMsgCodeLogClosed, LogClosedText(FFileName, reason));
  }
  FMultiSampler.ResetProtocolItems(FDefIndex);
  if (reason.empty()) return;
  FResetText = reason;
  FHeaderNeeded = FLogDef->AddHeader();
  // Whatever starts a new file also tries again after a failure.
  Retry();
}

TDateTime TMultiSamplerDefinition::GetMainDateTime() { return FMultiSampler.GetMainDateTime(*FLogDef); }

// The file is created new: a name that another file took in the meantime moves on to the next.
bool TMultiSamplerDefinition::OpenFile() {
  const std::string folderError = CheckLogFolder(FPattern.Folder);
  if (!folderError.empty()) {
    Fail(FPattern.Folder + FPattern.Body + FPattern.Extension, folderError);
    return false;
  }
  FFileDate = LineDate();
  std::string name;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    name = NewLogFileName(FPattern, FLogDef->PrependDate(), FFileDate);
    Log(".OpenFile: " + name);
    TLogFileCreation creation = FFileFactory(name);
    if (creation.File) {
      FSamplingFile = std::move(creation.File);
      FFileName = name;
      FFailureTold = false;
      FMultiSampler.AddLogMessage(mtInfo, kMsgCodeLogOpened, LogOpenedText(name));
      return true;
    }
    if (!creation.NameTaken) {
      Fail(name, creation.Error);
      return false;
    }
  }
  Fail(name, "no free file name");
  return false;
}

// A short write leaves no partial line: the file is cut back to where the text began.
bool TMultiSamplerDefinition::WriteText(const std::string& text) {
  const int64_t before = FSamplingFile->Size();
  const std::string error = FSamplingFile->Write(text);
  if (error.empty()) return true;
  FSamplingFile->Truncate(before);
  Fail(FFileName, error);
  return false;
}

void TMultiSamplerDefinition::CloseFile() {
  const bool empty = FSamplingFile->Size() == 0;
  FSamplingFile.reset();
  std::error_code ec;
  if (empty && !std::filesystem::remove(FFileName, ec))
    LogError(FLogId, FDbgTag + ".Close: empty file not deleted: " + FFileName);
}

// Only this definition stops; the user hears of it once until a file is written again.
void TMultiSamplerDefinition::Fail(const std::string& name, const std::string& reason) {
  LogError(FLogId, FDbgTag + ".Fail " + name + ": " + reason);
  if (IsOpen()) CloseFile();
  FFailed = true;
  FFailureDate = LineDate();
  FGapReason = reason;
  FHeaderNeeded = FLogDef->AddHeader();
  FMultiSampler.ResetProtocolItems(FDefIndex);
  if (FFailureTold) return;
  FFailureTold = true;
  FMultiSampler.AddLogMessage(mtError, kMsgCodeLogClosed, LogClosedText(name, reason));
}

void TMultiSamplerDefinition::Retry() { FFailed = false; }

void TMultiSamplerDefinition::MissLine() {
  const std::string time = LineTimeText();
  if (FMissedCount++ == 0) FMissedFirst = time;
  FMissedLast = time;
}

// A line without a time text of its report is timed by the PC: one reading gives text and day.
void TMultiSamplerDefinition::TakeLineTime() {
  FLineDate = FReportDate;
  if (!FTimeString.empty()) return;
  FLineDate = FMultiSampler.GetPcDateTime();
  FLineText = FMultiSampler.FormatLineTime(FLineDate);
}

TDateTime TMultiSamplerDefinition::LineDate() { return DateTimeKnown(FLineDate) ? FLineDate : GetMainDateTime(); }

std::string TMultiSamplerDefinition::LineTimeText() {
  if (!FTimeString.empty()) return FTimeString;
  return FLineText.empty() ? FMultiSampler.GetTimeString() : FLineText;
}

// The next file's message; after a failure it also names what was lost.
std::string TMultiSamplerDefinition::MessageText() const {
  if (FGapReason.empty()) return FResetText;
  std::string gap = "Log file error (" + FGapReason + "), ";
  gap += FMissedCount == 0 ? "no lines missed"
                           : std::to_string(FMissedCount) + " lines missed from " + FMissedFirst + " to " + FMissedLast;
  return FResetText.empty() ? gap : FResetText + "; " + gap;
}

void TMultiSamplerDefinition::Log(const std::string& text) const { LogIt(FLogId, FDbgTag + text); }
