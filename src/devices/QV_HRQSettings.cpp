#include "devices/QV_HRQSettings.h"

#include <bit>
#include <cstring>
#include <vector>

#include "core/QV_NumberText.h"

static_assert(std::endian::native == std::endian::little, "HRQ blocks carry little-endian doubles");

namespace {

std::string FrequencyText(double value, char separator) {
  return value == 0 ? "0" : FormatFloatFixed(value, 0, 12, separator);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

void AppendDouble(std::string& out, double value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof bytes);
}

double ReadDouble(std::string_view data) {
  double value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

}  // namespace

void THRQSetting::Update() {
  Factor = (NomFreq != 0 && LOFreq != 0 && NomFreq != LOFreq) ? 10000000.0L / (NomFreq - LOFreq) : 1;
}

void THRQSettings::Clear() {
  ErrorStr.clear();
  HRQChannels.fill(THRQSetting{});
  HRQChannelCount = 0;
}

void THRQSettings::Update() {
  HRQChannelCount = 0;
  for (auto& channel : HRQChannels) {
    channel.Update();
    if (channel.enabled) ++HRQChannelCount;
  }
}

std::string THRQSettings::ToString() const {
  std::string text;
  for (const auto& channel : HRQChannels) {
    if (!text.empty()) text += '/';
    text += FrequencyText(channel.NomFreq, FormatSettings.DecimalSeparator) + ";" +
            FrequencyText(channel.LOFreq, FormatSettings.DecimalSeparator) + ";" + (channel.enabled ? "1" : "0");
  }
  return text;
}

bool THRQSettings::FromString(std::string_view text) {
  auto channels = HRQChannels;
  const auto entries = Split(text, '/');
  for (size_t i = 0; i < entries.size() && i < channels.size(); ++i) {
    const auto fields = Split(entries[i], ';');
    if (fields.size() < 3) {
      ErrorStr = "Format error";
      return false;
    }
    double frequencies[2];
    for (int k = 0; k < 2; ++k) {
      const std::string normalised = NormaliseDecimalSeparator(std::string(fields[k]), FormatSettings.DecimalSeparator);
      const auto value = TextToFloat(normalised, FormatSettings);
      if (!value) {
        ErrorStr = "'" + normalised + "' is not a valid floating point value";
        return false;
      }
      frequencies[k] = *value;
    }
    auto& channel = channels[i];
    channel.NomFreq = frequencies[0];
    channel.LOFreq = frequencies[1];
    channel.enabled = channel.NomFreq != 0 && channel.LOFreq != 0 && TrimBlanks(fields[2]) != "0";
  }
  HRQChannels = channels;
  ErrorStr.clear();
  Update();
  return true;
}

THRQSettings::TBlocks THRQSettings::GetBytes() const {
  TBlocks blocks;
  for (int b = 0; b < 4; ++b) {
    std::string& block = blocks[b];
    block += static_cast<char>(b + 1);
    for (int k = 0; k < ChannelsPerBlock; ++k) {
      const auto& channel = HRQChannels[b * ChannelsPerBlock + k];
      AppendDouble(block, channel.NomFreq);
      AppendDouble(block, channel.LOFreq);
      block += static_cast<char>(channel.enabled ? 1 : 0);
    }
    block.resize(BlockSize, '\0');
  }
  return blocks;
}

void THRQSettings::SetSlice(int slice, std::string_view data) {
  if (slice < 1 || slice > 4) return;
  for (int k = 0; k < ChannelsPerBlock && data.size() >= size_t(k + 1) * BytesPerChannel; ++k) {
    const auto bytes = data.substr(k * BytesPerChannel, BytesPerChannel);
    auto& channel = HRQChannels[(slice - 1) * ChannelsPerBlock + k];
    channel.NomFreq = ReadDouble(bytes.substr(0, 8));
    channel.LOFreq = ReadDouble(bytes.substr(8, 8));
    channel.enabled = bytes[16] != 0;
  }
}
