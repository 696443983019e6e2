#include "devices/QV_Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "core/QV_NumberText.h"
#include "support/LogCapture.h"

namespace {

// One demo frame as the decoder's demo path cuts it: FB FB FB FB measurements (header bytes,
// channel count, doubles) and FB FB FB FC reports (code, length, data).
struct TFrame {
  bool measurement = false;
  uint16_t header = 0;  // measurement header bytes 4-5, or the report code
  std::string data;     // report data
  std::vector<double> values;

  bool IsTimestamp() const { return !measurement && header == 0x7016; }
  bool IsMeasurement() const { return measurement && header >> 8 != 0x79; }
  bool IsIVC() const { return measurement && header >> 8 == 0x79; }
  uint32_t Counter() const {
    uint32_t value = 0;
    for (char c : data) value = (value << 8) | static_cast<uint8_t>(c);
    return value;
  }
};

double LittleEndianDouble(const std::string& bytes, size_t pos) {
  uint64_t bits = 0;
  for (size_t i = 8; i-- > 0;) bits = (bits << 8) | static_cast<uint8_t>(bytes[pos + i]);
  return std::bit_cast<double>(bits);
}

std::vector<TFrame> ParseFrames(const std::string& bytes) {
  std::vector<TFrame> frames;
  size_t pos = 0;
  while (pos + 7 <= bytes.size()) {
    EXPECT_EQ(bytes.substr(pos, 3), "\xFB\xFB\xFB") << "at " << pos;
    TFrame frame;
    frame.measurement = static_cast<uint8_t>(bytes[pos + 3]) == 0xFB;
    EXPECT_TRUE(frame.measurement || static_cast<uint8_t>(bytes[pos + 3]) == 0xFC);
    frame.header = static_cast<uint16_t>(static_cast<uint8_t>(bytes[pos + 4]) << 8 | static_cast<uint8_t>(bytes[pos + 5]));
    const size_t count = static_cast<uint8_t>(bytes[pos + 6]);
    const size_t length = frame.measurement ? 8 * count : count;
    EXPECT_LE(pos + 7 + length, bytes.size());
    if (pos + 7 + length > bytes.size()) break;
    if (frame.measurement) {
      for (size_t i = 0; i < count; ++i) frame.values.push_back(LittleEndianDouble(bytes, pos + 7 + 8 * i));
    } else {
      frame.data = bytes.substr(pos + 7, length);
    }
    frames.push_back(frame);
    pos += 7 + length;
  }
  EXPECT_EQ(pos, bytes.size()) << "partial frame left";
  return frames;
}

std::string MemoryWrite(uint32_t address, const std::string& data) {
  std::string cmd = "\x85#";
  for (int shift = 24; shift >= 0; shift -= 8) cmd += static_cast<char>((address >> shift) & 0xFF);
  return cmd + data;
}

std::string Pattern(uint8_t seed) {
  std::string data;
  for (int i = 0; i < 128; ++i) data += static_cast<char>(seed + i);
  return data;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TQV_SimulDevice::SetDGIReports(false);
    TQV_SimulDevice::SetIVCReports(false);
    std::string error;
    ASSERT_TRUE(device.OpenPort(error));
    device.SetRandomSeed(7);
  }
  void TearDown() override {
    TQV_SimulDevice::SetDGIReports(true);
    TQV_SimulDevice::SetIVCReports(true);
  }

