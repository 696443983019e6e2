#include "ui/ConnectionDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "acquisition/ConnectionKinds.h"
#include "acquisition/QV_ChannelData.h"
#include "core/VTA_Common.h"
#include "devices/QV_CANDeviceAdapterChoice.h"

namespace {

constexpr char kNotAvailable[] = "not available yet";
constexpr char kLabJackLibraryMissing[] = "Library libLabJackM.so not loaded";

using TKindEntry = TConnectionKind;
const std::span<const TConnectionKind> kKinds = ConnectionKinds();
const int kKindCount = int(kKinds.size());
// Pages from kKindCount on belong to the sensor kinds.
const std::span<const TSensorConnectionKind> kSensorKinds = SensorConnectionKinds();

struct TSessionTypeEntry {
  const char* Label;
  int32_t Type;
};
constexpr TSessionTypeEntry kSessionTypes[] = {
    {"Counter", kSessionTypeCounter},
    {"Sensor", kSessionTypeSensor},
    {"LabJack sensor", kSessionTypeLabJack},
};

constexpr uint32_t kBaudRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
constexpr int kDefaultServerPort = 9999;
constexpr int kColorSwatches = 12;
constexpr int kMaxDemoChannels = 24;

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.trimmed().toStdString(); }

QColor ToQColor(uint32_t bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }
uint32_t ToBgr(const QColor& color) {
  return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}

// Playback needs a file; a folder of that name would only fail when opened.
bool FileExists(const std::string& path) { return QFileInfo(Q(path)).isFile(); }


int PageOf(const TConnectionChoice& c) {
  for (int i = 0; i < kKindCount; ++i)
    if (kKinds[i].Kind == c.Kind && (c.Kind != ctDemoNone || kKinds[i].Demo == c.Demo)) return i;
  return 0;
}

QDateTime ToQDateTime(TWallTime t) {
  return QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}
TWallTime ToWallTime(const QDateTime& t) {
  return TWallTime(std::chrono::duration_cast<TWallTime::duration>(std::chrono::milliseconds(t.toMSecsSinceEpoch())));
}

void DisableItem(QComboBox* box, int index, const QString& reason = kNotAvailable) {
  if (auto* model = qobject_cast<QStandardItemModel*>(box->model()))
    if (QStandardItem* item = model->item(index)) item->setEnabled(false);
  box->setItemData(index, reason, Qt::ToolTipRole);
}

// Why a session type cannot be chosen: LabJack sessions need the library the LabJack device loads.
std::string UnavailableReason(int32_t sessionType, const QString& label) {
  if (sessionType == kSessionTypeLabJack) return kLabJackLibraryMissing;
  return S(label) + " sessions are " + kNotAvailable;
}

template <typename TWidget>
TWidget* Named(TWidget* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QSpinBox* PortBox(const char* name, int minimum, int value) {
  auto* box = Named(new QSpinBox, name);
  box->setRange(minimum, 65535);
  box->setValue(value);
  return box;
}

QLineEdit* AddressEdit(const char* name, const char* placeholder) {
  auto* edit = Named(new QLineEdit, name);
  edit->setPlaceholderText(placeholder);
  return edit;
}

QDateTimeEdit* TimeEdit(const char* name, const QDateTime& value) {
  auto* edit = Named(new QDateTimeEdit(value), name);
  edit->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
  edit->setCalendarPopup(true);
  return edit;
}

// Address and port in one row keeps every kind's page within three rows.
QHBoxLayout* AddressRow(QLineEdit* address, const char* portLabel, QSpinBox* port) {
  auto* row = new QHBoxLayout;
  row->addWidget(address, 1);
  row->addWidget(new QLabel(portLabel));
  row->addWidget(port);
  return row;
}

QFormLayout* PageForm(QWidget* page) {
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  return form;
}

}  // namespace

