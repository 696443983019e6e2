#include "data/TauLadder.h"

std::optional<TTauLadder> ParseTauLadder(std::string_view name) {
  if (name == "all") return TTauLadder::All;
  if (name == "octave") return TTauLadder::Octave;
  if (name == "decade") return TTauLadder::Decade;
  if (name == "125") return TTauLadder::OneTwoFive;
  return std::nullopt;
}

std::vector<int64_t> TauLadderFactors(TTauLadder ladder, int64_t maxFactor) {
  std::vector<int64_t> factors;
  if (ladder == TTauLadder::All) {
    for (int64_t m = 1; m <= maxFactor; ++m) factors.push_back(m);
    return factors;
  }
  if (ladder == TTauLadder::Octave) {
    for (int64_t m = 1; m <= maxFactor && m > 0; m *= 2) factors.push_back(m);
    return factors;
  }
  // Decade ladders: the same steps within every decade.
  const int64_t steps[3] = {1, 2, ladder == TTauLadder::Decade ? 4 : 5};
  for (int64_t decade = 1; decade <= maxFactor && decade > 0; decade *= 10) {
    for (int64_t step : steps) {
      if (decade * step > maxFactor) return factors;
      factors.push_back(decade * step);
    }
  }
  return factors;
}

std::vector<int64_t> MtieOctaveFactors(int64_t maxFactor) {
  std::vector<int64_t> factors;
  for (int64_t window = 2; window - 1 <= maxFactor && window > 0; window *= 2) factors.push_back(window - 1);
  return factors;
}
