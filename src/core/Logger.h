#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"
#include "core/LogUnit.h"

class QFile;

// One diagnostic log file with its size or time limits. Every line carries a 22-character prefix
// (time of day, thread id); while no file is open the lines can be kept in a ring of 1000 entries
// that an exception record dumps to a file. All operations are serialised by one lock per logger.
//
// Lines are collected in a buffer of about a page and written together, so that a line costs no
// system call. The buffer goes to the file when it is full, after every error line, when a second
// has passed since the last write, on `Flush`, before the file's name is handed out (whoever asks
// is about to read it) and whenever the file is cut, wrapped or closed.
class TLogger {
 public:
  static constexpr uint32_t kDefaultSizeLimit = 20971520;
  static constexpr int kSavedLimit = 1000;
  static constexpr size_t kFlushSize = 4096;

  TLogger(int id, const TClock& clock);
  ~TLogger();
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;

  void LogIt(const std::string& text);
  void LogError(const std::string& text);
  void LogException(const std::string& text, const std::exception& e);
  void LogAppend(const std::string& text);
  void LogNewLine();
  // Writes the buffered lines to the file.
  void Flush();
  // Takes effect for the limit checks at once and for the file name at the next open.
  void SetLimit(TLogLimitType aType, uint32_t aSize);

  // Opens, switches or (empty name) closes the file; a non-empty name also sets the error-only mode.
  void SetLogFileName(const std::string& name, bool errorLog);
  std::string LogFileName() const;
  // Brings the file up to date first: whoever asks for the name is about to read it.
  std::string InternLogFileName();
  bool LogEnabled() const;
  bool ErrorLog() const;
  std::string ErrorMsg() const;
  void SetHeaderLines(std::vector<std::string> lines);
  std::vector<std::string> HeaderLines() const;
  void SetSaveEnabled(bool enabled);
  bool SaveEnabled() const;
  int SavedLimit() const { return kSavedLimit; }
  // Folder for exception dumps; created if missing, stored with a trailing '/'.
  void SetSavePath(const std::string& folder);
  std::string SavePath() const;

 private:
  void AppendPrefixed(std::string& out, std::string_view text);
  void WriteTimeOfDay(char* out, TWallTime now, int64_t ms);
  void ResetLineMemory();
  bool WriteRaw(std::string_view bytes);
  bool Written();
  bool FlushBuffer();
  void DropFile(const std::string& reason);
  void EndedLine(std::string_view text);
  void UserLine(std::string_view text);
  void ErrorLine(const std::string& text);
  void SaveLine(std::string_view text);
  void DumpSavedLines();
  void CheckLimits();
  void Wrap();
  void Rotate();
  std::string NextFileName() const;
  bool OpenFile(const std::string& actualName);
  enum class TCloseResult { NotOpen, Kept, Deleted, DeleteFailed };
  TCloseResult CloseFile();
  void ForgetPrevious();
  std::string Now() const;

  const int Fid;
  const TClock& FClock;
  std::unique_ptr<QFile> FLogFile;
  std::string FBuffer;           // ended and open lines not yet written to FLogFile
  int64_t FLastFlushMs = 0;      // wall-clock milliseconds of the last write to the file
  int64_t FTimeOfDaySecond = -1;  // the second whose "hh:nn:ss" FTimeOfDay holds
  char FTimeOfDay[8] = {};  std::string FLogFileName;
  std::string FInternLogFileName;
  bool FisEmpty = true;
  uint32_t FLastThreadId = 0;
  int64_t FLastTime = -1;  // milliseconds of the previous line's time; -1 = none
  bool FNewLined = true;
  mutable std::mutex FLockObj;
  TSteadyTime FOpenTime{};
  bool FErrorLog = false;
  std::string FErrorMsg;
  bool FErrorOccurred = false;
  std::string FPreviousFilename;
  bool FPreviousErrorOccurred = false;
  std::vector<std::string> FHeaderLines;
  uint32_t FLogSizeLimit = 0;
  TLogLimitType FLogLimitType = logUnlimited;
  bool FLogLimitsChanged = false;
  std::vector<std::string> FSavedArray;
  int FSaveIndex = 0;
  bool FSaveFull = false;
  bool FSaveEnabled = false;
  std::string FSavePath;
};
