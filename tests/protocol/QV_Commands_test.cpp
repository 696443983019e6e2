#include "protocol/QV_Commands.h"

#include "ReportDeviceFixture.h"
#include "devices/QV_BaseDevice.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

// ---- Classification and pacing rules ----

TEST(CommandRulesTest, Classification) {
  EXPECT_TRUE(IsVersionCmd("\x01"));
  EXPECT_TRUE(IsVersionCmd("\x81"));
  EXPECT_FALSE(IsVersionCmd("\x80"));
  EXPECT_TRUE(IsFirstVersionCmd("\x80"));
  EXPECT_TRUE(IsBufferClearCmd("\xC1"));
  EXPECT_FALSE(IsBufferClearCmd("\x85\x60"));
  EXPECT_FALSE(IsBufferClearCmd("\xBE"));
  EXPECT_TRUE(IsToolsCmd(Bytes({0x85, 0x44})));
  EXPECT_FALSE(IsToolsCmd(Bytes({0x85, 0x43})));
  EXPECT_TRUE(IsResetCmd("\x85Q"));
  EXPECT_TRUE(IsStopCmd("\x85`"));
  EXPECT_EQ(NarrowCommand(WidenCommand("\x85\xFF\x00x")), "\x85\xFF\x00x");
}

struct TDelayCase {
  std::string cmd;
  TQV_PeerType peer;
  TCmdWriter writer;
  int32_t ms;
};

