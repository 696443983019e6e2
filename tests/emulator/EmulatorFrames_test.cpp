#include "EmulatorFrames.h"

#include <gtest/gtest.h>

#include "DecodeChain.h"
#include "devices/QV_TransmitBlock.h"

namespace {

using namespace EmulatorFrames;

const TIdentity Identity{0x00E0A001, 2, 0x7F000001};

uint32_t Word(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

// Measurements of `channels` channels for samples first.. in the given mode and rate.
std::vector<TEmulatedReport> Measurements(int mode, int intervalMs, int channels, int count) {
  TEmulatorSettings settings;
  settings.Mode = mode;
  settings.IntervalMs = intervalMs;
  settings.Channels = channels;
  TInstrumentModel model(settings);
  std::vector<TEmulatedReport> out;
  for (const auto& r : model.AdvanceTo(static_cast<uint64_t>(intervalMs) * count))
    if (r.Kind == TEmulatedReport::rkMeasurement) out.push_back(r);
  return out;
}

void ExpectValues(const std::vector<std::string>& lines, const std::vector<TEmulatedReport>& sent, const std::string& what) {
  std::vector<std::string> measurements;
  for (const auto& line : lines)
    if (IsMeasurementLine(line)) measurements.push_back(line);
  ASSERT_EQ(measurements.size(), sent.size()) << what;
  for (size_t i = 0; i < sent.size(); ++i) {
    const auto values = LineValues(measurements[i]);
    ASSERT_EQ(values.size(), sent[i].Values.size()) << what << ": " << measurements[i];
    for (size_t k = 0; k < values.size(); ++k)
      EXPECT_NEAR(values[k], TInstrumentModel::MeasuredValue(static_cast<int>(k) + 1, sent[i].Sample), 1e-6)
          << what << ": " << measurements[i];
  }
}

struct TModeCase {
  int mode;
  int intervalMs;
};
// Phase, averages, frequencies and differences at fast and slow rates.
const TModeCase ModeCases[] = {{0, 1}, {0, 100}, {1, 10}, {2, 100}, {3, 1000}, {3, 20}, {4, 100}, {5, 50}};

TEST(EmulatorFramesTest, NetworkModuleBlocksDecodeToTheFormulaValues) {
  for (const TModeCase& c : ModeCases) {
    const std::string what = "mode " + std::to_string(c.mode) + " at " + std::to_string(c.intervalMs) + " ms";
    TDecodeChain chain(ptESP);
    std::string bytes = TransmitBlock(TEmulatedReport::Of(TEmulatedReport::rkVersion), 0, Identity);
    const auto sent = Measurements(c.mode, c.intervalMs, 5, 6);
    for (const auto& r : sent) bytes += TransmitBlock(r, 0, Identity);
    const auto lines = chain.Lines(bytes);
    ASSERT_FALSE(lines.empty()) << what;
    EXPECT_TRUE(lines[0].starts_with("7001")) << lines[0];
    ExpectValues(lines, sent, what);
    for (const auto& line : lines) EXPECT_FALSE(line.starts_with("7FF4")) << what << ": FPGA time " << line;
  }
}

TEST(EmulatorFramesTest, ColdfireFramesDecodeToTheFormulaValues) {
  for (const TModeCase& c : ModeCases) {
    const std::string what = "mode " + std::to_string(c.mode) + " at " + std::to_string(c.intervalMs) + " ms";
    TDecodeChain chain(ptColdfire);
    std::string bytes;
    const auto sent = Measurements(c.mode, c.intervalMs, 4, 5);
    for (const auto& r : sent) bytes += ColdfireFrame(ColdfireReport(r, Identity));
    ExpectValues(chain.Lines(bytes), sent, what);
  }
}

TEST(EmulatorFramesTest, TransmitBlocksCarryAddressUserAndAZeroSum) {
  const auto sent = Measurements(0, 10, 24, 1);
  const std::string block = TransmitBlock(sent[0], 0x1ABCD, Identity);
  TQV_TransmitBlock parsed;
  ASSERT_TRUE(ParseTransmitBlock(block, parsed));
  EXPECT_EQ(TransmitBlockSum(block), 0);
  EXPECT_EQ(parsed.ValueCount, 24);
  EXPECT_EQ(parsed.BufferPointer(), 0x1ABCDu);
  EXPECT_EQ(parsed.UserIdField(), Identity.UserId - 1);
  EXPECT_EQ(parsed.W, 9);  // the last millisecond of the first 10 ms interval
  EXPECT_EQ(TransmitBlockWords(sent[0]), block.size() / 4);
}

TEST(EmulatorFramesTest, TimestampsSettingsAndVersionDecode) {
  TEmulatedReport tenth = TEmulatedReport::Of(TEmulatedReport::rkTimestamp);
  tenth.Tenths = 12;
  TEmulatedReport second = tenth;
  second.Tenths = 30;
  TEmulatedReport settings = TEmulatedReport::Of(TEmulatedReport::rkSettings);
  settings.Header = 0x2900;

  TDecodeChain coldfire(ptColdfire);
  const auto cfLines = coldfire.Lines(ColdfireFrame(ColdfireReport(TEmulatedReport::Of(TEmulatedReport::rkVersion), Identity)) +
                                      ColdfireFrame(ColdfireReport(second, Identity)) +
                                      ColdfireFrame(ColdfireReport(settings, Identity)));
  ASSERT_EQ(cfLines.size(), 3u);
  EXPECT_TRUE(cfLines[0].starts_with("7001VERSION ZCT: 63 UCF 230115 User2")) << cfLines[0];
  EXPECT_EQ(cfLines[1], "7015; 3");
  EXPECT_EQ(cfLines[2], "7020; $2900");
  EXPECT_EQ(coldfire.decoder->VersionSerialNumber(), Identity.SerialNumber);

  TDecodeChain module(ptESP);
  const auto nmLines = module.Lines(TransmitBlock(TEmulatedReport::Of(TEmulatedReport::rkVersion), 0, Identity) +
                                    TransmitBlock(second, 0, Identity) + TransmitBlock(settings, 0, Identity));
  ASSERT_EQ(nmLines.size(), 3u);
  EXPECT_NE(nmLines[0].find("User 2"), std::string::npos) << nmLines[0];
  EXPECT_NE(nmLines[0].find("IP: 127.0.0.1"), std::string::npos) << nmLines[0];
  EXPECT_EQ(nmLines[1], "7015; 3");
  EXPECT_EQ(nmLines[2], "7020; $2900");
  EXPECT_EQ(module.decoder->VersionSerialNumber(), Identity.SerialNumber);
}

TEST(EmulatorFramesTest, CdcBlockWindowHoldsTheDataAtItsOffset) {
  const std::string data = ColdfireFrame(ColdfireReport(Measurements(0, 10, 3, 1)[0], Identity));
  // Ring positions near and across a window boundary.
  for (uint32_t pos : {0u, 5u, 60u, 0x1FFF0u}) {
    const std::string block = CdcBlock(data, {pos, CdcFlagCleared, 0x123 | 1u << 17, pos + 7});
    const uint32_t size = Word(block, 4), count = Word(block, 8), offset = Word(block, 12) & (size - 1);
    EXPECT_EQ(Word(block, 0), CdcMagic);
    EXPECT_EQ(size & (size - 1), 0u) << "the window is a power of two";
    EXPECT_GE(size, count + offset);
    EXPECT_EQ(block.size(), 32 + size);
    EXPECT_EQ(block.substr(32 + offset, count), data);
    EXPECT_EQ(Word(block, 16), CdcFlagCleared);
    EXPECT_EQ(Word(block, 20) >> 17 & 3, 1u);
  }
}

TEST(EmulatorFramesTest, SerialFramesAlternateEndBytesAndDecodeAsSerialFrames) {
  const auto sent = Measurements(2, 100, 3, 2);
  const std::string a = ColdfireSerialFrame(ColdfireReport(sent[0], Identity), 0xBF);
  const std::string b = ColdfireSerialFrame(ColdfireReport(sent[1], Identity), 0xBD);
  EXPECT_EQ(static_cast<uint8_t>(a.back()), 0xBF);
  EXPECT_EQ(static_cast<uint8_t>(b.back()), 0xBD);
  // Without escapes the length byte counts itself, the report and the checksum.
  const std::string report = ColdfireReport(sent[0], Identity);
  if (a.find('\xBC') == std::string::npos) {
    EXPECT_EQ(static_cast<uint8_t>(a[0]), report.size() + 2);
  }
}

}  // namespace
