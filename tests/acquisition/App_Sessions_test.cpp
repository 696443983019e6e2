#include "acquisition/App_Sessions.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "FakeSession.h"
#include "acquisition/VTA_Sync.h"
#include "core/App_Settings.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

std::unique_ptr<TAppSettings> Reload(TAppSettings& settings) {
  settings.SaveSettings();
  auto fresh = std::make_unique<TAppSettings>();
  fresh->LoadFromBytes(settings.ToBytes());
  return fresh;
}

TEST(TSessionItem, CreationSetsLetterNamesPalettesAndUnknowns) {
  auto session = TFakeSession::Make(2, "DemoData");
  EXPECT_EQ(session->DbgTag(), "TSessionItem[2/False]");
  EXPECT_EQ(session->ChannelData().ChannelName(1), "Channel_C1");
  EXPECT_EQ(session->VirtualChannelData().ChannelName(24), "VChannel_C24");
  EXPECT_EQ(session->VirtualChannelData().ChannelColor(1), ChannelPaletteColor(4, 1));
  EXPECT_EQ(session->ChannelData().ChannelColor(1), ChannelPaletteColor(0, 1));
  EXPECT_EQ(session->IntervalMs(), 1000);
  EXPECT_EQ(session->RangeInterval(), (TRange{0, 13, 0, 0}));
  EXPECT_EQ(session->SerialNumber(), kSerialNumberUnknown);
  EXPECT_EQ(session->SerialNumberINI(), kSerialNumberUnknown);
  EXPECT_EQ(session->Icon().Letter, 'C');
  EXPECT_NE(session->DataManagement(), nullptr);
  EXPECT_FALSE(session->IsRunning());
}

TEST(TSessionItem, CopySharesTheStoreAndTakesTheSettings) {
  auto session = TFakeSession::Make(1, "USB:123");
  session->SetOpenParams("USB:123", 0, 0x0000FF, "Maser");
  auto copy = TFakeSession::MakeCopy(*session);
  EXPECT_TRUE(copy->IsCopy());
  EXPECT_EQ(copy->DbgTag(), "TSessionItem[1/True]");
  EXPECT_EQ(copy->DataManagement(), session->DataManagement());
  EXPECT_EQ(copy->ToString(), "TSessionItem[1/True], USB:123, Maser");
  EXPECT_EQ(copy->Color(), 0x0000FFu);
  EXPECT_NE(copy->InstanceId(), session->InstanceId());

  // Only a copy takes a serial number from outside.
  session->SetSerialNumber(0x1234);
  copy->SetSerialNumber(0x1234);
  EXPECT_EQ(session->SerialNumber(), kSerialNumberUnknown);
  EXPECT_EQ(copy->SerialNumber(), 0x1234u);

  // The store outlives the original while the copy holds it.
  session.reset();
  EXPECT_NE(copy->DataManagement(), nullptr);
}

TEST(TSessionItem, OpenParamsUpdateTheIconAndTheText) {
  auto session = TFakeSession::Make(0, "x");
  session->SetOpenParams("COM3", 1, 0x800000, "");
  EXPECT_EQ(session->Icon(), (TSessionIcon{0x800000, 'A', 0xFFFFFF}));
  EXPECT_EQ(session->ToString(), "TSessionItem[0/False], COM3");
  EXPECT_TRUE(session->IsDirectSerial());
  session->SetOpenParams("COM3", 1, 0xFFFF00, "");
  EXPECT_EQ(session->Icon().TextColor, 0u);
  session->SetType(kSessionTypeSensor);
  EXPECT_FALSE(session->IsDirectSerial());
}

TEST(TSessionItem, LocalServerActionMirrorsTheRunningState) {
  auto session = TFakeSession::Make(0, "x");
  std::vector<bool> marks;
  session->SetLocalTcpServerRunning(true);
  session->SetLocalTcpServerAction([&](bool checked) { marks.push_back(checked); });
  session->SetLocalTcpServerRunning(false);
  EXPECT_EQ(marks, (std::vector<bool>{true, false}));
  EXPECT_FALSE(session->LocalTcpServerRunning());
}

