#pragma once
#include <QDialog>
#include <cstdint>
#include <optional>

#include "acquisition/ConnectionChoice.h"
#include "app/IVTA_UserInterface.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

// The dialog that creates or changes a session's connection: at the first start, for "New Source..."
// and for "Change Source...". It shows the open string live, as it will be stored. OK checks the
// choice the way the source will open it and, when the source would refuse it, shows the source's
// own error text and stays open.
//
// Widgets carry object names ("connectionKind", "fileName", "openString", "errorText", ...) by which
// tests reach them.
class TConnectionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TConnectionDialog(const TSourceDialogPreset& preset, QWidget* parent = nullptr);

  // Shows the dialog modally; none when the user cancels.
  static std::optional<TSourceDialogResult> Ask(const TSourceDialogPreset& preset, QWidget* parent);

  // The user's choice; complete once the dialog was accepted.
  const TSourceDialogResult& Result() const { return FResult; }
  // The counter choice the widgets show now (the default choice while a sensor kind is shown).
  TConnectionChoice Choice() const;
  // The sensor choice the widgets show now, when a sensor kind is shown.
  std::optional<TSensorChoice> SensorChoice() const;
  // The transports that exist; the other kinds are shown disabled.
  static bool SessionTypeAvailable(int32_t sessionType);

  void accept() override;

 private:
  void BuildWidgets();
  QWidget* MakeKindPage(int entry);
  QWidget* MakeSensorPage(const TSensorConnectionKind& row);
  // Lists the connection kinds of a session type; the first available one is chosen.
  void FillKinds(int32_t sessionType);
  void SelectPage(int page);
  // The page of the chosen kind: counter kinds first, then the sensor kinds.
  int CurrentPage() const;
  QWidget* MakeColorRow();
  void Preset(const TSourceDialogPreset& preset);
  void ShowChoice(const TConnectionChoice& c);
  void ShowSensorChoice(const TSensorChoice& c);
  void SetColor(uint32_t color);
  void BrowseFile();
  void ChooseOtherColor();
  // Refreshes the enabled fields and the live open string.
  void Refresh();
  // The reason OK is refused, or empty; fills FResult when the choice is good.
  std::string CheckChoice();
  void ShowError(const std::string& text);

  TSourceDialogPreset FPreset;
  TSourceDialogResult FResult;
  uint32_t FColor = 0;

  QComboBox* FSessionType = nullptr;
  QComboBox* FKind = nullptr;
  QStackedWidget* FPages = nullptr;
  QComboBox* FUsbDevice = nullptr;
  QComboBox* FSerialPort = nullptr;
  QComboBox* FBaudRate = nullptr;
  QLineEdit* FNetworkAddress = nullptr;
  QSpinBox* FNetworkPort = nullptr;
  QComboBox* FCanNode = nullptr;
  QComboBox* FCanChannel = nullptr;
  QComboBox* FCanType = nullptr;
  QComboBox* FCanAdapter = nullptr;
  QLineEdit* FCanInterface = nullptr;
  QLineEdit* FTcpAddress = nullptr;
  QSpinBox* FTcpPort = nullptr;
  QLineEdit* FArchiveAddress = nullptr;
  QSpinBox* FArchivePort = nullptr;
  QDateTimeEdit* FArchiveStart = nullptr;
  QCheckBox* FArchiveHasEnd = nullptr;
  QDateTimeEdit* FArchiveEnd = nullptr;
  QLineEdit* FFileName = nullptr;
  QCheckBox* FLoopForEver = nullptr;
  QCheckBox* FWaitInterval = nullptr;
  QSpinBox* FDemoChannels = nullptr;
  QLineEdit* FTcwAddress = nullptr;
  QComboBox* FLabJackLink = nullptr;
  QComboBox* FLabJackIdentifier = nullptr;
  QComboBox* FUserId = nullptr;
  QCheckBox* FZCT2 = nullptr;
  QLineEdit* FFriendlyName = nullptr;
  QLabel* FColorSample = nullptr;
  QLineEdit* FOpenString = nullptr;
  QLabel* FErrorText = nullptr;
};
