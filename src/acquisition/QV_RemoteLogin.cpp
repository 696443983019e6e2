#include "acquisition/QV_RemoteLogin.h"

#include <array>

namespace {

// Places the bytes of `value`, most significant first, at the given block positions.
void Scatter(std::string& block, uint32_t value, const std::array<int, 4>& positions) {
  for (int i = 0; i < 4; ++i) block[positions[i]] = static_cast<char>(value >> (24 - 8 * i));
}

}  // namespace

std::string RemoteLoginCommand(uint32_t password, uint32_t random) {
  std::string block(8, '\0');
  Scatter(block, password ^ RemoteLoginKey, {7, 2, 3, 5});
  Scatter(block, random & 0x7FFFFFFF, {0, 1, 4, 6});
  return std::string("\x85\x12", 2) + block;
}
