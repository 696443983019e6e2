#include "logging/MultiSampler.h"

#include <gtest/gtest.h>

#include "core/QV_NumberText.h"

#include <chrono>

#include "core/App_Settings.h"
#include "support/TempDir.h"

#include <algorithm>

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// A session as the multi-sampler sees it; tests set its properties directly.
class TFakeSource : public ISamplerSource {
 public:
  TFakeSource(int32_t index, int32_t intervalMs, int32_t sessionType = 0, uint32_t serial = 0x1234)
      : FIndex(index), FInterval(intervalMs), FType(sessionType), FSerial(serial) {
    Info.Kind = sessionType == 0 ? TLogSourceKind::Counter : TLogSourceKind::Sensor;
    Info.Letter = static_cast<char>('A' + index);
    Info.ChannelCount = sessionType == 0 ? 2 : 1;
  }
  int32_t Index() const override { return FIndex; }
  bool IsCopy() const override { return false; }
  int32_t SessionType() const override { return FType; }
  int32_t IntervalMs() const override { return FInterval; }
  uint32_t SerialNumber() const override { return FSerial; }
  bool IntervalCounterOnly() const override { return false; }
  TDateTime GetDateTime() const override { return DateTime; }
  TLogSourceInfo SourceInfo() const override { return Info; }
  void AddSamplerLogTypes(uint32_t types) override { LogTypes |= types; }
  void ResetSamplerLogTypes() override { LogTypes = 0; }

  TLogSourceInfo Info;
  TDateTime DateTime = 46000.5;  // 2025-12-09 12:00
  uint32_t LogTypes = 0;
  int32_t FIndex;
  int32_t FInterval;
  int32_t FType;
  uint32_t FSerial;
};

struct TMessage {
  TMsgType Type;
  int32_t Code;
  std::string Text;
  bool operator==(const TMessage&) const = default;
};
void PrintTo(const TMessage& m, std::ostream* os) { *os << int(m.Type) << "/" << m.Code << " " << m.Text; }

constexpr uint32_t kFrequency = 1u << 1;
constexpr int kFreqWidth = 22;

std::string Field(const std::string& text, int width = kFreqWidth) {
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

// A counter's set: sync marker in slot 0, two frequencies in slot 1, the time text in slot 9.
TMultiSamplerStrings CounterSet(const std::string& time, const std::string& f1, const std::string& f2) {
  TMultiSamplerStrings s;
  s[0] = "1" + Field("0.0", 26) + Field("0.0", 26);
  s[1] = Field(f1) + Field(f2);
  s[9] = time;
  return s;
}

std::vector<std::string> SplitLines(const std::string& text) { return SplitTextList(text, "\r\n"); }

class MultiSamplerTest : public ::testing::Test {
 protected:
  MultiSamplerTest() : clock_(sys_days{year{2026} / December / day{8}} + 10h) {
    TMultiSamplerConfig config;
    config.Clock = &clock_;
    config.Time = {"HHNNSS", false, true};
    config.DecimalSeparator = '.';
    config.ProgramFolder = dir_.Path();
    config.OnMsg = [this](TMsgType type, int32_t code, const std::string& text) {
      messages_.push_back({type, code, text});
    };
    sampler_ = std::make_unique<TMultiSampler>(std::move(config));
  }

  // A simple definition of frequencies of channels 1 and 2 (sensors: their one value).
  static TSimpleLogDefinition Simple(int32_t sIndex, uint32_t types = kFrequency) {
    TSimpleLogDefinition simple;
    simple.SetSessionIndex(sIndex);
    simple.SetLogTypes(types);
    simple.SetLogEnabledString(1, "11");
    return simple;
  }

  int AddDefinition(const std::vector<TSimpleLogDefinition>& simples, bool header = false,
                    const std::string& name = "Freq.txt") {
    auto def = std::make_unique<TLogDefinition>();
    def->SetFileName(dir_.File(name));
    def->SetAddHeader(header);
    for (const auto& simple : simples) def->AddDefinition(simple);
    return sampler_->AddDefinition(std::move(def));
  }

  void Sources(std::vector<ISamplerSource*> list) { sampler_->UpdateSessionList(list); }

  // The data lines of file n (1, 2, ...) of the day of the fake sources.
  std::vector<std::string> FileLines(int n = 1, const std::string& body = "Freq") {
    return SplitLines(ReadWholeFile(dir_.File(body + "_251209_" + std::to_string(n) + ".txt")));
  }

  TTempDir dir_;
  TManualClock clock_;
  std::vector<TMessage> messages_;
  std::unique_ptr<TMultiSampler> sampler_;
};

TEST_F(MultiSamplerTest, OneCounterWritesOneLinePerReport) {
  TFakeSource a(0, 100);
  Sources({&a});
  AddDefinition({Simple(0)});
  EXPECT_EQ(a.LogTypes, kFrequency);  // the store builds only what is logged
  sampler_->AddStrings(0, false, CounterSet("t1", "10.5", "20.5"));
  sampler_->AddStrings(0, false, CounterSet("t2", "10.6", "20.6"));
  sampler_->AddStrings(0, false, CounterSet("t3", "10.7", "20.7"));
  const std::vector<std::string> expected{"t1 1" + Field("10.5") + Field("20.5"),
                                          "t2 1" + Field("10.6") + Field("20.6"),
                                          "t3 1" + Field("10.7") + Field("20.7")};
  EXPECT_EQ(FileLines(), expected);
  EXPECT_EQ(sampler_->FileName(0), dir_.File("Freq_251209_1.txt"));
}

TEST_F(MultiSamplerTest, WithAHeaderTheFileStartsWithItsHeaderAndTheColumnLine) {
  TFakeSource a(0, 100);
  a.Info.FriendlyName = "Maser";
  Sources({&a});
  AddDefinition({Simple(0)}, true);
  sampler_->AddStrings(0, false, CounterSet("t1", "10.5", "20.5"));
  const auto lines = FileLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "#Filename:  " + dir_.File("Freq.txt"));
  EXPECT_EQ(lines[1], "#Message:   First create");
  EXPECT_EQ(lines[4], "#Source:    [A: Maser]");
  EXPECT_EQ(lines.back(), "t1 1" + Field("10.5") + Field("20.5"));
}

