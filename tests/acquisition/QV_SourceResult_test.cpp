#include "acquisition/QV_SourceResult.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(MultiResult, TranslatesDeviceResults) {
  const struct {
    TQV_Result result;
    int code;
  } cases[] = {
      {QV_No_Err, 1},
      {QV_WriteError, 3},
      {QV_Err_ServerDown, 4},
      {QV_DeviceNotConnected, 7},
      {QV_Err_EndOfFile, 7},
      {QV_Err_Disconnected, 7},
      {QV_Err_ReceiveBufferOverflow, 8},
      {QV_HardwareFault, 9},
      {QV_CmdIgnored, 11},
      {QV_Err_Reconnected, 13},
      {QV_No_Err_Recovered, 14},
      {QV_Err_Exception, 15},
      // Everything else is "other error".
      {QV_No_Err_ASCII, 0},
      {QV_System_Err, 0},
      {QV_Err_BadFormat, 0},
      {QV_Err_ReceiveBufferCleared, 0},
      {QV_DeviceNotFound, 0},
      {QV_TooManyUser, 0},
      {QV_Err_SourceNotFound, 0},
      {QV_Err_WatchErrorMsg, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(MultiResultFromQV(c.result), c.code) << QV_ResultName(c.result);
}

TEST(MultiResult, CallerBufferIsCutWithTerminatingZero) {
  const struct {
    size_t length;
    bool cut;
  } cases[] = {{0, false}, {1023, false}, {1024, true}, {5000, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, 'r');
    std::vector<char> buffer(MultiBufferSize + 8, '#');  // room past the end to catch overruns
    EXPECT_EQ(CopyToCallerBuffer(text, buffer.data()), c.cut);
    const size_t kept = std::min<size_t>(c.length, MultiBufferSize - 1);
    EXPECT_EQ(std::strlen(buffer.data()), kept);
    EXPECT_EQ(buffer[MultiBufferSize], '#');
    EXPECT_EQ(CutResult(mrOk, c.cut), c.cut ? mrOkTextCut : mrOk);
  }
  char small[4];
  EXPECT_TRUE(CopyToCallerBuffer("7015;12", small, sizeof small));
  EXPECT_STREQ(small, "701");
  EXPECT_TRUE(CopyToCallerBuffer("x", nullptr, 0));
  EXPECT_FALSE(CopyToCallerBuffer("", nullptr, 0));
  // Only a success turns into "cut".
  EXPECT_EQ(CutResult(mrNotConnected, true), mrNotConnected);
}

TEST(MultiResult, Texts) {
  EXPECT_EQ(SourceNotFoundText(7), "Source-ID 7 not found");
  EXPECT_STREQ(MultiDllInfo(), "20.2.7 25-01-07");
}

TEST(MultiResult, VersionAcceptance) {
  const struct {
    const char* info;
    bool ok;
  } cases[] = {
      {"20.2.7 25-01-07", true}, {"20.2.0", true},   {"21.0.0", true},           {"20.3.0", true},
      {"20.10.1", true},         {"20.1.9", false},  {"19.9.9", false},          {"2.2.0", false},
      {"20.2", false},           {"20.2.x", false},  {"20.x.0", false},          {"x.2.0", false},
      {"20.2.-1", false},        {"20..0", false},   {"20.2.0.1", false},        {"", false},
      {"garbage", false},        {" 20.2.0", false}, {"99999999999.0.0", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MultiDllVersionAcceptable(c.info), c.ok) << c.info;
  EXPECT_TRUE(MultiDllVersionAcceptable(MultiDllInfo()));
}
