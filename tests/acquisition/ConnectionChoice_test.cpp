#include "acquisition/ConnectionChoice.h"

#include <gtest/gtest.h>

#include "FakeMachine.h"

namespace {

struct TDialogMachine : TFakeMachine {
  TChoiceCheck Check(const TConnectionChoice& c) const { return CheckConnectionChoice(c, FindDevice(), FileExists()); }
};

}  // namespace

// Change Source: every form the dialog builds comes back as the choice that builds it again.
TEST(ChoiceFromOpenString, StoredStringsRoundTrip) {
  const struct {
    const char* openString;
    int32_t storedType;
    TConnectionType kind;
  } cases[] = {
      {"DemoData", ctDemoNone, ctDemoNone},
      {"DemoData USERID=3", ctDemoNone, ctDemoNone},
      {"none", ctDemoNone, ctDemoNone},
      {"/data/run.txt LOOP_FOR_EVER WAIT_INTERVAL", ctFile, ctFile},
      {"/data/run:1.txt USERID=2", ctFile, ctFile},
      {"192.0.2.20:9999", ctNetwork, ctNetwork},
      {"ZCT2:/192.0.2.20", ctNetwork, ctNetwork},
      {"ZCT2:/HOST:/lab-counter:9999 USERID=2", ctNetwork, ctNetwork},
      {"TCP:192.0.2.5:9999", ctTCPServer, ctTCPServer},
      {"CAN:MENLOF CHANNEL2 TYPE=0x21", ctCAN, ctCAN},
      {"ARCHIVE:192.0.2.5:9999 20250107 120000;20250108 000000", ctArchive, ctArchive},
      {"ARCHIVE:192.0.2.5:9999 20250107 120000", ctArchive, ctArchive},
      // Devices need not be attached: the stored kind says what the name is.
      {"COM7:57600", ctSerial, ctSerial},
      {"ZCT2:/Q+V ZCT 9999 USERID=1", ctUSB, ctUSB},
      {"Q+V:CDC 77", ctUSB, ctUSB},
      // The string wins over a stored kind that does not fit it.
      {"DemoData", ctUSB, ctDemoNone},
      {"192.0.2.20", ctFile, ctNetwork},
  };
  const TDialogMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    const TChoiceFromString read = ChoiceFromOpenString(c.openString, c.storedType, machine.FileExists());
    EXPECT_EQ(read.ErrorText, "");
    EXPECT_EQ(read.Choice.Kind, c.kind);
    const TBuiltConnection built = BuildConnectionString(read.Choice);
    EXPECT_TRUE(built.Complete);
    EXPECT_EQ(built.Text, c.openString);
  }
}

TEST(ChoiceFromOpenString, ReadsTheFields) {
  const TDialogMachine machine;
  const TConnectionChoice host =
      ChoiceFromOpenString(" ZCT2:/HOST:/lab-counter:9999 USERID=2 ", ctNetwork, machine.FileExists()).Choice;
  EXPECT_TRUE(host.ZCT2);
  EXPECT_TRUE(host.ByHostName);
  EXPECT_EQ(host.Name, "lab-counter");
  EXPECT_EQ(host.Port, 9999);
  EXPECT_EQ(host.UserID, 2);

  const TConnectionChoice file =
      ChoiceFromOpenString("/data/run.txt WAIT_INTERVAL", ctFile, machine.FileExists()).Choice;
  EXPECT_EQ(file.Name, "/data/run.txt");
  EXPECT_FALSE(file.LoopForEver);
  EXPECT_TRUE(file.WaitInterval);

  const TConnectionChoice serial = ChoiceFromOpenString("COM3:fast", ctSerial, machine.FileExists()).Choice;
  EXPECT_EQ(serial.Name, "COM3");
  EXPECT_EQ(serial.Baud, 115200u);  // as the source opens it

  const TConnectionChoice none = ChoiceFromOpenString("none", ctDemoNone, machine.FileExists()).Choice;
  EXPECT_FALSE(none.Demo);
}

