#include "ui/EMailServerDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }
}  // namespace

TEMailServerDialog::TEMailServerDialog(QWidget* parent, bool useDefault,
                                       const std::optional<TEMailServerLogin>& configured, TTestSend testSend)
    : QDialog(parent), FTestSend(std::move(testSend)) {
  setWindowTitle("Configure Email Server");
  auto* layout = new QVBoxLayout(this);
  FDefault = new QCheckBox("Use Default EMail Server");
  FDefault->setChecked(useDefault);
  layout->addWidget(FDefault);

  auto* form = new QFormLayout;
  FHost = new QLineEdit;
  FUser = new QLineEdit;
  FPassword = new QLineEdit;
  FPassword->setEchoMode(QLineEdit::Password);
  FShowPassword = new QCheckBox("Show Password");
  FAuth = new QCheckBox("Authentification needed");
  FSender = new QLineEdit;
  auto* password = new QHBoxLayout;
  password->addWidget(FPassword);
  password->addWidget(FShowPassword);
  form->addRow("Outgoing mail server:", FHost);
  form->addRow("Account name:", FUser);
  form->addRow("Password:", password);
  form->addRow("", FAuth);
  form->addRow("Sender address:", FSender);
  layout->addLayout(form);
  if (configured) {
    FHost->setText(Q(configured->Host()));
    FUser->setText(Q(configured->User()));
    FPassword->setText(Q(configured->GetPassword()));
    FAuth->setChecked(configured->AuthNeeded());
    FSender->setText(Q(configured->Sender()));
  }

  auto* test = new QHBoxLayout;
  FTestRecipient = new QLineEdit;
  FTestRecipient->setPlaceholderText("test recipient");
  FSend = new QPushButton("Send");
  test->addWidget(FTestRecipient);
  test->addWidget(FSend);
  layout->addLayout(test);
  FStatus = new QLabel;
  FStatus->setWordWrap(true);
  layout->addWidget(FStatus);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FDefault, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
  connect(FShowPassword, &QCheckBox::toggled, this, [this](bool on) {
    FPassword->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
  });
  connect(FSend, &QPushButton::clicked, this, [this] { StartTest(); });
  FPoll = new QTimer(this);
  FPoll->setInterval(100);
  connect(FPoll, &QTimer::timeout, this, [this] { PollTest(); });
  UpdateEnabled();
}

TEMailServerDialog::~TEMailServerDialog() {
  if (FTest.valid()) FTest.wait();
}

void TEMailServerDialog::UpdateEnabled() {
  const bool own = !FDefault->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{FHost, FUser, FPassword, FShowPassword, FAuth, FSender})
    w->setEnabled(own);
}

TEMailServerLogin TEMailServerDialog::FieldLogin() const {
  return TEMailServerLogin::WithPlainPassword(S(FUser), FAuth->isChecked(), S(FSender), FPassword->text().toStdString(),
                                              S(FHost));
}

TEMailServerChoice TEMailServerDialog::Choice() const {
  TEMailServerChoice choice;
  choice.UseDefault = FDefault->isChecked();
  if (!choice.UseDefault) choice.Login = FieldLogin();
  return choice;
}

QString TEMailServerDialog::CheckTest() const {
  if (!FDefault->isChecked() && S(FHost).empty()) return "SMTP Host name missing";
  if (S(FTestRecipient).empty()) return "Email Address missing";
  return {};
}

void TEMailServerDialog::StartTest() {
  if (FTest.valid()) return;
  if (const QString refusal = CheckTest(); !refusal.isEmpty()) {
    FStatus->setText(refusal);
    return;
  }
  const std::optional<TEMailServerLogin> login = Choice().Login;
  const std::string recipient = S(FTestRecipient);
  FStatus->setText("Sending test email to " + Q(recipient) + " ...");
  FSend->setEnabled(false);
  FTest = std::async(std::launch::async, [send = FTestSend, login, recipient] { return send(login, recipient); });
  FPoll->start();
}

void TEMailServerDialog::PollTest() {
  if (!FTest.valid() || FTest.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  const std::string error = FTest.get();
  FPoll->stop();
  FSend->setEnabled(true);
  FStatus->setText(error.empty() ? QString("Test Email Server Configuration: Ok") : Q(error));
}
