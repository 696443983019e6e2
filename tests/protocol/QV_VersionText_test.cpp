#include "protocol/QV_VersionText.h"

#include <gtest/gtest.h>

namespace {

struct TColdfireCase {
  std::string text;
  bool ok;
  uint16_t features;
  int32_t version;
  std::string date;
  std::string fpga;
  std::optional<uint32_t> serial;
  std::string ip;
};

TEST(ColdfireVersionTest, Forms) {
  const TColdfireCase cases[] = {
      {"VERSION ZCT: 63 USCF 230115 User1 / 230115.2A / 1234ABCD / 192.168.0.5 / x\r\n", true, 0x0007, 63, "230115",
       "230115.2A", 0x1234ABCD, "192.168.0.5"},
      {"VERSION MRT9: 45 FCF 190101 / 190101.01 / User / 00BEEF00", true, 0x4008, 45, "190101", "190101.01", 0x00BEEF00,
       ""},
      {"VERSION IVC: 39 CF 150101 / 150101.01 / 1234 / 5678", true, 0x0002, 39, "150101", "150101.01", std::nullopt, ""},
      {"VERSION ZCQ: 70 CF 200101 / 200101.01", true, 0x2001, 70, "200101", "200101.01", std::nullopt, ""},
      {"VERSION Other: x CF 200101", false, 0x8000, -1, "200101", "", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const auto v = ParseColdfireVersion(c.text);
    ASSERT_TRUE(v) << c.text;
    EXPECT_EQ(v->Ok, c.ok) << c.text;
    EXPECT_EQ(v->HardFeature, c.features) << c.text;
    EXPECT_EQ(v->Version, c.version) << c.text;
    EXPECT_EQ(v->Date, c.date) << c.text;
    EXPECT_EQ(v->FPGAVersion, c.fpga) << c.text;
    EXPECT_EQ(v->SerialNumber, c.serial) << c.text;
    EXPECT_EQ(v->IP, c.ip) << c.text;
  }
  EXPECT_EQ(ParseColdfireVersion("VERSION ZCT: 63\r\n")->VersionString, "ZCT: 63");
  EXPECT_FALSE(ParseColdfireVersion("ZCT: 63"));
  EXPECT_FALSE(ParseColdfireVersion("VERSION ZCT 63"));
}

TEST(ESPVersionTest, FullText) {
  const TESPVersion v =
      ParseESPVersion("ZCT2, IVC / 1234ABCD 3 / FW: ZCT2-1.14 2023-01-15 / HW: 230115.2A / IP: 0A00A8C0\r\n");
  EXPECT_TRUE(v.Ok);
  EXPECT_EQ(v.HardwareText, "ZCT2, IVC");
  EXPECT_EQ(v.SerialNumber, 0x1234ABCDu);
  EXPECT_EQ(v.UserID, 3);
  EXPECT_EQ(v.FirmwareText, "ZCT2-1.14 2023-01-15");
  EXPECT_EQ(v.Major, 1);
  EXPECT_EQ(v.Minor, 14);
  EXPECT_EQ(v.Version, 114);
  EXPECT_EQ(v.Date, "2023-01-15");
  EXPECT_EQ(v.FPGAVersion, "230115.2A");
  EXPECT_EQ(v.IP, "192.168.0.10");
  for (const auto& d : v.Diagnostics) EXPECT_FALSE(d.IsError) << d.Text;
}

TEST(ESPVersionTest, FailuresAreNamed) {
  const TESPVersion v = ParseESPVersion("ZCT2 / XYZ q / FW: ZCT2-a.b / HX: 1 / IP: zz");
  EXPECT_FALSE(v.Ok);
  std::vector<std::string> errors;
  for (const auto& d : v.Diagnostics)
    if (d.IsError) errors.push_back(d.Text);
  const std::vector<std::string> expected = {
      ".ESPExtractFirmware invalid SerialNumber=XYZ", ".ESPExtractFirmware invalid UserID=q",
      ".ESPExtractFirmware invalid major=a.b",        ".ESPExtractFirmware invalid minor=a.b",
      ".ESPExtractFirmware invalid HW=HX: 1",         ".ESPExtractFirmware invalid IP=IP: zz"};
  EXPECT_EQ(errors, expected);
  const TESPVersion empty = ParseESPVersion(" \r\n");
  ASSERT_EQ(empty.Diagnostics.size(), 1u);
  EXPECT_EQ(empty.Diagnostics[0].Text, ".ESPExtractFirmware: empty VersionString");
}

TEST(NumberTextTest, HexAndDecimal) {
  EXPECT_EQ(ParseHex32(" 00c0FFEE "), 0x00C0FFEEu);
  EXPECT_FALSE(ParseHex32("123456789"));
  EXPECT_FALSE(ParseHex32("12G"));
  EXPECT_EQ(ParseDecimal("42"), 42);
  EXPECT_FALSE(ParseDecimal("-1"));
  EXPECT_FALSE(ParseDecimal("99999999999"));
}

}  // namespace
