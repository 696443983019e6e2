#include "ui/EmailNotificationsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/VTA_Common.h"
#include "ui/DialogInput.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const char* const kClassTexts[] = {"Error, Warning", "Info", "Internal Hardware Error", "Internal Software Error"};

std::vector<std::string> LinesOf(const QString& text) {
  std::vector<std::string> lines;
  for (const QString& line : text.split('\n'))
    if (!line.trimmed().isEmpty()) lines.push_back(line.toStdString());
  return lines;
}

}  // namespace

TEmailNotificationsDialog::TEmailNotificationsDialog(QWidget* parent, std::vector<TNotification> notifications,
                                                     std::vector<std::pair<int32_t, std::string>> sessions)
    : QDialog(parent), FNotifications(std::move(notifications)), FSessions(std::move(sessions)) {
  setWindowTitle("Email Notifications");
  auto* layout = new QVBoxLayout(this);
  FTable = new QTableWidget(0, 6);
  FTable->setHorizontalHeaderLabels({"Notify", "Source", "Message", "Additional", "Email Address", "Email Subject"});
  FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FTable->verticalHeader()->hide();
  FTable->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(FTable);

  auto* form = new QFormLayout;
  FSource = new QComboBox;
  FSource->addItem("- All -", kAllSessions);
  for (const auto& [index, name] : FSessions)
    FSource->addItem(QString(QChar(SessionLetter(index))) + ": " + Q(name), index);
  FNotify = new QComboBox;
  FNotify->addItems({"Once", "Always"});
  FClass = new QComboBox;
  for (const char* text : kClassTexts) FClass->addItem(text);
  FMessages = new QListWidget;
  FAdditional = new QPlainTextEdit;
  FAdditional->setMaximumHeight(60);
  FAddress = new QLineEdit;
  FSubject = new QLineEdit(kDefaultSubject);
  form->addRow("Source:", FSource);
  form->addRow("Notify:", FNotify);
  form->addRow("Class:", FClass);
  form->addRow("", FMessages);
  form->addRow("Additional Text:", FAdditional);
  form->addRow("Address:", FAddress);
  form->addRow("Subject:", FSubject);
  layout->addLayout(form);

  auto* edit = new QHBoxLayout;
  auto* add = new QPushButton("Add");
  auto* change = new QPushButton("Change");
  auto* remove = new QPushButton("Remove");
  edit->addWidget(add);
  edit->addWidget(change);
  edit->addWidget(remove);
  edit->addStretch();
  layout->addLayout(edit);
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(add, &QPushButton::clicked, this, [this] { AddFromFields(); });
  connect(change, &QPushButton::clicked, this, [this] { ChangeSelected(); });
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  connect(FClass, &QComboBox::currentIndexChanged, this, [this] { FillMessages({}); });
  connect(FTable, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (row >= 0 && row < static_cast<int>(FNotifications.size())) ShowInFields(FNotifications[static_cast<size_t>(row)]);
  });
  FillMessages({});
  FillTable();
  resize(720, 600);
}

void TEmailNotificationsDialog::FillMessages(const std::vector<int32_t>& ticked) {
  FMessages->clear();
  for (const TMessageRecord& record : MessageCodeList(FClass->currentIndex())) {
    auto* item = new QListWidgetItem(Q(record.Text), FMessages);
    item->setData(Qt::UserRole, record.Code);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    const bool on = std::find(ticked.begin(), ticked.end(), record.Code) != ticked.end();
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void TEmailNotificationsDialog::ShowInFields(const TNotification& n) {
  FSource->setCurrentIndex(std::max(0, FSource->findData(n.SourceIndex)));
  FNotify->setCurrentIndex(n.Notify == ntAlways ? 1 : 0);
  FClass->setCurrentIndex(static_cast<int>(n.NotifyClass));
  FillMessages(n.Codes);
  std::string additional;
  for (const std::string& line : n.Lines) additional += (additional.empty() ? "" : "\n") + line;
  FAdditional->setPlainText(Q(additional));
  FAddress->setText(Q(n.EmailAddress));
  FSubject->setText(Q(n.Subject));
}

void TEmailNotificationsDialog::FillTable() {
  FTable->setRowCount(static_cast<int>(FNotifications.size()));
  for (int r = 0; r < static_cast<int>(FNotifications.size()); ++r) {
    const TNotification& n = FNotifications[static_cast<size_t>(r)];
    const QString source = n.SourceIndex < 0 ? QString("- All -") : QString(QChar(SessionLetter(n.SourceIndex)));
    std::string additional;
    for (const std::string& line : n.Lines) additional += (additional.empty() ? "" : " ") + line;
    const QString cells[] = {NotifyTypeText(n.Notify), source, Q(n.GetNotifyText()), Q(additional),
                             Q(n.EmailAddress), Q(n.Subject)};
    for (int c = 0; c < 6; ++c) FTable->setItem(r, c, new QTableWidgetItem(cells[c]));
  }
  FTable->resizeColumnsToContents();
}

TNotification TEmailNotificationsDialog::FieldNotification() const {
  TNotification n;
  n.SourceIndex = FSource->currentData().toInt();
  n.Notify = FNotify->currentIndex() == 1 ? ntAlways : ntOnce;
  n.NotifyClass = static_cast<TNotifyClass>(FClass->currentIndex());
  for (int i = 0; i < FMessages->count(); ++i)
    if (FMessages->item(i)->checkState() == Qt::Checked) n.Codes.push_back(FMessages->item(i)->data(Qt::UserRole).toInt());
  n.Lines = LinesOf(FAdditional->toPlainText());
  n.EmailAddress = FAddress->text().trimmed().toStdString();
  n.Subject = FSubject->text().trimmed().toStdString();
  n.SetDisplayText();
  return n;
}

QString TEmailNotificationsDialog::CheckFields() const {
  if (FAddress->text().trimmed().isEmpty()) return "Email Address missing";
  if (FSubject->text().trimmed().isEmpty()) return "Email Subject missing";
  return {};
}

bool TEmailNotificationsDialog::AddFromFields() {
  FError->setText(CheckFields());
  if (!FError->text().isEmpty()) return false;
  FNotifications.push_back(FieldNotification());
  FillTable();
  return true;
}

bool TEmailNotificationsDialog::ChangeSelected() {
  const int row = FTable->currentRow();
  if (row < 0 || row >= static_cast<int>(FNotifications.size())) return false;
  FError->setText(CheckFields());
  if (!FError->text().isEmpty()) return false;
  // An edited notification is a new one: enabled again, nothing mailed yet.
  FNotifications[static_cast<size_t>(row)] = FieldNotification();
  FillTable();
  return true;
}

void TEmailNotificationsDialog::RemoveSelected() {
  const int row = FTable->currentRow();
  if (row < 0 || row >= static_cast<int>(FNotifications.size())) return;
  FNotifications.erase(FNotifications.begin() + row);
  FillTable();
}
