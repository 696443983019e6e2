#include "ui/ConnectionDialog.h"

#include <gtest/gtest.h>

#include "acquisition/ConnectionKinds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QToolButton>
#include <set>

#include "DialogTestSupport.h"
#include "acquisition/QV_ChannelData.h"
#include "devices/QV_CANDeviceAdapterChoice.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

namespace {

class ConnectionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteWholeFile(Recording, "7001VERSION test\r\n"); }

  template <typename TWidget>
  static TWidget* Field(const TConnectionDialog& dialog, const char* name) {
    TWidget* widget = dialog.findChild<TWidget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static QString Live(const TConnectionDialog& dialog) { return Field<QLineEdit>(dialog, "openString")->text(); }
  static QString Error(const TConnectionDialog& dialog) {
    QLabel* label = Field<QLabel>(dialog, "errorText");
    return label->isHidden() ? QString() : label->text();
  }
  static void SelectKind(const TConnectionDialog& dialog, const QString& label) {
    QComboBox* kinds = Field<QComboBox>(dialog, "connectionKind");
    const int index = kinds->findText(label);
    ASSERT_GE(index, 0) << label.toStdString();
    kinds->setCurrentIndex(index);
  }
  static TSourceDialogPreset Stored(const std::string& openString, int32_t connectionType) {
    TSourceDialogPreset preset;
    preset.Index = 1;
    preset.OpenString = openString;
    preset.ConnectionType = connectionType;
    preset.FriendlyName = "Maser H3";
    preset.Color = 0x808000;
    return preset;
  }

  // Saves the dialog as it is now once the test has looked at it (the screenshot folder is optional).
  static void SaveScreenshotLater(TConnectionDialog& dialog) {
    if (qEnvironmentVariableIsEmpty("VTA_SCREENSHOT_DIR")) return;
    SaveDialogScreenshot(dialog, "connection_dialog_sensor");
  }

  // LabJacks "found" by a library that is present, for one test.
  struct TLabJackGuard {
    explicit TLabJackGuard(std::vector<std::string> ids) {
      SetLabJackDirectory({[] { return true; }, [ids] { return ids; }});
    }
    ~TLabJackGuard() { SetLabJackDirectory({}); }
  };

  TTempDir Dir;
  const std::string Recording = Dir.File("QV_ReportData.txt");
};

