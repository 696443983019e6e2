#include "core/Logger.h"
#include "core/QV_NumberText.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <filesystem>
#include <typeinfo>

#include "core/DateTimeText.h"
#include "core/FreeFileName.h"

#if __has_include(<execinfo.h>)
#include <execinfo.h>
#define VTA_HAVE_BACKTRACE 1
#endif
#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <functional>
#include <thread>
#endif

using namespace std::chrono_literals;

namespace {
constexpr auto kErrorLogTimeLimit = 30min;
constexpr QIODevice::OpenMode kNewFileMode =
    QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;

// Asked once per thread: the system call would cost more than the rest of a line.
uint32_t CurrentThreadId() {
#if defined(__linux__)
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
#else
  thread_local const uint32_t id = static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
  return id;
}

void WriteHex8(char* out, uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i, value >>= 4) out[i] = kDigits[value & 0xF];
}

const char* LimitTypeName(TLogLimitType type) {
  switch (type) {
    case logOverwrite: return "logOverwrite";
    case logCreateNew: return "logCreateNew";
    case logUnlimited: break;
  }
  return "logUnlimited";
}

// The stack of the logging call; frames separated by " | " so the record stays on one line.
std::string StackText() {
#ifdef VTA_HAVE_BACKTRACE
  void* frames[32];
  const int count = ::backtrace(frames, 32);
  char** symbols = ::backtrace_symbols(frames, count);
  if (!symbols) return {};
  std::string text;
  for (int i = 1; i < count; ++i) text += (i > 1 ? " | " : "") + std::string(symbols[i]);
  std::free(symbols);
  return text;
#else
  return {};
#endif
}

void ReportProblem(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
}  // namespace

TLogger::TLogger(int id, const TClock& clock) : Fid(id), FClock(clock) {}

TLogger::~TLogger() {
  std::lock_guard lock(FLockObj);
  EndedLine("TLogger.Destroy(" + std::to_string(Fid) + ")");
  CloseFile();
}

void TLogger::LogIt(const std::string& text) {
  std::lock_guard lock(FLockObj);
  UserLine(text);
}

void TLogger::LogError(const std::string& text) {
  std::lock_guard lock(FLockObj);
  ErrorLine(text);
  FlushBuffer();
}

void TLogger::LogException(const std::string& text, const std::exception& e) {
  std::lock_guard lock(FLockObj);
  ErrorLine(text);
  UserLine("EXCEP: " + ExceptionClassName(e) + " " + e.what());
  UserLine("STACK: " + StackText());
  FlushBuffer();
  if (!FLogFile && FSaveEnabled) DumpSavedLines();
}

void TLogger::LogAppend(const std::string& text) {
  std::lock_guard lock(FLockObj);
  if (!FLogFile) return;
  if (FNewLined)
    AppendPrefixed(FBuffer, text);
  else
    FBuffer += text;
  if (!Written()) return;
  FNewLined = false;
  FisEmpty = false;
}

void TLogger::LogNewLine() {
  std::lock_guard lock(FLockObj);
  if (!FLogFile || FNewLined) return;
  if (!WriteRaw("\r\n")) return;
  FNewLined = true;
  CheckLimits();
}

void TLogger::Flush() {
  std::lock_guard lock(FLockObj);
  FlushBuffer();
}

void TLogger::SetLimit(TLogLimitType aType, uint32_t aSize) {
  std::lock_guard lock(FLockObj);
  const uint32_t size = aType == logUnlimited ? 0 : (aSize == 0 ? kDefaultSizeLimit : aSize);
  if (aType == FLogLimitType && size == FLogSizeLimit) return;
  FLogLimitType = aType;
  FLogSizeLimit = size;
  FLogLimitsChanged = true;
}

