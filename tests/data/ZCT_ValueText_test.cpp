#include "data/ZCT_ValueText.h"

#include <gtest/gtest.h>

#include <cmath>

#include "protocol/Phase.h"

namespace {

TEST(ZCTValueText, NumberTexts) {
  struct Case {
    std::string actual, expected;
  } cases[] = {
      {ZCTPhaseText(Phase{0, -0.25}, 6, '.'), "                 -0.250000"},
      {ZCTPhaseText(Phase{0, -0.25}, 6, ','), "                 -0,250000"},
      {ZCTPhaseText(Phase{8'640'004'320'000, 0.5}, 11, '.'), " 8640004320000.50000000000"},
      {ZCTFrequencyText(10'000'000.5, '.'), "  10000000.50000000000"},
      {ZCTFrequencyText(4000, ','), "      4000,00000000000"},
      {ZCTRelativeText(1.23456784e-9, '.'), "+1.2345678E-09"},
      {ZCTRelativeText(-2.5e-12, ','), "-2,5000000E-12"},
      {ZCTRelativeText(0.0, '.'), "+0.0000000E+00"},
      {ZCTRelativeText(-0.0, '.'), "+0.0000000E+00"},
      {ZCTRelativeText(1.5e100, '.'), "+1.5000000E+100"},
      {ZCTResidualText(-0.123456, '.'), "                  -0.12346"},
      {ZCTResidualText(12.5, ','), "                  12,50000"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(ZCTValueText, SamplerFields) {
  EXPECT_EQ(ZCTSamplerField("   1.5", 6), "   1.5");
  EXPECT_EQ(ZCTSamplerField("12345678901234.12345678901", 26), " 12345678901234.1234567890");
  EXPECT_EQ(ZCTSamplerField("ab", 4), " ab ");
  EXPECT_EQ(ZCTVirtualSamplerField("1.5", 6), "   1.5");
  EXPECT_EQ(ZCTVirtualSamplerField(ZCT_NoValueText, 6), "      ");
}

TEST(ZCTValueText, DottedNumbers) {
  EXPECT_EQ(ZCTDottedNumber(12'345'678), "12.345.678");
  EXPECT_EQ(ZCTDottedNumber(999), "999");
  EXPECT_EQ(ZCTDottedNumber(1000), "1.000");
  EXPECT_EQ(ZCTDottedNumber(0), "0");
  EXPECT_EQ(ZCTDottedNumber(-1234), "-1.234");
}

}  // namespace
