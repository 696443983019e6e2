#include "ui/LogDefinitionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "logging/LogFileName.h"
#include "logging/LogTypes.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

char Letter(int32_t index) { return static_cast<char>('A' + index); }

// What a panel kind writes: its caption, string class, source part and the types it offers.
struct TPanelKindInfo {
  TLogPanelKind Kind;
  const char* Caption;  // also the check box caption of the source line
  TSamplerStringClass StringClass;
  bool SourceCopy;
  uint32_t Types;
};

const std::vector<TPanelKindInfo>& PanelKinds() {
  static const std::vector<TPanelKindInfo> kinds = {
      {TLogPanelKind::ZCT, "Phase+Frequency ZCT", sscStandard, false, kCounterLogTypes},
      {TLogPanelKind::ZCTVirtual, "ZCT Virtual", sscVirtual, false, kVirtualCounterLogTypes},
      {TLogPanelKind::IVC, "Interval IVC", sscStandard, true, kIntervalLogTypes},
      {TLogPanelKind::IVCVirtual, "IVC Virtual", sscVirtual, true, 1u << 14},
      {TLogPanelKind::Sensor, "Sensor", sscStandard, false, 1u},
  };
  return kinds;
}

const TPanelKindInfo& KindInfo(TLogPanelKind kind) {
  for (const TPanelKindInfo& info : PanelKinds())
    if (info.Kind == kind) return info;
  return PanelKinds().front();
}

TLogSourceKind SourceKind(TLogPanelKind kind) {
  switch (kind) {
    case TLogPanelKind::IVC:
    case TLogPanelKind::IVCVirtual: return TLogSourceKind::IntervalCounter;
    case TLogPanelKind::Sensor: return TLogSourceKind::Sensor;
    default: return TLogSourceKind::Counter;
  }
}

int32_t ChannelCountOf(const TLogDialogSource& source, TLogPanelKind kind) {
  switch (kind) {
    case TLogPanelKind::ZCTVirtual: return source.VirtualChannelCount;
    case TLogPanelKind::IVC: return source.IVCChannelCount;
    case TLogPanelKind::IVCVirtual: return source.VirtualIVCChannelCount;
    default: return source.ChannelCount;
  }
}

// The panel kind of a stored simple definition.
TLogPanelKind KindOf(const TSimpleLogDefinition& simple, bool sensor) {
  if (sensor) return TLogPanelKind::Sensor;
  const bool isVirtual = simple.StringClass() == sscVirtual;
  if (simple.SourceCopy()) return isVirtual ? TLogPanelKind::IVCVirtual : TLogPanelKind::IVC;
  return isVirtual ? TLogPanelKind::ZCTVirtual : TLogPanelKind::ZCT;
}

struct TSizeChoice {
  const char* Caption;
  int64_t Bytes;
};
constexpr TSizeChoice kSizeChoices[] = {{"unlimited", 0},          {"128 MB", 134217728LL},  {"256 MB", 268435456LL},
                                        {"512 MB", 536870912LL},   {"1 GB", 1073741824LL},   {"2 GB", 2147483648LL}};

}  // namespace

TLogDefinitionDialog::TLogDefinitionDialog(QWidget* parent, std::vector<TLogDialogSource> sources, int defIndex,
                                           std::string rootFolder)
    : QDialog(parent), FSources(std::move(sources)), FDefIndex(defIndex), FRootFolder(std::move(rootFolder)) {
  setWindowTitle(kCaption);
  FMessage = [this](const QString& caption, const QString& text) { QMessageBox::warning(this, caption, text); };
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeSourceGroup());
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  auto* panels = new QWidget(scroll);
  FPanelLayout = new QVBoxLayout(panels);
  FPanelLayout->addStretch();
  scroll->setWidget(panels);
  scroll->setMinimumHeight(240);
  layout->addWidget(scroll, 1);
  layout->addWidget(MakeFileGroup());
  layout->addWidget(MakeOptionsGroup());
  FDifferent = new QLabel("Warning: Different ZCT Devices", this);
  FDifferent->setStyleSheet("color: red");
  FDifferent->hide();
  layout->addWidget(FDifferent);
  auto* buttons = new QDialogButtonBox(this);
  FOk = buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  ShowKinds();
  Changed();
}

