#include "core/PasswordCipher.h"

#include <openssl/evp.h>

#include <array>
#include <memory>
#include <stdexcept>

#include "core/QV_NumberText.h"

namespace {

// The program's fixed 8-character key, zero-filled to the 128 bits AES takes.
constexpr std::array<unsigned char, 16> kKey = {'V', 'T', 'A', '#', 'm', 'a', 'i', 'l'};

std::string Crypt(std::string_view input, bool encrypt) {
  std::array<unsigned char, 16> iv;
  iv.fill(0xFF);
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  std::string output(input.size(), '\0');
  int written = 0;
  if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cfb8(), nullptr, kKey.data(), iv.data(), encrypt ? 1 : 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(output.data()), &written,
                       reinterpret_cast<const unsigned char*>(input.data()), static_cast<int>(input.size())) != 1)
    throw std::runtime_error("password cipher failed");
  output.resize(static_cast<size_t>(written));
  return output;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EncipherPassword(std::string_view plain) { return AnsiToHex(Crypt(plain, true)); }

std::optional<std::string> DecipherPassword(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return Crypt(bytes, false);
}
