#pragma once
#include <cstdint>
#include <string>

#include "alarms/SensorAlarm.h"
#include "ui/ChannelRows.h"
#include "ui/MDIChild.h"

class TSensorSessionItem;
class TTextGrid;
class TVTA_SensorDM;
struct TTextViewSelection;

// The mark of a watched channel whose value lies outside its range: "< Min" below the minimum,
// "> Max" above the maximum; empty while in range, for an unwatched channel and for no value.
std::string SensorRangeMark(double value, const TSensorRangeInfo& range);

// The sensor text view (view kind 7): one row per enabled channel of a sensor session with the
// channel's name, its signal, the current value with its unit and the range mark.
class TSensorTextChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kTitle = "Sensor data";
  inline static const std::string kNoData = " no data";
  inline static const std::string kNoConnection = " no connection";
  enum TColumn { colName = 1, colSignal, colValue, colRange, colCount };

  TSensorTextChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                   TViewEnvironment aEnv = {});
  ~TSensorTextChild() override;

  // The choices of the text view selection dialog: channels and title.
  void ApplySelection(const TTextViewSelection& selection);
  TTextGrid* Grid() const { return FGrid; }
  TQV_Channels* Channels() const { return FChannels; }
  // The text shown instead of values, empty while values are shown.
  const std::string& Status() const { return FRows.Status(); }

  // ---- TMDIChild ----
  void ChannelCount() override;
  void DataReset() override;
  void UpdateDisplay() override;
  void UpdateOptions(int32_t what) override;
  void UpdateSession(int base) override;

 private:
  TSensorSessionItem* SensorSession() const;
  TVTA_SensorDM* SensorStore() const;

  TChannelRows FRows;
  TTextGrid* FGrid = nullptr;
  TQV_Channels* FChannels = nullptr;
};
