#pragma once
#include <QDialog>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "core/EMailServerLogin.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// What the e-mail server dialog decides: the default server, or the login typed in the dialog.
struct TEMailServerChoice {
  bool UseDefault = true;
  std::optional<TEMailServerLogin> Login;  // with the password enciphered
};

// "Configure Email Server": the default server or an own one (host, account, password shown on
// request, authentication, sender), and a test mail to a recipient. The test runs on a thread of the
// dialog, so the window stays usable; its answer shows when it comes.
class TEMailServerDialog : public QDialog {
  Q_OBJECT

 public:
  // Sends the test mail with the login (none: the default server) and waits for the answer: "" when
  // sent, else the reason.
  using TTestSend =
      std::function<std::string(const std::optional<TEMailServerLogin>& login, const std::string& recipient)>;

  TEMailServerDialog(QWidget* parent, bool useDefault, const std::optional<TEMailServerLogin>& configured,
                     TTestSend testSend);
  ~TEMailServerDialog() override;

  // The login of the fields (password as typed, enciphered).
  TEMailServerLogin FieldLogin() const;
  TEMailServerChoice Choice() const;
  // Empty when the test can be sent, else the refusal text.
  QString CheckTest() const;
  // Starts the test mail; the answer appears in the status line.
  void StartTest();
  bool TestRunning() const { return FTest.valid(); }

  QCheckBox* DefaultBox() const { return FDefault; }
  QLineEdit* HostEdit() const { return FHost; }
  QLineEdit* UserEdit() const { return FUser; }
  QLineEdit* PasswordEdit() const { return FPassword; }
  QCheckBox* ShowPasswordBox() const { return FShowPassword; }
  QCheckBox* AuthBox() const { return FAuth; }
  QLineEdit* SenderEdit() const { return FSender; }
  QLineEdit* TestRecipientEdit() const { return FTestRecipient; }
  QPushButton* SendButton() const { return FSend; }
  QLabel* StatusLabel() const { return FStatus; }

 private:
  void UpdateEnabled();
  void PollTest();

  QCheckBox* FDefault = nullptr;
  QLineEdit* FHost = nullptr;
  QLineEdit* FUser = nullptr;
  QLineEdit* FPassword = nullptr;
  QCheckBox* FShowPassword = nullptr;
  QCheckBox* FAuth = nullptr;
  QLineEdit* FSender = nullptr;
  QLineEdit* FTestRecipient = nullptr;
  QPushButton* FSend = nullptr;
  QLabel* FStatus = nullptr;
  QTimer* FPoll = nullptr;
  TTestSend FTestSend;
  // The running test; the dialog waits for it before it goes (the send ends at its time limit).
  std::future<std::string> FTest;
};
