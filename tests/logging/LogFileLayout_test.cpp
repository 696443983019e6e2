#include "logging/LogFileLayout.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using TLines = std::vector<std::string>;

std::string Blanks(size_t n) { return std::string(n, ' '); }
std::string Right(const std::string& text, size_t width) { return Blanks(width - text.size()) + text; }

// One counter source A in Phase mode, Phase and Frequency of channels 1 and 2 (of 3).
class LogLayoutTest : public ::testing::Test {
 protected:
  LogLayoutTest() {
    def_.SetFileName("/logs/PhaseFreq_A_1.txt");
    TSimpleLogDefinition& simple = def_.AddDefinition();
    simple.SetLogTypes(0x3);
    simple.SetLogEnabledString(1, "11");
    source_.ConnectionString = "USB:ZCT 123";
    source_.ModeText = "Phase";
    source_.IntervalText = "100 ms";
    source_.ScramblerText = "Off";
    source_.ChannelCount = 3;
    source_.ChannelNames = {"1", "2", "3"};
  }

  TLogDefinition def_;
  TLogSourceInfo source_;
  TLogTimeSettings time_;  // "YYMMDD HHNNSS,ZZZ", PC time, local zone
};

TEST_F(LogLayoutTest, HeaderOfOneCounterWithTwoChannels) {
  const TLines expected{
      "#Filename:  /logs/PhaseFreq_A_1.txt",
      "#Message:   First create",
      "#Time:      PC time, time zone local",
      "#",
      "#Source:    [A]",
      "#Device:    USB:ZCT 123",
      "#Mode:      Phase",
      "#Interval:  100 ms",
      "#Scrambler: Off",
      "#",
      "#",
      "#",
      "#zone local" + Blanks(6) + Blanks(2) + Right("Phase [Pd]", 26) + Blanks(26) +
          Right("Frequency [Hz]", 22) + Blanks(22),
      "#PC time   " + Blanks(6) + " S" + Right("1:1", 26) + Right("2:2", 26) + Right("1:1", 22) + Right("2:2", 22),
  };
  EXPECT_EQ(LogHeaderLines(def_, {source_}, time_, "First create"), expected);
}

TEST_F(LogLayoutTest, HeaderWithSyncTimeUtcZctTimeAndFriendlyName) {
  def_.SetOption(true);
  source_.FriendlyName = "Maser";
  time_ = {"HH:NN", true, true};
  const TLines lines = LogHeaderLines(def_, {source_}, time_, "New Day");
  EXPECT_EQ(lines[1], "#Message:   New Day");
  EXPECT_EQ(lines[2], "#Time:      ZCT time, time zone UTC");
  EXPECT_EQ(lines[4], "#Source:    [A: Maser]");
  // Both lines keep their 11 characters when the time format is shorter.
  EXPECT_EQ(lines[12].substr(0, 24), "#zone UTC  " + Blanks(13));
  EXPECT_EQ(lines[13].substr(0, 24), "#ZCT time      Sync Time");
}

TEST_F(LogLayoutTest, DataLineKeepsTheEnabledChannelsOfEachType) {
  const std::string p1 = Right("12,5", 26), p2 = Right("-3,25", 26), p3 = Right("7,0", 26);
  const std::string f1 = Right("10,0", 22), f2 = Right("11,0", 22), f3 = Right("12,0", 22);
  TMultiSamplerStrings strings{};
  strings[0] = "1" + p1 + p2 + p3;
  strings[1] = f1 + f2 + f3;
  EXPECT_EQ(LogSampleLine(def_, {source_}, {&strings}), " 1" + p1 + p2 + f1 + f2);
  // No data: the sync column and every field show dashes behind a blank.
  const std::string dashed26 = " " + std::string(25, '-'), dashed22 = " " + std::string(21, '-');
  EXPECT_EQ(LogSampleLine(def_, {source_}, {nullptr}), " -" + dashed26 + dashed26 + dashed22 + dashed22);
  // A string that ends early: the missing field is all dashes.
  strings[1] = f1;
  EXPECT_EQ(LogSampleLine(def_, {source_}, {&strings}), " 1" + p1 + p2 + f1 + std::string(22, '-'));
}