void TLogger::SetLogFileName(const std::string& name, bool errorLog) {
  std::lock_guard lock(FLockObj);
  const bool unchanged = name == FLogFileName && !FLogLimitsChanged &&
                         (name.empty() || (FLogFile && errorLog == FErrorLog));
  if (unchanged) return;
  CloseFile();
  ForgetPrevious();
  FLogFileName = name;
  FInternLogFileName.clear();
  if (name.empty()) return;
  FErrorLog = errorLog;
  OpenFile(NextFileName());
}

std::string TLogger::LogFileName() const {
  std::lock_guard lock(FLockObj);
  return FLogFileName;
}

std::string TLogger::InternLogFileName() {
  std::lock_guard lock(FLockObj);
  FlushBuffer();
  return FInternLogFileName;
}

bool TLogger::LogEnabled() const {
  std::lock_guard lock(FLockObj);
  return FLogFile != nullptr;
}

bool TLogger::ErrorLog() const {
  std::lock_guard lock(FLockObj);
  return FErrorLog;
}

std::string TLogger::ErrorMsg() const {
  std::lock_guard lock(FLockObj);
  return FErrorMsg;
}

void TLogger::SetHeaderLines(std::vector<std::string> lines) {
  std::lock_guard lock(FLockObj);
  FHeaderLines = std::move(lines);
}

std::vector<std::string> TLogger::HeaderLines() const {
  std::lock_guard lock(FLockObj);
  return FHeaderLines;
}

void TLogger::SetSaveEnabled(bool enabled) {
  std::lock_guard lock(FLockObj);
  FSaveEnabled = enabled;
}

bool TLogger::SaveEnabled() const {
  std::lock_guard lock(FLockObj);
  return FSaveEnabled;
}

void TLogger::SetSavePath(const std::string& folder) {
  std::lock_guard lock(FLockObj);
  FSavePath = folder;
  if (folder.empty()) return;
  if (FSavePath.back() != '/') FSavePath += '/';
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) ReportProblem("Exception dump folder " + folder + " not created: " + ec.message());
}

std::string TLogger::SavePath() const {
  std::lock_guard lock(FLockObj);
  return FSavePath;
}

// 22 columns: time of day (blank when equal to the previous line's), blank, thread id (blank when
// the same thread wrote the previous line), blank; then the text.
void TLogger::AppendPrefixed(std::string& out, std::string_view text) {
  const TWallTime now = FClock.Wall();
  const int64_t ms = std::chrono::floor<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const uint32_t threadId = CurrentThreadId();
  const size_t start = out.size();
  out.append(22, ' ');
  if (ms != FLastTime) WriteTimeOfDay(&out[start], now, ms);
  if (threadId != FLastThreadId) WriteHex8(&out[start + 13], threadId);
  FLastTime = ms;
  FLastThreadId = threadId;
  out.append(text);
}

// "hh:nn:ss.zzz"; the local time of day is looked up once per second.
void TLogger::WriteTimeOfDay(char* out, TWallTime now, int64_t ms) {
  const int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  if (second != FTimeOfDaySecond) {
    const std::string hms = TimeText(now);
    hms.copy(FTimeOfDay, sizeof FTimeOfDay);
    FTimeOfDaySecond = second;
  }
  std::copy(std::begin(FTimeOfDay), std::end(FTimeOfDay), out);
  const int milli = static_cast<int>(ms - second * 1000);
  out[8] = '.';
  out[9] = static_cast<char>('0' + milli / 100);
  out[10] = static_cast<char>('0' + milli / 10 % 10);
  out[11] = static_cast<char>('0' + milli % 10);
}

void TLogger::ResetLineMemory() {
  FLastTime = -1;
  FLastThreadId = 0;
  FNewLined = true;
}

// A file that fails is reported once and dropped; the logger then acts as if no file were open.
void TLogger::DropFile(const std::string& reason) {
  ReportProblem("Log file " + FInternLogFileName + " dropped: " + reason);
  FLogFile.reset();
  FBuffer.clear();
  ResetLineMemory();
}

bool TLogger::WriteRaw(std::string_view bytes) {
  if (!FLogFile) return false;
  FBuffer += bytes;
  return Written();
}

