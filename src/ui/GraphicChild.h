#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "data/App_DataManagement.h"
#include "ui/GraphicScale.h"
#include "ui/MDIChild.h"
#include "ui/QV_Plot.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class TIVC_DataManagement;
class TVTA_SensorDM;

// The graphic view: the values of the enabled channels of a session as traces on a plot that is
// swept from left to right like a recorder. Each refresh fetches only the values that arrived
// since the previous one, converts them to pixel rows with the channel's scale and centre and
// draws them at the cursor. Buttons change the scale of the selected channel (or of all), centre
// the traces on their current values, clear the graph and save it as a picture; the horizontal
// scale chooses single values, short or long averages.
class TGraphicChild : public TMDIChild {
  Q_OBJECT

 public:
  static constexpr int kChannels = TQV_ChannelData::ChannelCount;
  // Columns erased ahead of the cursor, so that the newest values stand out from the old sweep.
  static constexpr int kSweepGap = 8;
  inline static const std::string kNoConnection = "no connection";

  TGraphicChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv = {},
                TGraphicMode aMode = gmFreqAbs);
  ~TGraphicChild() override;

  // ---- Operations ----
  void ClearGraph();
  void ClearPersistBuffer(int base, int channel);
  void ChannelEnable(int Channel, bool Value);
  void PersistEnable(int Channel, bool Value);
  // Each channel of base 1 takes its current value as its centre.
  void DoCenterValues();
  // Channel i + 1 takes centres[i] as its centre where that is finite; the traces start again.
  void SetCenterValues(const std::vector<double>& centres);
  // Range buttons on the selected channel, or on all channels when none is selected.
  void DoRange(int32_t Diff, int32_t Faktor);
  // "Auto": while on, the selected channel (or every shown channel) is fitted to the values on the
  // plot whenever they leave it or shrink to a line. New views start with it; the range and centre
  // buttons switch it off, as the user has taken the scale in hand.
  bool AutoScale() const { return FAutoScale; }
  void SetAutoScale(bool value);
  void PhaseDiffResetted();

  // ---- Properties ----
  TGraphicMode GraphicMode() const { return FGraphicMode; }
  void SetGraphicMode(TGraphicMode value);
  const std::string& ActiveSessionCaption() const { return FChildTitle; }
  int32_t IntervalMs() const { return FIntervalMs; }
  bool AdjustWidth256() const { return FPlot->AdjustWidth(); }
  void SetAdjustWidth256(bool value);
  int32_t HorizontalScale() const { return FHorizontalScale; }
  void SetHorizontalScale(int32_t value);
  const TChannelScale& Scale(int channel) const { return FScale.at(size_t(channel)); }
  void SetScale(int channel, const TChannelScale& value);
  int32_t SelectedChannel() const;
  int32_t PlotX() const { return FPlotX; }
  int32_t DataX() const { return FDataX; }
  TQV_Plot* Plot() const { return FPlot; }
  TQV_Channels* LeftChannels() const { return FLeftChannels; }
  const TPersistBuffer& Persist(int channel) const { return FPersist.at(size_t(channel)); }
  // The caption of the mode as the session measures now (plain or average).
  std::string ModeCaption() const;
  // Saves the plot with a title line and a legend as a JPEG into `folder`; returns the file name,
  // empty when it could not be written.
  std::string SaveImage(const std::string& folder);

  // ---- TMDIChild ----
  void ChannelCount() override;
  void DataReset() override;
  bool IsIVCView(int base) const override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void UpdateCaption() override;
  void UpdateDisplay() override;
  void UpdateOptions(int32_t what) override;
  void UpdateSession(int base) override;

 protected:
  int32_t StoreChannelCount(int base) const override;

 private:
  TDataManagement* ReadStore() const;
  TIVC_DataManagement* IVCStore() const;
  // The sensor store in the sensor mode, else none.
  TVTA_SensorDM* SensorStore() const;
  void ApplySensorSignals();
  bool ScalesTogether(int channel, int selected) const;
  THorizontalScale StoreScale() const { return THorizontalScale(FHorizontalScale); }
  std::vector<double> FetchValues(int channel, int32_t startX, int32_t count) const;
  std::vector<double> LastValues() const;
  void ApplyAxis();
  void UpdateInterval();
  void RestartReading();
  void DrawNewValues(int32_t count, int32_t channelCount);
  int32_t VisiblePage(const TDataManagement& store) const;
  void AutoFit(int32_t channelCount);
  void RedrawPersist();

  TGraphicMode FGraphicMode = gmFreqAbs;
  std::array<TChannelScale, kChannels + 1> FScale{};  // index 0 unused
  std::array<TPersistBuffer, kChannels + 1> FPersist{};
  int32_t FHorizontalScale = 0;
  int32_t FIntervalMs = 0;
  int32_t FDataX = -1;  // next store position to read; -1 = not started
  int32_t FPlotX = 0;
  int32_t FChannelCountShown = -1;
  TQV_Plot* FPlot = nullptr;
  TQV_Channels* FLeftChannels = nullptr;
  QComboBox* FHScale = nullptr;
  QToolButton* FAutoButton = nullptr;
  bool FAutoScale = false;
  bool FSignalScalesPending = true;  // a sensor graph without stored scales takes its signals' defaults
  std::vector<double> FResultArray;
};