  void Steps(int n) {
    for (int i = 0; i < n; ++i) device.SimulThread()->Step();
  }
  std::vector<TFrame> Drain() {
    auto& buffer = device.ReceiveBuffer();
    const uint32_t amount = buffer.Amount();
    return amount ? ParseFrames(buffer.ReadAnsiString(amount)) : std::vector<TFrame>{};
  }
  std::vector<TFrame> StepAndDrain(int n) {
    Steps(n);
    return Drain();
  }
  // Steps until a frame with that report code arrives; the frames up to and including it.
  std::vector<TFrame> StepUntilReport(uint16_t code, int limit = 1000) {
    std::vector<TFrame> all;
    for (int i = 0; i < limit; ++i) {
      for (auto& f : StepAndDrain(1)) {
        all.push_back(f);
        if (!f.measurement && f.header == code) return all;
      }
    }
    ADD_FAILURE() << "no report " << std::hex << code;
    return all;
  }
  void Write(const std::string& cmd) { ASSERT_TRUE(device.DeviceWrite(cmd)) << device.ErrorMessage(); }

  TQV_SimulDevice device{-1, 0, NamedEvent(""), true, SystemClock(), false};
};

// The sequence of timestamps (T + counter) and measurements (M) as a compact text.
std::string Sequence(const std::vector<TFrame>& frames) {
  std::string text;
  for (const auto& f : frames) {
    if (f.IsTimestamp()) text += "T" + std::to_string(f.Counter()) + " ";
    if (f.IsMeasurement()) text += "M ";
  }
  return text;
}

TEST_F(SimulatorTest, StartsAtOneSecondWithTenTimestampsPerMeasurement) {
  const auto frames = StepAndDrain(20);
  EXPECT_EQ(Sequence(frames), "T1 T2 T3 T4 T5 T6 T7 T8 T9 T10 M T11 T12 T13 T14 T15 T16 T17 T18 T19 T20 M ");
  for (const auto& f : frames) {
    if (!f.IsMeasurement()) continue;
    EXPECT_EQ(f.header, 0x0900);  // rate 9, mode 0, scrambler off
    EXPECT_EQ(f.values.size(), 4u);
  }
  EXPECT_EQ(device.TimeStampMs(), 2000u);
}

// How many frames of the other kind lie between two consecutive separators (timestamps or
// measurements); what comes before the first and after the last separator is left out.
std::vector<int> GroupSizes(const std::vector<TFrame>& frames, bool byTimestamps) {
  std::vector<int> sizes;
  int count = -1;
  for (const auto& f : frames) {
    const bool separator = byTimestamps ? f.IsTimestamp() : f.IsMeasurement();
    const bool member = byTimestamps ? f.IsMeasurement() : f.IsTimestamp();
    if (separator) {
      if (count >= 0) sizes.push_back(count);
      count = 0;
    } else if (member && count >= 0) {
      ++count;
    }
  }
  return sizes;
}

TEST_F(SimulatorTest, EveryRateKeepsTheTimestampGrid) {
  const struct {
    char cmd;
    int32_t interval;
  } rates[] = {{' ', 1}, {'"', 5}, {'#', 10}, {'%', 50}, {'&', 100}, {'\'', 200}, {'*', 2000}, {',', 10000}};
  for (const auto& r : rates) {
    SCOPED_TRACE("interval " + std::to_string(r.interval));
    TQV_SimulDevice sim(-1, 0, NamedEvent(""), true, SystemClock(), false);
    std::string error;
    sim.OpenPort(error);
    ASSERT_TRUE(sim.DeviceWrite(std::string(1, r.cmd)));
    TQV_SimulThread& thread = *sim.SimulThread();
    for (int guard = 0; thread.Interval() != r.interval && guard < 1000; ++guard) thread.Step();
    ASSERT_EQ(thread.Interval(), r.interval);
    EXPECT_EQ(thread.NextWaitMs(), std::min(r.interval, 100));

    auto& buffer = sim.ReceiveBuffer();
    buffer.Clear();
    buffer.BufferCleared();  // acknowledge the drop so that reads go on
    const int windowMs = 5 * std::max(100, r.interval);
    for (int t = 0; t < windowMs; t += thread.NextWaitMs()) thread.Step();
    const auto frames = ParseFrames(buffer.ReadAnsiString(buffer.Amount()));

    // Ten measurements per timestamp at 10 ms, ten timestamps per measurement at 1 s, and so on.
    const bool fast = r.interval < 100;
    const auto groups = GroupSizes(frames, fast);
    ASSERT_GE(groups.size(), 3u);
    for (int size : groups) EXPECT_EQ(size, fast ? 100 / r.interval : r.interval / 100);
    uint32_t lastCounter = 0;
    for (const auto& f : frames) {
      if (f.IsTimestamp()) lastCounter = f.Counter();
      if (!f.IsMeasurement()) continue;
      EXPECT_EQ(f.header >> 8, r.cmd - 0x20);
      // A slow measurement follows the timestamp whose time is a multiple of its interval.
      if (!fast) {
        EXPECT_EQ(lastCounter * 100 % r.interval, 0u);
      }
    }
  }
}