// After appending to the buffer: a full buffer, or one holding lines for a second, goes to the
// file. False when the file is gone.
bool TLogger::Written() {
  if (FBuffer.size() < kFlushSize && FLastTime - FLastFlushMs < 1000) return FLogFile != nullptr;
  return FlushBuffer();
}

bool TLogger::FlushBuffer() {
  if (FLastTime >= 0) FLastFlushMs = FLastTime;
  if (!FLogFile) return false;
  if (FBuffer.empty()) return true;
  const qint64 size = static_cast<qint64>(FBuffer.size());
  if (FLogFile->write(FBuffer.data(), size) == size) {
    FBuffer.clear();
    return true;
  }
  DropFile("write failed: " + FLogFile->errorString().toStdString());
  return false;
}

// A complete line of the logger itself; it neither counts as content nor triggers a limit check.
void TLogger::EndedLine(std::string_view text) {
  if (!FLogFile) return;
  if (!FNewLined) FBuffer += "\r\n";
  AppendPrefixed(FBuffer, text);
  FBuffer += "\r\n";
  if (Written()) FNewLined = true;
}

void TLogger::UserLine(std::string_view text) {
  if (FLogFile) {
    EndedLine(text);
    FisEmpty = false;
    CheckLimits();
  } else if (FSaveEnabled) {
    SaveLine(text);
  }
}

void TLogger::ErrorLine(const std::string& text) {
  // Marked before the line so that a limit check right after it keeps this file.
  if (FLogFile) FErrorOccurred = true;
  UserLine("ERROR: " + text);
}

void TLogger::SaveLine(std::string_view text) {
  if (FSavedArray.empty()) FSavedArray.resize(kSavedLimit);
  std::string& slot = FSavedArray[FSaveIndex];
  slot.clear();
  AppendPrefixed(slot, text);
  if (++FSaveIndex == kSavedLimit) {
    FSaveIndex = 0;
    FSaveFull = true;
  }
}

