// The counter session's configuration: settings keys with their defaults and round trip, nominal
// frequencies, HRQ settings, interval-counter calibration and the old linear combinations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QVSessionTestSupport.h"
#include "alarms/ClockAlarm.h"
#include "core/App_Settings.h"
#include "core/QV_NumberText.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"
#include "devices/QV_DeviceInfo.h"
#include "devices/QV_Simulator.h"
#include "support/TempDir.h"

namespace {

const std::string P = "Session_0_";

struct TKey {
  std::string Name;
  std::string Value;
};

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (const auto& part : parts) text += part + separator;
  return text;
}

std::vector<std::string> Numbered(const std::string& prefix, int first, int count) {
  std::vector<std::string> parts;
  for (int i = first; i < first + count; ++i) parts.push_back(prefix + std::to_string(i));
  return parts;
}

class QVSessionSettings : public ::testing::Test, public QVSessionFixture {
 protected:
  void TearDown() override {
    // The simulator's report switches are program-wide.
    TQV_SimulDevice::SetDGIReports(true);
    TQV_SimulDevice::SetIVCReports(true);
  }
  // A settings store of the current format with the given lines.
  static std::unique_ptr<TAppSettings> Settings(const std::vector<TKey>& keys) {
    auto settings = std::make_unique<TAppSettings>();
    settings->SetValue("INI_Version", "6");
    for (const auto& key : keys) settings->SetValue(key.Name, key.Value);
    return settings;
  }
  TTempDir dir;
};

TEST_F(QVSessionSettings, ReadingAddsEveryKeyWithItsDefault) {
  auto settings = Settings({{P + "OpenString", "DemoData"}});
  session->ReadSettings(*settings, P);
  const std::vector<TKey> defaults = {
      {"AllanDecay", "0"},
      {"Alarm_Def1", "10000000, 0.001, False, False"},
      {"Alarm_Def24", "10000000, 0.001, False, False"},
      {"Alarm_Repeat", "5"},
      {"Alarm_Idle", "5"},
      {"Alarm_LogAlarm", "False"},
      {"Debug_Stream", "False"},
      {"ClearBuffer", "True"},
      {"SerialNumber", "4294967295"},
      {"DemoChannels", "4"},
      {"DemoMode", "1"},
      {"DemoRate", "9"},
      {"DemoDGI", "True"},
      {"DemoIVC", "True"},
      {"DGI1_SigNames", ""},
      {"DGI8_SigNames", ""},
      {"ZCTDateTimeStart", ""},
      {"RunLocalTcpServer", "False"},
      {"LocalTcpServerPort", "0"},
      {"LocalTcpServerAddress", "0.0.0.0"},
      {"LocalTcpServerAllowedClients", ""},
      {"NomFreq1_4", ""},
      {"NomFreq21_24", ""},
      {"IVC_Ids", ""},
      {"IVC_Names", ""},
      {"IVC_Colors", ""},
      {"UseDeviceCalibration", "False"},
      {"VIVC_Description", ""},
      {"VIVC_Ids", ""},
      {"VIVC_Names", ""},
      {"VIVC_Colors", ""},
      {"VIVC_1_Factors", ""},
      {"VIVC_24_Factors", ""},
      {"RawIntervalIndex", "-1"},
      {"RawAvg", "False"},
      {"Ref20MHz", "False"},
      {"ReportStruct", "False"},
      {"TCPDataPort", "0"},
      {"UserID", "255"},
  };
  for (const auto& key : defaults) {
    SCOPED_TRACE(key.Name);
    EXPECT_EQ(settings->TryGetValue(P + key.Name), key.Value);
  }
  EXPECT_TRUE(session->ClearBufferOnStart());
  EXPECT_EQ(session->SerialNumberINI(), kSerialNumberUnknown);
  EXPECT_EQ(session->DemoChannels(), 4);
  EXPECT_EQ(session->DemoMode(), 1);
  EXPECT_EQ(session->DemoRate(), 9);
  EXPECT_EQ(session->DGIName(1, 1), "DGI1_Bit0");
  EXPECT_EQ(session->DGIName(8, 32), "DGI8_Bit31");
  EXPECT_EQ(session->RawIntervalIndex(), -1);
  EXPECT_EQ(session->UserIdINI(), 255);
  EXPECT_EQ(session->DecSep(), '.');
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReadSettings Demo: Channels=4 Mode=1 Rate=9 DGI=True IVC=True"));
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReadSettings END"));
}

