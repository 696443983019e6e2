#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/ChannelRows.h"
#include "ui/MDIChild.h"

class TTextGrid;
struct TTextViewSelection;

// The raw-data view of a counter session (expert mode): while the instrument sends raw counter
// readings, the last readings T1, T2 and T3 of each enabled channel as received, one row per
// channel. Outside the raw-data mode it says so instead.
class TRawDataChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kTitle = "Raw Data";
  inline static const std::string kNoData = " no data";
  inline static const std::string kNoConnection = " no connection";
  inline static const std::string kNoRawMode = " no raw data mode";

  TRawDataChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv = {});
  ~TRawDataChild() override;

  // The choices of the text view selection dialog: channels and title.
  void ApplySelection(const TTextViewSelection& selection);
  TTextGrid* Grid() const { return FGrid; }
  TQV_Channels* Channels() const { return FChannels; }
  // The text shown instead of values, empty while values are shown.
  const std::string& Status() const { return FRows.Status(); }

  // ---- TMDIChild ----
  void DataReset() override;
  void UpdateDisplay() override;
  void UpdateSession(int base) override;

 private:

  TChannelRows FRows;
  TTextGrid* FGrid = nullptr;
  TQV_Channels* FChannels = nullptr;
};
