#include "support/LogCapture.h"

#include <algorithm>

#include "core/LogUnit.h"

namespace {
constexpr size_t PrefixLength = 22;
}

TLogCapture::TLogCapture() : FId(CreateLogger()) { LogFileName(FId, FDir.File("test.log"), false); }

TLogCapture::~TLogCapture() { LogFileName(FId, "", false); }

std::vector<std::string> TLogCapture::Lines() const {
  const std::string text = ReadWholeFile(InternLogFileName(FId));
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.size() > start + PrefixLength ? text.substr(start + PrefixLength, end - start - PrefixLength)
                                                       : std::string());
  return lines;
}

bool TLogCapture::Contains(const std::string& text) const { return Count(text) > 0; }

size_t TLogCapture::Count(const std::string& text) const {
  const auto lines = Lines();
  return std::count(lines.begin(), lines.end(), text);
}
