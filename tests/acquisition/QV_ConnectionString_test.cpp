#include "acquisition/QV_ConnectionString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "FakeMachine.h"

namespace {

const std::string Tag = "TSourceItem[0]";

struct TSourceMachine : TFakeMachine {
  TConnectionString Split(const std::string& s) const { return SplitConnectionString(s, FileExists(), Tag); }
  TOpenTarget Open(const std::string& s) const { return ClassifyOpenTarget(Split(s), FindDevice(), FileExists()); }
};

std::string TimeText(const std::optional<TWallTime>& t) { return t ? ArchiveTimeText(*t) : "open"; }

}  // namespace

TEST(SplitConnectionString, TakesFlagsAndPartsApart) {
  const struct {
    const char* input;
    TQV_Result result;
    bool zct2, host, reportStruct, loop, wait;
    int userId;
    const char* port;
    const char* baud;
  } cases[] = {
      {"COM3:115200", QV_No_Err, false, false, false, false, false, 255, "COM3", "115200"},
      {"  ZCT2:/192.0.2.20:9999  ", QV_No_Err, true, false, false, false, false, 255, "192.0.2.20", "9999"},
      {"HOST:/lab-counter:9999", QV_No_Err, false, true, false, false, false, 255, "lab-counter", "9999"},
      {"ZCT2:/HOST:/lab-counter", QV_No_Err, true, true, false, false, false, 255, "lab-counter", ""},
      {"DemoData ReportStruct", QV_No_Err, false, false, true, false, false, 255, "DemoData", ""},
      {"COM3:115200 USERID=2", QV_No_Err, false, false, false, false, false, 2, "COM3", "115200"},
      {"COM3:115200 userid=4", QV_No_Err, false, false, false, false, false, 4, "COM3", "115200"},
      {"COM3:115200 USERID=7", QV_No_Err, false, false, false, false, false, 255, "COM3", "115200"},
      {"COM3:115200 USERID=0", QV_No_Err, false, false, false, false, false, 255, "COM3", "115200"},
      {"COM3:115200 USERID=", QV_No_Err, false, false, false, false, false, 255, "COM3", "115200"},
      {"/data/run.txt loop_for_ever Wait_Interval", QV_No_Err, false, false, false, true, true, 255, "/data/run.txt",
       ""},
      {"/data/run.txt USERID=1 LOOP_FOR_EVER", QV_No_Err, false, false, false, true, false, 1, "/data/run.txt", ""},
      {"C:\\data\\run.txt", QV_No_Err, false, false, false, false, false, 255, "C:\\data\\run.txt", ""},
      {"C:\\data\\missing.txt", QV_No_Err, false, false, false, false, false, 255, "C", "\\data\\missing.txt"},
      {"/data/run:1.txt", QV_No_Err, false, false, false, false, false, 255, "/data/run:1.txt", ""},
      {":9999", QV_Err_BadFormat, false, false, false, false, false, 255, "", ""},
      {"   ", QV_Err_BadFormat, false, false, false, false, false, 255, "", ""},
      {"CAN:MENLOF CHANNEL0 TYPE=0x20", QV_No_Err, false, false, false, false, false, 255, "CAN",
       "MENLOF CHANNEL0 TYPE=0x20"},
      {"TCP:192.0.2.5:9999", QV_No_Err, false, false, false, false, false, 255, "TCP:192.0.2.5", "9999"},
      // The archive form is split after its address, so times with ':' stay whole.
      {"ARCHIVE:192.0.2.5:9999 2025-01-07 10:00:00;2025-01-08 12:30:00", QV_No_Err, false, false, false, false, false,
       255, "ARCHIVE:192.0.2.5", "9999 2025-01-07 10:00:00;2025-01-08 12:30:00"},
      {"ARCHIVE:192.0.2.5:9999 20250107 100000 ReportStruct", QV_No_Err, false, false, true, false, false, 255,
       "ARCHIVE:192.0.2.5", "9999 20250107 100000"},
      {"none", QV_No_Err, false, false, false, false, false, 255, "none", ""},
  };
  const TSourceMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const TConnectionString r = machine.Split(c.input);
    EXPECT_EQ(r.Result, c.result);
    EXPECT_EQ(r.FisZCT2, c.zct2);
    EXPECT_EQ(r.FisHost, c.host);
    EXPECT_EQ(r.FReportStruct, c.reportStruct);
    EXPECT_EQ(r.FileDataLoopForEver, c.loop);
    EXPECT_EQ(r.FileDataWait, c.wait);
    EXPECT_EQ(r.UserID, c.userId);
    if (c.result == QV_No_Err) {
      EXPECT_EQ(r.Port, c.port);
      EXPECT_EQ(r.Baud, c.baud);
    }
  }
}

