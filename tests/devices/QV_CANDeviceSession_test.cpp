#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "acquisition/QVSessionTestSupport.h"
#include "acquisition/SourceTestSupport.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_CANDeviceMenloItem.h"
#include "devices/SocketCanAdapter.h"
#include "devices/VirtualCanBus.h"
#include "support/FrameBuilder.h"

using namespace std::chrono_literals;

namespace {

// A phase of x seconds as the Coldfire firmware packs it with exponent e.
std::string Value(double x, int e = 1) { return ColdfireValue(e, uint64_t(std::ldexp(x, 35 - e))); }

std::string Second(uint8_t n) { return UsbFrame(ReportCode(0x7015) + std::string("\x00\x00\x00", 3) + char(n)); }

// A second's timestamp before each of `count` one-channel measurements, as a counter sends them.
std::string TimedReports(int count) {
  std::string stream;
  for (int n = 1; n <= count; ++n) stream += Second(uint8_t(n)) + UsbFrame(ReportCode(0x0900) + Value(0.25 * n));
  return stream;
}

// Three measurements of one channel and a timestamp, as USB frames.
std::string Reports() {
  std::string stream;
  for (int n = 1; n <= 3; ++n) stream += UsbFrame(ReportCode(0x0900) + Value(0.25 * n));
  stream += Second(7);
  return stream;
}

// A source opened with a "CAN:" string reads an instrument on the virtual bus end to end: adapter,
// reader, device, decoder and report processing.
class CANSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TMenloSetup setup;
    setup.CreateAdapter = [](int32_t logId) { return std::make_unique<TSocketCanAdapter>(logId, "can0", "virtualcan"); };
    TMenloItem::SetSetup(setup);
  }
  void TearDown() override {
    if (id >= 0) Multi_CloseConnection(id);
    TMenloItem::SetSetup({});
  }

  std::vector<std::string> ReadReports(size_t count) {
    std::vector<std::string> lines;
    for (const auto end = std::chrono::steady_clock::now() + 3s;
         lines.size() < count && std::chrono::steady_clock::now() < end;) {
      const TRead read = ReadText(id);
      EXPECT_EQ(read.Code, 1) << read.Text;
      if (!read.Text.empty()) lines.push_back(read.Text);
      std::this_thread::sleep_for(1ms);
    }
    return lines;
  }

  TVirtualCanLock lock;
  int32_t id = -1;
};

TEST_F(CANSessionTest, AnInstrumentOnTheBusDeliversItsMeasurements) {
  TVirtualCanInstrument instrument(0xF, 0, Reports());
  ASSERT_TRUE(instrument.Connected());
  id = Multi_AddSource();
  std::string reply;
  ASSERT_EQ(OpenSource(id, "CAN:MENLOF CHANNEL0 TYPE=0x20", &reply), 1) << reply;
  EXPECT_EQ(Multi_IsOpen(id), 1);
  const std::vector<std::string> lines = ReadReports(4);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "0900;             0.25000000000");
  EXPECT_EQ(lines[1], "0900;             0.50000000000");
  EXPECT_EQ(lines[2], "0900;             0.75000000000");
  EXPECT_EQ(lines[3], "7015; 7");
  ASSERT_TRUE(instrument.WaitCommands(1));
  EXPECT_EQ(instrument.Commands().front(), std::string("\x01\xBE", 2));

  Multi_CloseConnection(id);
  id = -1;
  ASSERT_TRUE(instrument.WaitCommands(2));
  EXPECT_EQ(instrument.Commands().back(), std::string("\x02\x85\x60", 3));
}

TEST_F(CANSessionTest, ABadCanAddressIsAFormatError) {
  id = Multi_AddSource();
  std::string reply;
  EXPECT_EQ(OpenSource(id, "CAN:MENLOG", &reply), 0);
  EXPECT_EQ(reply, "Invalid CAN address: CAN:MENLOG");
}

// A counter session on the same bus: the measurements reach its data store, which the views read,
// and the multi-sampler, which writes the log files.
class CANCounterSessionTest : public CANSessionTest, public QVSessionFixture {};

TEST_F(CANCounterSessionTest, MeasurementsReachTheStoreAndTheLogs) {
  TVirtualCanInstrument instrument(0xF, 0, TimedReports(20));
  ASSERT_TRUE(instrument.Connected());
  // The instrument here answers the log-on only, not the buffer clearing of the start-up.
  session->SetClearBufferOnStart(false);
  session->SetOpenParams("CAN:MENLOF CHANNEL0 TYPE=0x20", ctCAN, kDefaultSessionColor, "");
  opened = session->OpenDevice();
  ASSERT_EQ(opened, "");
  for (const auto end = std::chrono::steady_clock::now() + 3s;
       session->ZCT_DM().Count(hsNone) < 20 && std::chrono::steady_clock::now() < end;) {
    Poll();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(session->ZCT_DM().Count(hsNone), 20);
  EXPECT_EQ(session->ZCT_DM().ChannelCount(), 1);
  EXPECT_GT(sampler.Sets, 0);
}

}  // namespace
