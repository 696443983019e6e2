#include "logging/MultiSamplerDefinition.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/FreeFileName.h"
#include "logging/LogFileLayout.h"
#include "support/FaultyLogFiles.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

struct TMessage {
  TMsgType Type;
  int32_t Code;
  std::string Text;
  bool operator==(const TMessage&) const = default;
};

void PrintTo(const TMessage& m, std::ostream* os) { *os << int(m.Type) << "/" << m.Code << " " << m.Text; }

// The multi-sampler side: the PC clock in UTC names the files, headers carry only their message.
class TFakeOwner : public ILogFileOwner {
 public:
  explicit TFakeOwner(const TClock& clock) : FClock(clock) {}
  TDateTime GetMainDateTime(const TLogDefinition&) override { return PcLogDateTime(FClock, true); }
  std::string GetTimeString() override { return PcLogTimeString(FClock, {"HHNNSS", false, true}); }
  TDateTime GetPcDateTime() override { return PcLogDateTime(FClock, true); }
  std::string FormatLineTime(TDateTime time) override { return FormatLogTime("HHNNSS", time); }
  std::vector<std::string> GetHeader(const TLogDefinition&, const std::string& reason) override {
    return {"#Message:   " + reason};
  }
  void AddLogMessage(TMsgType type, int32_t code, const std::string& text) override {
    Messages.push_back({type, code, text});
  }
  void ResetProtocolItems(int defIndex) override { Resets.push_back(defIndex); }

  std::vector<TMessage> Messages;
  std::vector<int> Resets;

 private:
  const TClock& FClock;
};

class LogFileWriterTest : public ::testing::Test {
 protected:
  LogFileWriterTest() : clock_(sys_days{year{2026} / December / day{8}} + 23h + 59min + 58s) {}

  std::unique_ptr<TMultiSamplerDefinition> MakeWriter(const std::string& fileName, char separator = '.',
                                                      int64_t sizeLimit = 0, TLogFileFactory files = {}) {
    auto def = std::make_unique<TLogDefinition>();
    def->SetFileName(fileName);
    def->SetFileSize(sizeLimit);
    def->AddDefinition().SetLogTypes(1);
    return std::make_unique<TMultiSamplerDefinition>(-1, std::move(def), owner_, 3, separator, dir_.File("prog/"),
                                                     std::move(files));
  }

  static void Line(TMultiSamplerDefinition& writer, const std::string& s) { writer.AddLine(s); }

  TTempDir dir_;
  TManualClock clock_;
  TFakeOwner owner_{clock_};
  TFaultyLogFiles files_;
};

TEST_F(LogFileWriterTest, OpeningWritesHeaderAndLinesWithCrLfAndTellsTheUser) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  EXPECT_TRUE(writer->HeaderNeeded());
  EXPECT_EQ(writer->ResetText(), "First create");
  Line(*writer, " 1   10.5");
  writer->SetTimeString("DEVICE TIME");
  writer->WriteLine(" 0   10.6");
  const std::string name = dir_.File("Freq_A_1_261208_1.txt");
  EXPECT_EQ(writer->FileName(), name);
  EXPECT_EQ(owner_.Messages, (std::vector<TMessage>{{mtInfo, 91, "Log opened " + name}}));

  writer->Close("Source A closed");
  EXPECT_EQ(ReadWholeFile(name), "#Message:   First create\r\n235958 1   10.5\r\nDEVICE TIME 0   10.6\r\n");
  EXPECT_EQ(owner_.Messages.back(), (TMessage{mtInfo, 92, "Log closed (Source A closed): " + name}));
  EXPECT_EQ(writer->ResetText(), "Source A closed");
  EXPECT_TRUE(writer->HeaderNeeded());
  EXPECT_EQ(owner_.Resets, (std::vector<int>{3}));
}

TEST_F(LogFileWriterTest, ClosingMessagesWithoutReasonAndForErrors) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  Line(*writer, " 1 1.0");
  writer->SetEnabled(false, "Device error");
  const std::string first = dir_.File("Freq_A_1_261208_1.txt");
  EXPECT_EQ(owner_.Messages.back(), (TMessage{mtError, 92, "Log closed (Device error): " + first}));
  EXPECT_EQ(writer->ResetText(), "First create");
  writer->SetEnabled(true, "");
  Line(*writer, " 1 1.0");
  writer.reset();  // destroying the writer closes its file
  EXPECT_EQ(owner_.Messages.back(), (TMessage{mtInfo, 92, "Log closed " + dir_.File("Freq_A_1_261208_2.txt")}));
  EXPECT_TRUE(FileExists(first));
}

TEST_F(LogFileWriterTest, AFileThatStayedEmptyIsDeletedOnClose) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  writer->WriteHeader({});
  const std::string name = writer->FileName();
  EXPECT_TRUE(FileExists(name));
  writer->Close("Header changed");
  EXPECT_FALSE(FileExists(name));
  writer->WriteLine(" 1 2.0");  // no file open: dropped, nothing created
  EXPECT_FALSE(writer->IsOpen());
}