// Change Source: every stored form fills the fields that build it again. Kinds whose transport is
// missing show the stored string but refuse OK with the reason.
TEST_F(ConnectionDialogTest, PresetsRoundTrip) {
  const struct {
    std::string openString;
    TConnectionType type;
    const char* refusal;  // nullptr: OK returns the string
  } cases[] = {
      {"DemoData", ctDemoNone, nullptr},
      {"DemoData USERID=2", ctDemoNone, nullptr},
      {"none", ctDemoNone, nullptr},
      {Recording + " LOOP_FOR_EVER WAIT_INTERVAL", ctFile, nullptr},
      {Recording + " USERID=4", ctFile, nullptr},
      {"ZCT2:/Q+V ZCT 1234", ctUSB, "Device not found: Q+V ZCT 1234"},  // no such counter attached
      {"COM3:57600 USERID=1", ctSerial, "Device not found: COM3:57600"},
      {"ZCT2:/HOST:/lab-counter:9999 USERID=3", ctNetwork, nullptr},
      {"192.0.2.20", ctNetwork, nullptr},
      {"CAN:MENLOA CHANNEL1 TYPE=0x21", ctCAN, nullptr},
      {"TCP:192.0.2.5:9998", ctTCPServer, nullptr},
      {"ARCHIVE:192.0.2.5:9999 20250107 120000;20250108 000000", ctArchive, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    TConnectionDialog dialog(Stored(c.openString, c.type));
    EXPECT_EQ(dialog.windowTitle(), "Change Source B");
    EXPECT_EQ(Live(dialog).toStdString(), c.openString);
    EXPECT_EQ(Error(dialog), "");
    EXPECT_EQ(dialog.Choice().Kind, c.type);
    dialog.accept();
    if (c.refusal) {
      EXPECT_EQ(dialog.result(), QDialog::Rejected);
      EXPECT_EQ(Error(dialog).toStdString(), c.refusal);
      continue;
    }
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
    const TSourceDialogResult& r = dialog.Result();
    EXPECT_EQ(r.SessionType, kSessionTypeCounter);
    EXPECT_EQ(r.OpenString, c.openString);
    EXPECT_EQ(r.ConnectionType, c.type);
    EXPECT_EQ(r.FriendlyName, "Maser H3");
    EXPECT_EQ(r.Color, 0x808000u);
    EXPECT_EQ(r.PortText, "");
  }
}

TEST_F(ConnectionDialogTest, ShowsTheStringLiveAsItWillBeStored) {
  TConnectionDialog dialog(TSourceDialogPreset{});
  EXPECT_EQ(dialog.windowTitle(), "New Source A");
  // A new session stored as USB (type 0) starts on USB, with the attached counters to choose from.
  EXPECT_EQ(Live(dialog), "No Q+V device selected on USB");
  EXPECT_EQ(Field<QComboBox>(dialog, "usbDevice")->count(), 0) << "no counters on these machines";
  Field<QComboBox>(dialog, "usbDevice")->setCurrentText("/dev/ttyACM0");
  EXPECT_EQ(Live(dialog), "/dev/ttyACM0");

  SelectKind(dialog, "File playback");
  EXPECT_EQ(Live(dialog), "Filename missing");
  EXPECT_FALSE(Field<QCheckBox>(dialog, "zct2")->isEnabled());
  Field<QLineEdit>(dialog, "fileName")->setText(QString::fromStdString("  " + Recording + " "));
  EXPECT_EQ(Live(dialog).toStdString(), Recording);
  Field<QCheckBox>(dialog, "loopForEver")->setChecked(true);
  Field<QComboBox>(dialog, "userId")->setCurrentText("2");
  EXPECT_EQ(Live(dialog).toStdString(), Recording + " LOOP_FOR_EVER USERID=2");

  // Fields of kinds without a transport still build their string, so the user sees the form.
  SelectKind(dialog, "Network");
  EXPECT_EQ(Live(dialog), "Network address missing");
  EXPECT_TRUE(Field<QCheckBox>(dialog, "zct2")->isEnabled());
  Field<QLineEdit>(dialog, "networkAddress")->setText("lab-counter");
  Field<QSpinBox>(dialog, "networkPort")->setValue(9999);
  Field<QCheckBox>(dialog, "zct2")->setChecked(true);
  EXPECT_EQ(Live(dialog), "ZCT2:/HOST:/lab-counter:9999 USERID=2");
  Field<QLineEdit>(dialog, "networkAddress")->setText("192.0.2.20");
  EXPECT_EQ(Live(dialog), "ZCT2:/192.0.2.20:9999 USERID=2");

  SelectKind(dialog, "No connection");
  EXPECT_EQ(Live(dialog), "none");
  EXPECT_FALSE(Field<QComboBox>(dialog, "userId")->isEnabled());
}

TEST_F(ConnectionDialogTest, KindsAndSessionTypesWithoutTransportAreDisabled) {
  const TConnectionDialog dialog(TSourceDialogPreset{});
  const auto checkBox = [](QComboBox* box, const std::set<QString>& enabled) {
    auto* model = qobject_cast<QStandardItemModel*>(box->model());
    ASSERT_NE(model, nullptr);
    for (int i = 0; i < box->count(); ++i) {
      const QString label = box->itemText(i);
      SCOPED_TRACE(label.toStdString());
      const bool on = enabled.count(label) > 0;
      EXPECT_EQ(model->item(i)->isEnabled(), on);
      EXPECT_EQ(box->itemData(i, Qt::ToolTipRole).toString(), on ? "" : "not available yet");
    }
  };
  QComboBox* kinds = Field<QComboBox>(dialog, "connectionKind");
  // The dialog offers exactly what the source opens.
  std::set<QString> available;
  for (const TConnectionKind& row : ConnectionKinds())
    if (row.Available()) available.insert(row.DialogLabel);
  EXPECT_EQ(kinds->count(), int(ConnectionKinds().size()));
  EXPECT_TRUE(available.count("Serial port"));
  checkBox(kinds, available);
  // LabJack sessions wait for the library (LabJackSessionsNeedTheLibrary).
  QComboBox* types = Field<QComboBox>(dialog, "sessionType");
  auto* model = qobject_cast<QStandardItemModel*>(types->model());
  for (const char* type : {"Counter", "Sensor"}) EXPECT_TRUE(model->item(types->findText(type))->isEnabled()) << type;
  EXPECT_FALSE(model->item(types->findText("LabJack sensor"))->isEnabled());
}

// A stored serial session whose port is there opens as it stands; a port that is gone is named.
TEST_F(ConnectionDialogTest, StoredSerialSessionsAreAcceptedWhileTheirPortIsThere) {
  if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps)";
  TPtyPair pair;
  ASSERT_EQ(pair.Error(), "");
  const std::string openString = pair.HostPath() + ":57600";
  {
    TConnectionDialog dialog(Stored(openString, ctSerial));
    EXPECT_EQ(Live(dialog).toStdString(), openString);
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
    EXPECT_EQ(dialog.Result().ConnectionType, ctSerial);
  }
  pair.Unplug();
  TConnectionDialog dialog(Stored(openString, ctSerial));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(Error(dialog).toStdString(), "Device not found: " + openString);
}

