#pragma once
#include <string>
#include <vector>

#include "support/TempDir.h"

// A logger writing into a temporary file, for tests that check diagnostic lines.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  int Id() const { return FId; }
  // The texts of the lines written so far (without the time prefix; errors keep "ERROR: ").
  std::vector<std::string> Lines() const;
  bool Contains(const std::string& text) const;
  size_t Count(const std::string& text) const;

 private:
  TTempDir FDir;
  int FId;
};
