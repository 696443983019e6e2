#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/LogUnit.h"

class QFile;

// One diagnostic log file with its size or time limits. Every line carries a 22-character prefix
// (time of day, thread id); while no file is open the lines can be kept in a ring of 1000 entries
// that an exception record dumps to a file. All operations are serialised by one lock per logger.
class TLogger {
 public:
  static constexpr uint32_t kDefaultSizeLimit = 20971520;
  static constexpr int kSavedLimit = 1000;

  TLogger(int id, const TClock& clock);
  ~TLogger();
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;

  void LogIt(const std::string& text);
  void LogError(const std::string& text);
  void LogException(const std::string& text, const std::exception& e);
  void LogAppend(const std::string& text);
  void LogNewLine();
  // Takes effect for the limit checks at once and for the file name at the next open.
  void SetLimit(TLogLimitType aType, uint32_t aSize);

  // Opens, switches or (empty name) closes the file; a non-empty name also sets the error-only mode.
  void SetLogFileName(const std::string& name, bool errorLog);
  std::string LogFileName() const;
  std::string InternLogFileName() const;
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
  std::string Prefixed(const std::string& text);
  void ResetLineMemory();
  bool WriteRaw(const std::string& bytes);
  void DropFile(const std::string& reason);
  void EndedLine(const std::string& text);
  void UserLine(const std::string& text);
  void ErrorLine(const std::string& text);
  void SaveLine(const std::string& line);
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
  std::string FLogFileName;
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
