#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/App_Settings.h"

// Settings of one high-resolution (HRQ) channel.
struct THRQSetting {
  double NomFreq = 0;  // Hz
  double LOFreq = 0;   // Hz
  long double Factor = 1;
  bool enabled = false;
  // Factor = 10,000,000 / (NomFreq - LOFreq) when both are set and differ, else 1.
  void Update();
};

// The HRQ settings of all 24 channels with their text form (settings file, dialogs) and their
// binary form (four 128-byte blocks in the instrument's memory).
struct THRQSettings {
  static constexpr int ChannelCount = 24;
  static constexpr int ChannelsPerBlock = 6;
  static constexpr int BytesPerChannel = 17;
  static constexpr int BlockSize = 128;
  using TBlocks = std::array<std::string, 4>;

  std::string ErrorStr;
  std::array<THRQSetting, ChannelCount> HRQChannels{};
  int32_t HRQChannelCount = 0;
  TFormatSettings FormatSettings;
  bool WriteNeeded = false;

  // Every channel off with no frequencies; the error text is emptied.
  void Clear();
  // Recomputes every channel's factor and the number of enabled channels.
  void Update();

  // Channels joined by "/", each "NomFreq;LOFreq;enabled" (frequencies with 12 decimals, 0 as "0").
  std::string ToString() const;
  // Reads the text form; on failure ErrorStr says why, the channels stay as they were and the result
  // is false. Entries beyond the 24th are ignored.
  bool FromString(std::string_view text);

  // Block b (1..4): byte 0 = b, then channels 6(b-1)+1 .. 6b as NomFreq, LOFreq (8-byte little-endian
  // doubles) and an enabled byte; the rest zero.
  TBlocks GetBytes() const;
  // Takes the channels of slice 1..4 from `data` (the block without its number byte), as far as the
  // data reach.
  void SetSlice(int slice, std::string_view data);
};