TEST(TSessionItem, LogIdChangeIsAnnouncedInBothLogs) {
  TLogCapture oldLog, newLog;
  auto session = TFakeSession::Make(0, "x", std::make_shared<TFakeProbe>(), {}, oldLog.Id());
  session->SetLogId(newLog.Id());
  EXPECT_TRUE(oldLog.Contains("TSessionItem[0/False].BaseSetLogId change LogId to " + std::to_string(newLog.Id())));
  EXPECT_TRUE(newLog.Contains("TSessionItem[0/False].BaseSetLogId LogId changed"));
  EXPECT_EQ(session->DataManagement()->LogId(), newLog.Id());
}

TEST(TSessionItem, SettingsRoundTripKeepsEverythingTheBaseOwns) {
  TAppSettings settings;
  auto saved = TFakeSession::Make(0, "x");
  saved->SetOpenParams("TCP:10.0.0.5", 2, 0x123456, "Rb, lab 2");
  TQV_ChannelData channels = saved->ChannelData();
  channels.SetChannelName(3, "H-Maser");
  channels.SetChannelColor(3, 0x00C000);
  saved->SetChannelData(channels);
  TChannelFactors factors{};
  factors[0] = 1.5;
  factors[1] = -1;
  saved->SetVirtualFactors(2, factors);  // row 1 stays empty
  saved->SetVirtualDescription("difference");
  saved->SetHorizontalScaleFactor(hsShort, 4);
  saved->SetHorizontalScaleFactor(hsLong, 9);
  saved->SaveSettings(settings, "Session_0_");

  auto loadedSettings = Reload(settings);
  auto loaded = TFakeSession::Make(0, "");
  loaded->ReadSettings(*loadedSettings, "Session_0_");
  EXPECT_EQ(loaded->OpenString(), "TCP:10.0.0.5");
  EXPECT_EQ(loaded->ConnectionType(), 2);
  EXPECT_EQ(loaded->Color(), 0x123456u);
  EXPECT_EQ(loaded->FriendlyName(), "Rb, lab 2");
  EXPECT_EQ(loaded->ChannelData().ChannelName(3), "H-Maser");
  EXPECT_EQ(loaded->ChannelData().ChannelColor(3), 0x00C000u);
  EXPECT_EQ(loaded->VirtualFactors(2), factors);
  EXPECT_EQ(loaded->VirtualChannelCount(), 1);
  EXPECT_EQ(loaded->VirtualChannelData().MaxChannels(), 1);
  EXPECT_EQ(loaded->VirtualDescription(), "difference");
  EXPECT_EQ(loaded->HorizontalScaleFactor(hsShort), 4);
  EXPECT_EQ(loaded->HorizontalScaleFactor(hsLong), 9);
  EXPECT_EQ(loaded->DebugReport(), saved->DebugReport());
}

TEST(TSessionItem, WithoutVirtualChannelsNoVirtualKeysAreKept) {
  TAppSettings settings;
  settings.LoadFromBytes("Session_0_V_3_Factors=1;2;\r\nSession_0_V_Names=a, \r\n");
  auto session = TFakeSession::Make(0, "x");
  session->SaveSettings(settings, "Session_0_");
  EXPECT_FALSE(settings.TestKeys("Session_0_V_"));
  EXPECT_TRUE(settings.TestKeys("Session_0_Colors"));
}

TEST(TSessionItem, DescriptionSurvivesASaveWithoutVirtualChannels) {
  TAppSettings settings;
  auto session = TFakeSession::Make(0, "x");
  session->SetVirtualDescription("planned: maser minus GPS");
  session->SaveSettings(settings, "Session_0_");
  EXPECT_EQ(settings.GetValue("Session_0_V_Description", std::string()), "planned: maser minus GPS");
}

struct TNumberCase {
  const char* Interval;
  const char* Scale;
  int32_t ExpectedInterval;
  int32_t ExpectedShort;
  int32_t ExpectedLong;
};