TEST_F(LogLayoutTest, SyncTimeAndDigitalInputColumns) {
  def_.SetOption(true);
  def_.Definition(0).SetLogTypes(0x1);
  def_.Definition(0).SetLogEnabledString(3, "01");
  source_.DGICards = 2;
  source_.SyncTime = "12:00:00.1";
  const TLines header = LogHeaderLines(def_, {source_}, time_, "x");
  EXPECT_EQ(header[13], "#PC time   " + Blanks(6) + "    Sync Time" + "  DGI2   " + Right("1:1", 26) + Right("2:2", 26));
  EXPECT_EQ(header[12], "#zone local" + Blanks(6) + Blanks(13) + Blanks(9) + Right("Phase [Pd]", 26) + Blanks(26));
  TMultiSamplerStrings strings{};
  strings[0] = "0" + Right("1", 26) + Right("2", 26);
  strings[5] = " 0000000F 0000ABCD";
  EXPECT_EQ(LogSampleLine(def_, {source_}, {&strings}),
            "   12:00:00.1 0000ABCD" + Right("1", 26) + Right("2", 26));
  EXPECT_EQ(LogSampleLine(def_, {source_}, {nullptr}).substr(0, 22), " ------------ --------");
}

TEST_F(LogLayoutTest, VirtualIntervalAndSensorBlocks) {
  TSimpleLogDefinition& virt = def_.AddDefinition();
  virt.SetStringClass(sscVirtual);
  virt.SetLogTypes(1u << 11);
  virt.SetLogEnabledString(1, "1");
  TSimpleLogDefinition& ivc = def_.AddDefinition();
  ivc.SetSessionIndex(1);
  ivc.SetSourceCopy(true);
  ivc.SetLogTypes(1u << 4);
  ivc.SetLogEnabledString(1, "1");
  TSimpleLogDefinition& sensor = def_.AddDefinition();
  sensor.SetSessionIndex(2);
  sensor.SetLogTypes(1);
  sensor.SetLogEnabledString(1, "1");

  TLogSourceInfo virtSource = source_;
  virtSource.VirtualChannelCount = 1;
  virtSource.VirtualChannelNames = {"V1"};
  TLogSourceInfo ivcSource;
  ivcSource.Kind = TLogSourceKind::IntervalCounter;
  ivcSource.Letter = 'B';
  ivcSource.ConnectionString = "USB:IVC";
  ivcSource.IVCCalibration = {"1.5", "2.5"};
  ivcSource.ChannelCount = 1;
  ivcSource.ChannelNames = {"Start"};
  TLogSourceInfo sensorSource;
  sensorSource.Kind = TLogSourceKind::Sensor;
  sensorSource.Letter = 'C';
  sensorSource.ConnectionString = "DemoSensor";
  sensorSource.IntervalText = "1 s";
  sensorSource.ChannelCount = 1;
  sensorSource.ChannelNames = {"Temp"};

  const TLines lines = LogHeaderLines(def_, {source_, virtSource, ivcSource, sensorSource}, time_, "x");
  const TLines virtBlock(lines.begin() + 12, lines.begin() + 20);
  EXPECT_EQ(virtBlock, (TLines{"#Source:    [A]", "#Device:    USB:ZCT 123", "#Mode:      Phase",
                               "#Interval:  100 ms", "#Scrambler: Off", "#Virtual channels: 1", "#", "#"}));
  const TLines ivcBlock(lines.begin() + 20, lines.begin() + 28);
  EXPECT_EQ(ivcBlock, (TLines{"#Source:    [B]", "#Device:    USB:IVC", "#Mode:      IVC", "#", "#",
                              "#IVC-Calib: 1.5  2.5  ", "#", "#"}));
  const TLines sensorBlock(lines.begin() + 28, lines.begin() + 36);
  EXPECT_EQ(sensorBlock, (TLines{"#Source:    [C]", "#Device:    DemoSensor", "#", "#Interval:  1 s", "#", "#",
                                 "#", "#"}));
  const std::string columns = lines.back();
  const std::string own = Right("1:1", 26) + Right("2:2", 26) + Right("1:1", 22) + Right("2:2", 22);
  EXPECT_EQ(columns.substr(17), " S" + own + " S" + Right("1:V1", 22) + Right("1:Start", 15) + Right("1:Temp", 26));

  TMultiSamplerStrings sensorStrings{};
  sensorStrings[0] = Right("21,50", 26);
  const std::string line = LogSampleLine(def_, {source_, virtSource, ivcSource, sensorSource},
                                         {nullptr, nullptr, nullptr, &sensorStrings});
  EXPECT_EQ(line.substr(line.size() - 26), Right("21,50", 26));  // no sync marker to strip
  EXPECT_EQ(line.substr(line.size() - 41, 15), " " + std::string(14, '-'));
}

