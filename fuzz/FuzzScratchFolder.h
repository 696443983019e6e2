#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A folder of its own for a fuzz process's files, removed when the process ends.
class TFuzzScratchFolder {
 public:
  TFuzzScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vta_fuzz_XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    FPath = pattern + "/";
  }
  ~TFuzzScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TFuzzScratchFolder(const TFuzzScratchFolder&) = delete;
  TFuzzScratchFolder& operator=(const TFuzzScratchFolder&) = delete;

  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};