// From the start rate of 1 s to a fast one: the measurement at the switch's time stamp is the first
// of its group, so every group, the first included, holds 100 ms of measurements. One more would
// put two measurements on one device time at the next stamp.
TEST_F(SimulatorTest, TheFirstGroupAfterSwitchingToAFastRateHasNoExtraMeasurement) {
  const struct {
    char cmd;
    int32_t interval;
  } rates[] = {{' ', 1}, {'!', 2}, {'#', 10}, {'%', 50}};
  for (const auto& r : rates) {
    SCOPED_TRACE("interval " + std::to_string(r.interval));
    TQV_SimulDevice sim(-1, 0, NamedEvent(""), true, SystemClock(), false);
    std::string error;
    sim.OpenPort(error);
    ASSERT_TRUE(sim.DeviceWrite(std::string(1, r.cmd)));
    TQV_SimulThread& thread = *sim.SimulThread();
    for (int t = 0; t < 1500; t += thread.NextWaitMs()) thread.Step();
    const auto frames = ParseFrames(sim.ReceiveBuffer().ReadAnsiString(sim.ReceiveBuffer().Amount()));
    const auto switched = std::find_if(frames.begin(), frames.end(), [](const TFrame& f) {
      return !f.measurement && f.header == 0x7020;
    });
    ASSERT_NE(switched, frames.end());
    // Measurements per time stamp (tenths or seconds), from the stamp of the switch on.
    const auto isStamp = [](const TFrame& f) { return f.IsTimestamp() || (!f.measurement && f.header == 0x7015); };
    const auto stamp = std::find_if(std::make_reverse_iterator(switched), frames.rend(), isStamp).base() - 1;
    std::vector<int> groups;
    for (auto f = stamp; f != frames.end(); ++f) {
      if (isStamp(*f)) groups.push_back(0);
      if (f->IsMeasurement() && !groups.empty()) ++groups.back();
    }
    groups.pop_back();  // the last group may be cut off
    ASSERT_GE(groups.size(), 3u);
    for (int size : groups) EXPECT_EQ(size, 100 / r.interval);
  }
}

TEST_F(SimulatorTest, RateChangeTakesEffectOnTheGridOfTheNewInterval) {
  Steps(3);
  Drain();
  Write("+");  // rate 11: 5000 ms
  const auto frames = StepUntilReport(0x7020);
  // The 7020 report follows the measurement at 5 s, the first multiple of the new interval.
  ASSERT_GE(frames.size(), 2u);
  EXPECT_TRUE(frames[frames.size() - 2].IsMeasurement());
  EXPECT_EQ(device.TimeStamp(), 50u);
  EXPECT_EQ(frames.back().data, std::string("\x0B\x00", 2));  // rate 11 + 16 x mode 0, scrambler
  // Measurements before the switch still had the old rate; the next comes 5 s later with the new one.
  const auto after = StepAndDrain(50);
  EXPECT_EQ(Sequence(after).find('M'), Sequence(after).rfind('M'));
  EXPECT_TRUE(after.back().IsMeasurement());
  EXPECT_EQ(after.back().header, 0x0B00);
  EXPECT_EQ(device.TimeStamp(), 100u);
}

