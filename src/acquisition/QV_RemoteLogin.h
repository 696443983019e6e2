#pragma once
#include <cstdint>
#include <string>

// Login key of the network module; the password travels combined with it by XOR.
constexpr uint32_t RemoteLoginKey = 0x5C3D1E7B;

// The login command 0x85 0x12 + an 8-byte block: bytes 7, 2, 3, 5 carry the key-combined password
// (most significant first), bytes 0, 1, 4, 6 a random 31-bit number (most significant first), so
// that the same password never looks the same on the wire. Only the low 31 bits of `random` count.
std::string RemoteLoginCommand(uint32_t password, uint32_t random);
