#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

#include "acquisition/QV_LocalServerSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Run Local Server ...": whether the session serves its data to other instances, on which port and
// address, to which clients, and whether it keeps an archive they can replay. The header shows the
// session's colour and whether the server runs now.
class TLocalServerDialog : public QDialog {
  Q_OBJECT

 public:
  TLocalServerDialog(QWidget* parent, const QString& caption, uint32_t sessionColor, const TLocalServerSettings& value,
                     const QString& state);

  // Empty when the input is usable, else the refusal text.
  QString Check() const;
  TLocalServerSettings Value() const;

  QCheckBox* RunBox() const { return FRun; }
  QSpinBox* PortBox() const { return FPort; }
  QLineEdit* AddressEdit() const { return FAddress; }
  QLineEdit* ClientsEdit() const { return FClients; }
  QCheckBox* ArchiveBox() const { return FArchive; }
  QLineEdit* ArchivePathEdit() const { return FArchivePath; }
  QLabel* ErrorLabel() const { return FError; }

  void accept() override;

 private:
  QCheckBox* FRun = nullptr;
  QSpinBox* FPort = nullptr;
  QLineEdit* FAddress = nullptr;
  QLineEdit* FClients = nullptr;
  QCheckBox* FArchive = nullptr;
  QLineEdit* FArchivePath = nullptr;
  QLabel* FError = nullptr;
};