TEST_F(MultiSamplerTest, AFasterSecondSourceGivesOneReportPerLineAtTheMainPaceWithoutAveraging) {
  TFakeSource a(0, 1000);
  TFakeSource b(1, 100);
  Sources({&a, &b});
  AddDefinition({Simple(0), Simple(1)});
  // Two counters: lines start at a common time stamp, with the reports that follow it.
  sampler_->AddTimeStamp(0, false, 10);
  sampler_->AddTimeStamp(1, false, 10);
  auto feedB = [&](int from, int to) {
    for (int k = from; k <= to; ++k) sampler_->AddStrings(1, false, CounterSet("b", std::to_string(k), "0"));
  };
  feedB(1, 9);
  sampler_->AddStrings(0, false, CounterSet("a1", "1", "1"));
  EXPECT_EQ(messages_.size(), 0u) << "no line before the faster source has a whole interval";
  feedB(10, 10);
  feedB(11, 20);
  sampler_->AddStrings(0, false, CounterSet("a2", "2", "2"));
  feedB(21, 30);
  sampler_->AddStrings(0, false, CounterSet("a3", "3", "3"));
  const auto part = [](const std::string& a, const std::string& b) {
    return " 1" + Field(a) + Field(a) + " 1" + Field(b) + Field("0");
  };
  const std::vector<std::string> expected{"a1" + part("1", "1"), "a2" + part("2", "11"), "a3" + part("3", "21")};
  EXPECT_EQ(FileLines(), expected);
}

TEST_F(MultiSamplerTest, ASlowerSensorRepeatsItsValueUntilItsNextIntervalAndKeepsItsLastReport) {
  TFakeSource a(0, 100);
  TFakeSource s(1, 1000, 1);
  Sources({&a, &s});
  AddDefinition({Simple(0), Simple(1, 1)});
  sampler_->AddString(1, false, Field("21.5", 26));
  for (int k = 1; k <= 10; ++k) sampler_->AddStrings(0, false, CounterSet("a" + std::to_string(k), "1", "1"));
  sampler_->AddString(1, false, Field("22.5", 26));
  sampler_->AddStrings(0, false, CounterSet("a11", "1", "1"));
  const auto lines = FileLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "a1 1" + Field("1") + Field("1") + Field("21.5", 26));
  EXPECT_EQ(lines[9], "a10 1" + Field("1") + Field("1") + Field("21.5", 26));
  EXPECT_EQ(lines[10], "a11 1" + Field("1") + Field("1") + Field("22.5", 26));
}

