#include "ui/DGINamesDialog.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "acquisition/QV_SessionItem.h"
#include "ui/UiColors.h"

namespace {

constexpr int kCards = TQVSessionItem::DGICards;
constexpr int kSignals = TQVSessionItem::DGISignals;

}  // namespace

TDGINamesDialog::TDGINamesDialog(QWidget* parent, const QString& caption, uint32_t color, const TDGINames& names,
                                 int cards)
    : QDialog(parent), FInput(names) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  auto* strip = new QFrame(this);
  strip->setFixedHeight(6);
  strip->setStyleSheet("background-color: " + ToQColor(color).name() + ";");
  layout->addWidget(strip);
  const int columns = std::clamp(cards, 1, kCards);
  FGrid = new QTableWidget(kSignals, columns, this);
  for (int card = 1; card <= columns; ++card) {
    FGrid->setHorizontalHeaderItem(card - 1, new QTableWidgetItem("Card " + QString::number(card)));
    for (int signal = 1; signal <= kSignals; ++signal)
      FGrid->setItem(signal - 1, card - 1,
                     new QTableWidgetItem(QString::fromStdString(names[size_t(card - 1)][size_t(signal - 1)])));
  }
  QStringList bits;
  for (int bit = 0; bit < kSignals; ++bit) bits << "Bit " + QString::number(bit);
  FGrid->setVerticalHeaderLabels(bits);
  FGrid->horizontalHeader()->setDefaultSectionSize(140);
  FGrid->setMinimumSize(std::min(columns, 4) * 140 + 70, 420);
  layout->addWidget(FGrid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TDGINamesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TDGINamesDialog::reject);
  layout->addWidget(buttons);
}

std::string TDGINamesDialog::DefaultName(int card, int signal) {
  return "DGI" + std::to_string(card) + "_Bit" + std::to_string(signal - 1);
}

TDGINames TDGINamesDialog::Names() const {
  TDGINames result = FInput;
  for (int card = 1; card <= FGrid->columnCount(); ++card)
    for (int signal = 1; signal <= kSignals; ++signal) {
      const std::string text = FGrid->item(signal - 1, card - 1)->text().trimmed().toStdString();
      result[size_t(card - 1)][size_t(signal - 1)] = text.empty() ? DefaultName(card, signal) : text;
    }
  return result;
}

TDGINames TDGINamesDialog::Read(const TQVSessionItem& session) {
  TDGINames names;
  for (int card = 1; card <= kCards; ++card)
    for (int signal = 1; signal <= kSignals; ++signal)
      names[size_t(card - 1)][size_t(signal - 1)] = session.DGIName(card, signal);
  return names;
}

void TDGINamesDialog::Apply(const TDGINames& names, TQVSessionItem& session) {
  for (int card = 1; card <= kCards; ++card)
    for (int signal = 1; signal <= kSignals; ++signal)
      session.SetDGIName(card, signal, names[size_t(card - 1)][size_t(signal - 1)]);
}
