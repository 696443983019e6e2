#include "logging/MultiSamplerDefinition.h"

#include <QFile>
#include <cmath>

#include "core/FreeFileName.h"
#include "core/LogUnit.h"
#include "data/ZCT_ValueText.h"
#include "logging/LogFileLayout.h"

namespace {
constexpr QIODevice::OpenMode kNewFileMode =
    QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
// Names taken by someone else between the check and the open before we give up.
constexpr int kOpenAttempts = 100;

std::string ErrorText(const QFile& file) { return file.errorString().toStdString(); }
}  // namespace

std::string LogOpenedText(const std::string& fileName) { return "Log opened " + fileName; }

std::string LogClosedText(const std::string& fileName, const std::string& reason) {
  return reason.empty() ? "Log closed " + fileName : "Log closed (" + reason + "): " + fileName;
}

TMultiSamplerDefinition::TMultiSamplerDefinition(int aLogId, std::unique_ptr<TLogDefinition> aLogDef,
                                                 ILogFileOwner& aMultiSampler, int defIndex,
                                                 char decimalSeparator, std::string programFolder)
    : FLogId(aLogId),
      FLogDef(aLogDef ? std::move(aLogDef) : std::make_unique<TLogDefinition>()),
      FDefIndex(defIndex),
      FMultiSampler(aMultiSampler),
      FHeaderNeeded(FLogDef->AddHeader()),
      FDecimalSeparator(decimalSeparator),
      FProgramFolder(std::move(programFolder)) {
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
  FLogDef->SetEnabled(Value);
  FResetText = "First create";
  FHeaderNeeded = FLogDef->AddHeader();
}

bool TMultiSamplerDefinition::CheckNewFile() {
  if (!IsOpen()) return false;
  const TDateTime now = GetMainDateTime();
  if (DateTimeKnown(now) && DateTimeKnown(FFileDate) && std::floor(now) > std::floor(FFileDate)) {
    Log(".CheckNewFile True");
    Close("New Day");
    return true;
  }
  const int64_t limit = FLogDef->FileSize();
  const int64_t size = FSamplingFile->size();
  if (limit > 0 && size >= limit) {
    Log(".CheckNewFile file size reached: limit=" + ZCTDottedNumber(limit) + ", size=" + ZCTDottedNumber(size));
    Close("File size reached");
    return true;
  }
  return false;
}

void TMultiSamplerDefinition::WriteHeader(const std::vector<std::string>& lines) {
  if (!IsOpen()) OpenFile();
  for (const std::string& line : lines) WriteText(line + "\r\n");
  FHeaderNeeded = false;
}

void TMultiSamplerDefinition::WriteLine(const std::string& s) {
  if (!IsOpen()) {
    Log(".WriteLine no file open, line dropped");
    return;
  }
  const char separator = LineDecimalSeparator(s);
  if (separator != 0 && FDecimalSeparator != 0 && separator != FDecimalSeparator) {
    Close("Floating point format changed");
    FDecimalSeparator = 0;
    // The line that shows the change is the first of the next file, not lost.
    WriteHeader(FHeaderNeeded ? FMultiSampler.GetHeader(*FLogDef, FResetText) : std::vector<std::string>{});
  }
  if (FDecimalSeparator == 0) FDecimalSeparator = separator;
  WriteText((FTimeString.empty() ? FMultiSampler.GetTimeString() : FTimeString) + s + "\r\n");
}

void TMultiSamplerDefinition::WriteMessage(const std::string& text) {
  if (!IsOpen()) {
    Log(".WriteMessage no file open, message dropped: " + text);
    return;
  }
  WriteText((FTimeString.empty() ? FMultiSampler.GetTimeString() : FTimeString) + LogMessageLine(text) + "\r\n");
}

void TMultiSamplerDefinition::Close(const std::string& reason, bool error) {
  if (IsOpen()) {
    Log(".Close: " + FFileName);
    const bool empty = FSamplingFile->size() == 0;
    FSamplingFile->close();
    FSamplingFile.reset();
    if (empty && !QFile::remove(QString::fromStdString(FFileName)))
      LogError(FLogId, FDbgTag + ".Close: empty file not deleted: " + FFileName);
    FMultiSampler.AddLogMessage(error ? mtError : mtInfo, kMsgCodeLogClosed, LogClosedText(FFileName, reason));
  }
  FMultiSampler.ResetProtocolItems(FDefIndex);
  if (reason.empty()) return;
  FResetText = reason;
  FHeaderNeeded = FLogDef->AddHeader();
}

TDateTime TMultiSamplerDefinition::GetMainDateTime() { return FMultiSampler.GetMainDateTime(*FLogDef); }

// The file is created new: a name that another file took in the meantime moves on to the next.
void TMultiSamplerDefinition::OpenFile() {
  const std::string folderError = CheckLogFolder(FPattern.Folder);
  if (!folderError.empty()) throw ELogFileError(folderError);
  FFileDate = GetMainDateTime();
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const std::string name = NewLogFileName(FPattern, FLogDef->PrependDate(), FFileDate);
    Log(".OpenFile: " + name);
    auto file = std::make_unique<QFile>(QString::fromStdString(name));
    if (file->open(kNewFileMode)) {
      FSamplingFile = std::move(file);
      FFileName = name;
      FMultiSampler.AddLogMessage(mtInfo, kMsgCodeLogOpened, LogOpenedText(name));
      return;
    }
    if (!FileExists(name)) throw ELogFileError("Log file not created: " + name + " (" + ErrorText(*file) + ")");
  }
  throw ELogFileError("Log file not created: no free name for " + FPattern.Folder + FPattern.Body);
}

void TMultiSamplerDefinition::WriteText(const std::string& text) {
  const auto size = static_cast<qint64>(text.size());
  if (FSamplingFile->write(text.data(), size) != size)
    throw ELogFileError("Log file not written: " + FFileName + " (" + ErrorText(*FSamplingFile) + ")");
}

void TMultiSamplerDefinition::Log(const std::string& text) const { LogIt(FLogId, FDbgTag + text); }
