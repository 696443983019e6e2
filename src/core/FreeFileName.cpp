#include "core/FreeFileName.h"

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
  // A pair, not a structured binding: clang 14 cannot capture bindings in a lambda.
  const std::pair<std::string, std::string> parts = SplitExtension(wanted);
  return FirstFreeFileName(
      [&](int n) { return n == 0 ? wanted : parts.first + "_" + std::to_string(n) + parts.second; }, 0);
}
