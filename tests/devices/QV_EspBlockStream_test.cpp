#include "devices/QV_EspBlockStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/QV_NumberText.h"
#include "devices/QV_TransmitBlock.h"

namespace {

// Records what the stream handed out: "B:" + hex of a block, "S:" / "X:" + hex of skipped / broken bytes.
class TRecorder : public TQV_EspBlockStream::TSink {
 public:
  void Block(std::string_view block) override { Items.push_back("B:" + AnsiToHex(block)); }
  void Skipped(std::string_view bytes, bool broken) override {
    Items.push_back((broken ? "X:" : "S:") + AnsiToHex(bytes));
  }
  std::vector<std::string> Items;
};

const std::string Measurement = BuildTransmitBlock(0x12, 24, 100, 0x00000040, std::string(24 * 8, '\x11'));
const std::string Status = BuildTransmitBlock('s', 255, 0, 0x00000100, "");
// A magic with 25 values: no block the instrument can send.
const std::string Broken = std::string("ZCT2\x12\x19", 6) + std::string(10, '\0');

std::string B(const std::string& block) { return "B:" + AnsiToHex(block); }

struct StreamCase {
  const char* name;
  std::vector<std::string> pieces;  // receptions, in order
  std::vector<std::string> expected;
  size_t remaining;
};

class EspBlockStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(EspBlockStreamTest, CutsBlocksWhateverThePieces) {
  TQV_EspBlockStream stream;
  TRecorder sink;
  for (const std::string& piece : GetParam().pieces) stream.Feed(piece, sink);
  EXPECT_EQ(sink.Items, GetParam().expected);
  EXPECT_EQ(stream.Remaining().size(), GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EspBlockStreamTest,
    ::testing::Values(
        StreamCase{"WholeBlocks", {Measurement + Status}, {B(Measurement), B(Status)}, 0},
        StreamCase{"HeaderSplitAcrossReceptions",
                   {Measurement.substr(0, 7), Measurement.substr(7, 5), Measurement.substr(12)},
                   {B(Measurement)},
                   0},
        StreamCase{"MagicSplitAcrossReceptions", {Status + "ZC", "T2" + Status.substr(4)}, {B(Status), B(Status)}, 0},
        StreamCase{"IncompleteBlockWaits", {Measurement.substr(0, 100)}, {}, 100},
        StreamCase{"GarbageBeforeTheMagicIsSkipped", {"abc" + Status}, {"S:" + AnsiToHex("abc"), B(Status)}, 0},
        StreamCase{"GarbageWithoutMagicKeepsAPossibleStart",
                   {"garbageZC"},
                   {"S:" + AnsiToHex("garbag")},
                   3},
        StreamCase{"OverlongValueCountIsDroppedNotAwaited",
                   {Broken + Status},
                   {"X:" + AnsiToHex(Broken), B(Status)},
                   0},
        StreamCase{"OverlongValueCountAloneIsDroppedAtOnce",
                   {Broken},
                   {"X:" + AnsiToHex(Broken.substr(0, Broken.size() - 3))},
                   3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