TEST_F(QVSessionSettings, SimulatorKeysBelongToDemoSessionsOnly) {
  auto settings = Settings({{P + "OpenString", "COM3:115200"}});
  session->ReadSettings(*settings, P);
  EXPECT_FALSE(settings->TryGetValue(P + "DemoChannels"));
  TAppSettings saved;
  session->SaveSettings(saved, P);
  EXPECT_FALSE(saved.TryGetValue(P + "DemoMode"));
}

TEST_F(QVSessionSettings, EveryKeyRoundTrips) {
  ASSERT_EQ(session->SetDebugPath(dir.Path()), "");
  const auto nomFreqs = [](std::vector<double> values) {
    std::string text;
    for (double v : values) text += FormatFloatFixed(v, 22, 11) + "; ";
    return text;
  };
  std::string factors;
  for (int i = 1; i <= 24; ++i) factors += (i == 1 ? "1" : i == 2 ? "-0.5" : "0") + std::string(";");
  std::string colors;
  for (int i = 1; i <= 24; ++i) colors += std::to_string(1000 + i) + ", ";
  const std::vector<TKey> keys = {
      {P + "OpenString", "DemoData"},
      {P + "AllanDecay", "2"},
      {P + "Alarm_Def3", "5000000, 0.5, True, True"},
      {P + "Alarm_Repeat", "7"},
      {P + "Alarm_Idle", "9"},
      {P + "Alarm_LogAlarm", "True"},
      {P + "Debug_Stream", "True"},
      {P + "ClearBuffer", "False"},
      {P + "SerialNumber", "305419896"},
      {P + "DemoChannels", "6"},
      {P + "DemoMode", "3"},
      {P + "DemoRate", "11"},
      {P + "DemoDGI", "False"},
      {P + "DemoIVC", "False"},
      {P + "DGI1_SigNames", Joined(Numbered("In", 1, 32), ", ")},
      {P + "DGI8_SigNames", Joined(Numbered("Card8_", 0, 32), ", ")},
      {P + "ZCTDateTimeStart", "46364.5"},
      {P + "RunLocalTcpServer", "True"},
      {P + "LocalTcpServerPort", "5000"},
      {P + "LocalTcpServerAddress", "127.0.0.1"},
      {P + "LocalTcpServerAllowedClients", "192.0.2.5, 192.0.2.6"},
      {P + "NomFreq1_4", nomFreqs({10000000, 5000000, 0, 100000000})},
      {P + "NomFreq21_24", nomFreqs({0, 0, 0, 1000000})},
      {P + "IVC_Ids", Joined(Numbered("", 1, 24), ", ")},
      {P + "IVC_Names", Joined(Numbered("Ivc", 1, 24), ", ")},
      {P + "IVC_Colors", colors},
      {P + "UseDeviceCalibration", "True"},
      {P + "VIVC_Description", "start minus stop"},
      {P + "VIVC_Ids", Joined(Numbered("V", 1, 24), ", ")},
      {P + "VIVC_Names", Joined(Numbered("Diff", 1, 24), ", ")},
      {P + "VIVC_Colors", colors},
      {P + "VIVC_1_Factors", factors},
      {P + "RawIntervalIndex", "4"},
      {P + "RawAvg", "True"},
      {P + "Ref20MHz", "True"},
      {P + "ReportStruct", "True"},
      {P + "TCPDataPort", "9999"},
      {P + "UserID", "2"},
  };
  auto settings = Settings(keys);
  session->ReadSettings(*settings, P);
  TAppSettings saved;
  session->SaveSettings(saved, P);
  for (const auto& key : keys) {
    SCOPED_TRACE(key.Name);
    EXPECT_EQ(saved.TryGetValue(key.Name), key.Value);
  }

  const TQVSessionItem& s = *session;
  EXPECT_EQ(s.ZCT_DM().AllanDecay(), 2);
  EXPECT_EQ(session->ClockAlarm().Definition(3).Frequence, 5000000);
  EXPECT_EQ(session->ClockAlarm().Definition(3).ChannelName, "ZCT_A3");
  EXPECT_TRUE(s.DebugStream());
  EXPECT_FALSE(s.ClearBufferOnStart());
  EXPECT_EQ(s.SerialNumberINI(), 0x12345678u);
  EXPECT_FALSE(s.DemoDGI());
  EXPECT_FALSE(TQV_SimulDevice::DGIReports());
  EXPECT_FALSE(TQV_SimulDevice::IVCReports());
  EXPECT_EQ(s.DGIName(1, 32), "In32");
  EXPECT_TRUE(s.RunLocalTcpServer());
  EXPECT_EQ(s.LocalTcpServerPort(), 5000);
  EXPECT_EQ(s.LocalTcpServerAddress(), "127.0.0.1");
  EXPECT_EQ(s.LocalTcpServerAllowedClients(), "192.0.2.5, 192.0.2.6");
  EXPECT_EQ(s.LocalServer(), (TLocalServerSettings{true, 5000, "127.0.0.1", "192.0.2.5, 192.0.2.6", false, ""}));
  EXPECT_EQ(s.NomFreq(2), 5000000);
  EXPECT_EQ(s.NomFreq(24), 1000000);
  EXPECT_EQ(session->ClockAlarm().Definition(4).Frequence, 100000000);
  EXPECT_EQ(s.IVCChannelData().ChannelName(7), "Ivc7");
  EXPECT_TRUE(s.UseDeviceCalibration());
  EXPECT_EQ(s.VirtualIVCChannelCount(), 1);
  EXPECT_EQ(s.VirtualIVCChannelData().MaxChannels(), 1);
  EXPECT_EQ(s.VirtualIVCFactors(1)[1], -0.5);
  EXPECT_EQ(s.RawIntervalIndex(), 4);
  EXPECT_TRUE(s.RawAvg());
  EXPECT_TRUE(s.Ref20MHz());
  EXPECT_TRUE(s.ZCT_DM().Ref20MHz());
  EXPECT_TRUE(s.ReportStruct());
  EXPECT_EQ(s.DataPortINI(), 9999);
  EXPECT_EQ(s.UserIdINI(), 2);
}