void TLogger::DumpSavedLines() {
  const std::string name = FreeFileName(FSavePath + "ExceptionLog_" + std::to_string(Fid) + "_" +
                                        FileStampMsText(FClock.Wall()) + ".txt");
  std::string bytes;
  const int first = FSaveFull ? FSaveIndex : 0;
  const int count = FSaveFull ? kSavedLimit : FSaveIndex;
  for (int i = 0; i < count; ++i) bytes += FSavedArray[(first + i) % kSavedLimit] + "\r\n";
  QFile file(QString::fromStdString(name));
  if (!file.open(kNewFileMode) ||
      file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
    ReportProblem("Exception log " + name + " not written: " + file.errorString().toStdString());
}

void TLogger::CheckLimits() {
  if (!FLogFile) return;
  const qint64 position = FLogFile->pos() + static_cast<qint64>(FBuffer.size());
  const bool sizeReached = FLogLimitType != logUnlimited && position >= FLogSizeLimit;
  const bool timeReached = FErrorLog && FLogLimitType != logOverwrite &&
                           FClock.Steady() - FOpenTime > kErrorLogTimeLimit;
  if (!sizeReached && !timeReached) return;
  if (sizeReached)
    EndedLine("LogSizeLimit (" + std::to_string(FLogSizeLimit) + ") reached " + Now());
  else
    EndedLine("LogTimeLimit (half an hour) reached " + Now());
  if (FLogLimitType == logOverwrite)
    Wrap();
  else
    Rotate();
}

// A file written in circles: cut off the older rest and start again at the beginning.
void TLogger::Wrap() {
  if (!FlushBuffer()) return;
  if (!FLogFile->resize(FLogFile->pos()) || !FLogFile->seek(0)) {
    DropFile("overwrite failed: " + FLogFile->errorString().toStdString());
    return;
  }
  ResetLineMemory();
  EndedLine("Log file overwritten: " + FInternLogFileName + ", " + Now());
}

// In error-only mode a finished file survives when it or the file before it holds an error, so
// the half hour after an error is kept as well.
void TLogger::Rotate() {
  const std::string next = NextFileName();
  EndedLine("Continue in next Log file: " + next);
  if (FErrorLog && (FErrorOccurred || FPreviousErrorOccurred))
    EndedLine("keep Previous logfile: " + FPreviousFilename + " ErrorOccurred: actual=" +
              BoolText(FErrorOccurred) + " Previous=" + BoolText(FPreviousErrorOccurred));
  const std::string finished = FInternLogFileName;
  const bool finishedError = FErrorOccurred;
  const TCloseResult closed = CloseFile();
  FPreviousFilename = finished;
  FPreviousErrorOccurred = finishedError;
  if (!OpenFile(next)) {
    ReportProblem(FErrorMsg);
    return;
  }
  if (closed == TCloseResult::Deleted) EndedLine("Previous logfile deleted: " + finished);
  if (closed == TCloseResult::DeleteFailed) EndedLine("Previous logfile delete failed: " + finished);
}

std::string TLogger::NextFileName() const {
  if (FLogLimitType != logCreateNew) return FreeFileName(FLogFileName);
  const auto [stem, ext] = SplitExtension(FLogFileName);
  return FreeFileName(stem + "_" + FileStampText(FClock.Wall()) + ext);
}

bool TLogger::OpenFile(const std::string& actualName) {
  // Probe that the folder lets us create and delete files (error-only logs delete theirs); the
  // file is created only if the name is still free, so no existing log is ever truncated.
  auto file = std::make_unique<QFile>(QString::fromStdString(actualName));
  const bool ok = file->open(kNewFileMode) && file->remove() && file->open(kNewFileMode);
  if (!ok) {
    FErrorMsg = "Logfile not created: " + actualName;
    FLogFileName.clear();
    FInternLogFileName.clear();
    return false;
  }
  FLogFile = std::move(file);
  FInternLogFileName = actualName;
  FErrorMsg.clear();
  FErrorOccurred = false;
  FOpenTime = FClock.Steady();
  ResetLineMemory();
  EndedLine(Now() + " Log file opened: " + actualName);
  EndedLine("ID=" + std::to_string(Fid) + ", SizeLimit=" + std::to_string(FLogSizeLimit) +
            ", Type=" + LimitTypeName(FLogLimitType) + ", errorLog=" + BoolText(FErrorLog));
  for (const std::string& line : FHeaderLines) EndedLine(line);
  FisEmpty = true;
  FLogLimitsChanged = false;
  return FLogFile != nullptr;
}

TLogger::TCloseResult TLogger::CloseFile() {
  if (!FLogFile) return TCloseResult::NotOpen;
  if (FLogLimitType == logOverwrite) {
    // Marks the end of the used part of a file that is written in circles.
    const std::string stars(57, '*');
    WriteRaw("\r\n" + stars + "\r\n" + stars + "\r\n");
    FNewLined = true;
    EndedLine("Log file closed, " + Now());
    WriteRaw(stars + "\r\n" + stars + "\r\n");
  } else {
    EndedLine("Log file closed, " + Now());
  }
  FlushBuffer();
  FLogFile.reset();
  ResetLineMemory();
  const bool keep = !FisEmpty && (!FErrorLog || FErrorOccurred || FPreviousErrorOccurred);
  if (keep) return TCloseResult::Kept;
  const bool removed = QFile::remove(QString::fromStdString(FInternLogFileName)) ||
                       !FileExists(FInternLogFileName);
  return removed ? TCloseResult::Deleted : TCloseResult::DeleteFailed;
}

void TLogger::ForgetPrevious() {
  FPreviousFilename.clear();
  FPreviousErrorOccurred = false;
}

std::string TLogger::Now() const { return DateTimeText(FClock.Wall()); }

std::string ExceptionClassName(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  return name;
}