TEST_F(MultiSamplerTest, ASensorWithoutAnyValueYetGivesDashesAndDoesNotHoldBackTheLines) {
  TFakeSource a(0, 100);
  TFakeSource s(1, 1000, 1);
  Sources({&a, &s});
  AddDefinition({Simple(0), Simple(1, 1)});
  sampler_->AddStrings(0, false, CounterSet("a1", "1", "1"));
  sampler_->AddStrings(0, false, CounterSet("a2", "2", "2"));
  sampler_->AddString(1, false, Field("21.5", 26));
  sampler_->AddStrings(0, false, CounterSet("a3", "3", "3"));
  const std::string noValue = " " + std::string(25, '-');
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"a1 1" + Field("1") + Field("1") + noValue,
                                                   "a2 1" + Field("2") + Field("2") + noValue,
                                                   "a3 1" + Field("3") + Field("3") + Field("21.5", 26)}));
}

TEST_F(MultiSamplerTest, TwoDefinitionsReadingOneSourceEachGetEveryReport) {
  TFakeSource a(0, 100);
  Sources({&a});
  AddDefinition({Simple(0)}, false, "One.txt");
  sampler_->AddStrings(0, false, CounterSet("t1", "1", "1"));
  AddDefinition({Simple(0)}, false, "Two.txt");
  sampler_->AddStrings(0, false, CounterSet("t2", "2", "2"));
  sampler_->AddStrings(0, false, CounterSet("t3", "3", "3"));
  EXPECT_EQ(FileLines(1, "One").size(), 3u);
  const auto two = FileLines(1, "Two");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].substr(0, 2), "t2");
  EXPECT_EQ(two[1].substr(0, 2), "t3");
}

TEST_F(MultiSamplerTest, TwoCountersWaitForATimeStampAndStartWithTheReportAfterIt) {
  TFakeSource a(0, 100, 0, 0x1111);
  TFakeSource b(1, 100, 0, 0x2222);
  Sources({&a, &b});
  AddDefinition({Simple(0), Simple(1)});
  EXPECT_TRUE(sampler_->TimeSynchroNeeded(0));
  sampler_->AddStrings(0, false, CounterSet("a1", "1", "1"));
  sampler_->AddStrings(1, false, CounterSet("b1", "1", "1"));
  EXPECT_TRUE(messages_.empty()) << "no line before a time stamp";
  sampler_->AddTimeStamp(0, false, 10);
  sampler_->AddTimeStamp(1, false, 10);
  sampler_->AddStrings(0, false, CounterSet("a2", "2", "2"));
  sampler_->AddStrings(1, false, CounterSet("b2", "2", "2"));
  sampler_->AddStrings(1, false, CounterSet("b3", "3", "3"));
  sampler_->AddStrings(0, false, CounterSet("a3", "3", "3"));
  const auto part = [](const std::string& v) { return " 1" + Field(v) + Field(v); };
  const std::vector<std::string> expected{"a2" + part("2") + part("2"), "a3" + part("3") + part("3")};
  EXPECT_EQ(FileLines(), expected);
}

// Two counters, the main one at 100 ms and a faster one at 50 ms, each sending a time stamp every
// 100 ms before the report of that instant. Each line pairs the reports of one instant, whichever
// counter is read first.
TEST_F(MultiSamplerTest, AFasterSecondCounterIsPairedWithTheReportOfTheSameInstant) {
  for (const bool mainFirst : {true, false}) {
    SCOPED_TRACE(mainFirst ? "main read first" : "faster read first");
    TTempDir dir;
    TFakeSource a(0, 100, 0, 0x1111);
    TFakeSource b(1, 50, 0, 0x2222);
    Sources({&a, &b});
    auto def = std::make_unique<TLogDefinition>();
    def->SetFileName(dir.File("AB.txt"));
    def->SetAddHeader(false);
    def->AddDefinition(Simple(0));
    def->AddDefinition(Simple(1));
    sampler_->AddDefinition(std::move(def));
    const auto set = [](int ms) { return CounterSet("t" + std::to_string(ms), std::to_string(ms), "0"); };
    const auto readA = [&](int ms) {
      sampler_->AddTimeStamp(0, false, ms / 100);
      sampler_->AddStrings(0, false, set(ms));
    };
    const auto readB = [&](int ms) {
      sampler_->AddTimeStamp(1, false, ms / 100);
      sampler_->AddStrings(1, false, set(ms));
    };
    for (int ms = 1000; ms < 3000; ms += 100) {
      if (mainFirst) readA(ms);
      readB(ms);
      if (!mainFirst) readA(ms);
      sampler_->AddStrings(1, false, set(ms + 50));
    }
    const auto lines = SplitLines(ReadWholeFile(dir.File("AB_251209_1.txt")));
    ASSERT_GE(lines.size(), 15u);
    for (const std::string& line : lines) {
      const std::string time = line.substr(1, 4);
      EXPECT_EQ(line, "t" + time + " 1" + Field(time) + Field("0") + " 1" + Field(time) + Field("0"));
    }
    Sources({});
  }
}

