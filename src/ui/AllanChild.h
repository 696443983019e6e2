#pragma once
#include <QImage>
#include <string>

#include "data/App_VirtAllanData.h"
#include "ui/MDIChild.h"
#include "ui/QV_AllanPlot.h"

class QLabel;
class QRadioButton;
class QSpinBox;
class TQV_Channels;

// "ADEV[Freq]", "ADEV[PhaseRes]", "ADEV[PhaseDiff]".
std::string AllanModeCaption(TAllanMode mode);
// Mode numbers outside the enumeration (a damaged settings file) become amFreq.
TAllanMode AllanModeFromInt(int32_t value);

// The Allan graph: σ(τ) of the enabled channels of a counter session from one of the store's three
// calculators, on log-log axes, with a legend of those channels. The graph is redrawn only when the calculator's update counts
// changed. Channels with their min/max mark also show the range of σ since the last clearing.
class TAllanChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kNoConnection = "no connection";

  TAllanChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv = {},
              TAllanMode aMode = amFreq);

  TAllanMode AllanMode() const { return FAllanMode; }
  void SetAllanMode(TAllanMode mode);
  void SetIntervalMs(int32_t value);
  bool PersistOn() const { return FPersistOn; }

  // The buttons: min/max display on or off for all channels, clearing the min/max of the marked
  // channels, restarting the calculation, saving picture and table.
  void TogglePersist();
  void ClearPersist();
  void Restart();
  // Writes "ADEV_" + letter + "_" + time + ".jpg" (and ".txt" with the table) into the folder;
  // returns the picture's file name, empty when nothing could be written.
  std::string Save(const std::string& folder);
  // The saved picture: a title with the mode and the session's source, the date, and the plot with
  // its legend of the shown channels in their colours.
  QImage SavedPicture() const;
  void SetScaleType(TAllanScaleType type);
  // The up-down controls of the manual range; a change that would leave no decade is refused.
  bool SetManualRange(int32_t minPower, int32_t maxPower);

  TQV_AllanPlot* Plot() const { return FPlot; }
  TQV_Channels* Channels() const { return FChannels; }

  // ---- TMDIChild ----
  void DataReset() override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void UpdateCaption() override;
  void UpdateDisplay() override;
  void UpdateOptions(int32_t what) override;
  void UpdateSession(int base) override;

 protected:
  int32_t StoreChannelCount(int base) const override;

 private:
  void DrawChannels(int32_t channelCount);
  // The enabled channels the strip shows, with their ids, names and colours.
  std::vector<TAllanLegendEntry> LegendEntries(int32_t channelCount) const;
  void ShowManualRange();

  TAllanMode FAllanMode = amFreq;
  bool FPersistOn = false;
  std::string FAllanModeError;
  std::string FLastTauCountString;
  bool FInternalCall = false;
  TQV_AllanPlot* FPlot = nullptr;
  TQV_Channels* FChannels = nullptr;
  QRadioButton* FAuto = nullptr;
  QRadioButton* FManual = nullptr;
  QSpinBox* FMinPower = nullptr;
  QSpinBox* FMaxPower = nullptr;
};