// A new session, or a stored string the source would refuse: the stored kind and the text stay, so
// the user sees what was stored and why it does not open.
TEST(ChoiceFromOpenString, KeepsStoredKindWhenTheStringDoesNotOpen) {
  const struct {
    const char* openString;
    int32_t storedType;
    TConnectionType kind;
    const char* name;
    const char* error;
  } cases[] = {
      {"", ctSerial, ctSerial, "", ""},
      {"", -1, ctDemoNone, "", ""},
      {"", ctBlueTooth, ctDemoNone, "", ""},
      {"/data/gone.txt LOOP_FOR_EVER", ctFile, ctFile, "/data/gone.txt", "Device not found: /data/gone.txt"},
      {"C:\\gone\\run.txt", ctFile, ctFile, "C:\\gone\\run.txt", "Device not found: C:\\gone\\run.txt"},
      {":9999", ctNetwork, ctNetwork, ":9999", "Invalid connection string: :9999"},
      {"TCP:192.0.2:9999", ctTCPServer, ctTCPServer, "TCP:192.0.2:9999",
       "Invalid TCP-Server address: TCP:192.0.2:9999"},
      {"CAN:MENLOG", ctCAN, ctCAN, "CAN:MENLOG", "Invalid CAN address: CAN:MENLOG"},
  };
  const TDialogMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    const TChoiceFromString read = ChoiceFromOpenString(c.openString, c.storedType, machine.FileExists());
    EXPECT_EQ(read.Choice.Kind, c.kind);
    EXPECT_EQ(read.Choice.Name, c.name);
    EXPECT_EQ(read.ErrorText, c.error);
  }
  const TChoiceFromString loop =
      ChoiceFromOpenString("/data/gone.txt LOOP_FOR_EVER", ctFile, machine.FileExists());
  EXPECT_TRUE(loop.Choice.LoopForEver);
  EXPECT_TRUE(ChoiceFromOpenString("", ctDemoNone, machine.FileExists()).Choice.Demo);
}

TEST(CheckConnectionChoice, AcceptsWhatTheSourceOpensAsChosen) {
  const struct {
    TConnectionChoice choice;
    const char* openString;
  } cases[] = {
      {Choice(ctDemoNone, [](TConnectionChoice& c) { c.Demo = true; }), "DemoData"},
      {Choice(ctDemoNone, [](TConnectionChoice& c) { c.UserID = 2; }), "none"},
      {Choice(ctFile,
              [](TConnectionChoice& c) {
                c.Name = "/data/run.txt";
                c.LoopForEver = true;
                c.UserID = 1;
              }),
       "/data/run.txt LOOP_FOR_EVER USERID=1"},
      {Choice(ctFile, [](TConnectionChoice& c) { c.Name = "/data/run:1.txt"; }), "/data/run:1.txt"},
      {Choice(ctNetwork,
              [](TConnectionChoice& c) {
                c.ZCT2 = true;
                c.Name = "lab-counter.example.org";
                c.ByHostName = true;
                c.Port = 9999;
              }),
       "ZCT2:/HOST:/lab-counter.example.org:9999"},
      {Choice(ctNetwork, [](TConnectionChoice& c) { c.Name = "192.0.2.20"; }), "192.0.2.20"},
      {Choice(ctTCPServer,
              [](TConnectionChoice& c) {
                c.Name = "192.0.2.5";
                c.Port = 9999;
              }),
       "TCP:192.0.2.5:9999"},
      {Choice(ctSerial,
              [](TConnectionChoice& c) {
                c.Name = "COM3";
                c.Baud = 9600;
              }),
       "COM3:9600"},
      {Choice(ctUSB,
              [](TConnectionChoice& c) {
                c.Name = "Q+V ZCT 1234";
                c.ZCT2 = true;
              }),
       "ZCT2:/Q+V ZCT 1234"},
      {Choice(ctCAN, [](TConnectionChoice& c) { c.CanNode = 15; }), "CAN:MENLOF CHANNEL0 TYPE=0x20"},
  };
  const TDialogMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    const TChoiceCheck check = machine.Check(c.choice);
    EXPECT_TRUE(check.Ok) << check.ErrorText;
    EXPECT_EQ(check.OpenString, c.openString);
  }
}