TEST_F(ConnectionDialogTest, BadChoiceShowsTheSourceErrorAndStaysOpen) {
  TConnectionDialog dialog(TSourceDialogPreset{});
  SelectKind(dialog, "File playback");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(Error(dialog), "Filename missing");

  const std::string gone = Dir.File("gone.txt");
  Field<QLineEdit>(dialog, "fileName")->setText(QString::fromStdString(gone));
  EXPECT_EQ(Error(dialog), "");  // an edit clears the old reason
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(Error(dialog).toStdString(), "Device not found: " + gone);

  // A folder is no recording.
  Field<QLineEdit>(dialog, "fileName")->setText(QString::fromStdString(Dir.Path()));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(Error(dialog).isEmpty());

  Field<QLineEdit>(dialog, "fileName")->setText(QString::fromStdString(Recording));
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
  EXPECT_EQ(dialog.Result().OpenString, Recording);
  EXPECT_EQ(dialog.Result().ConnectionType, ctFile);
}

TEST_F(ConnectionDialogTest, StoredStringThatWouldNotOpenSaysWhyAndKeepsItsFields) {
  const std::string gone = Dir.File("moved.txt");
  TConnectionDialog dialog(Stored(gone + " LOOP_FOR_EVER", ctFile));
  EXPECT_EQ(Error(dialog).toStdString(), "Device not found: " + gone);
  EXPECT_EQ(Field<QComboBox>(dialog, "connectionKind")->currentText(), "File playback");
  EXPECT_EQ(Field<QLineEdit>(dialog, "fileName")->text().toStdString(), gone);
  EXPECT_TRUE(Field<QCheckBox>(dialog, "loopForEver")->isChecked());
  EXPECT_EQ(Live(dialog).toStdString(), gone + " LOOP_FOR_EVER");
}

