#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Averaging factors of an analysis: every one, octaves (1, 2, 4, ...), decades in octave steps
// (1, 2, 4, 10, 20, 40, ...) or the sessions' 1-2-5 ladder (1, 2, 5, 10, ...).
enum class TTauLadder { All, Octave, Decade, OneTwoFive };

// "all", "octave", "decade", "125".
std::optional<TTauLadder> ParseTauLadder(std::string_view name);

// The ladder's factors from 1 up to maxFactor.
std::vector<int64_t> TauLadderFactors(TTauLadder ladder, int64_t maxFactor);

// MTIE on octaves: windows of 2, 4, 8, ... points, that is factors 1, 3, 7, ..., up to maxFactor.
std::vector<int64_t> MtieOctaveFactors(int64_t maxFactor);
