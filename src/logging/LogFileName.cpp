#include "logging/LogFileName.h"

#include <filesystem>

#include "core/FreeFileName.h"

TLogFilePattern SplitLogFilePattern(const std::string& fileName, const std::string& programFolder) {
  const size_t slash = fileName.find_last_of('/');
  TLogFilePattern pattern;
  pattern.Folder = slash == std::string::npos ? programFolder : fileName.substr(0, slash + 1);
  if (!pattern.Folder.empty() && pattern.Folder.back() != '/') pattern.Folder += '/';
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  pattern.Body = dot == std::string::npos ? name : name.substr(0, dot);
  pattern.Extension = dot == std::string::npos ? ".txt" : name.substr(dot);
  return pattern;
}

std::string LogFileCandidate(const TLogFilePattern& pattern, bool prependDate, TDateTime date, int n) {
  const std::string day = FormatLogTime("YYMMDD", date);
  const std::string number = std::to_string(n);
  if (prependDate) return pattern.Folder + day + "_" + number + "_" + pattern.Body + pattern.Extension;
  return pattern.Folder + pattern.Body + "_" + day + "_" + number + pattern.Extension;
}

std::string NewLogFileName(const TLogFilePattern& pattern, bool prependDate, TDateTime date) {
  return FirstFreeFileName([&](int n) { return LogFileCandidate(pattern, prependDate, date, n); }, 1);
}

std::string GeneratedLogFileName(uint32_t types, TLogSourceKind kind, const std::string& sourceLetters,
                                 int defIndex) {
  std::string name;
  for (const TLogColumnType& type : LogColumnTypes(types, kind)) name += type.NamePart;
  return name + "_" + sourceLetters + "_" + std::to_string(defIndex + 1) + ".txt";
}

std::string CheckLogFolder(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (folder.empty() || ec || !std::filesystem::is_directory(folder, ec)) return "Invalid path " + folder;
  return {};
}
