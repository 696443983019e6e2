#pragma once
#include <cstdint>
#include <optional>

#include "data/StabilityStatistic.h"

// Equivalent degrees of freedom of a deviation at averaging factor m over n phase points for the noise
// type alpha: Greenhall and Riley's algorithm for the finite-difference deviations (ADEV ... OHDEV),
// the published linear formulas for TOTDEV. nullopt for MTIE and TIE rms, and where the statistic
// does not converge for that noise (alpha + 2d <= 1).
std::optional<double> EquivalentDegreesOfFreedom(TStabilityStatistic statistic, int alpha, int64_t m, int64_t n);

// Greenhall's general case. d: 2 Allan, 3 Hadamard; filterFactor F: 1 modified, m otherwise;
// stride S: m overlapping, 1 non-overlapping.
double GreenhallEdf(int alpha, int d, int64_t m, int64_t filterFactor, int64_t stride, int64_t n);