TEST_F(SimulatorTest, ModeChangeResetsPhaseAndSwitchesValues) {
  for (int k = 1; k <= 4; ++k) device.ConfigChannel(k, 10000000, 0);
  auto frames = StepAndDrain(20);
  std::vector<double> phases;
  for (const auto& f : frames)
    if (f.IsMeasurement()) phases.push_back(f.values[0]);
  ASSERT_EQ(phases.size(), 2u);
  EXPECT_DOUBLE_EQ(phases[0], 1e7);  // base / 1000 x 1000 ms
  EXPECT_DOUBLE_EQ(phases[1], 2e7);

  Write("B");  // frequency
  frames = StepUntilReport(0x7020);
  EXPECT_EQ(frames.back().data, std::string("\x29\x00", 2));
  frames = StepAndDrain(10);
  EXPECT_EQ(frames.back().header, 0x2900);
  EXPECT_DOUBLE_EQ(frames.back().values[0], 10000);

  Write("D");  // phase difference to channel 1
  StepUntilReport(0x7020);
  frames = StepAndDrain(10);
  EXPECT_EQ(frames.back().values, std::vector<double>(4, 0.0));

  Write("@");  // back to phase: it starts again from zero
  StepUntilReport(0x7020);
  frames = StepAndDrain(10);
  EXPECT_DOUBLE_EQ(frames.back().values[0], 1e7);
}

TEST_F(SimulatorTest, ConfigChannelWithNewBaseRestartsThatChannelsPhase) {
  for (int k = 1; k <= 4; ++k) device.ConfigChannel(k, 10000000, 0);
  Steps(20);
  device.ConfigChannel(1, 20000000, 0);
  device.ConfigChannel(25, 1, 1);  // ignored
  Drain();
  const auto frames = StepAndDrain(10);
  EXPECT_DOUBLE_EQ(frames.back().values[0], 2e7);
  EXPECT_DOUBLE_EQ(frames.back().values[1], 3e7);
}

TEST_F(SimulatorTest, RefusesRawModeUnknownCommandsAndPhaseDifferenceReset) {
  const struct {
    std::string cmd;
    std::string message;
  } refused[] = {
      {"F", "Unsupported command mode raw data"},
      {"\xC6", "Unsupported command mode raw data"},
      {"\x0A", "Unsupported command 0A"},
      {"G", "Unknown command 47"},
      {"Q", "Unsupported scrambler command 51"},
      {"\x85\x40", "Unsupported command 8540"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.message);
    device.QuitError();
    EXPECT_FALSE(device.DeviceWrite(r.cmd));
    EXPECT_EQ(device.ErrorCode(), QV_CmdIgnored);
    EXPECT_EQ(device.ErrorMessage(), r.message);
  }
  // Nothing of the refused commands shows: no settings report, still mode 0.
  const auto frames = StepAndDrain(20);
  for (const auto& f : frames) EXPECT_FALSE(!f.measurement && f.header == 0x7020);
  EXPECT_EQ(frames.back().header, 0x0900);
}

TEST_F(SimulatorTest, ChannelCommandZeroGivesTwentyFourChannels) {
  Write("0");
  EXPECT_EQ(device.ZCTChannelCount(), 24);
  auto frames = StepAndDrain(10);
  ASSERT_TRUE(frames.back().IsMeasurement());
  EXPECT_EQ(frames.back().values.size(), 24u);
  Write("?\x0C");
  frames = StepAndDrain(10);
  EXPECT_EQ(frames.back().values.size(), 12u);
}

