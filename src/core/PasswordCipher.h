#pragma once
#include <optional>
#include <string>
#include <string_view>

// Mail passwords are stored only enciphered: AES in 8-bit cipher-feedback mode (one output byte
// per input byte) with a key built into the program and an initialisation vector of 0xFF bytes,
// written as upper-case hexadecimal digits (two per password character).
std::string EncipherPassword(std::string_view plain);
// The password back from its stored text; nothing for text that is not whole hexadecimal bytes.
// Text written with another key gives a wrong password: the user enters it again.
std::optional<std::string> DecipherPassword(std::string_view hex);