TEST_F(QVSessionSettings, NominalFrequencyListsSkipWhatIsNotANumber) {
  auto settings = Settings({{P + "NomFreq1_4", "10000000; ; abc; 5000000; "}});
  session->SetNomFreq(2, 1000);
  session->SetNomFreq(3, 2000);
  session->ReadSettings(*settings, P);
  EXPECT_EQ(session->NomFreq(1), 10000000);
  EXPECT_EQ(session->NomFreq(2), 1000);
  EXPECT_EQ(session->NomFreq(3), 2000);
  EXPECT_EQ(session->NomFreq(4), 5000000);
  EXPECT_EQ(session->NomFreq(0), 0);
  EXPECT_EQ(session->NomFreq(25), 0);
}

TEST_F(QVSessionSettings, GlobalNominalFrequenciesWinInExpertMode) {
  options.GlobalNomFrequ = true;
  options.GlobalNomFreq[0] = 5000000;
  session->UpdateOptions(0);
  auto settings = Settings({{P + "NomFreq1_4", "10000000; "}});
  SetExpertMode(true);
  session->ReadSettings(*settings, P);
  SetExpertMode(false);
  EXPECT_EQ(session->NomFreq(1), 5000000);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].ReadSettings GlobalNominalFrequency[1]=5000000"));
}

TEST_F(QVSessionSettings, SignalNamesNeedAll32Parts) {
  auto settings = Settings({{P + "DGI1_SigNames", Joined(Numbered("In", 1, 31), ", ")},
                            {P + "DGI2_SigNames", Joined(Numbered("B", 1, 32), ", ")}});
  session->SetDGIName(1, 5, "kept?");
  session->ReadSettings(*settings, P);
  EXPECT_EQ(session->DGIName(1, 5), "DGI1_Bit4");
  EXPECT_EQ(session->DGIName(1, 32), "DGI1_Bit31");
  EXPECT_EQ(session->DGIName(2, 32), "B32");
}

TEST_F(QVSessionSettings, OldFilesKeepOneKeyPerSignalName) {
  TAppSettings settings;
  settings.SetValue(P + "DGI3_SigName7", "Door");
  session->ReadSettings(settings, P);
  EXPECT_EQ(session->DGIName(3, 7), "Door");
  EXPECT_EQ(settings.TryGetValue(P + "DGI3_SigName8"), "DGI3_Bit7");
}

