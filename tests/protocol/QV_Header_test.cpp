#include "protocol/QV_Header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

namespace {

struct HeaderCase {
  uint16_t word;
  bool lost;
  uint16_t header;
  uint8_t mode;
  bool modeValid;
  const char* modeText;
  int32_t intervalIndex;
  bool intervalValid;
  const char* intervalText;
  uint32_t gateTime;
  int32_t filterIndex;
  uint8_t ppiIndex;
  uint8_t measFrequence;
  uint8_t scramblerIndex;
  bool scrambling;
  bool dithering;
  const char* band;
  double multiplier;
  bool fpgaBit;
  bool isZCTData;
};

// word, lost, header, mode, valid, text, index, valid, text, gate, filter, ppi, freq, scr, scrambling, dither,
// band, multiplier, fpga, zct
const HeaderCase HeaderCases[] = {
    // Lost flag, averaging phase, 1 s, scrambler "Auto".
    {0x9910, true, 0x1910, 1, true, "Phase Average", 9, true, "1s", 1000, 0, 0, 10, 1, true, false, "NB", 1000, false, true},
    // Plain phase at 1 ms: everything zero.
    {0x0000, false, 0x0000, 0, true, "Phase", 0, true, "1ms", 1, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // Bit 15 alone.
    {0x8000, true, 0x0000, 0, true, "Phase", 0, true, "1ms", 1, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // The extension bit moves index 9 to 22: beyond the table.
    {0x1912, false, 0x1912, 1, true, "Phase Average", 22, false, "", 20000000, 0, 0, 10, 1, true, false, "NB", 1000, false, true},
    // 13 + 13 = 26.
    {0x0D02, false, 0x0D02, 0, true, "Phase", 26, false, "", 500000000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // Index 0 with the extension bit is invalid.
    {0x0002, false, 0x0002, 0, true, "Phase", 13, false, "", 20000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // Extension: 1 + 13 = 50 s, 6 + 13 = 2000 s (last), 7 + 13 = 20 (invalid).
    {0x0102, false, 0x0102, 0, true, "Phase", 14, true, "50s", 50000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    {0x0602, false, 0x0602, 0, true, "Phase", 19, true, "2000s", 2000000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    {0x0702, false, 0x0702, 0, true, "Phase", 20, false, "", 5000000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // Index 14 without the extension bit is invalid.
    {0x0E00, false, 0x0E00, 0, true, "Phase", 14, false, "", 50000, 0, 0, 10, 0, false, false, "NB", 1000, false, true},
    // Broadband: filter 0, frequency 0, multiplier 1.
    {0x2004, false, 0x2004, 2, true, "Frequency", 0, true, "1ms", 1, 0, 0, 0, 0, false, false, "BB", 1, false, true},
    {0x3B10, false, 0x3B10, 3, true, "Frequency Avg.", 11, true, "5s", 5000, 0, 0, 10, 1, true, false, "NB", 1000, false, true},
    // Filter/PPI 3, 5 MHz, scrambler "Trim" (bits 5-4 = 2, so scrambling itself off), dithering, FPGA bit.
    {0x4DE9, false, 0x4DE9, 4, true, "Phase Difference", 13, true, "20s", 20000, 3, 3, 5, 2, false, true, "NB", 100000, true, true},
    // Broadband clears the filter index but not the PPI index.
    {0x5C44, false, 0x5C44, 5, true, "Phase Avg Diff.", 12, true, "10s", 10000, 0, 1, 0, 0, false, false, "BB", 1, false, true},
    {0x6080, false, 0x6080, 6, true, "Raw Data", 0, true, "1ms", 1, 2, 2, 10, 0, false, false, "NB", 1000, false, true},
    // Last measurement header below the report codes.
    {0x6FFF, false, 0x6FFF, 6, true, "Raw Data", 28, false, "", 2000000000, 0, 3, 0, 3, true, true, "BB", 1, true, true},
    // Report codes: mode 7 has no text and is not valid.
    {0x7000, false, 0x7000, 7, false, "", 0, true, "1ms", 1, 0, 0, 10, 0, false, false, "NB", 1000, false, false},
    {0xF000, true, 0x7000, 7, false, "", 0, true, "1ms", 1, 0, 0, 10, 0, false, false, "NB", 1000, false, false},
    {0x7016, false, 0x7016, 7, false, "", 13, false, "", 20000, 0, 0, 0, 1, true, false, "BB", 1, false, false},
    // 0xFFFF: nothing valid; the stored header is 0x7FFF.
    {0xFFFF, true, 0x7FFF, 7, false, "", 28, false, "", 2000000000, 0, 3, 0, 3, true, true, "BB", 1, true, false},
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
  char word[8];
  std::snprintf(word, sizeof word, "0x%04X", c.word);
  *os << word;
}

class HeaderDecoding : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderDecoding, DecodesEveryField) {
  const HeaderCase& c = GetParam();
  const TQVHeader h(c.word);
  EXPECT_EQ(h.Lost(), c.lost);
  EXPECT_EQ(h.Header(), c.header);
  EXPECT_EQ(h.Mode(), c.mode);
  EXPECT_EQ(h.ModeValid(), c.modeValid);
  EXPECT_EQ(h.ModeText(), c.modeText);
  EXPECT_EQ(h.IntervalIndex(), c.intervalIndex);
  EXPECT_EQ(h.IntervalIndexValid(), c.intervalValid);
  EXPECT_EQ(h.IntervalText(), c.intervalText);
  EXPECT_EQ(h.GateTime(), c.gateTime);
  EXPECT_EQ(h.FilterIndex(), c.filterIndex);
  EXPECT_EQ(h.PPIindex(), c.ppiIndex);
  EXPECT_EQ(h.MeasFrequence(), c.measFrequence);
  EXPECT_EQ(h.ScramblerIndex(), c.scramblerIndex);
  EXPECT_EQ(h.Scrambling(), c.scrambling);
  EXPECT_EQ(h.Dithering(), c.dithering);
  EXPECT_EQ(h.Band(), c.band);
  EXPECT_EQ(h.Multiplier(), c.multiplier);
  EXPECT_EQ(h.FpgaBit(), c.fpgaBit);
  EXPECT_EQ(h.IsZCTData(), c.isZCTData);
}

INSTANTIATE_TEST_SUITE_P(Words, HeaderDecoding, ::testing::ValuesIn(HeaderCases),
                         [](const auto& info) {
                           char name[8];
                           std::snprintf(name, sizeof name, "x%04X", info.param.word);
                           return std::string(name);
                         });

TEST(Header, WritingHeaderDecodesAgain) {
  TQVHeader h;
  EXPECT_FALSE(h.ModeValid());
  EXPECT_FALSE(h.IntervalIndexValid());
  EXPECT_EQ(h.Header(), 0x7FFF);
  h.SetHeader(0x9910);
  EXPECT_TRUE(h.Lost());
  EXPECT_EQ(h.IntervalText(), "1s");
  h.SetHeader(0x2004);
  EXPECT_FALSE(h.Lost());
  EXPECT_EQ(h.Band(), "BB");
  EXPECT_EQ(h.ModeText(), "Frequency");
}

TEST(Header, Texts) {
  const TQVHeader narrow(0x9910);
  EXPECT_EQ(narrow.ScramblingText(), "ON");
  EXPECT_EQ(narrow.ScramblerText(), "Auto");
  EXPECT_EQ(narrow.DitheringText(), "OFF");
  EXPECT_EQ(narrow.BandText(), "Narrowband");
  EXPECT_EQ(narrow.MeasFrequenceText(), "10000000");
  EXPECT_EQ(narrow.MultiplierText(), "1E+3");
  EXPECT_EQ(narrow.PPItext(), "default");

  const TQVHeader fpga(0x4DE9);
  EXPECT_EQ(fpga.ScramblingText(), "OFF");
  EXPECT_EQ(fpga.ScramblerText(), "Trim");
  EXPECT_EQ(fpga.DitheringText(), "ON");
  EXPECT_EQ(fpga.MeasFrequenceText(), "5000000");
  EXPECT_EQ(fpga.MultiplierText(), "1E+5");
  EXPECT_EQ(fpga.PPItext(), "used");

  const TQVHeader broad(0x5C44);
  EXPECT_EQ(broad.BandText(), "Broadband");
  EXPECT_EQ(broad.MeasFrequenceText(), "0");
  EXPECT_EQ(broad.MultiplierText(), "1E+0");
  EXPECT_EQ(broad.PPItext(), "control PPI");
  EXPECT_EQ(broad.ScramblerText(), "off");
  EXPECT_EQ(TQVHeader(0x6080).PPItext(), "----");
  EXPECT_EQ(TQVHeader(0x0030).ScramblerText(), "used");
}

TEST(Header, IntervalTextsCoverTheWholeTable) {
  const char* const texts[] = {"1ms", "2ms", "5ms", "10ms", "20ms", "50ms", "100ms", "200ms", "500ms", "1s",
                         "2s",  "5s",  "10s", "20s",  "50s",  "100s", "200s",  "500s",  "1000s", "2000s"};
  const uint32_t ms[] = {1,    2,    5,     10,    20,    50,     100,    200,    500,     1000,
                         2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000, 2000000};
  for (int index = 0; index < 20; ++index) {
    EXPECT_EQ(TQVHeader::IntervalIndexToText(index), texts[index]);
    EXPECT_EQ(TQVHeader::IntervalIndexToMs(index), ms[index]) << index;
  }
  EXPECT_EQ(TQVHeader::IntervalIndexToText(-1), "");
  EXPECT_EQ(TQVHeader::IntervalIndexToMs(28), 2000000000u);
  EXPECT_EQ(TQVHeader::IntervalIndexToMs(-1), 0u);
  EXPECT_EQ(TQVHeader::IntervalIndexToMs(29), 0u);
  EXPECT_EQ(TQVHeader::IntervalIndexToText(20), "");
}

TEST(Header, FromText) {
  const struct {
    const char* text;
    int expected;  // -1: not a header
  } cases[] = {
      {"6416", 0x1910}, {"  $1910\t", 0x1910}, {"$ffff", 0xFFFF}, {"0x7016", 0x7016}, {"0", 0},
      {"", -1},         {"$", -1},            {"12a", -1},       {"70000", -1},     {"-1", -1},
      {"$10000", -1},   {"1 2", -1},
  };
  for (const auto& c : cases) {
    const auto header = TQVHeader::FromText(c.text);
    if (c.expected < 0) {
      EXPECT_FALSE(header.has_value()) << c.text;
    } else {
      ASSERT_TRUE(header.has_value()) << c.text;
      EXPECT_EQ(header->Header(), c.expected & 0x7FFF) << c.text;
      EXPECT_EQ(header->Lost(), (c.expected & 0x8000) != 0) << c.text;
    }
  }
}

TEST(Header, IntervalMsToIndexIsThePositionInTheDecade) {
  const struct {
    uint32_t ms;
    int index;
  } cases[] = {{1, 0},    {10, 0},   {100, 0},  {1000, 0}, {10000, 0}, {2, 1},  {20, 1},     {200, 1},
               {2000, 1}, {20000, 1}, {5, 2},   {50, 2},   {500, 2},   {5000, 2}, {0, -1},    {3, -1},
               {50000, -1}, {100000, -1}, {999, -1}};
  for (const auto& c : cases) EXPECT_EQ(TQVHeader::IntervalMsToIndex(c.ms), c.index) << c.ms;
}

}  // namespace
