#pragma once
#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "data/App_VirtAllanData.h"
#include "ui/GraphicScale.h"

class QComboBox;

// What the graphic selection dialog chooses: a graphic view in one of the counter modes, or the
// Allan graph with its calculator.
struct TGraphicViewSelection {
  int32_t SessionIndex = -1;
  bool Allan = false;
  TGraphicMode Mode = gmFreqAbs;  // for a graphic view
  TAllanMode AllanMode = amFreq;  // for the Allan graph
  // A graphic view's second session (base 2, drawn in the same mode against its own axis); -1: none.
  int32_t SecondSessionIndex = -1;
  bool operator==(const TGraphicViewSelection&) const = default;
};

// A counter session the dialog offers, with the kinds of data its instrument carries.
struct TGraphicSelectionSession {
  int32_t Index = 0;
  std::string Caption;  // as the source menu names it
  bool HasZCT = true;
  bool HasIVC = true;
};

// The graphic modes that draw a counter session's data, in the order of the enumeration.
const std::vector<TGraphicMode>& CounterGraphicModes();

// "New Graphic Window": which session and which graph, and for a graphic view optionally a second
// session on the same plot (two counters' phase differences side by side, for example). For
// "Change Window Settings..." of an open view the session and the kind of view stay; the mode and
// the second session can change.
class TGraphicSelectionDialog : public QDialog {
  Q_OBJECT

 public:
  TGraphicSelectionDialog(QWidget* parent, std::vector<TGraphicSelectionSession> sessions, bool change);

  void SetSelection(const TGraphicViewSelection& selection);
  TGraphicViewSelection Selection() const;

  // The controls, for tests.
  QComboBox* SessionBox() const { return FSession; }
  QComboBox* GraphBox() const { return FGraph; }
  QComboBox* AllanModeBox() const { return FAllanMode; }
  QComboBox* SecondSessionBox() const { return FSecond; }
  // Whether the graph box offers the entry for `mode` (or the Allan graph) now.
  bool Offers(TGraphicMode mode) const;
  bool OffersAllan() const;
  // Whether the second-session box offers the session with this index now.
  bool OffersSecond(int32_t sessionIndex) const;

 private:
  const TGraphicSelectionSession* CurrentSession() const;
  bool AllanChosen() const;
  void ShowChoices();
  static void EnableRow(QComboBox& box, int row, bool enabled);
  static bool RowEnabled(const QComboBox& box, int row);
  void ShowSecondChoices();

  std::vector<TGraphicSelectionSession> FSessions;
  bool FChange = false;
  bool FFixedAllan = false;  // the kind of the view being changed
  QComboBox* FSession = nullptr;
  QComboBox* FGraph = nullptr;
  QComboBox* FAllanMode = nullptr;
  QComboBox* FSecond = nullptr;
};