TEST(CommandRulesTest, DelaysByWriterAndPeer) {
  const TDelayCase cases[] = {
      {"\x85#", ptColdfire, TCmdWriter::UsbLine, 20}, {"\x85" "C", ptESP, TCmdWriter::Network, 20},
      {"\x02", ptColdfire, TCmdWriter::UsbLine, 20},  {"\x03\x01", ptESP, TCmdWriter::UsbLine, 20},
      {"\x85%", ptESP, TCmdWriter::Network, 30},      {"\x85" "2", ptESP, TCmdWriter::UsbLine, 50},
      {"\x85" "2", ptESP, TCmdWriter::Network, 0},    {"\x41", ptESP, TCmdWriter::UsbLine, 5},
      {"\x41", ptColdfire, TCmdWriter::UsbLine, 0},   {"\x04s\x00\x00\x00\x01", ptESP, TCmdWriter::UsbLine, 1000},
      {"\x85#", ptColdfire, TCmdWriter::Serial, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandDelayFor(c.cmd, c.peer, c.writer).Ms, c.ms) << AnsiToHex(c.cmd);
}

TEST(CommandRulesTest, ReplyWaitsOfCommands) {
  EXPECT_EQ(ReplyWaitFor("\x0A", 0x0300).Wait, crt_phaseReset);
  EXPECT_EQ(ReplyWaitFor("\x29", 0x0300).Wait, crt_interval);
  EXPECT_EQ(ReplyWaitFor("\xC1", 0x0300).Wait, crt_mode);
  EXPECT_EQ(ReplyWaitFor("\x5E", 0x0300).Wait, crt_scrambler);
  EXPECT_EQ(ReplyWaitFor("\x5E", 0xFFFF).Wait, crt_scrambler);
  EXPECT_FALSE(ReplyWaitFor("\x5E", 0x0330).Wait);  // scrambler bits 11: no wait
  EXPECT_EQ(ReplyWaitFor("\x5E", 0x0330).Reason, "invalid scrambler");
  EXPECT_EQ(ReplyWaitFor("\x35", 0x0300).Wait, crt_channel);
  EXPECT_EQ(ReplyWaitFor("?\x0C", 0x0300).Wait, crt_channel);
  EXPECT_EQ(ReplyWaitFor("\x85" "Eb\x01", 0x0300).Wait, crt_ReadNVS);
  EXPECT_FALSE(ReplyWaitFor("\x01", 0x0300).Wait);
}

TEST(CommandRulesTest, ApplyReplyWaitLogsWithTheWriterPrefix) {
  TLogCapture log;
  TManualClock clock;
  TQV_TestDevice device(clock, log.Id());
  device.SetZCTReportHeader(0x0330);
  ApplyReplyWait(device, "\x5F", "QV_UsbThread.SendCommandIntern");
  EXPECT_EQ(device.CmdResponse(), crt_none);
  EXPECT_TRUE(log.Contains("QV_UsbThread.SendCommandIntern: Header=0330 invalid scrambler cmd -> no wait CmdResponse"));
  ApplyReplyWait(device, "\x33", "QV_UsbThread.SendCommandIntern");
  EXPECT_EQ(device.CmdResponse(), crt_channel);
  EXPECT_EQ(device.LastCommand(), "\x33");
  EXPECT_TRUE(log.Contains("QV_UsbThread.SendCommandIntern: IsChannelCmd -> wait CmdResponse=channel"));
}

struct TMatchCase {
  const char* name;
  TCmdResponseType wait;
  uint16_t oldHeader;
  uint16_t newHeader;
  uint8_t cmd;
  bool ended;
  std::string line;
};

TEST(CommandRulesTest, MeasurementsEndTheMatchingWaits) {
  const TMatchCase cases[] = {
      {"same interval", crt_interval, 0x0900, 0x0900, 0x29, true, " ZCTMeasurement, same interval: old=0900, new=0900"},
      {"not yet", crt_interval, 0x0800, 0x0800, 0x29, false, ""},
      {"changed", crt_interval, 0x0800, 0x0900, 0x29, true, " ZCTMeasurement, interval changed: old=0800, new=0900"},
      {"mode changed", crt_mode, 0x0300, 0x1300, 0x41, true, " ZCTMeasurement, mode changed: old=0300, new=1300"},
      {"same mode", crt_mode, 0x1300, 0x1300, 0x41, true, " ZCTMeasurement, same mode: old=1300, new=1300"},
      {"mode pending", crt_mode, 0x0300, 0x0300, 0x41, false, ""},
      {"scrambler ok", crt_scrambler, 0xFFFF, 0x0310, 0x5E, true, " ZCTMeasurement, scrambler ok: old=FFFF, new=0310"},
      {"scrambler unknown", crt_scrambler, 0xFFFF, 0x0300, 0x5E, false, ""},
      {"same scrambler", crt_scrambler, 0x0320, 0x0320, 0x5F, true, " ZCTMeasurement, same scrambler: old=0320, new=0320"},
      {"scrambler changed", crt_scrambler, 0x0300, 0x0320, 0x5F, true,
       " ZCTMeasurement, scrambler changed: old=0300, new=0320"},
      {"channel", crt_channel, 0x0300, 0x0300, 0x35, true, " ZCTMeasurement for channel cmd old=0300, new=0300"},
      {"phase reset", crt_phaseReset, 0x0300, 0x0300, 0x0A, true, " ZCTMeasurement for phase reset old=0300, new=0300"},
      {"login", crt_login, 0x0300, 0x0300, 0xBE, false, ""},
  };
  for (const auto& c : cases) {
    const TReplyMatch match = MatchMeasurement(c.wait, c.oldHeader, c.newHeader, c.cmd);
    EXPECT_EQ(match.Ended, c.ended) << c.name;
    if (c.ended) {
      ASSERT_EQ(match.Lines.size(), 2u) << c.name;
      EXPECT_EQ(match.Lines[0], c.line) << c.name;
      EXPECT_EQ(match.Lines[1], " ZCTMeasurement CmdResponse=none") << c.name;
    }
  }
}

TEST(CommandRulesTest, StatusBlockEndsEveryWaitButChannel) {
  EXPECT_TRUE(MatchStatusBlock(crt_interval).Ended);
  EXPECT_TRUE(MatchStatusBlock(crt_ReadNVS).Ended);
  EXPECT_FALSE(MatchStatusBlock(crt_channel).Ended);
  EXPECT_FALSE(MatchStatusBlock(crt_none).Ended);
  EXPECT_EQ(MatchStatusBlock(crt_mode).Lines[0], " TransmitReport Is7020 old:mode");
}

TEST(CommandRulesTest, ReplyWaitLimitCoversTheSlowerInterval) {
  EXPECT_EQ(ReplyWaitLimitMs(crt_mode, 0x0300, "\x41"), 3 * 10 + 1000);
  EXPECT_EQ(ReplyWaitLimitMs(crt_interval, 0x0300, "\x2D"), 3 * 20000 + 1000);  // 10 ms -> 20 s
  EXPECT_EQ(ReplyWaitLimitMs(crt_interval, 0x0D00, "\x23"), 3 * 20000 + 1000);  // 20 s -> 10 ms
  EXPECT_EQ(ReplyWaitLimitMs(crt_mode, 0xFFFF, "\x41"), 3 * 20000 + 1000);      // unknown: the slowest
}

TEST(CommandRulesTest, AnNvsReadWaitsTheSameWhateverTheInterval) {
  for (const uint16_t header : {0x0300, 0x0D00, 0xFFFF})
    EXPECT_EQ(ReplyWaitLimitMs(crt_ReadNVS, header, std::string("\x85" "Eb\x00", 4)), NvsReplyLimitMs) << header;
}

TEST(CommandQueueTest, KeepsOrderAndRemovesByMatch) {
  TQV_CommandQueue queue;
  queue.Add("\x41");
  queue.Add("\x01");
  queue.Add(Bytes({0x85, 0x00, 0xFF}));
  EXPECT_EQ(queue.RemoveIf([](const std::string& cmd) { return IsVersionCmd(cmd); }), 1);
  EXPECT_EQ(queue.Count(), 2);
  EXPECT_EQ(queue.TakeFirst(), "\x41");
  EXPECT_EQ(queue.TakeFirst(), Bytes({0x85, 0x00, 0xFF}));
  EXPECT_FALSE(queue.TakeFirst());
}

// ---- The decoder's queue ----

class DecoderQueueTest : public ReportDeviceFixture {
 protected:
  void SetUp() override { Make(QV_HID, ptColdfire); }
  void FeedFrames(int n) {
    for (int i = 0; i < n; ++i) device->Feed(UsbFrame(Bytes({0x03, 0x00, 1, 2, 3})));
  }
};

TEST_F(DecoderQueueTest, CommandsAndReportsAlternate) {
  decoder->SendCommand("\x41");
  decoder->SendCommand("\x29");
  EXPECT_TRUE(device->Writes().empty());
  EXPECT_EQ(decoder->GetPendingCmdsCount(), 2);
  FeedFrames(3);
  EXPECT_FALSE(Next().empty());
  EXPECT_EQ(decoder->RxMode(), rxCommand);
  EXPECT_EQ(Next(), "");  // the command turn
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\x41");
  EXPECT_FALSE(Next().empty());
  Next();
  ASSERT_EQ(device->Writes().size(), 2u);
  EXPECT_EQ(device->Writes()[1], "\x29");
  EXPECT_FALSE(Next().empty());
  EXPECT_EQ(decoder->RxMode(), rxData);
  EXPECT_TRUE(HasLine(".SendCommand: add to CmdList=41"));
  EXPECT_TRUE(HasLine(".BaseProcessCommand: cmd=29"));
  EXPECT_TRUE(log.Contains("{29}"));
}

TEST_F(DecoderQueueTest, DeviceWithItsOwnQueueIsWrittenAtOnce) {
  device->SetHasCommandList(true);
  EXPECT_EQ(decoder->SendCommand("\x41"), QV_No_Err);
  ASSERT_EQ(device->Writes().size(), 1u);
  device->SetFailWrites(true);
  std::string reply;
  EXPECT_EQ(decoder->SendCommand("\x42", reply), QV_WriteError);
  EXPECT_EQ(reply, "write refused");
}

TEST_F(DecoderQueueTest, FailedWriteInTheCommandTurnIsReportedAndNotRetried) {
  decoder->SendCommand("\x41");
  FeedFrames(2);
  Next();
  device->SetFailWrites(true);
  EXPECT_EQ(Next(), "write refused");
  EXPECT_EQ(result, QV_WriteError);
  EXPECT_EQ(decoder->GetPendingCmdsCount(), 0);
  EXPECT_TRUE(HasError(".BaseProcessCommand: 41 failed(QV_WriteError)=write refused"));
}

TEST_F(DecoderQueueTest, CommandDelayHoldsTheQueueUntil7901OrItsLimit) {
  device->SetDelayNextCmdMs(20);
  decoder->SendCommand("\x41");
  EXPECT_TRUE(HasLine(".SendCommand: delay cmd for 20 -> add to CmdList=41"));
  FeedFrames(8);
  Next();
  Next();
  EXPECT_TRUE(HasLine(".BaseProcessCommand: delay cmd for 20"));
  Advance(25);  // elapsed, but a Coldfire instrument has not confirmed yet
  Next();
  Next();
  EXPECT_TRUE(device->Writes().empty());
  device->Feed(UsbFrame(Bytes({0x79, 0x01, 0, 0, 0, 0})));
  while (decoder->RxMode() == rxCommand || device->BufferAmount() > 0) {
    Next();
    if (!device->Writes().empty()) break;
  }
  ASSERT_EQ(device->Writes().size(), 1u);
}

TEST_F(DecoderQueueTest, MissingConfirmationEndsAfterItsLimit) {
  device->SetDelayNextCmdMs(20);
  decoder->SendCommand("\x41");
  FeedFrames(4);
  Next();
  Advance(20 + TQV_BaseDevice::ColdfireConfirmLimitMs + 1);
  Next();
  EXPECT_EQ(device->Writes().size(), 1u);
}

TEST_F(DecoderQueueTest, OneMillisecondLeftOnANetworkModuleCountsAsElapsed) {
  Make(QV_CDC, ptESP);
  device->SetHasCommandList(true);
  device->SetDelayNextCmdMs(5);
  Advance(4);
  EXPECT_EQ(decoder->SendCommand("\x41"), QV_No_Err);
  EXPECT_EQ(device->Writes().size(), 1u);
}

TEST_F(DecoderQueueTest, ReplyWaitHoldsCommandsAndEndsAfterItsTimeLimit) {
  Make(QV_CDC, ptESP);
  device->SetZCTReportHeader(0x0D00);  // 20 s measurements
  device->SetLastCommand("\x23");      // asked for 10 ms
  device->SetCmdResponse(crt_interval);
  decoder->SendCommand("\x41");
  EXPECT_TRUE(HasLine(".SendCommand: Wait CmdResponse interval -> add to CmdList=41"));
  device->Feed(EspStatus(255) + EspStatus(255) + EspStatus(255) + EspStatus(255));
  Next();
  Next();
  EXPECT_TRUE(HasLine(".BaseProcessCommand: Wait CmdResponse interval"));
  Advance(60000);  // the confirming measurement may still come
  Next();
  Next();
  EXPECT_TRUE(device->Writes().empty());
  Advance(1001 + 1);
  Next();
  Next();
  EXPECT_EQ(device->CmdResponse(), crt_none);
  EXPECT_TRUE(HasError(".CheckCmdResponse: wait CmdResponse interval expired after 61002 ms -> reset wait CmdResponse"));
  ASSERT_EQ(device->Writes().size(), 1u);
  EXPECT_EQ(device->Writes()[0], "\x41");
}

// The calibration read after the version report meets an instrument that never answers it: the
// mode command behind it goes out once the read's own limit has passed, not the slowest rate's.
TEST_F(DecoderQueueTest, AnUnansweredNvsReadHoldsTheQueueOnlyUntilItsLimit) {
  Make(QV_CDC, ptESP);
  device->SetHasCommandList(true);
  ASSERT_EQ(decoder->SendCommand(std::string("\x85" "Eb\x00", 4)), QV_No_Err);
  device->SetCmdResponse(crt_ReadNVS);  // as the writer does after the read went out
  decoder->SendCommand("\x40");
  EXPECT_TRUE(HasLine(".SendCommand: Wait CmdResponse readNVS -> add to CmdList=40"));
  device->Feed(EspStatus(255) + EspStatus(255) + EspStatus(255) + EspStatus(255));
  Next();
  Advance(NvsReplyLimitMs);
  Next();
  EXPECT_EQ(device->Writes().size(), 1u) << "still waiting at the limit";
  Advance(1);
  Next();
  Next();
  EXPECT_EQ(device->CmdResponse(), crt_none);
  EXPECT_TRUE(HasError(".CheckCmdResponse: wait CmdResponse readNVS expired after 3001 ms -> reset wait CmdResponse"));
  ASSERT_EQ(device->Writes().size(), 2u);
  EXPECT_EQ(device->Writes()[1], "\x40");
}

TEST_F(DecoderQueueTest, SendingWhileACommandRunsQueues) {
  decoder->SendCommand("\x41");
  FeedFrames(1);
  Next();
  decoder->SendCommand("\x42");
  EXPECT_TRUE(HasLine(".SendCommand: Command is running -> add to CmdList=42"));
  decoder->DeleteCommands();
  EXPECT_EQ(decoder->GetPendingCmdsCount(), 0);
}

}  // namespace
