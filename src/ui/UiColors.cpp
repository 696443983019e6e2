#include "ui/UiColors.h"

#include <cstdlib>

#include "core/VTA_Common.h"

QColor ToQColor(uint32_t bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

uint32_t ToBgr(const QColor& color) {
  return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}

QColor ContrastQColor(uint32_t bgr) { return ToQColor(ContrastTextColor(bgr)); }

QColor CursorQColor(const std::vector<uint32_t>& channelColors) {
  constexpr uint32_t kCandidates[] = {0x7F7F7F, 0x13458B, 0x8B8B00, 0x7F007F};
  const auto distance = [](uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift : {0, 8, 16}) sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    return sum;
  };
  for (const uint32_t candidate : kCandidates) {
    bool apart = true;
    for (const uint32_t color : channelColors) apart = apart && distance(candidate, color & 0xFFFFFF) >= 96;
    if (apart) return ToQColor(candidate);
  }
  return ToQColor(kCandidates[0]);
}