QGroupBox* TLogDefinitionDialog::MakeSourceGroup() {
  auto* group = new QGroupBox(this);
  auto* row = new QHBoxLayout(group);
  row->addWidget(new QLabel("Source:", group));
  FSource = new QComboBox(group);
  for (const TLogDialogSource& source : FSources) FSource->addItem(Q(source.Caption), source.Index);
  row->addWidget(FSource);
  for (const TPanelKindInfo& info : PanelKinds()) {
    if (info.Kind == TLogPanelKind::Sensor) continue;
    auto* box = new QCheckBox(info.Caption, group);
    box->setChecked(info.Kind == TLogPanelKind::ZCT);
    row->addWidget(box);
    FKinds.emplace_back(info.Kind, box);
  }
  FAdd = new QPushButton("Add", group);
  FRemove = new QPushButton("Remove", group);
  row->addWidget(FAdd);
  row->addWidget(FRemove);
  connect(FSource, &QComboBox::currentIndexChanged, this, [this] { ShowKinds(); });
  connect(FAdd, &QPushButton::clicked, this, [this] { AddClick(); });
  connect(FRemove, &QPushButton::clicked, this, [this] { RemoveClick(); });
  return group;
}

QGroupBox* TLogDefinitionDialog::MakeFileGroup() {
  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel("Filename:", group), 0, 0);
  FFileName = new QLineEdit(group);
  grid->addWidget(FFileName, 0, 1);
  auto* browse = new QPushButton("Browse", group);
  grid->addWidget(browse, 0, 2);
  FGenerate = new QCheckBox("Generate file name automatically", group);
  FGenerate->setChecked(true);
  grid->addWidget(FGenerate, 1, 1);
  grid->addWidget(new QLabel("Current date yymmdd will be added", group), 2, 1);
  connect(browse, &QPushButton::clicked, this, [this] { BrowseClick(); });
  connect(FGenerate, &QCheckBox::toggled, this, [this] { Changed(); });
  return group;
}

QGroupBox* TLogDefinitionDialog::MakeOptionsGroup() {
  auto* group = new QGroupBox(this);
  auto* row = new QHBoxLayout(group);
  auto* format = new QGroupBox("Name format ", group);
  auto* formatLayout = new QVBoxLayout(format);
  FNameDate = new QRadioButton("Name_Date", format);
  FDateName = new QRadioButton("Date_Name", format);
  FNameDate->setChecked(true);
  formatLayout->addWidget(FNameDate);
  formatLayout->addWidget(FDateName);
  row->addWidget(format);
  auto* size = new QGroupBox("Limit file size", group);
  auto* sizeLayout = new QVBoxLayout(size);
  FFileSize = new QComboBox(size);
  for (const TSizeChoice& choice : kSizeChoices) FFileSize->addItem(choice.Caption, qint64(choice.Bytes));
  sizeLayout->addWidget(FFileSize);
  sizeLayout->addWidget(new QLabel("At least one log file per day", size));
  row->addWidget(size);
  auto* checks = new QVBoxLayout;
  FAddHeader = new QCheckBox("Add Header", group);
  FAddHeader->setChecked(true);
  FOpen = new QCheckBox("Open immediately", group);
  FOpen->setChecked(true);
  FSyncTime = new QCheckBox("Sync Time", group);
  checks->addWidget(FAddHeader);
  checks->addWidget(FOpen);
  checks->addWidget(FSyncTime);
  row->addLayout(checks);
  return group;
}

// ---------------------------------------------------------------- sources and panels

const TLogDialogSource* TLogDefinitionDialog::FindSource(int32_t index) const {
  const auto it = std::find_if(FSources.begin(), FSources.end(), [index](const auto& s) { return s.Index == index; });
  return it == FSources.end() ? nullptr : &*it;
}