TEST_F(SimulatorTest, MemoryWritesAreEchoedAtTheNextMeasurement) {
  Write(MemoryWrite(0x0007E080, Pattern(1)));  // HRQ slice 1
  Write(MemoryWrite(0x0007E000, Pattern(2)));  // calibration block
  auto frames = StepAndDrain(9);
  for (const auto& f : frames) EXPECT_TRUE(f.IsTimestamp());
  frames = StepAndDrain(1);
  // Timestamp 10, the 7901 and 7902 echoes, then the measurement.
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[1].header, 0x7901);
  EXPECT_EQ(frames[1].data, Pattern(2));
  EXPECT_EQ(frames[2].header, 0x7902);
  EXPECT_EQ(frames[2].data, Pattern(1));
  EXPECT_TRUE(frames[3].IsMeasurement());

  // Two HRQ slices written: one echo per measurement, lowest slice first.
  Write(MemoryWrite(0x0007E200, Pattern(4)));
  Write(MemoryWrite(0x0007E100, Pattern(3)));
  frames = StepAndDrain(20);
  std::vector<std::string> echoes;
  for (const auto& f : frames)
    if (!f.measurement && f.header == 0x7902) echoes.push_back(f.data);
  EXPECT_EQ(echoes, (std::vector<std::string>{Pattern(3), Pattern(4)}));
}

TEST_F(SimulatorTest, AnswersVersionReSyncCalibrationAndHRQReads) {
  Write(MemoryWrite(0x0007E180, Pattern(9)));  // slice 3
  Write(MemoryWrite(0x0007E000, Pattern(8)));
  Drain();
  StepAndDrain(10);  // the echoes

  Write("\x01");
  Write("\x0F");
  Write("\x02");
  Write("\x03\x03");
  const auto frames = StepAndDrain(10);
  std::vector<std::pair<uint16_t, std::string>> reports;
  for (const auto& f : frames)
    if (!f.measurement && !f.IsTimestamp()) reports.emplace_back(f.header, f.data);
  const std::vector<std::pair<uint16_t, std::string>> expected = {
      {0x7001, "VERSION Simulator: 5.0 240826"},
      {0x7F51, "Measurement re-synchronized"},
      {0x7901, Pattern(8)},
      {0x7902, Pattern(9)},
  };
  EXPECT_EQ(reports, expected);

  TQV_SimulDevice::SetIVCReports(true);
  Write("\x81");
  const auto ivc = StepUntilReport(0x7001);
  EXPECT_EQ(ivc.back().data, "VERSION Simulator IVC: 5.0 240826");
}

TEST_F(SimulatorTest, HRQReadWhileAnEchoIsPendingIsAnsweredNextTick) {
  Write(MemoryWrite(0x0007E080, Pattern(5)));
  Write(MemoryWrite(0x0007E100, Pattern(6)));
  Write("\x03\x02");
  Drain();
  std::vector<std::string> answers;
  for (const auto& f : StepAndDrain(30))
    if (!f.measurement && f.header == 0x7902) answers.push_back(f.data);
  EXPECT_EQ(answers, (std::vector<std::string>{Pattern(5), Pattern(6), Pattern(6)}));
}

TEST_F(SimulatorTest, DigitalInputReportsToggleBitsZeroTwoAndFive) {
  TQV_SimulDevice::SetDGIReports(true);
  std::vector<std::string> words;
  for (const auto& f : StepAndDrain(50))
    if (!f.measurement && f.header == 0x7100) words.push_back(f.data);
  EXPECT_EQ(words, (std::vector<std::string>{" FFFFFFFE", " FFFFFFFB", " FFFFFFFA", " FFFFFFFF", " FFFFFFDE"}));
}

TEST_F(SimulatorTest, IntervalCounterReportFollowsTimestampsEndingInFive) {
  TQV_SimulDevice::SetIVCReports(true);
  const auto frames = StepAndDrain(20);
  std::vector<uint32_t> after;
  uint32_t lastCounter = 0;
  for (const auto& f : frames) {
    if (f.IsTimestamp()) lastCounter = f.Counter();
    if (!f.IsIVC()) continue;
    after.push_back(lastCounter);
    EXPECT_EQ(f.header, 0x7900);
    ASSERT_EQ(f.values.size(), 4u);
    for (double v : f.values) EXPECT_NEAR(v, 3300000, 10 * 10000.15);
  }
  EXPECT_EQ(after, (std::vector<uint32_t>{5, 15}));
}

