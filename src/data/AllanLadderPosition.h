#pragma once
#include <array>
#include <cstdint>

// Position in a series of samples and which blocks of the Allan ladder τ = 1, 2, 5, 10, 20, 50, ...
// end there (the position is a multiple of τ). Kept as decimal digits so that moving on and asking
// cost a step or two instead of a division per τ. Inline: the calculators ask for every value.
class TAllanLadderPosition {
 public:
  // Bit t set: τ index t.
  using TTauMask = uint32_t;

  // tauCount: the number of ladder steps asked about (at most 32).
  explicit TAllanLadderPosition(int tauCount)
      : FAllTaus(tauCount >= 32 ? ~TTauMask{0} : (TTauMask{1} << tauCount) - 1) {}

  // The blocks that end at the current position; position 0 ends every block.
  TTauMask Ends() const {
    // 10^k divides the position while the digits below k are 0; 2·10^k and 5·10^k also need
    // digit k to be even, or 0 or 5.
    TTauMask mask = 0;
    for (int k = 0; k < kDecades && 3 * k < 32; ++k) {
      const unsigned digit = FDigits[k];
      mask |= TTauMask{1} << (3 * k);
      if (3 * k + 1 < 32 && digit % 2 == 0) mask |= TTauMask{1} << (3 * k + 1);
      if (3 * k + 2 < 32 && digit % 5 == 0) mask |= TTauMask{1} << (3 * k + 2);
      if (digit != 0) break;
    }
    return mask & FAllTaus;
  }

  void Advance() {
    for (int k = 0; k < kDecades; ++k) {
      if (++FDigits[k] < 10) return;
      FDigits[k] = 0;
    }
  }

 private:
  static constexpr int kDecades = 20;  // positions up to 10^20 - 1
  TTauMask FAllTaus;
  std::array<uint8_t, kDecades> FDigits{};
};