const TLogDialogSource* TLogDefinitionDialog::CurrentSource() const {
  return FSource->currentIndex() < 0 ? nullptr : FindSource(FSource->currentData().toInt());
}

QCheckBox* TLogDefinitionDialog::KindBox(TLogPanelKind kind) const {
  for (const auto& [k, box] : FKinds)
    if (k == kind) return box;
  return nullptr;
}

// A sensor adds its one panel; a counter offers the kinds of data its device carries.
void TLogDefinitionDialog::ShowKinds() {
  const TLogDialogSource* source = CurrentSource();
  for (const auto& [kind, box] : FKinds) {
    const bool zct = kind == TLogPanelKind::ZCT || kind == TLogPanelKind::ZCTVirtual;
    box->setVisible(source && !source->Sensor);
    box->setEnabled(source && (zct ? source->HasZCT : source->HasIVC));
  }
  FAdd->setEnabled(source != nullptr);
  FRemove->setEnabled(source != nullptr);
}

void TLogDefinitionDialog::AddClick() {
  const TLogDialogSource* source = CurrentSource();
  if (!source) return;
  const auto exists = [this, source](TLogPanelKind kind) {
    return std::any_of(FPanels.begin(), FPanels.end(),
                       [&](const TPanel& p) { return p.Source == source->Index && p.Kind == kind; });
  };
  if (source->Sensor) {
    if (!exists(TLogPanelKind::Sensor)) AddPanel(*source, TLogPanelKind::Sensor);
  } else {
    for (const auto& [kind, box] : FKinds)
      if (box->isChecked() && box->isEnabled() && !exists(kind)) AddPanel(*source, kind);
  }
  Changed();
}

void TLogDefinitionDialog::RemoveClick() {
  const TLogDialogSource* source = CurrentSource();
  if (!source) return;
  for (auto it = FPanels.begin(); it != FPanels.end();) {
    if (it->Source != source->Index) {
      ++it;
      continue;
    }
    delete it->Box;
    it = FPanels.erase(it);
  }
  Changed();
}

TLogDefinitionDialog::TPanel& TLogDefinitionDialog::AddPanel(const TLogDialogSource& source, TLogPanelKind kind) {
  const TPanelKindInfo& info = KindInfo(kind);
  TPanel panel;
  panel.Source = source.Index;
  panel.Kind = kind;
  panel.Box = new QGroupBox(Q(source.Caption) + " - " + info.Caption);
  auto* layout = new QVBoxLayout(panel.Box);
  auto* types = new QHBoxLayout;
  if (kind == TLogPanelKind::Sensor) {
    auto* box = new QCheckBox("Sensor", panel.Box);
    box->setChecked(true);
    types->addWidget(box);
    panel.Types.emplace_back(0, box);
  } else {
    for (int bit = 0; bit < kLogTypeCount; ++bit) {
      const TLogTypeInfo* type = FindLogType(bit);
      if (!(info.Types >> bit & 1u) || !type || type->Hidden) continue;
      auto* box = new QCheckBox(QString::fromUtf8(type->DialogCaption), panel.Box);
      types->addWidget(box);
      panel.Types.emplace_back(bit, box);
    }
  }
  types->addStretch();
  layout->addLayout(types);
  auto* channels = new QGridLayout;
  const int32_t count = std::clamp(ChannelCountOf(source, kind), 0, kLogChannels);
  for (int ch = 1; ch <= count; ++ch) {
    auto* box = new QCheckBox(QString::number(ch), panel.Box);
    box->setChecked(true);
    channels->addWidget(box, (ch - 1) / 12, (ch - 1) % 12);
    panel.Channels.push_back(box);
  }
  layout->addLayout(channels);
  auto* buttons = new QHBoxLayout;
  panel.All = new QPushButton("Select All", panel.Box);
  panel.None = new QPushButton("Select None", panel.Box);
  buttons->addWidget(panel.All);
  buttons->addWidget(panel.None);
  for (QPushButton* button : {panel.All, panel.None}) {
    const bool value = button == panel.All;
    std::vector<QCheckBox*> boxes = panel.Channels;
    connect(button, &QPushButton::clicked, this, [boxes, value] {
      for (QCheckBox* box : boxes) box->setChecked(value);
    });
  }
  if (kind == TLogPanelKind::ZCT) {
    for (int card = 1; card <= kDGICards; ++card) {
      auto* box = new QCheckBox(QString("DGI card %1").arg(card), panel.Box);
      box->setVisible(card <= source.DGICards);
      buttons->addWidget(box);
      panel.DGI.push_back(box);
    }
  }
  buttons->addStretch();
  layout->addLayout(buttons);
  for (const auto& [bit, box] : panel.Types) connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
  FPanelLayout->insertWidget(FPanelLayout->count() - 1, panel.Box);
  FPanels.push_back(std::move(panel));
  return FPanels.back();
}

