#pragma once
#include <array>
#include <string>
#include <vector>

#include "data/App_VirtAllanData.h"
#include "ui/AllanScale.h"
#include "ui/ChannelRows.h"
#include "ui/MDIChild.h"

struct TTextViewSelection;

class QLabel;
class TQV_Channels;
class TTextGrid;

// The Allan text view: one row per enabled channel in the channel's colour, one column per chosen
// τ of the ladder, σ from one of the counter store's three calculators. The font follows the
// view's width like the other text views.
class TTextAllanChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kTitleNew = "Text: Allan Deviation";
  inline static const std::string kDefaultColumns = "1001001001001001001";  // τ = 1, 10, 100, ... samples
  inline static const std::string kNoData = " no data";
  inline static const std::string kNoConnection = " no connection";

  TTextAllanChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                  TViewEnvironment aEnv = {}, TAllanMode aMode = amFreq);
  ~TTextAllanChild() override;

  TAllanMode AllanMode() const { return FAllanMode; }
  void SetAllanMode(TAllanMode mode);
  void SetIntervalMs(int32_t value);
  // The choices of the text view selection dialog: mode, τ columns, channels and title.
  void ApplySelection(const TTextViewSelection& selection);
  void ChannelEnable(int Channel, bool Value);
  TTextGrid* Grid() const { return FGrid; }
  TQV_Channels* Channels() const { return FChannels; }
  // The grid column of a τ index; 0 while it is not shown.
  int ColumnIndex(int tau) const { return FColumnIndex.at(size_t(tau)); }

  // ---- TMDIChild ----
  void ChannelCount() override;
  void DataReset() override;
  std::string GetColumnEnabled() const override;
  void SetColumnEnabled(const std::string& Value) override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void UpdateCaption() override;
  void UpdateDisplay() override;
  void UpdateOptions(int32_t what) override;
  void UpdateSession(int base) override;

 protected:
  int32_t StoreChannelCount(int base) const override;

 private:
  void ShowStatus(const std::string& text);
  void UpdateColumns();
  void UpdateCells();

  TAllanMode FAllanMode = amFreq;
  std::array<bool, kAllanTauCount> FColumnEnabled{};
  std::array<int, kAllanTauCount> FColumnIndex{};  // grid column of each τ, 0 = hidden
  int32_t FIntervalMs = 1000;
  bool FUpdateColumns = true;
  bool FShowsValues = false;  // the columns were built once: the caption names the mode
  TChannelRows FRows;
  std::string FStatus;
  TTextGrid* FGrid = nullptr;
  TQV_Channels* FChannels = nullptr;
};
