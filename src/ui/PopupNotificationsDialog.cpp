#include "ui/PopupNotificationsDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/VTA_Common.h"

namespace {

QString SessionText(int32_t sIndex) { return sIndex < 0 ? QString("All") : QString(QChar(SessionLetter(sIndex))); }

QString TypeText(int32_t type) {
  switch (type) {
    case mtError: return "E";
    case mtWarning: return "W";
    case mtInfo: return "I";
    default: return "?";
  }
}

QTableWidgetItem* Fixed(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  return item;
}

}  // namespace

TPopupNotificationsDialog::TPopupNotificationsDialog(QWidget* parent, std::vector<TPopupNotificationRow> rows)
    : QDialog(parent), FRows(std::move(rows)) {
  setWindowTitle("Enable Popup Message Notifications");
  auto* layout = new QVBoxLayout(this);
  FTable = new QTableWidget(static_cast<int>(FRows.size()), 4);
  FTable->setHorizontalHeaderLabels({"", "Source", "Type", "Message"});
  FTable->verticalHeader()->hide();
  for (int r = 0; r < static_cast<int>(FRows.size()); ++r) {
    const TPopupNotificationRow& row = FRows[static_cast<size_t>(r)];
    auto* check = new QTableWidgetItem;
    check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    check->setCheckState(row.Enabled ? Qt::Checked : Qt::Unchecked);
    FTable->setItem(r, 0, check);
    FTable->setItem(r, 1, Fixed(SessionText(row.SourceIndex)));
    FTable->setItem(r, 2, Fixed(TypeText(row.MsgType)));
    FTable->setItem(r, 3, Fixed(QString::fromStdString(row.Text)));
  }
  FTable->resizeColumnsToContents();
  FTable->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(FTable);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(520, 320);
}

std::vector<TPopupNotificationRow> TPopupNotificationsDialog::Rows() const {
  std::vector<TPopupNotificationRow> rows = FRows;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    rows[static_cast<size_t>(r)].Enabled = FTable->item(r, 0)->checkState() == Qt::Checked;
  return rows;
}
