#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/AllanColumnReader.h"

// The reader of "vta-cli adev": any bytes, cut into pieces anywhere, never crash; the values are all
// finite, and reading the same text in one piece gives the same values and error.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int column = 1 + data[0] % 4;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t cut = text.empty() ? 0 : data[1] % (text.size() + 1);

  TAllanColumnReader pieces(column, 1e12);
  pieces.Add(text.substr(0, cut));
  pieces.Add(text.substr(cut));
  pieces.Finish();
  TAllanColumnReader whole(column, 1e12);
  whole.Add(text);
  whole.Finish();

  if (pieces.Values() != whole.Values() || pieces.Error() != whole.Error()) __builtin_trap();
  for (double value : whole.Values())
    if (!std::isfinite(value * 1e12)) __builtin_trap();
  return 0;
}
