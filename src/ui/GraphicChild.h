#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/App_DataManagement.h"
#include "ui/GraphicScale.h"
#include "ui/MDIChild.h"
#include "ui/PersistDialog.h"
#include "ui/QV_Plot.h"

class QComboBox;
class QLabel;
class QPrinter;
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
//
// A second session (base 2) draws on the same plot against a second axis, with its own channel strip
// on the right. Its values are placed on the columns by time: base 1's interval is one column, so a
// faster second session puts several values into one column (their lowest and highest rows are
// drawn) and a slower one holds its value over several columns.
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
  // "Persist...": which channels of both bases keep their persistence, and clearing it.
  void PersistDialog();
  void ApplyPersistChoice(const TPersistChoice& choice);
  // Each channel of the selected base takes its current value as its centre.
  void DoCenterValues();
  // Channel i + 1 of `base` takes centres[i] as its centre where that is finite; the traces start again.
  void SetCenterValues(const std::vector<double>& centres, int base = 1);
  // A sensor graph is centred per signal ("Set center value"): the device's signal names with the
  // centre of each signal's first channel; empty when the view is no sensor graph.
  std::vector<std::pair<std::string, double>> SignalCenters() const;
  // Every channel of signal i + 1 takes perSignal[i] as its centre where that is finite.
  void SetSignalCenterValues(const std::vector<double>& perSignal);
  // Range buttons on the selected channel of the selected base, or on all its channels when none
  // is selected.
  void DoRange(int32_t Diff, int32_t Faktor);
  // "Auto": while on, the selected channel (or every shown channel) is fitted to the values on the
  // plot whenever they leave it or shrink to a line. New views start with it; the range and centre
  // buttons switch it off, as the user has taken the scale in hand.
  bool AutoScale() const { return FAutoScale; }
  void SetAutoScale(bool value);
  void PhaseDiffResetted();

  // ---- Properties ----
  TGraphicMode GraphicMode() const { return Info(1).GraphicMode; }
  void SetGraphicMode(TGraphicMode value);
  // The mode of base 2 (a counter mode).
  TGraphicMode GraphicModeRight() const { return Info(2).GraphicMode; }
  void SetGraphicModeRight(TGraphicMode value);
  const std::string& ActiveSessionCaption() const { return FChildTitle; }
  int32_t IntervalMs() const { return FIntervalMs; }
  bool AdjustWidth256() const { return FPlot->AdjustWidth(); }
  void SetAdjustWidth256(bool value);
  int32_t HorizontalScale() const { return FHorizontalScale; }
  void SetHorizontalScale(int32_t value);
  const TChannelScale& Scale(int channel, int base = 1) const { return Info(base).Scale.at(size_t(channel)); }
  void SetScale(int channel, const TChannelScale& value, int base = 1);
  // The selected channel of base 1 (0: none), and the base whose strip was clicked last.
  int32_t SelectedChannel() const;
  int SelectedBase() const { return FSelectedBase; }
  void SelectChannel(int base, int32_t channel);
  int32_t PlotX() const { return FPlotX; }
  int32_t DataX(int base = 1) const { return Info(base).DataX; }
  TQV_Plot* Plot() const { return FPlot; }
  TQV_Channels* LeftChannels() const { return FLeftChannels; }
  TQV_Channels* RightChannels() const { return FRightChannels; }
  const TPersistBuffer& Persist(int channel, int base = 1) const { return Info(base).Persist.at(size_t(channel)); }
  // Plot columns per value of base 2: its interval over that of base 1 (1 when either is unknown).
  double ColumnsPerValue2() const;
  // The caption of the mode as the session measures now (plain or average).
  std::string ModeCaption(int base = 1) const;
  // Saves the plot with a title line and a legend as a JPEG into `folder`; returns the file name,
  // empty when it could not be written.
  std::string SaveImage(const std::string& folder);
  // The saved picture (plot, title line, legend), also what is printed.
  QImage Picture() const;
  // Prints the picture fitted to the printer's page; false when the printer cannot be used.
  bool Print(QPrinter& printer);
  // "Print...": the print dialog, then Print.
  void PrintWithDialog();

  // ---- TMDIChild ----
  void ChannelCount() override;
  void ChannelCount2nd() override;
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
  // What the view keeps per base.
  struct TGraphInfo {
    TGraphicMode GraphicMode = gmFreqAbs;
    std::array<TChannelScale, kChannels + 1> Scale{};  // index 0 unused
    std::array<TPersistBuffer, kChannels + 1> Persist{};
    int32_t DataX = -1;  // next store position to read; -1 = not started
    int32_t ChannelCountShown = -1;
    int64_t DrawnColumns = 0;  // columns drawn since the start (base 2: through its last value)
    double NextColumn = 0;     // base 2: the column of its next value, counted like DrawnColumns
    int32_t IntervalMs = 0;    // base 2: the session's interval the columns were placed with
  };
  TGraphInfo& Info(int base) { return FInfo[size_t(base - 1)]; }
  const TGraphInfo& Info(int base) const { return FInfo[size_t(base - 1)]; }
  TQV_Channels* Strip(int base) const { return base == 2 ? FRightChannels : FLeftChannels; }
  bool HasSecondBase() const { return SecondSession() != nullptr; }
  // Closes the view when the session of `base` cannot feed the base's mode; false then.
  bool SessionFits(int base);
  void ApplyMode(int base);
  void ShowSecondBase();

  TDataManagement* ReadStore(int base = 1) const;
  TIVC_DataManagement* IVCStore(int base = 1) const;
  // The sensor store in the sensor mode, else none.
  TVTA_SensorDM* SensorStore() const;
  void ApplySensorSignals();
  bool ScalesTogether(int base, int channel, int selected) const;
  THorizontalScale StoreScale() const { return THorizontalScale(FHorizontalScale); }
  std::vector<double> FetchValues(int base, int channel, int32_t startX, int32_t count) const;
  std::vector<double> LastValues(int base) const;
  // The time of one column of `base` in ms (0 when unknown).
  int32_t ColumnMs(int base) const;
  void ApplyAxis();
  void UpdateInterval();
  void RestartReading();
  void UpdateChannelCount(int base);
  void DrawNewValues(int32_t count, int32_t channelCount);
  void DrawSecondBase();
  void DrawSpans(int base, int channel, const std::vector<TColumnSpan>& spans, int startX);
  int32_t VisiblePage(const TDataManagement& store) const;
  void AutoFit(int32_t channelCount);
  void RedrawPersist();

  std::array<TGraphInfo, kBaseCount> FInfo;
  int FSelectedBase = 1;
  int32_t FHorizontalScale = 0;
  int32_t FIntervalMs = 0;
  int32_t FPlotX = 0;
  TQV_Plot* FPlot = nullptr;
  TQV_Channels* FLeftChannels = nullptr;
  TQV_Channels* FRightChannels = nullptr;
  QWidget* FRightColorPanel = nullptr;
  QComboBox* FHScale = nullptr;
  QToolButton* FAutoButton = nullptr;
  bool FAutoScale = false;
  bool FSignalScalesPending = true;  // a sensor graph without stored scales takes its signals' defaults
  std::vector<double> FResultArray;
};