TEST_F(LogFileWriterTest, MidnightOfTheMainClockStartsANewFileWithItsDate) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  Line(*writer, " 1 1.0");
  clock_.Advance(1500ms);
  EXPECT_FALSE(writer->CheckNewFile());
  clock_.Advance(1000ms);  // 00:00:00.5 of the next day
  Line(*writer, " 1 2.0");
  const std::string first = dir_.File("Freq_A_1_261208_1.txt"), second = dir_.File("Freq_A_1_261209_1.txt");
  EXPECT_EQ(writer->FileName(), second);
  EXPECT_EQ(ReadWholeFile(first), "#Message:   First create\r\n235958 1 1.0\r\n");
  EXPECT_EQ(ReadWholeFile(second), "#Message:   New Day\r\n000000 1 2.0\r\n");
  EXPECT_EQ(owner_.Messages, (std::vector<TMessage>{{mtInfo, 91, "Log opened " + first},
                                                    {mtInfo, 92, "Log closed (New Day): " + first},
                                                    {mtInfo, 91, "Log opened " + second}}));
}

TEST_F(LogFileWriterTest, ANameClashNeverOverwritesAnExistingFile) {
  const std::string taken = dir_.File("Freq_A_1_261208_1.txt");
  WriteWholeFile(taken, "earlier run\r\n");
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  Line(*writer, " 1 1.0");
  EXPECT_EQ(writer->FileName(), dir_.File("Freq_A_1_261208_2.txt"));
  writer->Close("Header changed");
  Line(*writer, " 1 2.0");  // the same day again: the next number
  EXPECT_EQ(writer->FileName(), dir_.File("Freq_A_1_261208_3.txt"));
  EXPECT_EQ(ReadWholeFile(taken), "earlier run\r\n");
}

TEST_F(LogFileWriterTest, TheSizeLimitStartsANewFileAfterTheLineThatReachesIt) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"), '.', 60);
  Line(*writer, " 1 1.0");  // header 26 + line 14 bytes
  Line(*writer, " 1 2.0");  // 54
  Line(*writer, " 1 3.0");  // 68: reaches the limit
  EXPECT_EQ(writer->FileName(), dir_.File("Freq_A_1_261208_1.txt"));
  Line(*writer, " 1 4.0");
  EXPECT_EQ(writer->FileName(), dir_.File("Freq_A_1_261208_2.txt"));
  EXPECT_EQ(ReadWholeFile(writer->FileName()), "#Message:   File size reached\r\n235958 1 4.0\r\n");
  EXPECT_EQ(owner_.Messages[1].Text, "Log closed (File size reached): " + dir_.File("Freq_A_1_261208_1.txt"));
}

TEST_F(LogFileWriterTest, AChangedDecimalSeparatorMovesTheLineToANewFile) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"), '.');
  Line(*writer, " 1 1.0");
  Line(*writer, " 1 -  -----");  // no separator: no check
  Line(*writer, " 1 2,0");
  const std::string first = dir_.File("Freq_A_1_261208_1.txt"), second = dir_.File("Freq_A_1_261208_2.txt");
  EXPECT_EQ(ReadWholeFile(first), "#Message:   First create\r\n235958 1 1.0\r\n235958 1 -  -----\r\n");
  EXPECT_EQ(ReadWholeFile(second), "#Message:   Floating point format changed\r\n235958 1 2,0\r\n");
  EXPECT_EQ(writer->DecimalSeparator(), ',');
  EXPECT_EQ(owner_.Messages[1], (TMessage{mtInfo, 92, "Log closed (Floating point format changed): " + first}));
}

TEST_F(LogFileWriterTest, TheFirstLineFixesTheSeparatorWhenNoneIsSet) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"), 0);
  Line(*writer, " 1 1,0");
  EXPECT_EQ(writer->DecimalSeparator(), ',');
  writer->WriteMessage("Clock warning 1.5 Hz");  // message texts are no values
  EXPECT_TRUE(writer->IsOpen());
  EXPECT_EQ(writer->FileName(), dir_.File("Freq_A_1_261208_1.txt"));
  writer->Close();
  EXPECT_EQ(ReadWholeFile(dir_.File("Freq_A_1_261208_1.txt")),
            "#Message:   First create\r\n235958 1 1,0\r\n235958# # Clock warning 1.5 Hz #\r\n");
}

