#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

class TClock;

// Diagnostic log files addressed by logger id. Every call with an id below 0 or beyond the registry
// (conventionally -1, "no log") does nothing; queries then return false or an empty string.
// The registry may be used from any thread.
enum TLogLimitType : uint8_t { logUnlimited = 0, logOverwrite = 1, logCreateNew = 2 };

int CreateLogger();
void LogIt(int id, const std::string& text);
void LogWarn(int id, const std::string& text);
void LogError(int id, const std::string& text);
void LogException(int id, const std::string& text, const std::exception& e);
void LogAppend(int id, const std::string& text);
void LogNewLine(int id);
// Writes the lines that every logger still buffers; called by the display cycle so that a quiet
// log reaches its file within a cycle.
void FlushLoggers();
bool LogEnabled(int id);
std::string InternLogFileName(int id);
std::string GetLogFileName(int id);
// Opens, switches or (empty name) closes the file; a non-empty name also sets the error-only mode.
void LogFileName(int id, const std::string& name, bool errorLog);
std::string ErrorMsg(int id);
void HeaderLines(int id, std::vector<std::string> lines);
std::vector<std::string> GetHeaderLines(int id);
void SetLimit(int id, TLogLimitType limitType, uint32_t size);
void SaveEnabled(int id, bool enabled);
void SavePath(int id, const std::string& folder);

// The clock that stamps every logger's lines and file names; nullptr = the system clock.
// The clock must outlive its use by the loggers (tests set it back to nullptr).
void SetLoggerClock(const TClock* clock);
// Program end: logger 0 receives "LogUnit.finalization", then every logger closes its file.
// Ids are not reused afterwards; calls with old ids do nothing.
void FinalizeLoggers();

// The demangled class name of an exception, as exception records and user errors show it.
std::string ExceptionClassName(const std::exception& e);
