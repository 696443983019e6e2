#include "logging/LogFileLayout.h"

#include <algorithm>

namespace {
constexpr size_t kDGIWidth = 9;
constexpr size_t kSyncTimeWidth = 12;

std::string RightAligned(const std::string& text, size_t width) {
  if (text.size() >= width) return text.substr(0, width);
  return std::string(width - text.size(), ' ') + text;
}

std::string PaddedRight(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

bool IsDiffToFirst(int bit) { return bit == 2 || bit == 5 || bit == 16; }
bool IsDiffToPredecessor(int bit) { return bit == 6 || bit == 17; }
bool IsADEV(int bit) { return bit == kLogTypeADEV || bit == kLogTypeADEVVirtual; }

int ChannelCountOf(const TLogColumnType& type, const TLogSourceInfo& source) {
  return type.Virtual ? source.VirtualChannelCount : source.ChannelCount;
}

const std::array<std::string, kLogChannels>& NamesOf(const TLogColumnType& type, const TLogSourceInfo& source) {
  return type.Virtual ? source.VirtualChannelNames : source.ChannelNames;
}

// The channels of a type that get a column: enabled in row 1, up to the quantity's channel count.
// The columns of a simple definition: only the types its source delivers in its class, so that a
// stored bit set from elsewhere never cuts other quantities into the columns.
uint32_t WrittenTypes(const TSimpleLogDefinition& simple, const TLogSourceInfo& source) {
  return simple.LogTypes() & SourceLogTypes(source.Kind, simple.StringClass());
}

std::vector<TLogColumnType> SimpleColumnTypes(const TSimpleLogDefinition& simple, const TLogSourceInfo& source) {
  return LogColumnTypes(WrittenTypes(simple, source), source.Kind);
}

std::vector<int> WrittenChannels(const TSimpleLogDefinition& simple, const TLogColumnType& type,
                                 const TLogSourceInfo& source) {
  std::vector<int> channels;
  const int count = std::min(ChannelCountOf(type, source), kLogChannels);
  for (int i = 1; i <= count; ++i)
    if (simple.IsEnabled(1, i)) channels.push_back(i);
  return channels;
}

std::vector<int> WrittenCards(const TSimpleLogDefinition& simple, const TLogSourceInfo& source) {
  std::vector<int> cards;
  if (source.Kind != TLogSourceKind::Counter) return cards;
  for (int card = 1; card <= std::min(source.DGICards, kLogChannels); ++card)
    if (simple.IsEnabled(3, card)) cards.push_back(card);
  return cards;
}

std::string SourceCaption(const TLogSourceInfo& source) {
  const std::string letter(1, source.Letter);
  return source.FriendlyName.empty() ? "[" + letter + "]" : "[" + letter + ": " + source.FriendlyName + "]";
}

void AddSourceBlock(std::vector<std::string>& lines, const TSimpleLogDefinition& simple,
                    const TLogSourceInfo& source) {
  lines.push_back("#Source:    " + SourceCaption(source));
  lines.push_back("#Device:    " + source.ConnectionString);
  if (source.Kind == TLogSourceKind::IntervalCounter) {
    lines.insert(lines.end(), {"#Mode:      IVC", "#", "#"});
    if (WrittenTypes(simple, source) & kIntervalLogTypes) {
      std::string calibration = "#IVC-Calib: ";
      for (const std::string& value : source.IVCCalibration) calibration += value + "  ";
      lines.push_back(calibration);
    } else {
      lines.push_back("#");
    }
    lines.push_back("#");
  } else {
    const bool sensor = source.Kind == TLogSourceKind::Sensor;
    lines.push_back(sensor ? "#" : "#Mode:      " + source.ModeText);
    lines.push_back("#Interval:  " + source.IntervalText);
    lines.push_back(sensor ? "#" : "#Scrambler: " + source.ScramblerText);
    if (simple.StringClass() == sscVirtual)
      lines.push_back("#Virtual channels: " + std::to_string(source.VirtualChannelCount));
    else
      lines.push_back("#");
    lines.push_back("#");
  }
  lines.push_back("#");
}

// Adds the columns of one simple definition to the zone and column lines.
void AddColumns(std::string& zone, std::string& column, const TSimpleLogDefinition& simple,
                const TLogSourceInfo& source, bool option) {
  if (source.Kind == TLogSourceKind::Counter) {
    column += option ? "    Sync Time" : " S";
    zone += std::string(option ? 13 : 2, ' ');
  }
  for (int card : WrittenCards(simple, source)) {
    column += PaddedRight("  DGI" + std::to_string(card), kDGIWidth);
    zone += std::string(kDGIWidth, ' ');
  }
  for (const TLogColumnType& type : SimpleColumnTypes(simple, source)) {
    const size_t width = static_cast<size_t>(type.Width);
    if (IsADEV(type.Bit)) {
      column += "  ";
      zone += "   ";
    } else {
      zone += RightAligned(type.Caption, width);
    }
    for (int i : WrittenChannels(simple, type, source))
      column += LogChannelCaption(type, i, NamesOf(type, source));
    zone = PaddedRight(zone, column.size());
  }
}

std::string SyncColumn(const TLogSourceInfo& source, const TMultiSamplerStrings* strings, bool option) {
  const bool hasData = strings && !(*strings)[0].empty();
  if (option) return " " + (hasData ? RightAligned(source.SyncTime, kSyncTimeWidth) : std::string(kSyncTimeWidth, '-'));
  return hasData ? " " + (*strings)[0].substr(0, 1) : " -";
}

std::string NoDataField(size_t width) { return width == 0 ? "" : " " + std::string(width - 1, '-'); }

std::string DGIColumns(const TSimpleLogDefinition& simple, const TLogSourceInfo& source,
                       const TMultiSamplerStrings* strings) {
  std::string text;
  for (int card : WrittenCards(simple, source)) {
    const std::string group =
        strings ? (*strings)[5].substr(std::min((*strings)[5].size(), (card - 1) * kDGIWidth), kDGIWidth) : "";
    text += group.empty() ? NoDataField(kDGIWidth) : RightAligned(group, kDGIWidth);
  }
  return text;
}

std::string ValueColumns(const TSimpleLogDefinition& simple, const TLogColumnType& type,
                         const TLogSourceInfo& source, const TMultiSamplerStrings* strings) {
  const size_t width = static_cast<size_t>(type.Width);
  std::string value = strings && type.Slot >= 0 ? (*strings)[static_cast<size_t>(type.Slot)] : "";
  // Slot 0 of a counter set starts with the sync marker.
  if (source.Kind == TLogSourceKind::Counter && type.Slot == 0 && !value.empty()) value.erase(0, 1);
  std::string text = IsADEV(type.Bit) ? "  " : "";
  for (int i : WrittenChannels(simple, type, source)) {
    if (value.empty()) {
      text += NoDataField(width);
      continue;
    }
    const size_t start = std::min(value.size(), (static_cast<size_t>(i) - 1) * width);
    const std::string field = value.substr(start, width);
    text += field.empty() ? std::string(width, '-') : RightAligned(field, width);
  }
  return text;
}
}  // namespace

std::string LogChannelCaption(const TLogColumnType& type, int i,
                              const std::array<std::string, kLogChannels>& names) {
  const size_t width = static_cast<size_t>(type.Width);
  const auto name = [&](int channel) { return names[static_cast<size_t>(channel - 1)]; };
  const std::string number = std::to_string(i);
  std::string caption;
  if (IsDiffToFirst(type.Bit)) {
    caption = name(i) + " - " + name(1);
    if (caption.size() >= width) caption = name(i) + " - 1";
    if (caption.size() >= width) caption = number + " - 1";
  } else if (IsDiffToPredecessor(type.Bit)) {
    const int predecessor = i > 1 ? i - 1 : 1;
    caption = name(i) + " - " + name(predecessor);
    if (caption.size() > width) caption = i > 1 ? number + " - " + std::to_string(i - 1) : "1 - 1";
  } else {
    caption = name(i).size() + 2 < width ? number + ":" + name(i) : name(i);
  }
  return RightAligned(caption, width);
}

std::vector<std::string> LogHeaderLines(const TLogDefinition& definition,
                                        const std::vector<TLogSourceInfo>& sources,
                                        const TLogTimeSettings& time, const std::string& resetText) {
  std::vector<std::string> lines{
      "#Filename:  " + definition.FileName(),
      "#Message:   " + resetText,
      "#Time:      " + std::string(time.SourceZCT ? "ZCT time" : "PC time") +
          (time.ZoneUTC ? ", time zone UTC" : ", time zone local"),
      "#"};
  const size_t count = std::min(sources.size(), static_cast<size_t>(definition.Count()));
  for (size_t i = 0; i < count; ++i) AddSourceBlock(lines, definition.Definition(static_cast<int>(i)), sources[i]);
  std::string zone = PaddedRight(time.ZoneUTC ? "#zone UTC  " : "#zone local", time.Format.size());
  std::string column = PaddedRight(time.SourceZCT ? "#ZCT time  " : "#PC time   ", time.Format.size());
  for (size_t i = 0; i < count; ++i)
    AddColumns(zone, column, definition.Definition(static_cast<int>(i)), sources[i], definition.Option());
  lines.push_back(zone);
  lines.push_back(column);
  return lines;
}

std::string LogLinePart(const TSimpleLogDefinition& simple, const TLogSourceInfo& source,
                        const TMultiSamplerStrings* strings, bool option) {
  std::string text;
  if (source.Kind == TLogSourceKind::Counter) text += SyncColumn(source, strings, option);
  text += DGIColumns(simple, source, strings);
  for (const TLogColumnType& type : SimpleColumnTypes(simple, source))
    text += ValueColumns(simple, type, source, strings);
  return text;
}

std::string LogSampleLine(const TLogDefinition& definition, const std::vector<TLogSourceInfo>& sources,
                          const std::vector<const TMultiSamplerStrings*>& strings) {
  std::string line;
  const size_t count = std::min({sources.size(), strings.size(), static_cast<size_t>(definition.Count())});
  for (size_t i = 0; i < count; ++i)
    line += LogLinePart(definition.Definition(static_cast<int>(i)), sources[i], strings[i], definition.Option());
  return line;
}

char LineDecimalSeparator(const std::string& line) {
  if (line.find(',') != std::string::npos) return ',';
  if (line.find('.') != std::string::npos) return '.';
  return 0;
}

TDateTime PcLogDateTime(const TClock& clock, bool utc) { return WallToDateTime(clock.Wall(), utc); }

std::string PcLogTimeString(const TClock& clock, const TLogTimeSettings& time) {
  return FormatLogTime(time.Format, PcLogDateTime(clock, time.ZoneUTC));
}

std::string LogMessageLine(const std::string& text) { return "# # " + text + " #"; }
