#include "core/LogUnit.h"

// Placeholder registry until the logger lands: every id is "no log".
int CreateLogger() { return -1; }
void LogIt(int, const std::string&) {}
void LogWarn(int, const std::string&) {}
void LogError(int, const std::string&) {}
void LogException(int, const std::string&, const std::exception&) {}
void LogAppend(int, const std::string&) {}
void LogNewLine(int) {}
bool LogEnabled(int) { return false; }
std::string InternLogFileName(int) { return {}; }
std::string GetLogFileName(int) { return {}; }
void LogFileName(int, const std::string&, bool) {}
std::string ErrorMsg(int) { return {}; }
void HeaderLines(int, std::vector<std::string>) {}
std::vector<std::string> GetHeaderLines(int) { return {}; }
void SetLimit(int, TLogLimitType, uint32_t) {}
void SaveEnabled(int, bool) {}
void SavePath(int, const std::string&) {}