TEST_F(ConnectionDialogTest, ResultCarriesNameColourAndSimulatorChannels) {
  TSourceDialogPreset preset = Stored("DemoData", ctDemoNone);
  preset.DemoChannels = 8;
  TConnectionDialog dialog(preset);
  QSpinBox* channels = Field<QSpinBox>(dialog, "demoChannels");
  EXPECT_EQ(channels->value(), 8);
  channels->setValue(12);
  Field<QLineEdit>(dialog, "friendlyName")->setText("  Cs clock ");
  const QList<QToolButton*> swatches = dialog.findChildren<QToolButton*>("colorSwatch");
  ASSERT_GE(swatches.size(), 2);
  swatches[1]->click();
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const TSourceDialogResult& r = dialog.Result();
  EXPECT_EQ(r.OpenString, "DemoData");
  EXPECT_EQ(r.FriendlyName, "Cs clock");
  EXPECT_EQ(r.Color, ChannelPaletteColor(0, 2));
  EXPECT_EQ(r.DemoChannels, 12);

  // Only the simulator takes a channel count.
  TConnectionDialog file(Stored(Recording, ctFile));
  file.accept();
  ASSERT_EQ(file.result(), QDialog::Accepted);
  EXPECT_EQ(file.Result().DemoChannels, std::nullopt);
}

// The kinds follow the session type: a sensor session offers the sensor kinds and builds their strings.
TEST_F(ConnectionDialogTest, SensorSessionsOfferTheSensorKinds) {
  TConnectionDialog dialog(TSourceDialogPreset{});
  Field<QComboBox>(dialog, "sessionType")->setCurrentText("Sensor");
  QComboBox* kinds = Field<QComboBox>(dialog, "connectionKind");
  ASSERT_EQ(kinds->count(), 2);
  EXPECT_EQ(kinds->itemText(0), "Demo sensor");
  EXPECT_EQ(kinds->itemText(1), "TCW122B-CM (SNMP)");
  EXPECT_EQ(Live(dialog), "DemoSensor");
  EXPECT_FALSE(Field<QComboBox>(dialog, "userId")->isEnabled());
  EXPECT_FALSE(Field<QCheckBox>(dialog, "zct2")->isEnabled());

  SelectKind(dialog, "TCW122B-CM (SNMP)");
  EXPECT_EQ(Live(dialog), "Network address missing");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(Error(dialog), "Network address missing");
  Field<QLineEdit>(dialog, "tcwAddress")->setText("tcw-lab");
  dialog.accept();
  EXPECT_EQ(Error(dialog), "Invalid IP address: tcw-lab");
  Field<QLineEdit>(dialog, "tcwAddress")->setText(" 192.0.2.30");
  EXPECT_EQ(Live(dialog), "TCW122B-CM: 192.0.2.30");
  SaveScreenshotLater(dialog);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
  EXPECT_EQ(dialog.Result().SessionType, kSessionTypeSensor);
  EXPECT_EQ(dialog.Result().OpenString, "TCW122B-CM: 192.0.2.30");
  EXPECT_EQ(dialog.Result().ConnectionType, ctNetwork);
  EXPECT_EQ(dialog.Result().DemoChannels, std::nullopt);

  Field<QComboBox>(dialog, "sessionType")->setCurrentText("Counter");
  EXPECT_EQ(kinds->count(), int(ConnectionKinds().size()));
}