TEST_F(SimulatorTest, RandomModelIsGaussianAndRepeatableWithASeed) {
  Write("&");  // 100 ms: one frequency value per step
  Write("B");
  StepUntilReport(0x7020);
  device.ConfigChannel(1, 1000, 100);  // values (1000 + g) / 1000: mean 1, deviation 0.1
  device.SetRandomSeed(42);
  const auto collect = [](const std::vector<TFrame>& frames) {
    std::vector<double> values;
    for (const auto& f : frames)
      if (f.IsMeasurement()) values.push_back(f.values[0]);
    return values;
  };
  const auto values = collect(StepAndDrain(4000));
  ASSERT_EQ(values.size(), 4000u);
  double sum = 0, squares = 0;
  for (double v : values) sum += v;
  const double mean = sum / values.size();
  for (double v : values) squares += (v - mean) * (v - mean);
  EXPECT_NEAR(mean, 1.0, 0.01);
  EXPECT_NEAR(std::sqrt(squares / (values.size() - 1)), 0.1, 0.005);

  device.SetRandomSeed(42);
  EXPECT_EQ(collect(StepAndDrain(50)), std::vector<double>(values.begin(), values.begin() + 50));
}

TEST_F(SimulatorTest, FullReceiveBufferCountsLostReportsAsOverflowError) {
  auto& buffer = device.ReceiveBuffer();
  ASSERT_TRUE(buffer.WriteAnsiString(std::string(TCircularBuffer::BufferSize - 10, 'x')));
  Steps(2);  // two timestamps of 11 bytes each
  EXPECT_EQ(device.LostReports(), 2u);
  EXPECT_EQ(device.ErrorCode(), QV_Err_ReceiveBufferOverflow);
  EXPECT_EQ(device.ErrorMessage(), "Receive buffer full: 2 simulated reports lost");
  // Polling an open simulator does not hide the loss.
  EXPECT_FALSE(device.CheckDeviceClosed());
  EXPECT_EQ(device.ErrorCode(), QV_Err_ReceiveBufferOverflow);

  buffer.Clear();
  buffer.BufferCleared();  // acknowledge the drop so that reads go on
  device.QuitError();
  Steps(1);
  EXPECT_EQ(device.LostReports(), 2u);
  EXPECT_EQ(device.ErrorCode(), QV_No_Err);
  EXPECT_EQ(Drain().size(), 1u);
}

TEST_F(SimulatorTest, ReportStreamLogGetsEveryReportAsText) {
  TLogCapture deviceLog;
  TLogCapture streamLog;
  ASSERT_EQ(streamLog.Id(), deviceLog.Id() + 1);
  TQV_SimulDevice sim(deviceLog.Id(), 0, NamedEvent(""), true, SystemClock(), false);
  std::string error;
  sim.OpenPort(error);
  for (int k = 1; k <= 4; ++k) sim.ConfigChannel(k, 10000000, 0);
  ASSERT_TRUE(sim.DeviceWrite("\x01"));
  for (int i = 0; i < 10; ++i) sim.SimulThread()->Step();
  const std::string phase = FloatToShortest(1e7);
  EXPECT_TRUE(streamLog.Contains("{01}"));
  EXPECT_TRUE(streamLog.Contains("7016; 1"));
  EXPECT_TRUE(streamLog.Contains("7016; 10"));
  EXPECT_TRUE(streamLog.Contains("7001VERSION Simulator: 5.0 240826"));
  EXPECT_TRUE(streamLog.Contains("0900; " + phase + "; " + phase + "; " + phase + "; " + phase));
  EXPECT_TRUE(deviceLog.Contains("TQV_SimulDevice.DeviceWrite 01"));
}