TEST_F(LogFileWriterTest, DefinitionAndHeaderChangesCloseWithTheirReasons) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"));
  Line(*writer, " 1 1.0");
  auto same = std::make_unique<TLogDefinition>(writer->LogDef());
  writer->ChangeDef(std::move(same));
  EXPECT_EQ(owner_.Messages.back().Text, "Log closed (Definition changed): " + dir_.File("Freq_A_1_261208_1.txt"));
  EXPECT_EQ(writer->ResetText(), "Definition changed");
  auto renamed = std::make_unique<TLogDefinition>(writer->LogDef());
  renamed->SetFileName(dir_.File("Other.txt"));
  writer->ChangeDef(std::move(renamed));
  EXPECT_EQ(writer->ResetText(), "First create");
  Line(*writer, " 1 1.0");
  EXPECT_EQ(writer->FileName(), dir_.File("Other_261208_1.txt"));
  writer->SetAddHeader(false);
  EXPECT_EQ(owner_.Messages.back().Text, "Log closed (Header changed): " + dir_.File("Other_261208_1.txt"));
  EXPECT_FALSE(writer->HeaderNeeded());
  Line(*writer, " 1 2.0");
  EXPECT_EQ(ReadWholeFile(writer->FileName()), "235958 1 2.0\r\n");
}

TEST_F(LogFileWriterTest, APatternWithoutFolderWritesIntoTheProgramFolder) {
  auto writer = MakeWriter("Freq_A_1");
  Line(*writer, " 1 1.0");
  EXPECT_EQ(writer->FileName(), dir_.File("prog/Freq_A_1_261208_1.txt"));
}

TEST_F(LogFileWriterTest, AFolderThatCannotBeMadeFailsOnlyThisWriterAndTellsTheUserOnce) {
  WriteWholeFile(dir_.File("afile"), "x");
  auto writer = MakeWriter(dir_.File("afile/logs/Freq_A_1.txt"));
  EXPECT_FALSE(writer->WriteHeader({"#Message:   First create"}));
  Line(*writer, " 1 1.0");
  Line(*writer, " 1 2.0");
  EXPECT_FALSE(writer->IsOpen());
  EXPECT_TRUE(writer->Failed());
  const std::string reason = "Invalid path " + dir_.File("afile/logs/");
  EXPECT_EQ(owner_.Messages,
            (std::vector<TMessage>{{mtError, 92, "Log closed (" + reason + "): " + dir_.File("afile/logs/Freq_A_1.txt")}}));
}

TEST_F(LogFileWriterTest, AFullDiskCutsNoLineInHalfAndTheNextDaysFileNamesTheGap) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"), '.', 0, files_.Factory());
  Line(*writer, " 1 1.0");
  const std::string first = dir_.File("Freq_A_1_261208_1.txt"), second = dir_.File("Freq_A_1_261209_1.txt");
  files_.SpaceLeft = 5;
  Line(*writer, " 1 2.0");  // only part of it fits
  EXPECT_FALSE(writer->IsOpen());
  clock_.Advance(1s);
  Line(*writer, " 1 3.0");
  files_.SpaceLeft.reset();  // space is back, but the file waits for the next new file
  Line(*writer, " 1 4.0");
  EXPECT_EQ(ReadWholeFile(first), "#Message:   First create\r\n235958 1 1.0\r\n");
  clock_.Advance(1500ms);  // 00:00:00.5
  Line(*writer, " 1 5.0");
  EXPECT_EQ(ReadWholeFile(second),
            "#Message:   New Day; Log file error (No space left on device), 3 lines missed from 235958 to 235959\r\n"
            "000000 1 5.0\r\n");
  EXPECT_EQ(owner_.Messages, (std::vector<TMessage>{{mtInfo, 91, "Log opened " + first},
                                                    {mtError, 92, "Log closed (No space left on device): " + first},
                                                    {mtInfo, 91, "Log opened " + second}}));
}

TEST_F(LogFileWriterTest, ARefusedFileIsRetriedAtTheNextNewFileAndTheUserIsToldOnce) {
  auto writer = MakeWriter(dir_.File("Freq_A_1.txt"), '.', 0, files_.Factory());
  files_.CreateError = "Permission denied";  // a read-only folder
  Line(*writer, " 1 1.0");
  Line(*writer, " 1 2.0");
  writer->ChangeDef(std::make_unique<TLogDefinition>(writer->LogDef()));  // retried: refused again
  Line(*writer, " 1 3.0");
  files_.CreateError.clear();
  writer->SetAddHeader(false);  // the next user action opens a file that names the gap
  Line(*writer, " 1 4.0");
  const std::string name = dir_.File("Freq_A_1_261208_1.txt");
  EXPECT_EQ(ReadWholeFile(name),
            "#Message:   Header changed; Log file error (Permission denied), 3 lines missed from 235958 to 235958\r\n"
            "235958 1 4.0\r\n");
  EXPECT_EQ(owner_.Messages, (std::vector<TMessage>{{mtError, 92, "Log closed (Permission denied): " + name},
                                                    {mtInfo, 91, "Log opened " + name}}));
}

}  // namespace