TEST(SplitConnectionString, WritesItsDiagnosticLines) {
  const TSourceMachine machine;
  EXPECT_EQ(machine.Split("COM3:115200 ReportStruct USERID=7 LOOP_FOR_EVER WAIT_INTERVAL").Log,
            (TSourceLogLines{{false, Tag + ".SplitConnectionString: ReportStruct"},
                             {true, Tag + ".SplitConnectionString: invalid UserID 7"},
                             {false, Tag + ".SplitConnectionString: LOOP FOR EVER"},
                             {false, Tag + ".SplitConnectionString: WAIT INTERVALL"}}));
  EXPECT_EQ(machine.Split("COM3:115200 USERID=x").Log,
            (TSourceLogLines{{false, Tag + ".SplitConnectionString extract UserID failed"}}));
  EXPECT_EQ(machine.Split("COM3:115200 USERID=99999999999").Log,
            (TSourceLogLines{{false, Tag + ".SplitConnectionString extract UserID failed"}}));
  EXPECT_EQ(machine.Split("C:\\data\\run.txt").Log,
            (TSourceLogLines{{false, Tag + ".SplitConnectionString: FileExists C:\\data\\run.txt"}}));
  EXPECT_TRUE(machine.Split("COM3:115200").Log.empty());
}

TEST(SplitConnectionString, FailedSplitGivesTheInvalidStringReply) {
  EXPECT_EQ(InvalidConnectionStringText(":9999"), "Invalid connection string: :9999");
  EXPECT_EQ(OpenFailureReply(QV_Err_BadFormat, "Invalid CAN address: ", "CAN:MENLOG"),
            "Invalid CAN address: CAN:MENLOG");
  EXPECT_EQ(OpenFailureReply(QV_DeviceNotFound, "Device not found: COM9", "COM9"), "Device not found: COM9");
}

