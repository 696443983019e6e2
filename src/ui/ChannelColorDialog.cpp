#include "ui/ChannelColorDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/UiColors.h"

namespace {

enum TGridColumn { gcColor = 0, gcId = 1, gcName = 2 };
constexpr int kColorRole = Qt::UserRole;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::optional<uint32_t> ChooseStripColor(QWidget* parent, const QString& caption, uint32_t current) {
  QDialog dialog(parent);
  dialog.setWindowTitle(caption);
  auto* layout = new QVBoxLayout(&dialog);
  auto* strip = new QGridLayout;
  std::optional<uint32_t> chosen;
  for (int ch = 1; ch <= TQV_ChannelData::ChannelCount; ++ch) {
    const uint32_t color = ChannelPaletteColor(0, ch);
    auto* button = new QPushButton(&dialog);
    button->setFixedSize(24, 24);
    button->setStyleSheet(QString("background-color: %1; border: %2px solid black")
                              .arg(ToQColor(color).name())
                              .arg(color == current ? 2 : 0));
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &chosen, color] {
      chosen = color;
      dialog.accept();
    });
    strip->addWidget(button, (ch - 1) / 12, (ch - 1) % 12);
  }
  layout->addLayout(strip);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* other = buttons->addButton("Other...", QDialogButtonBox::ActionRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(other, &QPushButton::clicked, &dialog, [&dialog, &chosen, current, caption] {
    const QColor color = QColorDialog::getColor(ToQColor(current), &dialog, caption);
    if (!color.isValid()) return;
    chosen = ToBgr(color);
    dialog.accept();
  });
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted ? chosen : std::nullopt;
}

TChannelColorDialog::TChannelColorDialog(QWidget* parent, const TQV_ChannelData& zctData, int zctCount,
                                         const std::optional<TQV_ChannelData>& ivcData, int ivcCount)
    : QDialog(parent), FZCTData(zctData), FIVCData(ivcData) {
  setWindowTitle("Channel Color and Name");
  FChooser = [this](const QString& caption, uint32_t current) { return ChooseStripColor(this, caption, current); };
  auto* layout = new QHBoxLayout;
  auto* zct = new QGroupBox("Phase-/Frequency Counter ZCT", this);
  FZCTGrid = MakeGrid(zct, zctData, zctCount, false);
  layout->addWidget(zct);
  if (ivcData) {
    auto* ivc = new QGroupBox("Interval Counter IVC", this);
    FIVCGrid = MakeGrid(ivc, *ivcData, ivcCount, true);
    FLikeZCT = new QCheckBox("Like ZCT", ivc);
    static_cast<QVBoxLayout*>(ivc->layout())->insertWidget(0, FLikeZCT);
    connect(FLikeZCT, &QCheckBox::toggled, this, [this] { ShowLikeZCT(); });
    layout->addWidget(ivc);
  }
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(layout);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
}

QTableWidget* TChannelColorDialog::MakeGrid(QGroupBox* group, const TQV_ChannelData& data, int count, bool ivc) {
  auto* layout = new QVBoxLayout(group);
  count = std::clamp(count, 0, TQV_ChannelData::ChannelCount);
  auto* grid = new QTableWidget(count, 3, group);
  grid->setHorizontalHeaderLabels({"Color", "Id", "Name"});
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setColumnWidth(gcColor, 44);
  grid->setColumnWidth(gcId, 60);
  for (int ch = 1; ch <= count; ++ch) {
    grid->setVerticalHeaderItem(ch - 1, new QTableWidgetItem(QString::number(ch)));
    auto* color = new QTableWidgetItem;
    color->setFlags(Qt::ItemIsEnabled);
    grid->setItem(ch - 1, gcColor, color);
    SetColorCell(grid, ch, data.ChannelColor(ch));
    grid->setItem(ch - 1, gcId, new QTableWidgetItem(Q(data.ChannelId(ch))));
    grid->setItem(ch - 1, gcName, new QTableWidgetItem(Q(data.ChannelName(ch))));
  }
  connect(grid, &QTableWidget::cellClicked, this, [this, ivc](int row, int col) {
    if (col == gcColor) ChooseColor(ivc, row + 1);
  });
  layout->addWidget(grid);
  return grid;
}

void TChannelColorDialog::SetColorCell(QTableWidget* grid, int channel, uint32_t color) {
  QTableWidgetItem* item = grid ? grid->item(channel - 1, gcColor) : nullptr;
  if (!item) return;
  item->setData(kColorRole, QVariant::fromValue(color));
  item->setBackground(ToQColor(color));
}

uint32_t TChannelColorDialog::ColorOf(const QTableWidget* grid, int channel) const {
  const QTableWidgetItem* item = grid ? grid->item(channel - 1, gcColor) : nullptr;
  return item ? item->data(kColorRole).value<uint32_t>() : TQV_ChannelData::InvalidColor;
}

void TChannelColorDialog::ChooseColor(bool ivc, int channel) {
  QTableWidget* grid = Grid(ivc);
  if (!grid || channel < 1 || channel > grid->rowCount()) return;
  if (ivc && FLikeZCT && FLikeZCT->isChecked()) return;
  const QString caption = QString("Select color for %1 channel %2").arg(ivc ? "IVC" : "ZCT").arg(channel);
  const std::optional<uint32_t> color = FChooser(caption, ColorOf(grid, channel));
  if (!color) return;
  SetColorCell(grid, channel, *color);
  if (!ivc) ShowLikeZCT();
}

// With "Like ZCT" the interval-counter channels show the counter channels' colours.
void TChannelColorDialog::ShowLikeZCT() {
  if (!FLikeZCT || !FLikeZCT->isChecked()) return;
  for (int ch = 1; ch <= std::min(FIVCGrid->rowCount(), FZCTGrid->rowCount()); ++ch)
    SetColorCell(FIVCGrid, ch, ColorOf(FZCTGrid, ch));
}

TQV_ChannelData TChannelColorDialog::Edited(const TQV_ChannelData& data, const QTableWidget* grid, bool ivc) const {
  TQV_ChannelData edited = data;
  const bool likeZCT = ivc && FLikeZCT && FLikeZCT->isChecked();
  for (int ch = 1; ch <= grid->rowCount(); ++ch) {
    const bool fromZCT = likeZCT && ch <= FZCTGrid->rowCount();
    edited.SetChannelColor(ch, ColorOf(fromZCT ? FZCTGrid : grid, ch));
    edited.SetChannelId(ch, grid->item(ch - 1, gcId)->text().toStdString());
    edited.SetChannelName(ch, grid->item(ch - 1, gcName)->text().toStdString());
  }
  return edited;
}

TQV_ChannelData TChannelColorDialog::ZCTData() const { return Edited(FZCTData, FZCTGrid, false); }

std::optional<TQV_ChannelData> TChannelColorDialog::IVCData() const {
  if (!FIVCData) return std::nullopt;
  return Edited(*FIVCData, FIVCGrid, true);
}
