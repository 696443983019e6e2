#pragma once
#include <deque>
#include <string>

#include "ui/MDIChild.h"

class QPlainTextEdit;
class QToolButton;
class TQVSessionItem;

// The debug view of a counter session (expert mode): the report lines the session processes, as
// they arrive, and the heartbeats that the instrument sends, one line each with the device time
// and the heartbeat words in hexadecimal, newest at the bottom. The view is the only reader of the
// store's heartbeat text, which it takes once; report lines it copies from the session's tap.
class TDebugChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kTitle = "Heartbeats";
  inline static const std::string kNoConnection = "no connection";
  // Older lines go so that a view left open for days stays small.
  static constexpr int kMaxLines = 2000;

  TDebugChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv = {});
  ~TDebugChild() override;

  QPlainTextEdit* Lines() const { return FLines; }
  // The text shown instead of heartbeats ("no connection"), empty while there is none.
  const std::string& Status() const { return FStatus; }
  void Clear();
  // "Pause": the lines stand still to be read; what arrives meanwhile is kept (up to kMaxLines)
  // and shown when the pause ends.
  bool Paused() const { return FPaused; }
  void SetPaused(bool value);

  // ---- TMDIChild ----
  void DataReset() override;
  void UpdateDisplay() override;
  void UpdateSession(int base) override;

 private:
  QPlainTextEdit* FLines = nullptr;
  QToolButton* FPauseButton = nullptr;
  std::string FStatus;
  bool FPaused = false;
  std::deque<std::string> FHeld;  // lines that arrived during the pause
  const TQVSessionItem* FTapSession = nullptr;  // the session whose report lines are shown
  uint64_t FNextReportLine = 0;                 // its tap's position of the next line to show

  void ShowReportLines();
  void ShowLine(const std::string& line);
};