// Change Source of a sensor session: its stored string fills the fields and comes back unchanged;
// a string the session would not open says why.
TEST_F(ConnectionDialogTest, StoredSensorStringsRoundTrip) {
  const TLabJackGuard labJacks({"470012345"});
  const struct {
    const char* openString;
    int32_t sessionType;
    TConnectionType type;
    const char* kind;
  } cases[] = {
      {"DemoSensor", kSessionTypeSensor, ctDemoNone, "Demo sensor"},
      {"TCW122B-CM: 192.0.2.30", kSessionTypeSensor, ctNetwork, "TCW122B-CM (SNMP)"},
      {"LabJack-T4: 470012345", kSessionTypeLabJack, ctUSB, "LabJack T4"},
      {"LabJack-T4: 192.0.2.40", kSessionTypeLabJack, ctNetwork, "LabJack T4"},
      {"LabJack-T4: DemoSensor", kSessionTypeLabJack, ctDemoNone, "LabJack demo device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.openString);
    TSourceDialogPreset preset = Stored(c.openString, c.type);
    preset.SessionType = c.sessionType;
    TConnectionDialog dialog(preset);
    EXPECT_EQ(Field<QComboBox>(dialog, "connectionKind")->currentText(), c.kind);
    EXPECT_EQ(Live(dialog), c.openString);
    EXPECT_EQ(Error(dialog), "");
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
    EXPECT_EQ(dialog.Result().SessionType, c.sessionType);
    EXPECT_EQ(dialog.Result().OpenString, c.openString);
    EXPECT_EQ(dialog.Result().ConnectionType, c.type);
    EXPECT_EQ(dialog.Result().FriendlyName, "Maser H3");
  }

  TSourceDialogPreset unknown = Stored("DemoData", ctDemoNone);
  unknown.SessionType = kSessionTypeSensor;
  const TConnectionDialog dialog(unknown);
  EXPECT_EQ(Error(dialog), "Unknown Device: DemoData");
  EXPECT_EQ(Live(dialog), "DemoSensor");
}

// LabJack sessions need the LabJack library; with it the dialog lists the LabJacks it finds.
TEST_F(ConnectionDialogTest, LabJackSessionsNeedTheLibrary) {
  {
    TSourceDialogPreset preset = Stored("LabJack-T4: 470012345", ctUSB);
    preset.SessionType = kSessionTypeLabJack;
    TConnectionDialog dialog(preset);
    QComboBox* types = Field<QComboBox>(dialog, "sessionType");
    EXPECT_EQ(types->itemData(types->findText("LabJack sensor"), Qt::ToolTipRole).toString(),
              "Library libLabJackM.so not loaded");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Error(dialog), "Library libLabJackM.so not loaded");
  }
  const TLabJackGuard labJacks({"470012345", "470012346"});
  TConnectionDialog dialog(TSourceDialogPreset{});
  Field<QComboBox>(dialog, "sessionType")->setCurrentText("LabJack sensor");
  QComboBox* ids = Field<QComboBox>(dialog, "labJackIdentifier");
  ASSERT_EQ(ids->count(), 2);
  EXPECT_EQ(Live(dialog), "LabJack-T4: 470012345");
  ids->setCurrentIndex(1);
  Field<QComboBox>(dialog, "labJackLink")->setCurrentText("Ethernet");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
  EXPECT_EQ(dialog.Result().SessionType, kSessionTypeLabJack);
  EXPECT_EQ(dialog.Result().OpenString, "LabJack-T4: 470012346");
  EXPECT_EQ(dialog.Result().ConnectionType, ctNetwork);

  ids->setCurrentText("");
  EXPECT_EQ(Live(dialog), "No LabJack devices found");
}

}  // namespace

namespace {

// The CAN page also picks the program's adapter, which OK makes the one in force.
TEST_F(ConnectionDialogTest, TheCanPageChoosesTheProgramsAdapter) {
  const TCanAdapterChoice before = TCanAdapterChoice::Current();
  TConnectionDialog dialog(TSourceDialogPreset{});
  SelectKind(dialog, "CAN bus (Menlo)");
  Field<QComboBox>(dialog, "canNode")->setCurrentIndex(15);
  QComboBox* adapter = Field<QComboBox>(dialog, "canAdapter");
  QLineEdit* interfaceName = Field<QLineEdit>(dialog, "canInterface");
  EXPECT_EQ(adapter->currentText(), "SocketCAN");
  EXPECT_TRUE(interfaceName->isEnabled());
  interfaceName->setText("can1");
  adapter->setCurrentIndex(adapter->findText("PCAN-Basic"));
  EXPECT_FALSE(interfaceName->isEnabled());  // PCAN-Basic opens its own first USB channel
  EXPECT_EQ(Live(dialog), "CAN:MENLOF CHANNEL0 TYPE=0x20");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << Error(dialog).toStdString();
  EXPECT_EQ(TCanAdapterChoice::Current().Kind, TCanAdapterChoice::caPcanBasic);
  EXPECT_EQ(TCanAdapterChoice::Current().Interface, "can1");
  TCanAdapterChoice::SetCurrent(before);
}

}  // namespace
