#include "devices/QV_CommonTypes.h"

#include <gtest/gtest.h>

TEST(QV_Result, NamesLookAtTheLowSevenBits) {
  const struct {
    int value;
    const char* name;
  } cases[] = {{0, "QV_No_Err"},
               {1, "QV_No_Err"},
               {2, "QV_No_Err_Recovered"},
               {4, "QV_Err_BadFormat"},
               {24, "QV_FTDI_VCPError"},
               {46, "QV_Err_WatchErrorMsg"},
               {47, "kein QV_Result"},
               {127, "kein QV_Result"},
               {128 + 4, "QV_Err_BadFormat"}};
  for (const auto& c : cases) EXPECT_EQ(QV_ResultName(static_cast<TQV_Result>(c.value)), c.name) << c.value;
}

TEST(QV_CommonTypes, EnumerationNames) {
  const struct {
    std::string actual;
    const char* expected;
  } cases[] = {
      {QV_DeviceTypeName(QV_Serial), "QV_Serial"},
      {QV_DeviceTypeName(QV_Remote), "QV_Remote"},
      {QV_DeviceTypeName(QV_CAN_Menlo), "QV_CAN_Menlo"},
      {QV_DeviceTypeName(QV_FPGANet), "QV_FPGANet"},
      {QV_DeviceTypeName(static_cast<TQV_DeviceType>(13)), "13"},
      {QV_PeerTypeName(ptUnknown), "unknown"},
      {QV_PeerTypeName(ptColdfire), "Coldfire"},
      {QV_PeerTypeName(ptESP), "ESP"},
      {QV_DeviceStartStateName(ds_unknown), "unknown"},
      {QV_DeviceStartStateName(ds_ColdStart), "ColdStart"},
      {QV_DeviceStartStateName(ds_WarmStart), "WarmStart"},
      {QV_FPGATypeName(ft_unknown), "unknown"},
      {QV_FPGATypeName(ft_Altera), "Altera"},
      {QV_FPGATypeName(ft_MicroSemi), "MicroSemi"},
      {CmdResponseTypeName(crt_none), "none"},
      {CmdResponseTypeName(crt_interval), "interval"},
      {CmdResponseTypeName(crt_mode), "mode"},
      {CmdResponseTypeName(crt_scrambler), "scrambler"},
      {CmdResponseTypeName(crt_channel), "channel"},
      {CmdResponseTypeName(crt_phaseReset), "PhaseReset"},
      {CmdResponseTypeName(crt_login), "Login"},
      {CmdResponseTypeName(crt_ReadNVS), "readNVS"},
      {CmdResponseTypeName(static_cast<TCmdResponseType>(8)), "unknown 8"},
      {ConnectionTypeName(ctUSB), "ctUSB"},
      {ConnectionTypeName(ctTCPServer), "ctTCPServer"},
      {ConnectionTypeName(ctDemoNone), "ctDemoNone"},
      {ConnectionTypeName(static_cast<TConnectionType>(9)), "9"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(QV_CommonTypes, HardFeatureTextsDependOnThePeer) {
  const struct {
    uint16_t value;
    const char* coldfire;
    const char* esp;
  } cases[] = {
      {0x0001, "ZCT", "ZCT"},
      {0x0002, "IVC", "IVC"},
      {0x0003, "ZCT, U", "ZCT, IVC"},
      {0x0008, "MRT9", ", serial"},
      {0x000A, "MRT9, U", "IVC, serial"},
      {0x0009, "ZCT", "ZCT, serial"},
      {0x0005, "ZCT, S", "ZCT, SWC"},
      {0x00F1, "ZCT, Bit4, Bit5, Bit6, Bit7", "ZCT, analog, CAN, static IP, Bit7"},
      {0x4001, "ZCT", "ZCT"},
      {0xFFFF, "unknown", "unknown"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HardFeatureToString(c.value, ptColdfire), c.coldfire) << std::hex << c.value;
    EXPECT_EQ(HardFeatureToString(c.value, ptUnknown), c.coldfire) << std::hex << c.value;
    EXPECT_EQ(HardFeatureToString(c.value, ptESP), c.esp) << std::hex << c.value;
  }
}

TEST(QV_CommonTypes, HardFeatureValidityAndFlags) {
  EXPECT_FALSE(HardFeatureValid(0));
  EXPECT_TRUE(HardFeatureValid(1));
  EXPECT_TRUE(HardFeatureValid(255));
  EXPECT_FALSE(HardFeatureValid(256));
  EXPECT_FALSE(HardFeatureValid(0xFFFF));
  EXPECT_TRUE(IsHardRepeatEmptyHRQ(0x4001));
  EXPECT_FALSE(IsHardRepeatEmptyHRQ(0x0001));
  EXPECT_TRUE(IsHardESPCAN(0x20));
  EXPECT_TRUE(IsHardMRT9(0x08));
}

TEST(QV_CommonTypes, HardFeature32Fields) {
  const THardFeature32 word{0xA1B2C3D4};
  EXPECT_EQ(word.Hard0_7(), 0xD4);
  EXPECT_EQ(word.Hard8_23(), 0xB2C3);
  EXPECT_EQ(word.Hard24_31(), 0xA1);
  EXPECT_EQ(word.ToString(), "A1B2C3D4");
  EXPECT_EQ(THardFeature32{0x00000001}.ToString(), "00000001");
  const struct {
    uint32_t value;
    int refError;
  } cases[] = {{0x00000000, 0}, {0x00010000, 1}, {0x00020000, 2}, {0x00030000, 1}, {0xFFFCFFFF, 0}};
  for (const auto& c : cases) EXPECT_EQ(THardFeature32{c.value}.HardRefError(), c.refError) << std::hex << c.value;
}

TEST(QV_CommonTypes, DebugSettingsTextKeepsFieldOrder) {
  TDebugSettings settings;
  settings.FromString("1010");
  EXPECT_TRUE(settings.OwnLogFile);
  EXPECT_FALSE(settings.DebugLog);
  EXPECT_TRUE(settings.LowLevelLog);
  EXPECT_FALSE(settings.ReportLog);
  EXPECT_EQ(settings.ToString(), "1010");
  settings.FromString("011");  // too short: unchanged
  EXPECT_EQ(settings.ToString(), "1010");
  settings.FromString("0001");
  EXPECT_EQ(settings.ToString(), "0001");
}

TEST(QV_CommonTypes, HexTexts) {
  EXPECT_EQ(AnsiToHex(std::string("\x85\x45\x62\x0A\x00", 5)), "8545620A00");
  EXPECT_EQ(AnsiToHex(""), "");
  EXPECT_EQ(IntToHex(0x2A, 2), "2A");
  EXPECT_EQ(IntToHex(0x2A, 4), "002A");
  EXPECT_EQ(IntToHex(0xFFFFFFFF, 8), "FFFFFFFF");
}