TEST(ClassifyOpenTarget, DevicesFilesNetworkAndSimulator) {
  const struct {
    const char* input;
    TQV_Result result;
    TConnectionType kind;
    const char* name;  // device name, file path or address
    uint32_t baudOrPort;
    const char* error;
  } cases[] = {
      {"COM3:115200", QV_No_Err, ctSerial, "COM3", 115200, ""},
      {"COM3:57600", QV_No_Err, ctSerial, "COM3", 57600, ""},
      {"COM3:fast", QV_No_Err, ctSerial, "COM3", 115200, ""},
      {"COM3", QV_No_Err, ctSerial, "COM3", 115200, ""},
      {"Q+V ZCT 1234", QV_No_Err, ctUSB, "Q+V ZCT 1234", 0, ""},
      {"ZCT2:/Q+V ZCT 1234 USERID=3", QV_No_Err, ctUSB, "Q+V ZCT 1234", 0, ""},
      {"Q+V:CDC 77", QV_No_Err, ctUSB, "Q+V:CDC 77", 0, ""},  // found by port ":" baud
      {"COM9:115200", QV_DeviceNotFound, ctDemoNone, "", 0, "Device not found: COM9:115200"},
      {"/data/run.txt LOOP_FOR_EVER", QV_No_Err, ctFile, "/data/run.txt", 0, ""},
      {"C:\\data\\run.txt", QV_No_Err, ctFile, "C:\\data\\run.txt", 0, ""},
      {"C:\\data\\missing.txt", QV_DeviceNotFound, ctDemoNone, "", 0, "Device not found: C:\\data\\missing.txt"},
      {"192.0.2.20:9999", QV_No_Err, ctNetwork, "192.0.2.20", 9999, ""},
      {"192.0.2.20", QV_No_Err, ctNetwork, "192.0.2.20", 0, ""},
      {"ZCT2:/192.0.2.20 USERID=1", QV_No_Err, ctNetwork, "192.0.2.20", 0, ""},
      {"HOST:/lab-counter:9999", QV_No_Err, ctNetwork, "lab-counter", 9999, ""},
      {"HOST:/lab-counter:abc", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid network address: "},
      {"192.0.2.300:9999", QV_DeviceNotFound, ctDemoNone, "", 0, "Device not found: 192.0.2.300:9999"},
      {"TCP:192.0.2.5:9999", QV_No_Err, ctTCPServer, "192.0.2.5", 9999, ""},
      {"tcp:192.0.2.5:9999", QV_No_Err, ctTCPServer, "192.0.2.5", 9999, ""},
      {"TCP:192.0.2:9999", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid TCP-Server address: "},
      {"TCP:192.0.2.5:70000", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid TCP-Server address: "},
      {"TCP:192.0.2.5:0", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid TCP-Server address: "},
      {"TCP:192.0.2.5", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid TCP-Server address: "},
      {"TCP:host.example:9999", QV_Err_BadFormat, ctDemoNone, "", 0, "Invalid TCP-Server address: "},
      {"DemoData", QV_No_Err, ctDemoNone, "", 0, ""},
      {"none", QV_No_Err, ctDemoNone, "", 0, ""},
  };
  const TSourceMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const TOpenTarget t = machine.Open(c.input);
    EXPECT_EQ(t.Result, c.result);
    EXPECT_EQ(t.ErrorMessage, c.error);
    if (c.result != QV_No_Err) continue;
    EXPECT_EQ(t.Kind, c.kind);
    if (c.kind == ctSerial) {
      EXPECT_EQ(t.BaudRate, c.baudOrPort);
    }
    if (c.kind == ctNetwork || c.kind == ctTCPServer) {
      EXPECT_EQ(t.Address, c.name);
      EXPECT_EQ(t.DataPort, c.baudOrPort);
      EXPECT_EQ(t.ResolveHost, std::string(c.input).starts_with("HOST:/"));
    } else if (c.kind != ctDemoNone) {
      EXPECT_EQ(t.DeviceName, c.name);
    }
  }
  EXPECT_TRUE(machine.Open("none").IsNone);
  EXPECT_FALSE(machine.Open("DemoData").IsNone);
}

TEST(ClassifyOpenTarget, CanAddresses) {
  const struct {
    const char* input;
    bool ok;
    int node, channel, type;
  } cases[] = {
      {"CAN:MENLOF CHANNEL0 TYPE=0x20", true, 15, 0, 0x20},
      {"can:MENLO3 CHANNEL2 TYPE=0x21", true, 3, 2, 0x21},
      {"CAN:MENLOa CHANNEL3", true, 10, 3, 0x20},
      {"CAN:MENLO7", true, 7, 0, 0x20},
      {"CAN:MENLO7 TYPE=0x21", true, 7, 0, 0x21},
      {"CAN:MENLOG", false, 0, 0, 0},
      {"CAN:MENLO", false, 0, 0, 0},
      {"CAN:MENLOF CHANNEL4", false, 0, 0, 0},
      {"CAN:MENLOF CHANNEL", false, 0, 0, 0},
      {"CAN:MENLOF TYPE=0x22", false, 0, 0, 0},
      {"CAN:MENLOF TYPE=0x2", false, 0, 0, 0},
      {"CAN:MENLOF CHANNEL0 TYPE=0x20 more", false, 0, 0, 0},
      {"CAN:PEAK1", false, 0, 0, 0},
      {"CAN", false, 0, 0, 0},
  };
  const TSourceMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const TOpenTarget t = machine.Open(c.input);
    if (!c.ok) {
      EXPECT_EQ(t.Result, QV_Err_BadFormat);
      EXPECT_EQ(t.ErrorMessage, "Invalid CAN address: ");
      continue;
    }
    ASSERT_EQ(t.Result, QV_No_Err);
    EXPECT_EQ(t.Kind, ctCAN);
    EXPECT_EQ(t.CanNode, c.node);
    EXPECT_EQ(t.CanChannel, c.channel);
    EXPECT_EQ(t.CanType, c.type);
  }
}

TEST(ClassifyOpenTarget, ArchivePeriods) {
  const struct {
    const char* input;
    const char* error;
    const char* start;
    const char* end;
  } cases[] = {
      {"ARCHIVE:192.0.2.5:9999 2025-01-07 10:00:00", "", "20250107 100000", "open"},
      {"ARCHIVE:192.0.2.5:9999 20250107 100000;20250108 123000", "", "20250107 100000", "20250108 123000"},
      // Times with ':' on both sides of the ';'.
      {"ARCHIVE:192.0.2.5:9999 2025-01-07 10:00:00;2025-01-08 12:30:15", "", "20250107 100000", "20250108 123015"},
      {"ARCHIVE:192.0.2.5:9999 2025-01-07 10:00;2025-01-08", "", "20250107 100000", "20250108 000000"},
      {"ARCHIVE:192.0.2.5:9999  20250107 ; ", "", "20250107 000000", "open"},
      {"archive:192.0.2.5:9999 20250107", "", "20250107 000000", "open"},
      {"ARCHIVE:192.0.2.5:9999", "TCP-Archive StartTime missing: ", "", ""},
      {"ARCHIVE:192.0.2.5: 20250107", "TCP-Archive StartTime missing: ", "", ""},
      {"ARCHIVE:192.0.2.5 20250107", "TCP-Archive StartTime missing: ", "", ""},
      {"ARCHIVE:192.0.2.5:9999 yesterday", "Invalid TCP-Archive StartTime: ", "", ""},
      {"ARCHIVE:192.0.2.5:9999 ;20250107", "Invalid TCP-Archive StartTime: ", "", ""},
      {"ARCHIVE:192.0.2.5:9999 2025-01-07;tomorrow", "Invalid TCP-Archive EndTime: ", "", ""},
      {"ARCHIVE:192.0.2.5:9999 2025-01-08;2025-01-07", "Invalid TCP-Archive EndTime: ", "", ""},
      {"ARCHIVE:192.0.2:9999 2025-01-07", "Invalid TCP-Server address: ", "", ""},
      {"ARCHIVE:192.0.2.5:port 2025-01-07", "Invalid TCP-Server address: ", "", ""},
  };
  const TSourceMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const TOpenTarget t = machine.Open(c.input);
    EXPECT_EQ(t.ErrorMessage, c.error);
    if (*c.error) {
      EXPECT_EQ(t.Result, QV_Err_BadFormat);
      continue;
    }
    ASSERT_EQ(t.Result, QV_No_Err);
    EXPECT_EQ(t.Kind, ctArchive);
    EXPECT_EQ(t.Address, "192.0.2.5");
    EXPECT_EQ(t.DataPort, 9999);
    EXPECT_EQ(TimeText(t.ArchiveStart), c.start);
    EXPECT_EQ(TimeText(t.ArchiveEnd), c.end);
  }
}

TEST(ArchiveTime, AcceptedFormsAndCalendarChecks) {
  const struct {
    const char* text;
    const char* expected;  // "" = refused
  } cases[] = {
      {"2025-01-07 10:20:30", "20250107 102030"},
      {"2025-01-07 10:20", "20250107 102000"},
      {"2025-01-07", "20250107 000000"},
      {"20250107 102030", "20250107 102030"},
      {"20250107 1020", "20250107 102000"},
      {"20250107", "20250107 000000"},
      {"  2024-02-29 23:59:59 ", "20240229 235959"},
      {"2025-02-29", ""},
      {"2025-13-01", ""},
      {"2025-00-10", ""},
      {"2025-04-31", ""},
      {"2025-01-07 24:00:00", ""},
      {"2025-01-07 10:60", ""},
      {"2025-01-07T10:00:00", ""},
      {"2025-1-7", ""},
      {"25-01-07", ""},
      {"20250107 10", ""},
      {"1969-12-31", ""},
      {"2200-12-31", "22001231 000000"},
      {"39400202 0000", ""},  // beyond what the wall clock holds: refused, not overflowed
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<TWallTime> t = ParseArchiveTime(c.text);
    EXPECT_EQ(t ? ArchiveTimeText(*t) : "", c.expected);
  }
}

TEST(ArchiveTime, IsLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "UTC0", 1);
  tzset();
  const std::optional<TWallTime> utc = ParseArchiveTime("2025-01-07 10:00:00");
  setenv("TZ", "CET-1", 1);
  tzset();
  const std::optional<TWallTime> cet = ParseArchiveTime("20250107 100000");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  ASSERT_TRUE(utc && cet);
  EXPECT_EQ(std::chrono::system_clock::to_time_t(*utc), 1736244000);
  EXPECT_EQ(*utc - *cet, std::chrono::hours(1));
}

TEST(IPv4AndPort, Validation) {
  for (const char* good : {"192.0.2.5", "0.0.0.0", "255.255.255.255", "010.001.000.001"})
    EXPECT_TRUE(IsValidIPv4(good)) << good;
  for (const char* bad : {"", "192.0.2", "192.0.2.5.1", "192.0.2.256", "192..2.5", "192.0.2.5 ", "a.b.c.d",
                          "1920.0.2.5", "192.0.2.", "-1.0.2.5"})
    EXPECT_FALSE(IsValidIPv4(bad)) << bad;
  EXPECT_EQ(ParsePortNumber("1"), 1);
  EXPECT_EQ(ParsePortNumber("65535"), 65535);
  for (const char* bad : {"", "0", "65536", "99999999999", "+80", "80a", " 80"})
    EXPECT_FALSE(ParsePortNumber(bad)) << bad;
}

TEST(BuildConnectionString, FormsPerConnectionKind) {
  TConnectionChoice usb = Choice(ctUSB, [](TConnectionChoice& c) {
    c.ZCT2 = true;
    c.Name = "Q+V ZCT 1234";
    c.UserID = 2;
  });
  TConnectionChoice serial = Choice(ctSerial, [](TConnectionChoice& c) {
    c.Name = "COM3";
    c.Baud = 115200;
  });
  TConnectionChoice network = Choice(ctNetwork, [](TConnectionChoice& c) {
    c.Name = "192.0.2.20";
    c.Port = 9999;
  });
  TConnectionChoice host = Choice(ctNetwork, [](TConnectionChoice& c) {
    c.ZCT2 = true;
    c.Name = "lab-counter";
    c.ByHostName = true;
  });
  TConnectionChoice tcp = Choice(ctTCPServer, [](TConnectionChoice& c) {
    c.Name = "192.0.2.5";
    c.Port = 9999;
  });
  TConnectionChoice file = Choice(ctFile, [](TConnectionChoice& c) {
    c.Name = "/data/run.txt";
    c.LoopForEver = true;
    c.WaitInterval = true;
  });
  TConnectionChoice can = Choice(ctCAN, [](TConnectionChoice& c) {
    c.CanNode = 15;
    c.CanChannel = 0;
    c.CanType = 0x20;
  });
  TConnectionChoice archive = Choice(ctArchive, [](TConnectionChoice& c) {
    c.Name = "192.0.2.5";
    c.Port = 9999;
  });
  archive.ArchiveStart = *ParseArchiveTime("2025-01-07 10:00:00");
  archive.ArchiveEnd = ParseArchiveTime("2025-01-08 12:30:00");
  TConnectionChoice demo = Choice(ctDemoNone, [](TConnectionChoice& c) { c.Demo = true; });
  TConnectionChoice none = Choice(ctDemoNone, [](TConnectionChoice& c) { c.UserID = 3; });
  const struct {
    TConnectionChoice choice;
    const char* expected;
  } cases[] = {
      {usb, "ZCT2:/Q+V ZCT 1234 USERID=2"},
      {serial, "COM3:115200"},
      {network, "192.0.2.20:9999"},
      {host, "ZCT2:/HOST:/lab-counter"},
      {tcp, "TCP:192.0.2.5:9999"},
      {file, "/data/run.txt LOOP_FOR_EVER WAIT_INTERVAL"},
      {can, "CAN:MENLOF CHANNEL0 TYPE=0x20"},
      {archive, "ARCHIVE:192.0.2.5:9999 20250107 100000;20250108 123000"},
      {demo, "DemoData"},
      {none, "none"},
  };
  for (const auto& c : cases) {
    const TBuiltConnection built = BuildConnectionString(c.choice);
    EXPECT_TRUE(built.Complete) << c.expected;
    EXPECT_EQ(built.Text, c.expected);
  }
}

TEST(BuildConnectionString, IncompleteChoicesGiveTheDialogTexts) {
  const struct {
    TConnectionType kind;
    const char* text;
  } cases[] = {{ctUSB, "No Q+V device selected on USB"},
               {ctSerial, "No serial port selected"},
               {ctNetwork, "Network address missing"},
               {ctTCPServer, "TCP server address missing"},
               {ctFile, "Filename missing"},
               {ctArchive, "TCP archive address missing"}};
  for (const auto& c : cases) {
    const TBuiltConnection built =
        BuildConnectionString(Choice(c.kind, [](TConnectionChoice& choice) { choice.UserID = 1; }));
    EXPECT_FALSE(built.Complete);
    EXPECT_EQ(built.Text, c.text);
  }
}

// What the dialog builds opens what the user chose.
TEST(BuildConnectionString, RoundTripsThroughSplitAndClassify) {
  TConnectionChoice archive = Choice(ctArchive, [](TConnectionChoice& c) {
    c.Name = "192.0.2.5";
    c.Port = 9999;
    c.UserID = 4;
  });
  archive.ArchiveStart = *ParseArchiveTime("2025-01-07 10:20:30");
  archive.ArchiveEnd = ParseArchiveTime("2025-03-30 02:30:00");
  TConnectionChoice openEnd = archive;
  openEnd.ArchiveEnd.reset();
  const TConnectionChoice choices[] = {
      Choice(ctUSB,
             [](TConnectionChoice& c) {
               c.ZCT2 = true;
               c.Name = "Q+V ZCT 1234";
               c.UserID = 2;
             }),
      Choice(ctUSB, [](TConnectionChoice& c) { c.Name = "Q+V:CDC 77"; }),
      Choice(ctSerial,
             [](TConnectionChoice& c) {
               c.Name = "COM3";
               c.Baud = 57600;
               c.UserID = 1;
             }),
      Choice(ctNetwork,
             [](TConnectionChoice& c) {
               c.ZCT2 = true;
               c.Name = "192.0.2.20";
               c.Port = 9999;
               c.UserID = 3;
             }),
      Choice(ctNetwork, [](TConnectionChoice& c) { c.Name = "192.0.2.21"; }),
      Choice(ctNetwork,
             [](TConnectionChoice& c) {
               c.Name = "lab-counter";
               c.ByHostName = true;
               c.Port = 10001;
             }),
      Choice(ctTCPServer,
             [](TConnectionChoice& c) {
               c.Name = "192.0.2.5";
               c.Port = 65535;
             }),
      Choice(ctFile,
             [](TConnectionChoice& c) {
               c.Name = "/data/run.txt";
               c.LoopForEver = true;
             }),
      Choice(ctFile,
             [](TConnectionChoice& c) {
               c.Name = "/data/run:1.txt";
               c.WaitInterval = true;
               c.UserID = 2;
             }),
      Choice(ctCAN,
             [](TConnectionChoice& c) {
               c.CanNode = 10;
               c.CanChannel = 3;
               c.CanType = 0x21;
             }),
      archive,
      openEnd,
      Choice(ctDemoNone,
             [](TConnectionChoice& c) {
               c.Demo = true;
               c.UserID = 1;
             }),
  };
  const TSourceMachine machine;
  for (const TConnectionChoice& c : choices) {
    const TBuiltConnection built = BuildConnectionString(c);
    SCOPED_TRACE(built.Text);
    ASSERT_TRUE(built.Complete);
    const TConnectionString split = machine.Split(built.Text);
    const TOpenTarget t = ClassifyOpenTarget(split, machine.FindDevice(), machine.FileExists());
    ASSERT_EQ(t.Result, QV_No_Err) << t.ErrorMessage;
    EXPECT_EQ(t.Kind, c.Kind);
    EXPECT_EQ(split.UserID, c.UserID);
    EXPECT_EQ(split.FisZCT2, c.ZCT2);
    EXPECT_EQ(split.FisHost, c.ByHostName);
    EXPECT_EQ(split.FileDataLoopForEver, c.LoopForEver);
    EXPECT_EQ(split.FileDataWait, c.WaitInterval);
    switch (c.Kind) {
      case ctUSB:
      case ctFile:
        EXPECT_EQ(t.DeviceName, c.Name);
        break;
      case ctSerial:
        EXPECT_EQ(t.DeviceName, c.Name);
        EXPECT_EQ(t.BaudRate, c.Baud);
        break;
      case ctNetwork:
      case ctTCPServer:
        EXPECT_EQ(t.Address, c.Name);
        EXPECT_EQ(t.DataPort, c.Port);
        break;
      case ctCAN:
        EXPECT_EQ(t.CanNode, c.CanNode);
        EXPECT_EQ(t.CanChannel, c.CanChannel);
        EXPECT_EQ(t.CanType, c.CanType);
        break;
      case ctArchive:
        EXPECT_EQ(t.Address, c.Name);
        EXPECT_EQ(t.DataPort, c.Port);
        EXPECT_EQ(t.ArchiveStart, c.ArchiveStart);
        EXPECT_EQ(t.ArchiveEnd, c.ArchiveEnd);
        break;
      default:
        EXPECT_FALSE(t.IsNone);
    }
  }
}