TEST_F(QVSessionSettings, DeletedVirtualIvcChannelsLeaveNoKeysBehind) {
  TChannelFactors factors{};
  factors[0] = 1;
  session->SetVirtualIVCFactors(1, factors);
  session->SetVirtualIVCDescription("one");
  TAppSettings settings;
  session->SaveSettings(settings, P);
  EXPECT_TRUE(settings.TryGetValue(P + "VIVC_1_Factors"));
  EXPECT_TRUE(settings.TryGetValue(P + "VIVC_Names"));
  session->SetVirtualIVCFactors(1, {});
  session->SaveSettings(settings, P);
  EXPECT_FALSE(settings.TryGetValue(P + "VIVC_1_Factors"));
  EXPECT_FALSE(settings.TryGetValue(P + "VIVC_Names"));
  EXPECT_EQ(settings.TryGetValue(P + "VIVC_Description"), "one");
}

TEST_F(QVSessionSettings, SavingBeforeAnyDataKeepsTheStoredValues) {
  auto settings = Settings({{P + "OpenString", "DemoData"},
                            {P + "DemoChannels", "7"},
                            {P + "DemoMode", "4"},
                            {P + "DemoRate", "12"},
                            {P + "RawIntervalIndex", "3"},
                            {P + "ZCTDateTimeStart", "46000.25"}});
  session->ReadSettings(*settings, P);
  // The session lists remove every session key before the sessions write theirs.
  settings->RemoveKeys("Session_");
  session->SaveSettings(*settings, P);
  EXPECT_EQ(settings->TryGetValue(P + "DemoChannels"), "7");
  EXPECT_EQ(settings->TryGetValue(P + "DemoMode"), "4");
  EXPECT_EQ(settings->TryGetValue(P + "DemoRate"), "12");
  EXPECT_EQ(settings->TryGetValue(P + "RawIntervalIndex"), "3");
  EXPECT_EQ(settings->TryGetValue(P + "ZCTDateTimeStart"), "46000.25");
}

TEST_F(QVSessionSettings, SavedDemoValuesFollowTheInstrument) {
  auto settings = Settings({{P + "OpenString", "DemoData"}});
  session->ReadSettings(*settings, P);
  OpenDemo();
  ASSERT_EQ(opened, "");
  session->SetCommand("\x2A", "2s");
  RunSteps(60);
  session->SaveSettings(*settings, P);
  EXPECT_EQ(settings->TryGetValue(P + "DemoChannels"), "4");
  EXPECT_EQ(settings->TryGetValue(P + "DemoMode"), "1");
  EXPECT_EQ(settings->TryGetValue(P + "DemoRate"), "10");
  EXPECT_EQ(settings->TryGetValue(P + "Interval"), "2000");
  EXPECT_EQ(settings->TryGetValue(P + "RawIntervalIndex"), "10");
  EXPECT_NE(settings->TryGetValue(P + "ZCTDateTimeStart"), "");
}

TEST_F(QVSessionSettings, UpdateBracketsNestAndNeverGoBelowZero) {
  session->EndUpdate();
  EXPECT_FALSE(log.Contains("TQVSessionItem[0/False].EndUpdate Counter=0"));
  session->BeginUpdate();
  session->BeginUpdate();
  session->EndUpdate();
  session->EndUpdate();
  session->EndUpdate();
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].BeginUpdate Counter=2"));
  EXPECT_EQ(log.Count("TQVSessionItem[0/False].EndUpdate Counter=0"), 1u);
}

TEST_F(QVSessionSettings, CalibrationRangeWrapsAndRefuses) {
  session->SetCalibFactorFloatToInt(1);
  double value = 600000000;
  EXPECT_TRUE(session->CheckCalibrationRange(value));
  EXPECT_EQ(value, -400000000);
  value = 1000000000;
  EXPECT_FALSE(session->CheckCalibrationRange(value));
  value = -1000000000;
  EXPECT_FALSE(session->CheckCalibrationRange(value));
  // With the default scaling the wrapped value no longer fits 32 bits.
  session->SetCalibFactorFloatToInt(1000);
  value = 600000000;
  EXPECT_FALSE(session->CheckCalibrationRange(value));
  value = 2000000;
  EXPECT_TRUE(session->CheckCalibrationRange(value));
  session->SetCalibFactorFloatToInt(0);
  EXPECT_EQ(session->CalibFactorFloatToInt(), 1000);
}

