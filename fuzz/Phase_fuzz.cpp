#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/Phase.h"

// Any text: parsing, column text and scaling of whatever parses never crash or overflow.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  int precision = 0;
  const auto phase = Phase::Parse(text, '.', &precision);
  if (!phase) return 0;
  if (phase->ToColumnString(precision).size() != PhaseColumnWidth) __builtin_trap();
  const Phase scaled = *phase * 0.5 + *phase / 3.0 - *phase;
  (void)scaled.ToColumnString(precision);
  return 0;
}