TEST_F(MultiSamplerTest, TwoCountersWithoutAKnownSerialNumberWriteNothing) {
  TFakeSource a(0, 100, 0, 0x1111);
  TFakeSource b(1, 100, 0, kSamplerSerialUnknown);
  Sources({&a, &b});
  AddDefinition({Simple(0), Simple(1)});
  sampler_->AddTimeStamp(0, false, 10);
  sampler_->AddTimeStamp(1, false, 10);
  for (int k = 0; k < 3; ++k) {
    sampler_->AddStrings(0, false, CounterSet("a", "1", "1"));
    sampler_->AddStrings(1, false, CounterSet("b", "1", "1"));
  }
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(sampler_->FileName(0), "");
}

TEST_F(MultiSamplerTest, DisableClosesAndEnableOpensANewFileWithTheMessages) {
  TFakeSource a(0, 100);
  Sources({&a});
  EXPECT_FALSE(sampler_->LogFileActive());
  AddDefinition({Simple(0)});
  EXPECT_TRUE(sampler_->LogFileActive());
  sampler_->AddStrings(0, false, CounterSet("t1", "1", "1"));
  const std::string first = dir_.File("Freq_251209_1.txt");
  sampler_->SetEnabled(0, false);
  EXPECT_FALSE(sampler_->LogFileActive());
  sampler_->AddStrings(0, false, CounterSet("t2", "2", "2"));  // not logged
  sampler_->SetEnabled(0, true);
  sampler_->AddStrings(0, false, CounterSet("t3", "3", "3"));
  const std::vector<TMessage> expected{{mtInfo, 91, "Log opened " + first},
                                       {mtInfo, 92, "Log closed " + first},
                                       {mtInfo, 91, "Log opened " + dir_.File("Freq_251209_2.txt")}};
  EXPECT_EQ(messages_, expected);
  EXPECT_EQ(FileLines(1).size(), 1u);
  ASSERT_EQ(FileLines(2).size(), 1u);
  EXPECT_EQ(FileLines(2)[0].substr(0, 2), "t3") << "the first line after opening is the newest report";
}

// A definition whose file cannot be made, before or after a healthy one: the healthy one writes
// every report at once, the caller sees no error, the user one message.
TEST_F(MultiSamplerTest, AFileThatCannotBeWrittenStopsOnlyItsOwnDefinition) {
  for (const bool brokenFirst : {true, false}) {
    SCOPED_TRACE(brokenFirst ? "broken first" : "broken second");
    TTempDir dir;
    TFakeSource a(0, 100);
    Sources({&a});
    WriteWholeFile(dir.File("blocker"), "x");
    const auto add = [&](const std::string& name) {
      auto def = std::make_unique<TLogDefinition>();
      def->SetFileName(dir.File(name));
      def->SetAddHeader(false);
      def->AddDefinition(Simple(0));
      return sampler_->AddDefinition(std::move(def));
    };
    if (brokenFirst) add("blocker/Freq.txt");  // a file stands where the folder should be
    add("Good.txt");
    if (!brokenFirst) add("blocker/Freq.txt");
    messages_.clear();
    for (int k = 1; k <= 200; ++k)
      EXPECT_NO_THROW(sampler_->AddStrings(0, false, CounterSet("t" + std::to_string(k), "1", "1")));
    EXPECT_EQ(SplitLines(ReadWholeFile(dir.File("Good_251209_1.txt"))).size(), 200u) << "nothing held back";
    const auto errors = std::ranges::count_if(messages_, [](const TMessage& m) { return m.Type == mtError; });
    EXPECT_EQ(errors, 1);
    EXPECT_NE(messages_[brokenFirst ? 0 : 1].Text.find(dir.File("blocker/")), std::string::npos);
    Sources({});
  }
}