TEST_F(QVSessionSettings, CalibrationChangesAreAnnouncedAfterTheFirst) {
  TCalibrationData data{};
  data[1] = 1.5;
  session->SetCalibrationData(data);
  EXPECT_TRUE(HasNotice(TakeNotices(), swIVCCalibration));
  EXPECT_EQ(CountCode(96), 0u);
  EXPECT_TRUE(session->IVCCalibrationSet());
  session->SetCalibrationData(data);
  EXPECT_FALSE(HasNotice(TakeNotices(), swIVCCalibration));
  data[1] = 2.5;
  session->SetCalibrationData(data);
  EXPECT_TRUE(HasMessage(96, mtInfo, "IVC calibration changed"));
  EXPECT_EQ(session->IVC_DM().CalibrationValues()[1], 2.5);
}

TEST_F(QVSessionSettings, DeviceCalibrationWaitsForTheInstrument) {
  session->SetUseDeviceCalibration(true);
  EXPECT_FALSE(session->IVC_DM().AddLogStrings());
  session->SetUseDeviceCalibration(false);
  EXPECT_TRUE(session->IVC_DM().AddLogStrings());
}

TEST_F(QVSessionSettings, CalibrationTransferFailuresBecomeError95) {
  TCalibrationData data{};
  session->UserChangedDeviceCalibration(data);
  EXPECT_TRUE(HasMessage(95, mtError, "Change Device Calibration failed, format error"));
  EXPECT_FALSE(session->UseDeviceCalibration());
  OpenDemo();
  ASSERT_EQ(opened, "");
  EXPECT_EQ(session->TransmitDeviceCalibrationData(data),
            "Change Device Calibration not supported, Firmware-Version=" +
                std::to_string(Multi_GetFirmwareVersion(session->MultiId())));
}

TEST_F(QVSessionSettings, HrqReportsSetTheStoreAndAnnounceChanges) {
  const auto report = [](const std::string& first) {
    std::string text = "7902; " + first;
    for (int i = 2; i <= 24; ++i) text += "/0;0;0";
    return text;
  };
  session->AddDeviceHRQData(report("10000000;9990000;1"));
  EXPECT_TRUE(session->ZCT_DM().DeviceHRQSet());
  EXPECT_EQ(session->HRQSetting(1).NomFreq, 10000000);
  EXPECT_TRUE(session->HRQSetting(1).enabled);
  EXPECT_EQ(session->NomFreq(1), 10000000);
  EXPECT_EQ(session->ClockAlarm().Definition(1).Frequence, 10000000);
  EXPECT_TRUE(HasNotice(TakeNotices(), swHRQData));
  EXPECT_TRUE(session->HRQSettingsAreSet());
  EXPECT_EQ(CountCode(101), 0u);

  session->AddDeviceHRQData(report("10000000;9980000;1"));
  EXPECT_TRUE(HasMessage(101, mtInfo, "HRQ Data changed"));

  const THRQSettings before = session->HRQSettingsValue();
  session->AddDeviceHRQData("7902; 1;2");
  EXPECT_EQ(session->HRQSettingsValue().ToString(), before.ToString());
  EXPECT_FALSE(session->WaitHRQData());

  EXPECT_FALSE(session->GetHRQSettingsChanged(before));
  session->SetHRQSettings(before);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].SetHRQSettings no changes"));
  THRQSettings other = before;
  other.HRQChannels[2].enabled = true;
  EXPECT_TRUE(session->GetHRQSettingsChanged(other));
  session->SetHRQSettings(other);
  // Without an instrument the settings cannot go out; the session keeps its own.
  EXPECT_TRUE(log.Contains("WARN:  TQVSessionItem[0/False].SetHRQSettings transmit to device failed"));
  EXPECT_EQ(session->HRQSettingsValue().ToString(), before.ToString());
}

