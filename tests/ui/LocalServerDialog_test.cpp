#include "ui/LocalServerDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"

// "Run Local Server ...": the session's server settings in and out, and what is refused.
namespace {

TLocalServerSettings Stored() { return {true, 7321, "127.0.0.1", "192.0.2.5, 192.0.2.6", true, "/srv/archive"}; }

TEST(LocalServerDialog, ShowsAndReturnsTheSettings) {
  TLocalServerDialog dialog(nullptr, "[A] Local TCP Server", 0x00FF00, Stored(), "Running on port 7321, 1 subscriber(s)");
  EXPECT_EQ(dialog.windowTitle(), "[A] Local TCP Server");
  EXPECT_EQ(dialog.findChild<QLabel*>("state")->text(), "Running on port 7321, 1 subscriber(s)");
  EXPECT_EQ(dialog.Value(), Stored());
  dialog.PortBox()->setValue(0);
  dialog.ClientsEdit()->setText(" 192.0.2.9;192.0.2.10 ");  // any separator, stored one way
  dialog.RunBox()->setChecked(false);
  const TLocalServerSettings value = dialog.Value();
  EXPECT_FALSE(value.Run);
  EXPECT_EQ(value.Port, 0);
  EXPECT_EQ(value.AllowedClients, "192.0.2.9, 192.0.2.10");
}

TEST(LocalServerDialog, RefusesAddressesThatAreNotIPv4AndStaysOpen) {
  struct TCase {
    const char* Address;
    const char* Clients;
    QString Refusal;
  } cases[] = {
      {"0.0.0.0", "", ""},
      {"127.0.0.1", "192.0.2.5,192.0.2.6", ""},
      {"localhost", "", "Invalid listening address: localhost"},
      {"0.0.0.0", "192.0.2.5, 192.0.2.300", "Invalid client address: 192.0.2.300"},
      {"0.0.0.0", "lab-pc", "Invalid client address: lab-pc"},
  };
  for (const TCase& c : cases) {
    TLocalServerDialog dialog(nullptr, "Local TCP Server", 0, Stored(), "Not running");
    dialog.AddressEdit()->setText(c.Address);
    dialog.ClientsEdit()->setText(c.Clients);
    EXPECT_EQ(dialog.Check(), c.Refusal) << c.Address << " " << c.Clients;
    dialog.accept();
    EXPECT_EQ(dialog.result(), c.Refusal.isEmpty() ? QDialog::Accepted : QDialog::Rejected) << c.Address;
    EXPECT_EQ(dialog.ErrorLabel()->text(), c.Refusal);
  }
}

TEST(LocalServerDialog, Screenshot) {
  TLocalServerDialog dialog(nullptr, "[A] Local TCP Server", 0x00C0FF, Stored(), "Running on port 7321, 2 subscriber(s)");
  SaveDialogScreenshot(dialog, "local_server_dialog");
}

}  // namespace