TEST_F(MultiSamplerTest, SessionEventsCloseWithTheirReasonOrWriteAMessageLine) {
  TFakeSource a(0, 100);
  Sources({&a});
  AddDefinition({Simple(0)});  // no header
  sampler_->AddStrings(0, false, CounterSet("t1", "1", "1"));
  sampler_->UpdateSession(0, false, SE_ReSyncOrLinesLost, "Resynchronised");
  sampler_->AddWarning(0, false, "Clock warning");
  sampler_->UpdateSession(0, false, SE_NamesChanged, "");  // only files with a header
  sampler_->AddStrings(0, false, CounterSet("t2", "2", "2"));
  sampler_->UpdateSession(0, false, SE_DeviceError, "");
  const std::vector<std::string> expected{"t1 1" + Field("1") + Field("1"), "t1# # Resynchronised #",
                                          "t1# # Clock warning #", "t2 1" + Field("2") + Field("2")};
  EXPECT_EQ(FileLines(), expected);
  EXPECT_EQ(messages_.back(),
            (TMessage{mtInfo, 92, "Log closed (Source A Device error message received): " +
                                      dir_.File("Freq_251209_1.txt")}));
}

TEST_F(MultiSamplerTest, DataClearedStartsAgainWithTheOldestNewReport) {
  TFakeSource a(0, 100);
  TFakeSource s(1, 100, 1);
  Sources({&a, &s});
  AddDefinition({Simple(0), Simple(1, 1)});
  sampler_->AddString(1, false, "x");
  sampler_->AddStrings(0, false, CounterSet("t1", "1", "1"));
  sampler_->UpdateSession(0, false, SE_DataCleared, "");
  sampler_->UpdateSession(1, false, SE_DataCleared, "");
  // The sensor's value went with the clear: its fields read "-" until the next one.
  sampler_->AddStrings(0, false, CounterSet("t2", "2", "2"));
  sampler_->AddStrings(0, false, CounterSet("t3", "3", "3"));
  sampler_->AddString(1, false, "y");
  sampler_->AddStrings(0, false, CounterSet("t4", "4", "4"));
  const auto lines = FileLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 2), "t2");
  EXPECT_EQ(lines[2].substr(0, 2), "t3");
  EXPECT_TRUE(lines[1].ends_with(std::string(25, '-'))) << lines[1];
  EXPECT_TRUE(lines[3].starts_with("t4") && lines[3].ends_with(Field("y", 26))) << lines[3];
}

TEST_F(MultiSamplerTest, TheWritersOwnerAnswersFromTheMainSourceAndTheClock) {
  TFakeSource a(0, 100);
  a.Info.FriendlyName = "Maser";
  Sources({&a});
  TLogDefinition def;
  def.AddDefinition(Simple(0));
  EXPECT_EQ(sampler_->GetMainDateTime(def), a.DateTime);
  EXPECT_EQ(sampler_->GetTimeString(), "100000");
  const auto header = sampler_->GetHeader(def, "Because");
  EXPECT_EQ(header[1], "#Message:   Because");
  EXPECT_EQ(header[4], "#Source:    [A: Maser]");
  TLogDefinition orphan;
  orphan.AddDefinition(Simple(5));
  EXPECT_DOUBLE_EQ(sampler_->GetMainDateTime(orphan), WallToDateTime(clock_.Wall(), false));
  sampler_->AddLogMessage(mtError, 92, "x");
  EXPECT_EQ(messages_.back(), (TMessage{mtError, 92, "x"}));
}

TEST_F(MultiSamplerTest, RemovingASourceRemovesItsSimpleDefinitionsAndEmptiedDefinitions) {
  TFakeSource a(0, 100);
  TFakeSource b(1, 100);
  Sources({&a, &b});
  AddDefinition({Simple(0), Simple(1)}, false, "AB.txt");
  AddDefinition({Simple(1)}, false, "B.txt");
  Sources({&a});
  ASSERT_TRUE(sampler_->Definition(0));
  EXPECT_EQ(sampler_->Definition(0)->Count(), 1);
  EXPECT_FALSE(sampler_->Definition(1));
  EXPECT_EQ(sampler_->NextDefIndex(), 1);
}