QCheckBox* TLogDefinitionDialog::TypeBox(int panel, int bit) const {
  const TPanel& p = FPanels.at(size_t(panel));
  if (p.Kind == TLogPanelKind::Sensor) return p.Types.front().second;
  for (const auto& [b, box] : p.Types)
    if (b == bit) return box;
  return nullptr;
}

QCheckBox* TLogDefinitionDialog::ChannelBox(int panel, int channel) const {
  const TPanel& p = FPanels.at(size_t(panel));
  return channel >= 1 && channel <= int(p.Channels.size()) ? p.Channels[size_t(channel - 1)] : nullptr;
}

QCheckBox* TLogDefinitionDialog::DGIBox(int panel, int card) const {
  const TPanel& p = FPanels.at(size_t(panel));
  return card >= 1 && card <= int(p.DGI.size()) ? p.DGI[size_t(card - 1)] : nullptr;
}

QPushButton* TLogDefinitionDialog::SelectButton(int panel, bool all) const {
  const TPanel& p = FPanels.at(size_t(panel));
  return all ? p.All : p.None;
}

// ---------------------------------------------------------------- file name and checks

void TLogDefinitionDialog::Changed() {
  FFileName->setReadOnly(FGenerate->isChecked());
  if (FGenerate->isChecked()) FFileName->setText(Q(GeneratedName()));
  FDifferent->setVisible(DifferentDevices());
}

// The name parts of the first panel's types, the letters of the sources, the definition number.
std::string TLogDefinitionDialog::GeneratedName() const {
  if (FPanels.empty()) return "";
  std::string letters;
  for (const TPanel& panel : FPanels)
    if (letters.find(Letter(panel.Source)) == std::string::npos) letters += Letter(panel.Source);
  const TPanel& first = FPanels.front();
  uint32_t types = 0;
  for (const auto& [bit, box] : first.Types)
    if (box->isChecked()) types |= 1u << bit;
  return FRootFolder + GeneratedLogFileName(types, SourceKind(first.Kind), letters, FDefIndex);
}

// Counters with different known serial numbers in one file.
bool TLogDefinitionDialog::DifferentDevices() const {
  std::set<uint32_t> serials;
  for (const TPanel& panel : FPanels) {
    const TLogDialogSource* source = FindSource(panel.Source);
    if (source && !source->Sensor && source->SerialNumber != 0) serials.insert(source->SerialNumber);
  }
  return serials.size() > 1;
}

void TLogDefinitionDialog::BrowseClick() {
  const QString name = QFileDialog::getSaveFileName(this, "Filename", FFileName->text(), "Text files (*.txt);;All files (*)");
  if (name.isEmpty()) return;
  FGenerate->setChecked(false);
  FFileName->setText(name);
}

