#include "acquisition/ColorShade.h"

#include <algorithm>
#include <cmath>

namespace {

struct THLS {
  double H;  // 0..6 (sextants)
  double L;  // 0..1
  double S;  // 0..1
};

double Channel(uint32_t color, int shift) { return double((color >> shift) & 0xFF) / 255.0; }

THLS ToHLS(uint32_t color) {
  const double r = Channel(color, 0), g = Channel(color, 8), b = Channel(color, 16);
  const double maxC = std::max({r, g, b}), minC = std::min({r, g, b});
  const double l = (maxC + minC) / 2;
  const double d = maxC - minC;
  if (d == 0) return {0, l, 0};
  const double s = l <= 0.5 ? d / (maxC + minC) : d / (2 - maxC - minC);
  double h;
  if (maxC == r)
    h = (g - b) / d;
  else if (maxC == g)
    h = 2 + (b - r) / d;
  else
    h = 4 + (r - g) / d;
  if (h < 0) h += 6;
  return {h, l, s};
}

double HueToChannel(double m1, double m2, double h) {
  if (h < 0) h += 6;
  if (h >= 6) h -= 6;
  if (h < 1) return m1 + (m2 - m1) * h;
  if (h < 3) return m2;
  if (h < 4) return m1 + (m2 - m1) * (4 - h);
  return m1;
}

uint32_t ToByte(double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

uint32_t FromHLS(const THLS& c) {
  if (c.S == 0) {
    const uint32_t v = ToByte(c.L);
    return v | (v << 8) | (v << 16);
  }
  const double m2 = c.L <= 0.5 ? c.L * (1 + c.S) : c.L + c.S - c.L * c.S;
  const double m1 = 2 * c.L - m2;
  const uint32_t r = ToByte(HueToChannel(m1, m2, c.H + 2));
  const uint32_t g = ToByte(HueToChannel(m1, m2, c.H));
  const uint32_t b = ToByte(HueToChannel(m1, m2, c.H - 2));
  return r | (g << 8) | (b << 16);
}

}  // namespace

uint32_t ColorAdjustLuma(uint32_t color, int32_t delta) {
  THLS hls = ToHLS(color & 0xFFFFFF);
  hls.L = std::clamp(hls.L * 1000.0 + delta, 0.0, 1000.0) / 1000.0;
  return FromHLS(hls);
}

uint32_t DarkShade(uint32_t color) { return ColorAdjustLuma(color, -50); }

uint32_t LightShade(uint32_t color) { return ColorAdjustLuma(color, 80); }
