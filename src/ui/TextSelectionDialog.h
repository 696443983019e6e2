#pragma once
#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/QV_ChannelData.h"
#include "data/App_VirtAllanData.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class TQV_Channels;

enum class TTextSourceKind { ZCT, IVC };
enum class TTextViewType { Standard, Virtual, RawData, Allan, VirtualAllan, Sensor };

// The τ columns an Allan text view can show: 1, 2, 5, 10, ... 1000000 samples.
constexpr int kTauColumnCount = 19;
int64_t TauColumnValue(int index);

// What the text view selection dialog chooses.
struct TTextViewSelection {
  int32_t SessionIndex = -1;
  TTextSourceKind Kind = TTextSourceKind::ZCT;
  TTextViewType Type = TTextViewType::Standard;
  std::string Columns;     // "1"/"0" per counter column (6) or interval column (4)
  std::string TauColumns;  // "1"/"0" per τ column, for the Allan types
  TAllanMode AdevMode = amFreq;
  std::string Channels = std::string(TQV_ChannelData::ChannelCount, '1');
  std::string Title;  // empty: the default title
  bool operator==(const TTextViewSelection&) const = default;
};

// A session the dialog offers.
struct TTextSelectionSession {
  int32_t Index = 0;
  std::string Caption;  // as the source menu names it
  TQV_ChannelData Channels;
  TQV_ChannelData VirtualChannels;
  int32_t ChannelCount = TQV_ChannelData::ChannelCount;
  int32_t VirtualChannelCount = 0;
  bool HasZCT = true;
  bool HasIVC = false;
  bool Sensor = false;  // a sensor session: its one view type, channels and title
};

// "New Text Window": which session, which kind of data, which columns and channels, which title.
class TTextSelectionDialog : public QDialog {
  Q_OBJECT

 public:
  TTextSelectionDialog(QWidget* parent, std::vector<TTextSelectionSession> sessions, bool expertMode);

  void SetSelection(const TTextViewSelection& selection);
  TTextViewSelection Selection() const;

  // The controls, for the window that drives the dialog and for tests.
  QComboBox* SessionBox() const { return FSession; }
  QRadioButton* KindButton(TTextSourceKind kind) const;
  QComboBox* TypeBox() const { return FType; }
  QCheckBox* ColumnBox(TTextSourceKind kind, int column) const;
  QCheckBox* TauBox(int index) const { return FTau.at(size_t(index)); }
  QComboBox* AdevModeBox() const { return FAdevMode; }
  TQV_Channels* ChannelStrip() const { return FChannels; }
  QLineEdit* TitleEdit() const { return FTitle; }
  QRadioButton* DefaultTitleButton() const { return FDefaultTitle; }

 private:
  QGroupBox* MakeColumns(const std::vector<std::string>& names, std::vector<QCheckBox*>& boxes);
  QGroupBox* MakeAllan();
  QGroupBox* MakeChannels();
  QGroupBox* MakeTitle();
  const TTextSelectionSession* CurrentSession() const;
  TTextSourceKind CurrentKind() const;
  TTextViewType CurrentType() const;
  void SetType(TTextViewType type);
  void ShowChoices();
  void ShowChannels();
  static std::string Flags(const std::vector<QCheckBox*>& boxes);
  static void SetFlags(const std::vector<QCheckBox*>& boxes, const std::string& flags);

  std::vector<TTextSelectionSession> FSessions;
  QComboBox* FSession = nullptr;
  QRadioButton* FKindZCT = nullptr;
  QRadioButton* FKindIVC = nullptr;
  QComboBox* FType = nullptr;
  QGroupBox* FColumnsZCT = nullptr;
  QGroupBox* FColumnsIVC = nullptr;
  std::vector<QCheckBox*> FZCTBoxes;
  std::vector<QCheckBox*> FIVCBoxes;
  QGroupBox* FAllan = nullptr;
  std::vector<QCheckBox*> FTau;
  QComboBox* FAdevMode = nullptr;
  TQV_Channels* FChannels = nullptr;
  QRadioButton* FDefaultTitle = nullptr;
  QRadioButton* FOwnTitle = nullptr;
  QLineEdit* FTitle = nullptr;
};