TEST_F(MultiSamplerTest, SettingsRoundTripThroughTheLogKeys) {
  TFakeSource a(0, 100);
  Sources({&a});
  AddDefinition({Simple(0)}, true, "One.txt");
  AddDefinition({Simple(0)}, false, "Two.txt");
  sampler_->RemoveDefinition(0);
  TAppSettings settings;
  sampler_->SaveSettings(settings);
  EXPECT_EQ(settings.GetValue("Log_DefsCount", int32_t{0}), 1);
  EXPECT_EQ(settings.GetValue("Log_1_FileName", ""), dir_.File("Two.txt"));
  TMultiSampler other({});
  other.UpdateSessionList({&a});
  other.ReadSettings(settings);
  ASSERT_TRUE(other.Definition(0));
  EXPECT_EQ(other.Definition(0)->FileName(), dir_.File("Two.txt"));
  EXPECT_FALSE(other.Definition(1));
}

TEST_F(MultiSamplerTest, StopClosesFilesAndDropsTheSourcesButKeepsTheDefinitions) {
  TFakeSource a(0, 100);
  Sources({&a});
  AddDefinition({Simple(0)});
  sampler_->AddStrings(0, false, CounterSet("t1", "1", "1"));
  sampler_->Stop();
  EXPECT_EQ(sampler_->FileName(0), "");
  sampler_->AddStrings(0, false, CounterSet("t2", "2", "2"));
  EXPECT_EQ(FileLines().size(), 1u);
  EXPECT_TRUE(sampler_->Definition(0));
}

}  // namespace

// Two counters as they run: each sends its time stamp every 100 ms, just before the report of that
// instant; the faster one may have started earlier, and the reports of one instant come in
// either order. Every line pairs the reports of one instant.
TEST_F(MultiSamplerTest, CountersAtDifferentIntervalsArePairedByInstantAsTheyRun) {
  struct TCase {
    int intervalA, intervalB, startB;
    bool mainFirst, differentDevices;
  };
  const TCase cases[] = {
      {100, 50, 1000, true, false},  {100, 50, 1000, false, false}, {100, 50, 650, true, false},
      {100, 50, 650, false, true},   {100, 50, 1000, true, true},   {100, 50, 1000, false, true},
      {100, 10, 730, true, true},    {100, 10, 730, false, false},  {200, 50, 850, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("A " + std::to_string(c.intervalA) + " ms, B " + std::to_string(c.intervalB) + " ms from " +
                 std::to_string(c.startB) + (c.mainFirst ? ", A first" : ", B first") +
                 (c.differentDevices ? ", different devices" : ""));
    TTempDir dir;
    TFakeSource a(0, c.intervalA, 0, 0x1111);
    TFakeSource b(1, c.intervalB, 0, 0x2222);
    Sources({&a, &b});
    auto def = std::make_unique<TLogDefinition>();
    def->SetFileName(dir.File("AB.txt"));
    def->SetAddHeader(false);
    def->SetDifferentDevices(c.differentDevices);
    def->AddDefinition(Simple(0));
    def->AddDefinition(Simple(1));
    sampler_->AddDefinition(std::move(def));
    const auto set = [](int ms) { return CounterSet("t" + std::to_string(ms), std::to_string(ms), "0"); };
    const auto read = [&](int source, int ms) {
      if (ms % 100 == 0) sampler_->AddTimeStamp(source, false, ms / 100);
      sampler_->AddStrings(source, false, set(ms));
    };
    for (int ms = std::min(1000, c.startB); ms < 4000; ms += c.intervalB) {
      const bool aNow = ms >= 1000 && ms % c.intervalA == 0;
      if (aNow && c.mainFirst) read(0, ms);
      if (ms >= c.startB) read(1, ms);
      if (aNow && !c.mainFirst) read(0, ms);
    }
    const auto lines = SplitLines(ReadWholeFile(dir.File("AB_251209_1.txt")));
    EXPECT_GE(lines.size(), 3000u / c.intervalA - 1);
    for (const std::string& line : lines) {
      const std::string time = line.substr(1, 4);
      EXPECT_EQ(line, "t" + time + " 1" + Field(time) + Field("0") + " 1" + Field(time) + Field("0"));
    }
    Sources({});
  }
}
