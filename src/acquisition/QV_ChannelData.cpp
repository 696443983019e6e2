#include "acquisition/QV_ChannelData.h"

#include <charconv>
#include <vector>

#include "acquisition/ColorShade.h"
#include "core/App_Settings.h"
#include "core/QV_NumberText.h"

namespace {

constexpr std::array<uint32_t, TQV_ChannelData::ChannelCount> kBasePalette = {
    0x3F3F3F, 0x00FF00, 0x0000FF, 0xFF0000, 0xFFFF00, 0x22B14C, 0x0080FF, 0xFF8000,
    0x808000, 0x008040, 0x8080FF, 0xFF00FF, 0xFFC90E, 0x00FF80, 0x00FFFF, 0xFF80C0,
    0xFFFF80, 0x00C000, 0x0000A0, 0xFF0080, 0xEFC4B0, 0x30C090, 0xC8BFE7, 0x800080};

constexpr char kSeparator[] = ", ";

int32_t PaletteStart(int32_t paletteKind) {
  switch (paletteKind) {
    case 2: return 12;
    case 3: return 8;
    case 4: return 16;
    case 5: return 20;
    default: return 0;
  }
}

bool ParseColor(const std::string& text, uint32_t& color) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < INT32_MIN || value > UINT32_MAX) return false;
  color = uint32_t(value);
  return true;
}

template <typename TGet>
std::string JoinList(TGet get) {
  std::string text;
  for (int32_t ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) text += get(ch) + kSeparator;
  return text;
}

}  // namespace

void TQV_ChannelData::Init(int32_t paletteKind) {
  FSelected = 0;
  FMaxChannels = ChannelCount;
  const std::string namePrefix = paletteKind == 1 ? "LC_" : "Channel_";
  for (int32_t ch = 1; ch <= ChannelCount; ++ch) {
    const size_t i = size_t(ch - 1);
    FChannelEnabled[i] = true;
    FPersistEnabled[i] = false;
    FChannelIds[i] = std::to_string(ch);
    FChannelNames[i] = namePrefix + std::to_string(ch);
    SetChannelColor(ch, ChannelPaletteColor(paletteKind, ch));
  }
}

bool TQV_ChannelData::ChannelEnabled(int32_t ch) const { return Valid(ch) && FChannelEnabled[size_t(ch - 1)]; }

void TQV_ChannelData::SetChannelEnabled(int32_t ch, bool value) {
  if (Valid(ch)) FChannelEnabled[size_t(ch - 1)] = value;
}

bool TQV_ChannelData::PersistEnabled(int32_t ch) const { return Valid(ch) && FPersistEnabled[size_t(ch - 1)]; }

void TQV_ChannelData::SetPersistEnabled(int32_t ch, bool value) {
  if (Valid(ch)) FPersistEnabled[size_t(ch - 1)] = value;
}

uint32_t TQV_ChannelData::ChannelColor(int32_t ch) const {
  return Valid(ch) ? FChannelColors[size_t(ch - 1)] : InvalidColor;
}

uint32_t TQV_ChannelData::ChannelDarkColor(int32_t ch) const {
  return Valid(ch) ? FChannelDarkColors[size_t(ch - 1)] : InvalidColor;
}

uint32_t TQV_ChannelData::ChannelLightColor(int32_t ch) const {
  return Valid(ch) ? FChannelLightColors[size_t(ch - 1)] : InvalidColor;
}

void TQV_ChannelData::SetChannelColor(int32_t ch, uint32_t color) {
  if (!Valid(ch)) return;
  const size_t i = size_t(ch - 1);
  FChannelColors[i] = color;
  FChannelDarkColors[i] = DarkShade(color);
  FChannelLightColors[i] = LightShade(color);
}

std::string TQV_ChannelData::ChannelId(int32_t ch) const { return Valid(ch) ? FChannelIds[size_t(ch - 1)] : ""; }

void TQV_ChannelData::SetChannelId(int32_t ch, const std::string& id) {
  if (Valid(ch)) FChannelIds[size_t(ch - 1)] = CleanChannelText(id);
}

std::string TQV_ChannelData::ChannelName(int32_t ch) const { return Valid(ch) ? FChannelNames[size_t(ch - 1)] : ""; }

void TQV_ChannelData::SetChannelName(int32_t ch, const std::string& name) {
  if (Valid(ch)) FChannelNames[size_t(ch - 1)] = CleanChannelText(name);
}

uint32_t ChannelPaletteColor(int32_t paletteKind, int32_t ch) {
  if (ch < 1 || ch > TQV_ChannelData::ChannelCount) return TQV_ChannelData::InvalidColor;
  return kBasePalette[size_t((PaletteStart(paletteKind) + ch - 1) % TQV_ChannelData::ChannelCount)];
}

std::string CleanChannelText(std::string text) {
  for (size_t pos; (pos = text.find(kSeparator)) != std::string::npos;) text.erase(pos + 1, 1);
  return text;
}

void ReadChannelRecord(TAppSettings& settings, const std::string& P, TQV_ChannelData& data) {
  constexpr int32_t n = TQV_ChannelData::ChannelCount;
  for (int32_t ch = 1; ch <= n; ++ch) data.SetChannelId(ch, std::to_string(ch));
  if (settings.VersionFormat() > 0) {
    const auto ids = SplitTextList(settings.GetValue(P + "Ids", ""), kSeparator);
    for (size_t i = 0; i < ids.size() && i < size_t(n); ++i) data.SetChannelId(int32_t(i + 1), ids[i]);
    const auto names = SplitTextList(settings.GetValue(P + "Names", ""), kSeparator);
    for (size_t i = 0; i < names.size() && i < size_t(n); ++i) data.SetChannelName(int32_t(i + 1), names[i]);
    const auto colors = SplitTextList(settings.GetValue(P + "Colors", ""), kSeparator);
    for (size_t i = 0; i < colors.size() && i < size_t(n); ++i) {
      uint32_t color;
      if (ParseColor(colors[i], color)) data.SetChannelColor(int32_t(i + 1), color);
    }
    return;
  }
  for (int32_t ch = 1; ch <= n; ++ch) {
    const std::string index = std::to_string(ch);
    data.SetChannelName(ch, settings.GetValue(P + "Name_" + index, data.ChannelName(ch)));
    try {
      data.SetChannelColor(ch, uint32_t(settings.GetValue(P + "Color_" + index, int32_t(data.ChannelColor(ch)))));
    } catch (const EConvertError&) {
      // An unreadable colour keeps the current one.
    }
  }
}

void SaveChannelRecord(TAppSettings& settings, const std::string& P, const TQV_ChannelData& data) {
  settings.SetVersionFormat(1);
  settings.SetValue(P + "Ids", JoinList([&](int32_t ch) { return data.ChannelId(ch); }));
  settings.SetValue(P + "Names", JoinList([&](int32_t ch) { return data.ChannelName(ch); }));
  settings.SetValue(P + "Colors", JoinList([&](int32_t ch) { return std::to_string(int32_t(data.ChannelColor(ch))); }));
}
