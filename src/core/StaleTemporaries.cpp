#include "core/StaleTemporaries.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kRandomPartLength = 6;  // the X's of mkstemp's pattern

bool IsTemporaryOf(const std::string& name, const std::string& target) {
  if (name.size() != target.size() + 1 + kRandomPartLength || !name.starts_with(target + ".")) return false;
  return std::all_of(name.end() - kRandomPartLength, name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::vector<std::string> RemoveStaleTemporaries(const std::string& fileName,
                                                std::filesystem::file_time_type olderThan) {
  namespace fs = std::filesystem;
  const fs::path target(fileName);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string targetName = target.filename().string();
  std::vector<std::string> removed;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code entryError;
    if (!IsTemporaryOf(entry.path().filename().string(), targetName) || !entry.is_regular_file(entryError)) continue;
    const fs::file_time_type written = entry.last_write_time(entryError);
    if (entryError || written >= olderThan) continue;
    if (fs::remove(entry.path(), entryError)) removed.push_back(entry.path().string());
  }
  return removed;
}