TEST(TSessionItem, BadOrMissingNumbersReadAsDefaults) {
  const TNumberCase cases[] = {
      {"250", "3;7", 250, 3, 7},  {"0", "", 1000, 1, 1},     {"-5", "0;-2", 1000, 1, 1},
      {"abc", "x;4", 1000, 1, 4}, {"", "5", 1000, 5, 1},
  };
  for (const TNumberCase& c : cases) {
    TAppSettings settings;
    settings.LoadFromBytes(std::string("S_Interval=") + c.Interval + "\r\nS_HorizontalScale=" + c.Scale +
                           "\r\nS_Color=blue\r\nS_ConnectionType=?\r\n");
    auto session = TFakeSession::Make(0, "x");
    session->ReadSettings(settings, "S_");
    EXPECT_EQ(session->IntervalMs(), c.ExpectedInterval) << c.Interval;
    EXPECT_EQ(session->HorizontalScaleFactor(hsShort), c.ExpectedShort) << c.Scale;
    EXPECT_EQ(session->HorizontalScaleFactor(hsLong), c.ExpectedLong) << c.Scale;
    EXPECT_EQ(session->Color(), kDefaultSessionColor);
    EXPECT_EQ(session->ConnectionType(), -1);
  }
}

TEST(TSessionItem, ReadingTakesTheDebugFileErrorAndTheExpertDefault) {
  TAppSettings settings;
  auto probe = std::make_shared<TFakeProbe>();
  probe->DebugError = "no debug file";
  auto session = TFakeSession::Make(0, "x", probe);
  SetExpertMode(true);
  session->ReadSettings(settings, "S_");
  SetExpertMode(false);
  EXPECT_TRUE(session->DebugLog());
  EXPECT_EQ(session->ErrorMessage(), "no debug file");
  EXPECT_EQ(settings.TryGetValue("S_Debug_Log"), "True");
}

TEST(TSessionItem, DebugPathGetsADelimiterAndBadFoldersAreRefused) {
  TTempDir dir;
  auto session = TFakeSession::Make(0, "x");
  const std::string folder = dir.Path() + "debug";
  EXPECT_EQ(session->SetDebugPath(folder), "");
  EXPECT_EQ(session->DebugPath(), folder + "/");

  WriteWholeFile(dir.File("plainfile"), "x");
  const std::string bad = dir.File("plainfile") + "/sub";
  EXPECT_EQ(session->SetDebugPath(bad), "Invalid path: " + bad + "/");
  EXPECT_EQ(session->DebugPath(), folder + "/");
}

TEST(TSessionItem, NoticesAndMessagesNameTheSession) {
  TSyncList syncList;
  std::vector<std::tuple<int32_t, int32_t, TMsgType, std::string, bool>> messages;
  TSessionHandlers handlers;
  handlers.SyncList = &syncList;
  handlers.OnMsg = [&](int32_t sIndex, int32_t Code, int32_t, TMsgType type, const std::string& text, bool viaThread) {
    messages.emplace_back(sIndex, Code, type, text, viaThread);
  };
  auto session = TFakeSession::Make(3, "x", std::make_shared<TFakeProbe>(), handlers);
  session->Notify(swMode, 4);
  session->AddWarning(45, 0, "ZCT Time recalculated, plausibility check failed");
  const auto notice = syncList.TakeFirst();
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->Sender, session->Ref());
  EXPECT_EQ(notice->ToString(), "TMainSyncData Mode Code=4, aInt=0, , Sender=Session 3/False");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], std::make_tuple(3, 45, mtWarning, std::string("ZCT Time recalculated, plausibility check failed"), true));
}

TEST(TSessionItem, TestRaiseExceptionRaisesARangeError) {
  auto session = TFakeSession::Make(0, "x");
  EXPECT_THROW(
      {
        try {
          session->TestRaiseException();
        } catch (const std::range_error& e) {
          EXPECT_STREQ(e.what(), "TSessionItem.TestRaiseException");
          throw;
        }
      },
      std::range_error);
}

}  // namespace