TEST(CheckConnectionChoice, RefusesWithTheDialogOrSourceText) {
  TConnectionChoice archive = Choice(ctArchive, [](TConnectionChoice& c) {
    c.Name = "192.0.2.5";
    c.Port = 9999;
  });
  archive.ArchiveStart = *ParseArchiveTime("2025-01-08");
  archive.ArchiveEnd = ParseArchiveTime("2025-01-07");
  const struct {
    TConnectionChoice choice;
    const char* error;
  } cases[] = {
      {Choice(ctFile, [](TConnectionChoice&) {}), "Filename missing"},
      {Choice(ctNetwork, [](TConnectionChoice&) {}), "Network address missing"},
      {Choice(ctTCPServer, [](TConnectionChoice&) {}), "TCP server address missing"},
      {Choice(ctSerial, [](TConnectionChoice&) {}), "No serial port selected"},
      {Choice(ctUSB, [](TConnectionChoice&) {}), "No Q+V device selected on USB"},
      {Choice(ctArchive, [](TConnectionChoice&) {}), "TCP archive address missing"},
      {Choice(ctFile, [](TConnectionChoice& c) { c.Name = "/data/gone.txt"; }), "Device not found: /data/gone.txt"},
      {Choice(ctUSB, [](TConnectionChoice& c) { c.Name = "Q+V ZCT 5"; }), "Device not found: Q+V ZCT 5"},
      {Choice(ctNetwork,
              [](TConnectionChoice& c) {
                c.Name = "lab counter";
                c.ByHostName = true;
              }),
       "Invalid network address: HOST:/lab counter"},
      {Choice(ctNetwork,
              [](TConnectionChoice& c) {
                c.Name = "192.0.2.300";
                c.ByHostName = true;
              }),
       "Invalid network address: HOST:/192.0.2.300"},
      {Choice(ctNetwork,
              [](TConnectionChoice& c) {
                c.Name = "lab:9999";
                c.ByHostName = true;
              }),
       "Invalid network address: HOST:/lab:9999"},
      {Choice(ctTCPServer,
              [](TConnectionChoice& c) {
                c.Name = "192.0.2.5";
                c.Port = 0;
              }),
       "Invalid TCP-Server address: TCP:192.0.2.5:0"},
      {Choice(ctTCPServer,
              [](TConnectionChoice& c) {
                c.Name = "lab";
                c.Port = 9999;
              }),
       "Invalid TCP-Server address: TCP:lab:9999"},
      {archive, "Invalid TCP-Archive EndTime: ARCHIVE:192.0.2.5:9999 20250108 000000;20250107 000000"},
      // Names that carry the grammar's own words or a device of another kind open something else.
      {Choice(ctFile, [](TConnectionChoice& c) { c.Name = "/data/b.txt USERID=2"; }),
       "Invalid connection string: /data/b.txt USERID=2"},
      {Choice(ctFile, [](TConnectionChoice& c) { c.Name = "DemoData"; }), "Invalid connection string: DemoData"},
      {Choice(ctUSB, [](TConnectionChoice& c) { c.Name = "COM3"; }), "Invalid connection string: COM3"},
  };
  const TDialogMachine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const TChoiceCheck check = machine.Check(c.choice);
    EXPECT_FALSE(check.Ok);
    EXPECT_EQ(check.OpenString, "");
    EXPECT_EQ(check.ErrorText, c.error);
  }
}

TEST(IsValidHostName, LettersDigitsDotsDashesAndUnderscores) {
  for (const char* name : {"lab-counter", "zct2.lab.example.org", "counter7", "7counter", "LAB_PC01"})
    EXPECT_TRUE(IsValidHostName(name)) << name;
  for (const char* name : {"", "lab counter", "lab:9999", "192.0.2.20", "192.0.2.300", "läb"})
    EXPECT_FALSE(IsValidHostName(name)) << name;
}

namespace {

size_t SensorRow(const char* label) {
  const auto rows = SensorConnectionKinds();
  for (size_t i = 0; i < rows.size(); ++i)
    if (std::string_view(rows[i].DialogLabel) == label) return i;
  ADD_FAILURE() << "no sensor kind " << label;
  return 0;
}

}  // namespace

