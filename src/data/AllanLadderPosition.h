#pragma once
#include <array>
#include <cstdint>

// Position in a series of samples and which blocks of the Allan ladder τ = 1, 2, 5, 10, 20, 50, ...
// end there (the position is a multiple of τ). Kept as decimal digits so that moving on and asking
// cost a step or two instead of a division per τ.
class TAllanLadderPosition {
 public:
  // Bit t set: τ index t.
  using TTauMask = uint32_t;

  // tauCount: the number of ladder steps asked about (at most 32).
  explicit TAllanLadderPosition(int tauCount);
  // The blocks that end at the current position; position 0 ends every block.
  TTauMask Ends() const;
  void Advance();

 private:
  static constexpr int kDecades = 20;  // positions up to 10^20 - 1
  TTauMask FAllTaus;
  std::array<uint8_t, kDecades> FDigits{};
};
