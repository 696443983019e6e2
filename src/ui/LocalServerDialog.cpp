#include "ui/LocalServerDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/QV_ConnectionString.h"
#include "acquisition/QV_TcpRequest.h"
#include "ui/UiColors.h"

TLocalServerDialog::TLocalServerDialog(QWidget* parent, const QString& caption, uint32_t sessionColor,
                                       const TLocalServerSettings& value, const QString& state)
    : QDialog(parent) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  auto* header = new QLabel(state, this);
  header->setObjectName("state");
  header->setAutoFillBackground(true);
  header->setMargin(6);
  QPalette palette = header->palette();
  palette.setColor(QPalette::Window, ToQColor(sessionColor));
  palette.setColor(QPalette::WindowText, ContrastQColor(sessionColor));
  header->setPalette(palette);
  layout->addWidget(header);

  auto* form = new QFormLayout;
  FRun = new QCheckBox("Serve this session's data to other instances", this);
  FRun->setChecked(value.Run);
  form->addRow(FRun);
  FPort = new QSpinBox(this);
  FPort->setRange(0, 65535);
  FPort->setSpecialValueText("any free port");
  FPort->setValue(value.Port);
  form->addRow("Port:", FPort);
  FAddress = new QLineEdit(QString::fromStdString(value.ListenAddress), this);
  FAddress->setToolTip("0.0.0.0: every network interface; 127.0.0.1: this computer only");
  form->addRow("Listening address:", FAddress);
  FClients = new QLineEdit(QString::fromStdString(value.AllowedClients), this);
  FClients->setPlaceholderText("every client");
  FClients->setToolTip("IPv4 addresses of the computers that may connect, separated by commas");
  form->addRow("Allowed clients:", FClients);
  FArchive = new QCheckBox("Keep an archive that other instances can replay", this);
  FArchive->setChecked(value.Archive);
  form->addRow(FArchive);
  FArchivePath = new QLineEdit(QString::fromStdString(value.ArchivePath), this);
  FArchivePath->setPlaceholderText("the default folder");
  form->addRow("Archive folder:", FArchivePath);
  layout->addLayout(form);

  FError = new QLabel(this);
  FError->setObjectName("error");
  FError->setStyleSheet("color: red");
  FError->hide();
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TLocalServerDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString TLocalServerDialog::Check() const {
  const std::string address = FAddress->text().trimmed().toStdString();
  if (!IsValidIPv4(address)) return "Invalid listening address: " + QString::fromStdString(address);
  for (const std::string& client : SplitAddressList(FClients->text().toStdString()))
    if (!IsValidIPv4(client)) return "Invalid client address: " + QString::fromStdString(client);
  return {};
}

TLocalServerSettings TLocalServerDialog::Value() const {
  std::string clients;
  for (const std::string& client : SplitAddressList(FClients->text().toStdString()))
    clients += (clients.empty() ? "" : ", ") + client;
  return {FRun->isChecked(), static_cast<uint16_t>(FPort->value()), FAddress->text().trimmed().toStdString(), clients,
          FArchive->isChecked(), FArchivePath->text().trimmed().toStdString()};
}

void TLocalServerDialog::accept() {
  const QString refusal = Check();
  FError->setText(refusal);
  FError->setVisible(!refusal.isEmpty());
  if (refusal.isEmpty()) QDialog::accept();
}
