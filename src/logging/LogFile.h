#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// One open measurement log file. Errors come back as the system's own text ("No space left on
// device"), never as exceptions, so that one file's trouble stays with its definition.
class ILogFile {
 public:
  virtual ~ILogFile() = default;
  // Writes all of text. Empty on success, else the error text; part of text may have been written.
  virtual std::string Write(std::string_view text) = 0;
  virtual int64_t Size() const = 0;
  // Cuts the file back to size, so that a partly written line is not left behind.
  virtual void Truncate(int64_t size) = 0;
};

// The result of creating a log file: the file, or whether the name was taken, or the error text.
struct TLogFileCreation {
  std::unique_ptr<ILogFile> File;
  bool NameTaken = false;
  std::string Error;
};

// Creates a new file under a name, never replacing an existing one. Tests hand in failing files.
using TLogFileFactory = std::function<TLogFileCreation(const std::string& name)>;

// Files on the local file system.
TLogFileCreation CreateLogFile(const std::string& name);