TEST_F(QVSessionSettings, UserNominalFrequenciesAreRememberedForTheInstrument) {
  OpenDemo();
  ASSERT_EQ(opened, "");
  const uint32_t serial = Multi_GetSerialNumber(session->MultiId());
  // What the program remembers of this instrument goes into a session without own values.
  ASSERT_TRUE(Multi_UpdateDeviceInfo(serial, [](TQV_DeviceInfo& info) { info.SetNominalFreq(2, 5000000); }));
  EXPECT_EQ(session->GetSerialNumber(), serial);
  EXPECT_EQ(session->NomFreq(2), 5000000);
  EXPECT_TRUE(log.Contains("TQVSessionItem[0/False].UpdateNominalFrequencies: DeviceInfo -> DataManager"));

  // Once the user sets one, the session's values (zeros included) are remembered instead.
  session->SetNomFreq(1, 10000000);
  session->UpdateNominalFrequencies();
  const auto info = Multi_GetDeviceInfo(serial);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->NominalFreq(1), 10000000);
  EXPECT_EQ(info->NominalFreq(2), session->ZCT_DM().NomFreqUser(2));
}

TEST_F(QVSessionSettings, LinearCombinationsBecomeVirtualChannels) {
  TAppSettings settings;
  settings.SetValue(P + "LC_Names", "Sum, Diff, ");
  settings.SetValue(P + "LC1_Mult1_4", "1 1 0 0 ");
  settings.SetValue(P + "LC2_Mult1_4", "1 -1 0 0 ");
  settings.SetValue(P + "LC2_Mult21_24", "0 0 0 0,5 ");
  int32_t lc1 = -1, lc2 = -1;
  EXPECT_TRUE(session->TransformLinComb(settings, lc1, lc2));
  EXPECT_EQ(lc1, 1);
  EXPECT_EQ(lc2, 2);
  EXPECT_EQ(session->VirtualChannelCount(), 2);
  EXPECT_EQ(session->VirtualChannelData().MaxChannels(), 2);
  EXPECT_EQ(session->VirtualChannelData().ChannelName(1), "Sum");
  EXPECT_EQ(session->VirtualChannelData().ChannelName(2), "Diff");
  EXPECT_EQ(session->VirtualChannelData().ChannelId(2), "V2");
  EXPECT_EQ(session->VirtualFactors(2)[1], -1);
  EXPECT_EQ(session->VirtualFactors(2)[23], 0.5);
  EXPECT_EQ(session->VirtualDescription(), "Linear combination 1/2");
  EXPECT_TRUE(HasMessage(151, mtInfo, "Linear combinations converted into virtual channels"));
}

TEST_F(QVSessionSettings, EmptyLinearCombinationsConvertNothing) {
  TAppSettings settings;
  settings.SetValue(P + "LC1_Mult1_4", "0 0 0 0 ");
  int32_t lc1 = -1, lc2 = -1;
  EXPECT_FALSE(session->TransformLinComb(settings, lc1, lc2));
  EXPECT_EQ(session->VirtualChannelCount(), 0);
  EXPECT_EQ(CountCode(151), 0u);
}

TEST_F(QVSessionSettings, ChannelNamesReachTheClockSupervision) {
  TQV_ChannelData data = session->ChannelData();
  data.SetChannelName(2, "Maser");
  data.SetChannelColor(2, 0x0000FF);
  data.SetChannelEnabled(2, false);
  session->SetChannelData(data);
  EXPECT_EQ(session->ChannelData().ChannelName(2), "Maser");
  EXPECT_TRUE(session->ChannelData().ChannelEnabled(2));
  EXPECT_EQ(session->ClockAlarm().Definition(2).ChannelName, "Maser");
  EXPECT_EQ(session->ClockAlarm().Definition(2).ChannelColor, 0x0000FFu);
}

TEST_F(QVSessionSettings, TimeZoneOptionConvertsTheStartTime) {
  OpenDemo();
  ASSERT_EQ(opened, "");
  RunSteps(2);
  const TDateTime local = session->ZCTDateTimeStart();
  ASSERT_TRUE(DateTimeKnown(local));
  options.LogTimeZoneSystem = true;
  session->UpdateOptions(0x20);
  EXPECT_DOUBLE_EQ(session->ZCTDateTimeStart(), LocalToUtc(local));
  options.LogTimeZoneSystem = false;
  session->UpdateOptions(0x20);
  EXPECT_NEAR(session->ZCTDateTimeStart(), local, 1e-9);
}

}  // namespace