// Each sensor kind's choice gives its open string, session type and stored connection type, and the
// stored string reads back to the same choice; an incomplete or bad one gives the dialog's reason.
TEST(SensorChoice, BuildsChecksAndReadsBackEachKind) {
  const struct {
    const char* kind;
    const char* name;
    TConnectionType link;
    const char* openString;  // nullptr: refused with `refusal`
    const char* refusal;
    int32_t sessionType;
    TConnectionType stored;
  } cases[] = {
      {"Demo sensor", "", ctUSB, "DemoSensor", "", kSessionTypeSensor, ctDemoNone},
      {"TCW122B-CM (SNMP)", "192.0.2.30", ctUSB, "TCW122B-CM: 192.0.2.30", "", kSessionTypeSensor, ctNetwork},
      {"TCW122B-CM (SNMP)", "", ctUSB, nullptr, "Network address missing", kSessionTypeSensor, ctNetwork},
      {"TCW122B-CM (SNMP)", "tcw-lab", ctUSB, nullptr, "Invalid IP address: tcw-lab", kSessionTypeSensor, ctNetwork},
      {"TCW122B-CM (SNMP)", "192.0.2.300", ctUSB, nullptr, "Invalid IP address: 192.0.2.300", kSessionTypeSensor,
       ctNetwork},
      {"LabJack T4", "470012345", ctUSB, "LabJack-T4: 470012345", "", kSessionTypeLabJack, ctUSB},
      {"LabJack T4", "192.0.2.40", ctNetwork, "LabJack-T4: 192.0.2.40", "", kSessionTypeLabJack, ctNetwork},
      {"LabJack T4", "", ctUSB, nullptr, "No LabJack devices found", kSessionTypeLabJack, ctUSB},
      {"LabJack demo device", "", ctUSB, "LabJack-T4: DemoSensor", "", kSessionTypeLabJack, ctDemoNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.name);
    const TSensorChoice choice{SensorRow(c.kind), c.name, c.link};
    EXPECT_EQ(SensorConnectionKinds()[choice.Entry].SessionType, c.sessionType);
    EXPECT_EQ(SensorConnectionType(choice), c.stored);
    const TChoiceCheck check = CheckSensorChoice(choice);
    EXPECT_EQ(check.Ok, c.openString != nullptr);
    if (!c.openString) {
      EXPECT_EQ(check.ErrorText, c.refusal);
      continue;
    }
    EXPECT_EQ(check.OpenString, c.openString);
    const TSensorChoiceFromString read = SensorChoiceFromOpenString(c.openString, c.sessionType, c.stored);
    EXPECT_EQ(read.ErrorText, "");
    EXPECT_EQ(read.Choice.Entry, choice.Entry);
    EXPECT_EQ(read.Choice.Name, choice.Name);
    if (choice.Name.size()) EXPECT_EQ(SensorConnectionType(read.Choice), c.stored);
  }
}

// A string of no sensor kind of the session's type is what the session refuses to open; the dialog
// starts on the type's first kind and says why. Empty strings and aliases start without a reason.
TEST(SensorChoice, StringsOfNoKindOfTheSessionTypeAreUnknownDevices) {
  const struct {
    const char* openString;
    int32_t sessionType;
    const char* firstKind;
    const char* error;
  } cases[] = {
      {"", kSessionTypeSensor, "Demo sensor", ""},
      {"", kSessionTypeLabJack, "LabJack T4", ""},
      {"DemoData", kSessionTypeSensor, "Demo sensor", "Unknown Device: DemoData"},
      {"LabJack-T4: 470012345", kSessionTypeSensor, "Demo sensor", "Unknown Device: LabJack-T4: 470012345"},
      {" TCW122B-CM: 192.0.2.30 ", kSessionTypeLabJack, "LabJack T4", "Unknown Device: TCW122B-CM: 192.0.2.30"},
      {"DemoSensor", kSessionTypeLabJack, "LabJack demo device", ""},  // as the LabJack session opens it
      {"DemoSensor:", kSessionTypeSensor, "Demo sensor", "Unknown Device: DemoSensor:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    const TSensorChoiceFromString read = SensorChoiceFromOpenString(c.openString, c.sessionType, ctDemoNone);
    EXPECT_EQ(read.Choice.Entry, SensorRow(c.firstKind));
    EXPECT_EQ(read.ErrorText, c.error);
  }
}