// A stored bit set with types its source does not deliver (from an older or edited settings file)
// is written as the source's own types: no slices of other quantities in its columns, and a
// column line exactly as long as the data lines.
TEST(LogLayoutTypes, OnlyTheTypesASourceDeliversInItsClassAreWritten) {
  struct TCase {
    TLogSourceKind Kind;
    TSamplerStringClass Class;
    uint32_t Delivered;
  };
  const TCase cases[] = {
      {TLogSourceKind::Counter, sscStandard, 0x80CF},  {TLogSourceKind::Counter, sscVirtual, 0x33C00},
      {TLogSourceKind::Counter, sscSpecial, 0x80CF},   {TLogSourceKind::IntervalCounter, sscStandard, 0x30},
      {TLogSourceKind::IntervalCounter, sscVirtual, 0x4000}, {TLogSourceKind::Counter, sscAvgShort, 0x100},
  };
  TLogSourceInfo source;
  source.ChannelCount = 2;
  source.VirtualChannelCount = 2;
  source.ChannelNames = {"1", "2"};
  source.VirtualChannelNames = {"1", "2"};
  TMultiSamplerStrings strings;
  for (size_t slot = 0; slot < strings.size(); ++slot) strings[slot] = std::string(60, static_cast<char>('a' + slot));
  const TLogTimeSettings time;
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(c.Kind) << " class " << int(c.Class));
    source.Kind = c.Kind;
    const auto definition = [&](uint32_t types) {
      TLogDefinition def;
      TSimpleLogDefinition& simple = def.AddDefinition();
      simple.SetStringClass(c.Class);
      simple.SetLogTypes(types);
      simple.SetLogEnabledString(1, "11");
      return def;
    };
    const TLogDefinition stored = definition(0xFFFFFFFF), own = definition(c.Delivered);
    const TLines header = LogHeaderLines(stored, {source}, time, "x");
    EXPECT_EQ(header, LogHeaderLines(own, {source}, time, "x"));
    const std::string line = LogSampleLine(stored, {source}, {&strings});
    EXPECT_EQ(line, LogSampleLine(own, {source}, {&strings}));
    EXPECT_EQ(time.Format.size() + line.size(), header.back().size());
  }
}

TEST(LogChannelCaption, DifferenceCaptionsShortenToFit) {
  std::array<std::string, kLogChannels> names{};
  names[0] = "Maser";
  names[1] = "Hydrogen";
  names[2] = "A very long channel name";
  struct Case {
    int bit;
    int channel;
    std::string expected;
  };
  const Case cases[] = {
      {2, 2, "Hydrogen - Maser"},  {2, 3, "3 - 1"}, {16, 2, "Hydrogen - Maser"},
      {6, 1, "Maser - Maser"},     {6, 2, "Hydrogen - Maser"}, {6, 3, "3 - 2"},
      {0, 2, "2:Hydrogen"},        {0, 3, "A very long channel name"},
      {1, 3, "A very long channel na"},  // cut to the width of 22
      {5, 2, "Hydrogen - 1"},      {5, 3, "3 - 1"},
  };
  for (const Case& c : cases) {
    const TLogColumnType type = LogColumnType(c.bit, TLogSourceKind::Counter);
    const std::string caption = LogChannelCaption(type, c.channel, names);
    EXPECT_EQ(caption.size(), static_cast<size_t>(type.Width));
    EXPECT_EQ(caption.substr(caption.find_first_not_of(' ')), c.expected) << "bit " << c.bit << " ch " << c.channel;
  }
}

TEST(LogLine, DecimalSeparatorOfALine) {
  EXPECT_EQ(LineDecimalSeparator(" 1    12.5    1,5"), ',');
  EXPECT_EQ(LineDecimalSeparator(" 1    12.5"), '.');
  EXPECT_EQ(LineDecimalSeparator(" -  -----"), 0);
  EXPECT_EQ(LogMessageLine("Source A closed"), "# # Source A closed #");
}

TEST(LogTime, PcTimeTextFollowsFormatAndZone) {
  using namespace std::chrono;
  TManualClock clock(sys_days{year{2026} / December / day{8}} + hours{13} + minutes{5} + seconds{9} +
                     milliseconds{42});
  EXPECT_EQ(PcLogTimeString(clock, {"YYMMDD HHNNSS,ZZZ", false, true}), "261208 130509,042");
}

}  // namespace