TConnectionDialog::TConnectionDialog(const TSourceDialogPreset& preset, QWidget* parent)
    : QDialog(parent), FPreset(preset) {
  setWindowTitle(QString("%1 %2")
                     .arg(preset.OpenString.empty() ? "New Source" : "Change Source")
                     .arg(QChar(SessionLetter(preset.Index))));
  BuildWidgets();
  Preset(preset);
}

std::optional<TSourceDialogResult> TConnectionDialog::Ask(const TSourceDialogPreset& preset, QWidget* parent) {
  TConnectionDialog dialog(preset, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Result();
}

bool TConnectionDialog::SessionTypeAvailable(int32_t sessionType) {
  return sessionType == kSessionTypeCounter || sessionType == kSessionTypeSensor ||
         (sessionType == kSessionTypeLabJack && LabJackLibraryPresent());
}

void TConnectionDialog::BuildWidgets() {
  auto* form = new QFormLayout;

  FSessionType = Named(new QComboBox, "sessionType");
  for (const TSessionTypeEntry& entry : kSessionTypes) {
    FSessionType->addItem(entry.Label, entry.Type);
    if (!SessionTypeAvailable(entry.Type))
      DisableItem(FSessionType, FSessionType->count() - 1, Q(UnavailableReason(entry.Type, entry.Label)));
  }
  form->addRow("Session type:", FSessionType);

  FKind = Named(new QComboBox, "connectionKind");
  form->addRow("Connection:", FKind);

  auto* details = new QGroupBox("Connection details");
  auto* detailsLayout = new QVBoxLayout(details);
  FPages = Named(new QStackedWidget, "kindPages");
  for (int entry = 0; entry < kKindCount; ++entry) FPages->addWidget(MakeKindPage(entry));
  for (const TSensorConnectionKind& row : kSensorKinds) FPages->addWidget(MakeSensorPage(row));
  detailsLayout->addWidget(FPages);
  FUserId = Named(new QComboBox, "userId");
  FUserId->addItems({"Default", "1", "2", "3", "4"});
  FZCT2 = Named(new QCheckBox("ZCT2 counter family (ZCT2:/)"), "zct2");
  auto* common = PageForm(nullptr);
  common->addRow("User ID:", FUserId);
  common->addRow(QString(), FZCT2);
  detailsLayout->addLayout(common);
  form->addRow(details);

  FFriendlyName = Named(new QLineEdit, "friendlyName");
  FFriendlyName->setPlaceholderText("optional");
  form->addRow("Name:", FFriendlyName);
  form->addRow("Colour:", MakeColorRow());

  FOpenString = Named(new QLineEdit, "openString");
  FOpenString->setReadOnly(true);
  FOpenString->setToolTip("The connection string as it will be stored");
  form->addRow("Connection string:", FOpenString);

  FErrorText = Named(new QLabel, "errorText");
  FErrorText->setWordWrap(true);
  FErrorText->setStyleSheet("color: #b00000");
  FErrorText->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &TConnectionDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TConnectionDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(FErrorText);
  layout->addWidget(buttons);

  connect(FSessionType, &QComboBox::currentIndexChanged, this, [this] {
    FillKinds(FSessionType->currentData().toInt());
    Refresh();
  });
  const auto refresh = [this] { Refresh(); };
  for (QComboBox* box : {FKind, FUsbDevice, FSerialPort, FBaudRate, FCanNode, FCanChannel, FCanType, FCanAdapter,
                         FUserId, FLabJackLink, FLabJackIdentifier}) {
    connect(box, &QComboBox::currentIndexChanged, this, refresh);
    connect(box, &QComboBox::editTextChanged, this, refresh);
  }
  for (QLineEdit* edit : {FNetworkAddress, FTcpAddress, FArchiveAddress, FFileName, FFriendlyName, FTcwAddress})
    connect(edit, &QLineEdit::textChanged, this, refresh);
  for (QSpinBox* box : {FNetworkPort, FTcpPort, FArchivePort, FDemoChannels})
    connect(box, &QSpinBox::valueChanged, this, refresh);
  for (QCheckBox* box : {FArchiveHasEnd, FLoopForEver, FWaitInterval, FZCT2})
    connect(box, &QCheckBox::toggled, this, refresh);
  for (QDateTimeEdit* edit : {FArchiveStart, FArchiveEnd}) connect(edit, &QDateTimeEdit::dateTimeChanged, this, refresh);
}

QWidget* TConnectionDialog::MakeKindPage(int entry) {
  auto* page = new QWidget;
  QFormLayout* form = PageForm(page);
  switch (kKinds[entry].Kind) {
    case ctUSB:
      FUsbDevice = Named(new QComboBox, "usbDevice");
      FUsbDevice->setEditable(true);
      // The attached counters by their node, described in the tip; a CDC line may also be typed.
      for (const TAttachedDevice& d : AttachedDevices()) {
        if (d.Type == QV_Serial) continue;
        FUsbDevice->addItem(Q(d.Name));
        FUsbDevice->setItemData(FUsbDevice->count() - 1, Q(d.Description), Qt::ToolTipRole);
      }
      form->addRow("Device:", FUsbDevice);
      break;
    case ctSerial:
      FSerialPort = Named(new QComboBox, "serialPort");
      FSerialPort->setEditable(true);
      for (const std::string& port : AttachedSerialPorts()) FSerialPort->addItem(Q(port));
      FBaudRate = Named(new QComboBox, "baudRate");
      FBaudRate->setEditable(true);
      FBaudRate->setValidator(new QIntValidator(1, 99999999, FBaudRate));
      for (uint32_t rate : kBaudRates) FBaudRate->addItem(QString::number(rate));
      FBaudRate->setCurrentText("115200");
      form->addRow("Port:", FSerialPort);
      form->addRow("Baud rate:", FBaudRate);
      break;
    case ctNetwork:
      FNetworkAddress = AddressEdit("networkAddress", "IPv4 address or host name");
      FNetworkPort = PortBox("networkPort", 0, 0);
      FNetworkPort->setSpecialValueText("none");
      form->addRow("Address:", AddressRow(FNetworkAddress, "Data port:", FNetworkPort));
      break;
    case ctCAN:
      FCanNode = Named(new QComboBox, "canNode");
      for (int node = 0; node < 16; ++node) FCanNode->addItem(QString::number(node, 16).toUpper());
      FCanChannel = Named(new QComboBox, "canChannel");
      FCanChannel->addItems({"0", "1", "2", "3"});
      FCanType = Named(new QComboBox, "canType");
      FCanType->addItems({"0x20", "0x21"});
      form->addRow("Node:", FCanNode);
      form->addRow("Channel:", FCanChannel);
      form->addRow("Type:", FCanType);
      // The adapter is the program's, not the session's: the choice holds for every CAN source.
      FCanAdapter = Named(new QComboBox, "canAdapter");
      FCanAdapter->addItem("SocketCAN", int(TCanAdapterChoice::caSocketCan));
      FCanAdapter->addItem("PCAN-Basic", int(TCanAdapterChoice::caPcanBasic));
      FCanInterface = AddressEdit("canInterface", "can0");
      form->addRow("Adapter:", FCanAdapter);
      form->addRow("Interface:", FCanInterface);
      break;
    case ctTCPServer:
      FTcpAddress = AddressEdit("tcpAddress", "IPv4 address of the other instance");
      FTcpPort = PortBox("tcpPort", 1, kDefaultServerPort);
      form->addRow("Address:", AddressRow(FTcpAddress, "Port:", FTcpPort));
      break;
    case ctArchive: {
      const QDateTime now = QDateTime::currentDateTime();
      FArchiveAddress = AddressEdit("archiveAddress", "IPv4 address of the other instance");
      FArchivePort = PortBox("archivePort", 1, kDefaultServerPort);
      FArchiveStart = TimeEdit("archiveStart", now.addDays(-1));
      FArchiveHasEnd = Named(new QCheckBox("Until:"), "archiveHasEnd");
      FArchiveEnd = TimeEdit("archiveEnd", now);
      form->addRow("Address:", AddressRow(FArchiveAddress, "Port:", FArchivePort));
      form->addRow("From:", FArchiveStart);
      form->addRow(FArchiveHasEnd, FArchiveEnd);
      break;
    }
    case ctFile: {
      FFileName = AddressEdit("fileName", "recorded report file");
      auto* browse = Named(new QPushButton("Browse..."), "fileBrowse");
      connect(browse, &QPushButton::clicked, this, &TConnectionDialog::BrowseFile);
      auto* file = new QHBoxLayout;
      file->addWidget(FFileName, 1);
      file->addWidget(browse);
      FLoopForEver = Named(new QCheckBox("Start again at the end (LOOP_FOR_EVER)"), "loopForEver");
      FWaitInterval = Named(new QCheckBox("Play at the measurement rate (WAIT_INTERVAL)"), "waitInterval");
      form->addRow("File:", file);
      form->addRow(QString(), FLoopForEver);
      form->addRow(QString(), FWaitInterval);
      break;
    }
    case ctDemoNone:
      if (kKinds[entry].Demo) {
        FDemoChannels = Named(new QSpinBox, "demoChannels");
        FDemoChannels->setRange(1, kMaxDemoChannels);
        form->addRow("Channels:", FDemoChannels);
      } else {
        form->addRow(new QLabel("The session keeps its settings but is not connected."));
      }
      break;
    default:
      break;
  }
  return page;
}

QWidget* TConnectionDialog::MakeSensorPage(const TSensorConnectionKind& row) {
  auto* page = new QWidget;
  QFormLayout* form = PageForm(page);
  switch (row.Field) {
    case TSensorField::IPAddress:
      FTcwAddress = AddressEdit("tcwAddress", "IPv4 address of the unit");
      form->addRow("Address:", FTcwAddress);
      break;
    case TSensorField::LabJackIdentifier:
      FLabJackLink = Named(new QComboBox, "labJackLink");
      FLabJackLink->addItem("USB", int(ctUSB));
      FLabJackLink->addItem("Ethernet", int(ctNetwork));
      FLabJackIdentifier = Named(new QComboBox, "labJackIdentifier");
      FLabJackIdentifier->setEditable(true);
      for (const std::string& id : AttachedLabJacks()) FLabJackIdentifier->addItem(Q(id));
      form->addRow("Link:", FLabJackLink);
      form->addRow("Identifier:", FLabJackIdentifier);
      break;
    case TSensorField::None:
      form->addRow(new QLabel(row.SessionType == kSessionTypeLabJack
                                  ? "The LabJack library's demo device."
                                  : "Six channels of made-up temperature, humidity and voltage values."));
      break;
  }
  return page;
}

void TConnectionDialog::FillKinds(int32_t sessionType) {
  const QSignalBlocker hold(FKind);
  FKind->clear();
  const auto add = [this](const char* label, int page, bool available, const QString& reason) {
    FKind->addItem(label, page);
    if (!available) DisableItem(FKind, FKind->count() - 1, reason);
  };
  if (sessionType == kSessionTypeCounter)
    for (int entry = 0; entry < kKindCount; ++entry)
      add(kKinds[entry].DialogLabel, entry, kKinds[entry].Available(), kNotAvailable);
  const QString reason = Q(UnavailableReason(sessionType, FSessionType->currentText()));
  for (size_t entry = 0; entry < kSensorKinds.size(); ++entry)
    if (kSensorKinds[entry].SessionType == sessionType)
      add(kSensorKinds[entry].DialogLabel, kKindCount + int(entry), SessionTypeAvailable(sessionType), reason);
  FKind->setCurrentIndex(0);
}

void TConnectionDialog::SelectPage(int page) {
  const int item = FKind->findData(page);
  FKind->setCurrentIndex(item < 0 ? 0 : item);
}

int TConnectionDialog::CurrentPage() const { return FKind->currentData().toInt(); }

QWidget* TConnectionDialog::MakeColorRow() {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  FColorSample = Named(new QLabel, "colorSample");
  FColorSample->setAlignment(Qt::AlignCenter);
  FColorSample->setMinimumWidth(90);
  layout->addWidget(FColorSample);
  auto* swatches = new QHBoxLayout;
  swatches->setSpacing(2);
  for (int ch = 1; ch <= kColorSwatches; ++ch) {
    const uint32_t color = ChannelPaletteColor(0, ch);
    auto* swatch = Named(new QToolButton, "colorSwatch");
    swatch->setFixedSize(18, 18);
    swatch->setStyleSheet(QString("background-color: %1; border: 1px solid #606060").arg(ToQColor(color).name()));
    connect(swatch, &QToolButton::clicked, this, [this, color] { SetColor(color); });
    swatches->addWidget(swatch);
  }
  layout->addLayout(swatches);
  auto* other = Named(new QPushButton("Other..."), "colorOther");
  connect(other, &QPushButton::clicked, this, &TConnectionDialog::ChooseOtherColor);
  layout->addWidget(other);
  layout->addStretch(1);
  return row;
}

void TConnectionDialog::Preset(const TSourceDialogPreset& preset) {
  FFriendlyName->setText(Q(preset.FriendlyName));
  SetColor(preset.Color);
  FDemoChannels->setValue(std::clamp(preset.DemoChannels, 1, kMaxDemoChannels));
  const int type = FSessionType->findData(preset.SessionType);
  FSessionType->setCurrentIndex(type < 0 ? 0 : type);
  FillKinds(FSessionType->currentData().toInt());
  const TCanAdapterChoice adapter = TCanAdapterChoice::Current();
  FCanAdapter->setCurrentIndex(FCanAdapter->findData(int(adapter.Kind)));
  FCanInterface->setText(Q(adapter.Interface));

  // Sensor sessions have strings of their own; the counter grammar does not read them.
  if (FSessionType->currentData().toInt() != kSessionTypeCounter) {
    const TSensorChoiceFromString read =
        SensorChoiceFromOpenString(preset.OpenString, FSessionType->currentData().toInt(), preset.ConnectionType);
    ShowSensorChoice(read.Choice);
    Refresh();
    ShowError(read.ErrorText);
    return;
  }
  TChoiceFromString read = ChoiceFromOpenString(preset.OpenString, preset.ConnectionType, FileExists);
  // A new session whose stored kind has no transport yet starts on the simulator, which always opens.
  const TConnectionKind* stored = FindConnectionKind(read.Choice.Kind, read.Choice.Demo);
  if (preset.OpenString.empty() && !(stored && stored->Available())) {
    read.Choice = TConnectionChoice{};
    read.Choice.Demo = true;
  }
  ShowChoice(read.Choice);
  Refresh();
  // A stored string the source would refuse: say why before the user looks for it.
  ShowError(read.ErrorText);
}

void TConnectionDialog::ShowChoice(const TConnectionChoice& c) {
  SelectPage(PageOf(c));
  FUserId->setCurrentIndex(c.UserID >= 1 && c.UserID <= 4 ? c.UserID : 0);
  FZCT2->setChecked(c.ZCT2);
  switch (c.Kind) {
    case ctUSB:
      FUsbDevice->setCurrentText(Q(c.Name));
      break;
    case ctSerial:
      FSerialPort->setCurrentText(Q(c.Name));
      FBaudRate->setCurrentText(QString::number(c.Baud));
      break;
    case ctNetwork:
      FNetworkAddress->setText(Q(c.Name));
      FNetworkPort->setValue(c.Port);
      break;
    case ctCAN:
      FCanNode->setCurrentIndex(c.CanNode & 0xF);
      FCanChannel->setCurrentIndex(std::min<int>(c.CanChannel, 3));
      FCanType->setCurrentIndex(c.CanType == 0x21 ? 1 : 0);
      break;
    case ctTCPServer:
      FTcpAddress->setText(Q(c.Name));
      FTcpPort->setValue(c.Port);
      break;
    case ctArchive:
      FArchiveAddress->setText(Q(c.Name));
      FArchivePort->setValue(c.Port);
      FArchiveStart->setDateTime(ToQDateTime(c.ArchiveStart));
      FArchiveHasEnd->setChecked(c.ArchiveEnd.has_value());
      if (c.ArchiveEnd) FArchiveEnd->setDateTime(ToQDateTime(*c.ArchiveEnd));
      break;
    case ctFile:
      FFileName->setText(Q(c.Name));
      FLoopForEver->setChecked(c.LoopForEver);
      FWaitInterval->setChecked(c.WaitInterval);
      break;
    default:
      break;
  }
}

void TConnectionDialog::ShowSensorChoice(const TSensorChoice& c) {
  SelectPage(kKindCount + int(c.Entry));
  switch (kSensorKinds[c.Entry].Field) {
    case TSensorField::IPAddress:
      FTcwAddress->setText(Q(c.Name));
      break;
    case TSensorField::LabJackIdentifier:
      FLabJackLink->setCurrentIndex(FLabJackLink->findData(int(c.Link)));
      FLabJackIdentifier->setCurrentText(Q(c.Name));
      break;
    case TSensorField::None:
      break;
  }
}

std::optional<TSensorChoice> TConnectionDialog::SensorChoice() const {
  if (CurrentPage() < kKindCount) return std::nullopt;
  TSensorChoice c;
  c.Entry = size_t(CurrentPage() - kKindCount);
  switch (kSensorKinds[c.Entry].Field) {
    case TSensorField::IPAddress:
      c.Name = S(FTcwAddress->text());
      break;
    case TSensorField::LabJackIdentifier:
      c.Name = S(FLabJackIdentifier->currentText());
      c.Link = TConnectionType(FLabJackLink->currentData().toInt());
      break;
    case TSensorField::None:
      break;
  }
  return c;
}

TConnectionChoice TConnectionDialog::Choice() const {
  TConnectionChoice c;
  if (CurrentPage() >= kKindCount) return c;
  const TKindEntry& entry = kKinds[CurrentPage()];
  c.Kind = entry.Kind;
  c.Demo = entry.Demo;
  c.ZCT2 = FZCT2->isChecked();
  c.UserID = FUserId->currentIndex() == 0 ? 255 : uint8_t(FUserId->currentIndex());
  switch (entry.Kind) {
    case ctUSB:
      c.Name = S(FUsbDevice->currentText());
      break;
    case ctSerial: {
      c.Name = S(FSerialPort->currentText());
      bool ok = false;
      const uint32_t baud = FBaudRate->currentText().toUInt(&ok);
      c.Baud = ok && baud > 0 ? baud : 115200;  // as the source opens a port without a rate
      break;
    }
    case ctNetwork:
      c.Name = S(FNetworkAddress->text());
      c.ByHostName = !c.Name.empty() && !IsValidIPv4(c.Name);
      c.Port = uint16_t(FNetworkPort->value());
      break;
    case ctCAN:
      c.CanNode = uint8_t(FCanNode->currentIndex());
      c.CanChannel = uint8_t(FCanChannel->currentIndex());
      c.CanType = FCanType->currentIndex() == 1 ? 0x21 : 0x20;
      break;
    case ctTCPServer:
      c.Name = S(FTcpAddress->text());
      c.Port = uint16_t(FTcpPort->value());
      break;
    case ctArchive:
      c.Name = S(FArchiveAddress->text());
      c.Port = uint16_t(FArchivePort->value());
      c.ArchiveStart = ToWallTime(FArchiveStart->dateTime());
      if (FArchiveHasEnd->isChecked()) c.ArchiveEnd = ToWallTime(FArchiveEnd->dateTime());
      break;
    case ctFile:
      c.Name = S(FFileName->text());
      c.LoopForEver = FLoopForEver->isChecked();
      c.WaitInterval = FWaitInterval->isChecked();
      break;
    default:
      break;
  }
  return c;
}

void TConnectionDialog::SetColor(uint32_t color) {
  FColor = color & 0xFFFFFF;
  const QString name = QString("Source %1").arg(QChar(SessionLetter(FPreset.Index)));
  FColorSample->setText(name);
  FColorSample->setStyleSheet(QString("background-color: %1; color: %2; border: 1px solid #606060; padding: 2px")
                                  .arg(ToQColor(FColor).name(), ToQColor(ContrastTextColor(FColor)).name()));
}

void TConnectionDialog::BrowseFile() {
  const QString start = FFileName->text().trimmed().isEmpty() ? QString() : QFileInfo(FFileName->text()).path();
  const QString file = QFileDialog::getOpenFileName(this, "Playback file", start,
                                                    "Recordings (*.txt *.bin);;All files (*)");
  if (!file.isEmpty()) FFileName->setText(file);
}

void TConnectionDialog::ChooseOtherColor() {
  const QColor color = QColorDialog::getColor(ToQColor(FColor), this, "Session colour");
  if (color.isValid()) SetColor(ToBgr(color));
}

void TConnectionDialog::Refresh() {
  FPages->setCurrentIndex(CurrentPage());
  const std::optional<TSensorChoice> sensor = SensorChoice();
  const TConnectionChoice counter = Choice();
  FZCT2->setEnabled(!sensor && (counter.Kind == ctUSB || counter.Kind == ctNetwork));
  FUserId->setEnabled(!sensor && (counter.Kind != ctDemoNone || counter.Demo));
  FArchiveEnd->setEnabled(FArchiveHasEnd->isChecked());
  FCanInterface->setEnabled(FCanAdapter->currentData().toInt() == TCanAdapterChoice::caSocketCan);

  // An incomplete choice shows the reason in place of the string.
  const TBuiltConnection built = sensor ? BuildSensorString(*sensor) : BuildConnectionString(counter);
  FOpenString->setText(Q(built.Text));
  QFont font = FOpenString->font();
  font.setItalic(!built.Complete);
  FOpenString->setFont(font);
  ShowError("");
}

std::string TConnectionDialog::CheckChoice() {
  const int32_t sessionType = FSessionType->currentData().toInt();
  if (!SessionTypeAvailable(sessionType)) return UnavailableReason(sessionType, FSessionType->currentText());
  const std::optional<TSensorChoice> sensor = SensorChoice();
  const TConnectionChoice counter = Choice();
  if (!sensor && !kKinds[CurrentPage()].Available())
    return std::string(kKinds[CurrentPage()].DialogLabel) + " connections are " + kNotAvailable;
  const TChoiceCheck check =
      sensor ? CheckSensorChoice(*sensor) : CheckConnectionChoice(counter, FindAttachedDevice, FileExists);
  if (!check.Ok) return check.ErrorText;

  FResult = TSourceDialogResult{};
  FResult.SessionType = sessionType;
  FResult.OpenString = check.OpenString;
  FResult.ConnectionType = sensor ? SensorConnectionType(*sensor) : counter.Kind;
  FResult.FriendlyName = S(FFriendlyName->text());
  FResult.Color = FColor;
  if (!sensor && counter.Kind == ctDemoNone && counter.Demo) FResult.DemoChannels = FDemoChannels->value();
  return "";
}

void TConnectionDialog::ShowError(const std::string& text) {
  FErrorText->setText(Q(text));
  FErrorText->setVisible(!text.empty());
}

void TConnectionDialog::accept() {
  const std::string error = CheckChoice();
  if (!error.empty()) {
    ShowError(error);
    return;
  }
  if (Choice().Kind == ctCAN) {
    TCanAdapterChoice adapter;
    adapter.Kind = TCanAdapterChoice::TKind(FCanAdapter->currentData().toInt());
    if (!S(FCanInterface->text()).empty()) adapter.Interface = S(FCanInterface->text());
    TCanAdapterChoice::SetCurrent(adapter);
  }
  QDialog::accept();
}
