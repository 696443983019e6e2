#pragma once
#include <array>
#include <cstdint>
#include <string>

class TAppSettings;

// The channel record of a session: 24 channels (numbered 1 to 24) with enable, colour and its two
// shades, persistence mark, id and name, plus the number of channels in use and the selected one.
// A value type, copied whole. Accessors given a channel outside 1..24 read false, an empty text or
// TQV_ChannelData::InvalidColor and write nothing.
//
// Names and ids are stored joined with ", " (see SaveChannelRecord), so every setter cleans them:
// a ", " inside a name would otherwise split it into two channels when read back.
class TQV_ChannelData {
 public:
  static constexpr int32_t ChannelCount = 24;
  static constexpr uint32_t InvalidColor = 0xFF00000F;

  // Initialised with palette kind 0.
  TQV_ChannelData() { Init(0); }
  explicit TQV_ChannelData(int32_t paletteKind) { Init(paletteKind); }

  // Every channel enabled, persistence off, id = its number, name "LC_" + number (kind 1) or
  // "Channel_" + number, colour from the palette of the kind; 24 channels in use, none selected.
  void Init(int32_t paletteKind);

  bool ChannelEnabled(int32_t ch) const;
  void SetChannelEnabled(int32_t ch, bool value);
  bool PersistEnabled(int32_t ch) const;
  void SetPersistEnabled(int32_t ch, bool value);
  uint32_t ChannelColor(int32_t ch) const;
  uint32_t ChannelDarkColor(int32_t ch) const;
  uint32_t ChannelLightColor(int32_t ch) const;
  // Also recomputes both shades.
  void SetChannelColor(int32_t ch, uint32_t color);
  std::string ChannelId(int32_t ch) const;
  void SetChannelId(int32_t ch, const std::string& id);  // cleaned by CleanChannelText
  std::string ChannelName(int32_t ch) const;
  void SetChannelName(int32_t ch, const std::string& name);  // cleaned by CleanChannelText

  int32_t MaxChannels() const { return FMaxChannels; }
  void SetMaxChannels(int32_t value) { FMaxChannels = value; }
  int32_t Selected() const { return FSelected; }
  void SetSelected(int32_t value) { FSelected = value; }

  bool operator==(const TQV_ChannelData&) const = default;

 private:
  static bool Valid(int32_t ch) { return ch >= 1 && ch <= ChannelCount; }

  std::array<bool, ChannelCount> FChannelEnabled{};
  std::array<uint32_t, ChannelCount> FChannelColors{};
  std::array<uint32_t, ChannelCount> FChannelDarkColors{};
  std::array<uint32_t, ChannelCount> FChannelLightColors{};
  std::array<bool, ChannelCount> FPersistEnabled{};
  int32_t FMaxChannels = ChannelCount;
  std::array<std::string, ChannelCount> FChannelIds;
  std::array<std::string, ChannelCount> FChannelNames;
  int32_t FSelected = 0;
};

// Colour of channel ch (1..24) in the palette of a kind: kinds 2 to 5 are the base palette rotated
// to start at base entry 12, 8, 16 and 20; every other kind is the base palette.
uint32_t ChannelPaletteColor(int32_t paletteKind, int32_t ch);

// A name or id as it may be stored: every ", " becomes "," until none is left.
std::string CleanChannelText(std::string text);

// Reads the record stored under prefix P. Ids are first reset to "1".."24". From settings format 1
// on, P + "Ids", P + "Names" and P + "Colors" are split at ", " and their first 24 parts set
// channels 1, 2, ...; a missing or empty key leaves the field, a colour that is not a number leaves
// that colour. Format 0 files keep P + "Name_" + i and P + "Color_" + i per channel instead.
void ReadChannelRecord(TAppSettings& settings, const std::string& P, TQV_ChannelData& data);

// Writes P + "Ids", P + "Names" and P + "Colors", each the 24 values followed by ", " (colours in
// decimal), and raises the settings format to 1. The keys are written even when no channel has a
// name, so that the colours are kept.
void SaveChannelRecord(TAppSettings& settings, const std::string& P, const TQV_ChannelData& data);
