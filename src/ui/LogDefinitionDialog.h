#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "logging/App_LogDefinition.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// A session the log definition dialog offers as a source.
struct TLogDialogSource {
  int32_t Index = 0;
  std::string Caption;  // "Source A" or "Source " + name
  bool Sensor = false;
  bool HasZCT = true;   // counter data ("Phase+Frequency ZCT", "ZCT Virtual")
  bool HasIVC = false;  // interval-counter data ("Interval IVC", "IVC Virtual")
  uint32_t SerialNumber = 0;  // 0: not known
  int32_t ChannelCount = 0;
  int32_t VirtualChannelCount = 0;
  int32_t IVCChannelCount = 0;
  int32_t VirtualIVCChannelCount = 0;
  int32_t DGICards = 0;
};

// The kinds of panels (simple definitions) a source adds.
enum class TLogPanelKind { ZCT, ZCTVirtual, IVC, IVCVirtual, Sensor };

// "Define Log Configuration": one log definition, its file name pattern and options and one panel
// per simple definition (a source's string class with its log types, channels and DGI cards).
// Ok checks the input and the folder; on an error the dialog shows it and stays open.
class TLogDefinitionDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDGICards = 4;
  inline static const QString kCaption = "Define Log Configuration";

  // defIndex: the index the definition gets (or has), for the generated file name; rootFolder:
  // where generated names go, with a trailing '/'.
  TLogDefinitionDialog(QWidget* parent, std::vector<TLogDialogSource> sources, int defIndex, std::string rootFolder);

  // Shows an existing definition for editing; simple definitions of sources not offered are dropped.
  void SetDefinition(const TLogDefinition& definition);
  TLogDefinition Definition() const;
  // The first problem of the input ("" when none); Ok shows it through the message hook.
  std::string Validate() const;
  const std::string& LastError() const { return FLastError; }
  // Default: a warning box.
  void SetMessageHook(std::function<void(const QString& caption, const QString& text)> hook) { FMessage = std::move(hook); }

  // The controls, for tests and the window that drives the dialog.
  QComboBox* SourceBox() const { return FSource; }
  QCheckBox* KindBox(TLogPanelKind kind) const;
  QPushButton* AddButton() const { return FAdd; }
  QPushButton* RemoveButton() const { return FRemove; }
  int PanelCount() const { return int(FPanels.size()); }
  QGroupBox* PanelBox(int panel) const { return FPanels.at(size_t(panel)).Box; }
  // The type box of `bit` in a panel (the sensor panel's one box under any bit), or nullptr.
  QCheckBox* TypeBox(int panel, int bit) const;
  QCheckBox* ChannelBox(int panel, int channel) const;  // channel 1..
  QCheckBox* DGIBox(int panel, int card) const;         // card 1..4
  QPushButton* SelectButton(int panel, bool all) const;
  QLineEdit* FileNameEdit() const { return FFileName; }
  QCheckBox* GenerateBox() const { return FGenerate; }
  QRadioButton* NameFormatButton(bool prependDate) const { return prependDate ? FDateName : FNameDate; }
  QComboBox* FileSizeBox() const { return FFileSize; }
  QCheckBox* AddHeaderBox() const { return FAddHeader; }
  QCheckBox* OpenBox() const { return FOpen; }
  QCheckBox* SyncTimeBox() const { return FSyncTime; }
  QLabel* DifferentDevicesLabel() const { return FDifferent; }
  QPushButton* OkButton() const { return FOk; }

  void accept() override;

 private:
  struct TPanel {
    int32_t Source = 0;
    TLogPanelKind Kind = TLogPanelKind::ZCT;
    QGroupBox* Box = nullptr;
    std::vector<std::pair<int, QCheckBox*>> Types;  // bit, box
    std::vector<QCheckBox*> Channels;
    std::vector<QCheckBox*> DGI;
    QPushButton* All = nullptr;
    QPushButton* None = nullptr;
  };

  QGroupBox* MakeSourceGroup();
  QGroupBox* MakeFileGroup();
  QGroupBox* MakeOptionsGroup();
  const TLogDialogSource* FindSource(int32_t index) const;
  const TLogDialogSource* CurrentSource() const;
  void ShowKinds();
  void AddClick();
  void RemoveClick();
  TPanel& AddPanel(const TLogDialogSource& source, TLogPanelKind kind);
  void Changed();
  std::string GeneratedName() const;
  bool DifferentDevices() const;
  void BrowseClick();

  std::vector<TLogDialogSource> FSources;
  int FDefIndex;
  std::string FRootFolder;
  std::vector<TPanel> FPanels;
  std::function<void(const QString&, const QString&)> FMessage;
  std::string FLastError;

  QComboBox* FSource = nullptr;
  std::vector<std::pair<TLogPanelKind, QCheckBox*>> FKinds;
  QPushButton* FAdd = nullptr;
  QPushButton* FRemove = nullptr;
  QVBoxLayout* FPanelLayout = nullptr;
  QLineEdit* FFileName = nullptr;
  QCheckBox* FGenerate = nullptr;
  QRadioButton* FNameDate = nullptr;
  QRadioButton* FDateName = nullptr;
  QComboBox* FFileSize = nullptr;
  QCheckBox* FAddHeader = nullptr;
  QCheckBox* FOpen = nullptr;
  QCheckBox* FSyncTime = nullptr;
  QLabel* FDifferent = nullptr;
  QPushButton* FOk = nullptr;
};