std::string TLogDefinitionDialog::Validate() const {
  if (FPanels.empty()) return "No source added: choose a source and press Add";
  for (const TPanel& panel : FPanels) {
    const std::string caption = panel.Box->title().toStdString();
    if (std::none_of(panel.Types.begin(), panel.Types.end(), [](const auto& t) { return t.second->isChecked(); }))
      return "No log type selected in " + caption;
    if (std::none_of(panel.Channels.begin(), panel.Channels.end(), [](QCheckBox* box) { return box->isChecked(); }))
      return "No channel selected in " + caption;
  }
  const std::string fileName = FFileName->text().trimmed().toStdString();
  if (fileName.empty()) return "No file name given";
  const TLogFilePattern pattern = SplitLogFilePattern(fileName, FRootFolder);
  if (pattern.Body.empty()) return "No file name given";
  return CheckLogFolder(pattern.Folder);
}

void TLogDefinitionDialog::accept() {
  FLastError = Validate();
  if (!FLastError.empty()) {
    FMessage(kCaption, Q(FLastError));
    return;
  }
  QDialog::accept();
}

// ---------------------------------------------------------------- definition in and out

void TLogDefinitionDialog::SetDefinition(const TLogDefinition& definition) {
  for (int i = 0; i < definition.Count(); ++i) {
    const TSimpleLogDefinition& simple = definition.Definition(i);
    const TLogDialogSource* source = FindSource(simple.SessionIndex());
    if (!source) continue;
    TPanel& panel = AddPanel(*source, KindOf(simple, source->Sensor));
    for (const auto& [bit, box] : panel.Types)
      box->setChecked(panel.Kind == TLogPanelKind::Sensor ? simple.LogTypes() != 0 : simple.HasLogType(bit));
    for (size_t ch = 0; ch < panel.Channels.size(); ++ch) panel.Channels[ch]->setChecked(simple.IsEnabled(1, int(ch + 1)));
    for (size_t card = 0; card < panel.DGI.size(); ++card) panel.DGI[card]->setChecked(simple.IsEnabled(3, int(card + 1)));
  }
  FGenerate->setChecked(false);
  FFileName->setText(Q(definition.FileName()));
  (definition.PrependDate() ? FDateName : FNameDate)->setChecked(true);
  const int size = FFileSize->findData(qint64(definition.FileSize()));
  if (size >= 0) {
    FFileSize->setCurrentIndex(size);
  } else {
    // A limit set outside this dialog stays as it is.
    FFileSize->addItem(QString("%1 bytes").arg(definition.FileSize()), qint64(definition.FileSize()));
    FFileSize->setCurrentIndex(FFileSize->count() - 1);
  }
  FAddHeader->setChecked(definition.AddHeader());
  FOpen->setChecked(definition.Enabled());
  FSyncTime->setChecked(definition.Option());
  Changed();
}

TLogDefinition TLogDefinitionDialog::Definition() const {
  TLogDefinition definition;
  for (const TPanel& panel : FPanels) {
    const TPanelKindInfo& info = KindInfo(panel.Kind);
    TSimpleLogDefinition simple;
    simple.SetSessionIndex(panel.Source);
    simple.SetSourceCopy(info.SourceCopy);
    simple.SetStringClass(info.StringClass);
    for (const auto& [bit, box] : panel.Types)
      if (box->isChecked()) simple.SetHasLogType(bit);
    for (size_t ch = 0; ch < panel.Channels.size(); ++ch) simple.SetIsEnabled(1, int(ch + 1), panel.Channels[ch]->isChecked());
    for (size_t card = 0; card < panel.DGI.size(); ++card)
      simple.SetIsEnabled(3, int(card + 1), panel.DGI[card]->isChecked() && !panel.DGI[card]->isHidden());
    definition.AddDefinition(simple);
  }
  definition.SetFileName(FFileName->text().trimmed().toStdString());
  definition.SetPrependDate(FDateName->isChecked());
  definition.SetFileSize(FFileSize->currentData().toLongLong());
  definition.SetAddHeader(FAddHeader->isChecked());
  definition.SetEnabled(FOpen->isChecked());
  definition.SetOption(FSyncTime->isChecked());
  definition.SetDifferentDevices(DifferentDevices());
  return definition;
}
