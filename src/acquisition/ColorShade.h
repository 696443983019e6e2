#pragma once
#include <cstdint>

// Shades of a 0x00BBGGRR colour in the HLS model: the luminance, on a scale of 0 to 1000, moves by
// `delta` (clamped to 0..1000) while hue and saturation stay. Bits above the 24 colour bits are
// ignored.
uint32_t ColorAdjustLuma(uint32_t color, int32_t delta);

// The darker and lighter shades channel colours are drawn with (luminance -50 and +80).
uint32_t DarkShade(uint32_t color);
uint32_t LightShade(uint32_t color);
