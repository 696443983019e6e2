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

// "New Graphic Window": which session and which graph. For "Change Window Settings..." of an open
// view the session and the kind of view stay; only the mode can change.
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
  // Whether the graph box offers the entry for `mode` (or the Allan graph) now.
  bool Offers(TGraphicMode mode) const;
  bool OffersAllan() const;

 private:
  const TGraphicSelectionSession* CurrentSession() const;
  bool AllanChosen() const;
  void ShowChoices();
  void EnableGraph(int row, bool enabled);
  bool GraphEnabled(int row) const;

  std::vector<TGraphicSelectionSession> FSessions;
  bool FChange = false;
  bool FFixedAllan = false;  // the kind of the view being changed
  QComboBox* FSession = nullptr;
  QComboBox* FGraph = nullptr;
  QComboBox* FAllanMode = nullptr;
};
