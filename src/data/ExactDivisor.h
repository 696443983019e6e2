#pragma once
#include <cmath>

// Division by a fixed divisor. A power of two has an exact reciprocal, and x · (1/d) then rounds the
// same real number as x / d, so the cheap multiplication gives bit-identical results.
class TExactDivisor {
 public:
  explicit TExactDivisor(double divisor) : FDivisor(divisor) {
    int exponent = 0;
    FExact = std::frexp(divisor, &exponent) == 0.5 && exponent > -1000 && exponent < 1000;
    FReciprocal = FExact ? 1 / divisor : 0;
  }

  // T: double or a vector of doubles.
  template <class T>
  T Divide(T x) const {
    return FExact ? x * FReciprocal : x / FDivisor;
  }

 private:
  double FDivisor;
  double FReciprocal;
  bool FExact;
};
