#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "acquisition/MultiSource.h"
#include "support/FrameBuilder.h"
#include "support/PtyPair.h"
#include "acquisition/SourceTestSupport.h"

using namespace std::chrono_literals;

namespace {

// Tenth-second timestamps; whole seconds give "7015; " + seconds.
std::string Timestamp(uint8_t tenths) { return std::string("\x70\x16\x00\x00\x00", 5) + static_cast<char>(tenths); }

// A source opened with "<pty>:115200" through the interface; the test plays a Coldfire instrument
// on the other end of the line.
class SerialSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps)";
    ASSERT_EQ(pair.Error(), "");
    instrument = std::make_unique<TPtyEnd>(pair.InstrumentPath());
    ASSERT_TRUE(instrument->IsOpen());
    id = Multi_AddSource();
    std::string reply;
    ASSERT_EQ(OpenSource(id, pair.HostPath() + ":115200", &reply), 1) << reply;
    EXPECT_EQ(instrument->Read(2), std::string("\x01\xBE", 2));
  }
  void TearDown() override {
    if (id >= 0) Multi_CloseConnection(id);
  }

  // Reads until a report or an error comes; the last read when none does within two seconds.
  TRead NextReport() {
    TRead read{1, ""};
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      read = ReadText(id);
      if (!read.Text.empty() || read.Code != 1) return read;
      std::this_thread::sleep_for(1ms);
    }
    return read;
  }

  // Lets the source take its turns without a report coming (command echo and its acknowledgement).
  void Turns(int count) {
    for (int i = 0; i < count; ++i) {
      ReadText(id);
      std::this_thread::sleep_for(1ms);
    }
  }

  // The host's next answer byte; wake-up bytes (0xBC, sent while the line was quiet) are skipped.
  std::string Answer(int timeoutMs = 2000) {
    for (;;) {
      const std::string byte = instrument->Read(1, timeoutMs);
      if (byte != "\xBC") return byte;
    }
  }

  TPtyPair pair;
  std::unique_ptr<TPtyEnd> instrument;
  int32_t id = -1;
};

TEST_F(SerialSourceTest, ReportsArriveAsTextLinesAndAreAcknowledged) {
  instrument->Write("\x01" + SerialFrame(Timestamp(10), '\xBF'));
  const TRead first = NextReport();
  EXPECT_EQ(first.Code, 1);
  EXPECT_EQ(first.Text, "7015; 1");
  EXPECT_EQ(Answer(), "\xBF");
  instrument->Write(SerialFrame(Timestamp(20), '\xBD'));
  EXPECT_EQ(NextReport().Text, "7015; 2");
  EXPECT_EQ(Answer(), "\xBD");
  EXPECT_EQ(Multi_IsOpen(id), 1);
}

TEST_F(SerialSourceTest, CommandGoesOutInPlaceOfTheNextAcknowledgement) {
  instrument->Write("\x01" + SerialFrame(Timestamp(10), '\xBF'));
  NextReport();
  EXPECT_EQ(Answer(), "\xBF");
  char cmd[MULTI_BUFFER_SIZE] = {0x01};  // the version command
  ASSERT_EQ(Multi_SendCommand(id, cmd, 1), 1) << cmd;
  instrument->Write(SerialFrame(Timestamp(20), '\xBD'));
  NextReport();
  EXPECT_EQ(Answer(), "\x01");  // the command instead of the acknowledgement
  instrument->Write("\x01");             // its echo
  std::string ack;
  for (int i = 0; i < 200 && ack.empty(); ++i) {
    Turns(1);
    ack = Answer(5);
  }
  EXPECT_EQ(ack, "\xBD");  // the held-back acknowledgement follows the echo
  EXPECT_EQ(Multi_GetPendingCmdsCount(id), 0);
}

TEST_F(SerialSourceTest, UnpluggingReportsTheInterruption) {
  instrument->Write("\x01" + SerialFrame(Timestamp(10), '\xBF'));
  NextReport();
  pair.Unplug();
  const TRead read = NextReport();
  EXPECT_NE(read.Code, 1);
  EXPECT_EQ(read.Text, "Data transfer interrupted. Please check connection cable");
  EXPECT_EQ(Multi_IsOpen(id), 1);  // the source keeps trying to reopen the port
}

}  // namespace