TEST_F(SimulatorTest, ClosedSimulatorRefusesCommandsAndReportsItself) {
  device.ClosePort();
  EXPECT_EQ(device.SimulThread(), nullptr);
  EXPECT_FALSE(device.DeviceWrite("\x01"));
  EXPECT_EQ(device.ErrorCode(), QV_DeviceNotConnected);
  EXPECT_EQ(device.ErrorMessage(), "SimulDevice closed");
  device.QuitError();
  EXPECT_TRUE(device.CheckDeviceClosed());
  EXPECT_EQ(device.ErrorMessage(), "SimulDevice closed");
}

TEST(SimulatorPacing, PassesFollowTheClockAndALongStallIsSkipped) {
  TQV_SimulDevice::SetDGIReports(false);
  TQV_SimulDevice::SetIVCReports(false);
  TManualClock clock;
  TQV_SimulDevice sim(-1, 0, NamedEvent(""), true, clock, false);
  std::string error;
  sim.OpenPort(error);
  const TSteadyTime start = clock.Steady();
  sim.SimulThread()->GenerateUntil(start + std::chrono::milliseconds(999));
  EXPECT_EQ(sim.TimeStamp(), 9u);
  sim.SimulThread()->GenerateUntil(start + std::chrono::milliseconds(1000));
  const auto frames = ParseFrames(sim.ReceiveBuffer().ReadAnsiString(sim.ReceiveBuffer().Amount()));
  EXPECT_EQ(Sequence(frames), "T1 T2 T3 T4 T5 T6 T7 T8 T9 T10 M ");
  // An hour without the worker running: one pass, not 36000 at once.
  sim.SimulThread()->GenerateUntil(start + std::chrono::hours(1));
  EXPECT_EQ(sim.TimeStamp(), 11u);
  TQV_SimulDevice::SetDGIReports(true);
  TQV_SimulDevice::SetIVCReports(true);
}

TEST(SimulatorIdentity, SerialNumbersCountUpAndDeviceIsDemoData) {
  TQV_SimulDevice a(-1, 0, NamedEvent(""), true);
  TQV_SimulDevice b(-1, 0, NamedEvent(""), true);
  EXPECT_GT(a.SerialNumberValue(), TQV_SimulDevice::FirstSerialNumber);
  EXPECT_EQ(b.SerialNumberValue(), a.SerialNumberValue() + 1);
  EXPECT_EQ(a.DevType(), QV_Simul);
  EXPECT_TRUE(a.DemoData());
  EXPECT_EQ(a.ZCTChannelCount(), 4);
}

TEST(SimulatorWorker, RealThreadWritesFramesAndStopsOnClose) {
  auto event = NamedEvent("");
  TQV_SimulDevice sim(-1, 0, event, true);
  std::string error;
  ASSERT_TRUE(sim.OpenPort(error));
  ASSERT_TRUE(sim.DeviceWrite("&"));  // a command from another thread while the worker runs
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sim.ReceiveBuffer().Amount() < 3 * 11 && std::chrono::steady_clock::now() < deadline)
    event->WaitFor(std::chrono::milliseconds(50));
  EXPECT_GE(sim.ReceiveBuffer().Amount(), 3u * 11);
  EXPECT_TRUE(sim.ClosePort());
  const uint32_t amount = sim.ReceiveBuffer().Amount();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(sim.ReceiveBuffer().Amount(), amount);  // nothing more after close
  const auto frames = ParseFrames(sim.ReceiveBuffer().ReadAnsiString(amount));
  ASSERT_FALSE(frames.empty());
  EXPECT_TRUE(frames.front().IsTimestamp());

  // Opened again and destroyed while running: the destructor joins the worker.
  TQV_SimulDevice other(-1, 0, event, true);
  ASSERT_TRUE(other.OpenPort(error));
  ASSERT_TRUE(other.OpenPort(error));  // already open: no second worker
}

}  // namespace
