#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ui/MDIChild.h"
#include "ui/TextSelectionDialog.h"

class QAction;
class QLabel;
class TTextColumnSource;
class TTextGrid;

// The text view of a counter session ("ZCT data", one column per chosen quantity of the counter
// store) or of its interval-counter channels ("IVC data", the interval-counter store's
// quantities): one row per enabled channel in the channel's colour, the values aligned on their
// decimal separators, the font following the view's width. Cell (0,0) holds "+", which shows or
// hides the channel strip below the grid.
class TTextChild : public TMDIChild {
  Q_OBJECT

 public:
  static constexpr int kMaxModes = 6;
  inline static const std::string kTitleZCT = "ZCT data";
  inline static const std::string kTitleIVC = "IVC data";
  inline static const std::string kNoData = " no data";
  inline static const std::string kNoConnection = " no connection";

  TTextChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv = {},
             TTextSourceKind aKind = TTextSourceKind::ZCT);
  ~TTextChild() override;

  // The standard column sets: "Frequency Absolute" only, or "Phase Residual" only.
  static std::string GetStdColumnFreqAbs();
  static std::string GetStdColumnPhaseRes();

  void ChannelEnable(int Channel, bool Value);
  // The command that asks the main window for the selection dialog of this view.
  QAction* ActionViewSelection() const { return FActionViewSelection; }
  // The view's choices as the selection dialog shows them, and applying the dialog's result
  // (columns, standard or virtual channels, channels, title; the session and the kind stay).
  TTextViewSelection Selection() const;
  void ApplySelection(const TTextViewSelection& selection);

  TTextSourceKind Kind() const { return FKind; }
  int ModeCount() const;
  TTextGrid* Grid() const { return FGrid; }
  TQV_Channels* Channels() const { return FChannels; }
  // The grid column of a text mode; 0 while the mode is not shown.
  int ColumnIndex(int mode) const { return FColumnIndex.at(size_t(mode)); }

  // ---- TMDIChild ----
  void ChannelCount() override;
  void DataReset() override;
  std::string GetColumnEnabled() const override;
  void SetColumnEnabled(const std::string& Value) override;
  bool IsIVCView(int base) const override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void PrepareSessionChange(TSessionItem* aOld) override;
  void UpdateCaption() override;
  void UpdateDisplay() override;
  void UpdateOptions(int32_t what) override;
  void UpdateSession(int base) override;
  void SetVirtualChannels(bool value) override;

 protected:
  int32_t StoreChannelCount(int base) const override;

 private:
  void BindSource();
  void ShowStatus(const std::string& text);
  std::vector<std::string> Headers() const;
  void UpdateColumns(const std::vector<std::string>& headers);
  void UpdateRows(int32_t channelCount);
  void UpdateCells();

  const TTextSourceKind FKind;
  std::unique_ptr<TTextColumnSource> FSource;
  TTextGrid* FGrid = nullptr;
  TQV_Channels* FChannels = nullptr;
  QAction* FActionViewSelection = nullptr;
  std::array<bool, kMaxModes> FColumnEnabled{};
  std::array<int, kMaxModes> FColumnIndex{};  // grid column of each text mode, 0 = hidden
  std::vector<std::string> FHeaders;          // the headers the columns were built with
  std::vector<int32_t> FRowChannels;          // the channel of each data row
  bool FUpdateColumns = true;
  bool FRowsInitialized = false;
  std::string FStatus;  // the text shown instead of values, empty while values are shown
};
