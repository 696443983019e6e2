#include "data/AllanLadderPosition.h"

TAllanLadderPosition::TAllanLadderPosition(int tauCount)
    : FAllTaus(tauCount >= 32 ? ~TTauMask{0} : (TTauMask{1} << tauCount) - 1) {}

TAllanLadderPosition::TTauMask TAllanLadderPosition::Ends() const {
  // 10^k divides the position while the digits below k are 0; 2·10^k and 5·10^k also need
  // digit k to be even, or 0 or 5.
  TTauMask mask = 0;
  for (int k = 0; k < kDecades && 3 * k < 32; ++k) {
    const uint8_t digit = FDigits[k];
    mask |= TTauMask{1} << (3 * k);
    if (3 * k + 1 < 32 && digit % 2 == 0) mask |= TTauMask{1} << (3 * k + 1);
    if (3 * k + 2 < 32 && digit % 5 == 0) mask |= TTauMask{1} << (3 * k + 2);
    if (digit != 0) break;
  }
  return mask & FAllTaus;
}

void TAllanLadderPosition::Advance() {
  for (int k = 0; k < kDecades; ++k) {
    if (++FDigits[k] < 10) return;
    FDigits[k] = 0;
  }
}
