#include "core/FreeFileName.h"

#include <algorithm>
#include <filesystem>

std::pair<std::string, std::string> SplitExtension(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {name, ""};
  return {name.substr(0, dot), name.substr(dot)};
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

std::string FirstFreeFileName(const std::function<std::string(int n)>& candidate, int first) {
  for (int n = first;; ++n) {
    std::string name = candidate(n);
    if (!FileExists(name)) return name;
  }
}

std::string FreeFileName(const std::string& wanted) {
  const std::pair<std::string, std::string> parts = SplitExtension(wanted);
  return FreeFileStem(parts.first, {parts.second}) + parts.second;
}

std::string FreeFileStem(const std::string& stem, const std::vector<std::string>& extensions) {
  const auto candidate = [&](int n) { return n == 0 ? stem : stem + "_" + std::to_string(n); };
  for (int n = 0;; ++n) {
    const std::string name = candidate(n);
    if (std::none_of(extensions.begin(), extensions.end(), [&](const std::string& ext) { return FileExists(name + ext); }))
      return name;
  }
}
