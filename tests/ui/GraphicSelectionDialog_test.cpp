#include "ui/GraphicSelectionDialog.h"

#include <QComboBox>
#include <algorithm>
#include <gtest/gtest.h>

#include "ui/DialogTestSupport.h"

namespace {

std::vector<TGraphicSelectionSession> Sessions() {
  return {{0, "Source A", true, true}, {1, "Source B", true, false}, {2, "Source Lab", false, true}};
}

std::vector<std::string> Items(const QComboBox* box) {
  std::vector<std::string> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
  return items;
}

TEST(GraphicSelectionDialog, OffersEveryCounterModeAndTheAllanGraph) {
  TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
  EXPECT_EQ(dialog.windowTitle(), "New Graphic Window");
  EXPECT_EQ(Items(dialog.SessionBox()), (std::vector<std::string>{"Source A", "Source B", "Source Lab"}));
  EXPECT_EQ(Items(dialog.GraphBox()),
            (std::vector<std::string>{"Phase", "Absolute Frequency Offset", "Relative Frequency Offset", "Phase Trim",
                                      "Interval Difference", "Phase Residual",
                                      "Phase Difference ( Δ Chan. n-1)", "Allan Deviation"}));
  EXPECT_EQ(Items(dialog.AllanModeBox()), (std::vector<std::string>{"Freq", "PhaseRes", "PhaseDiff"}));
}

// The session's data decides what can be drawn: interval differences need interval-counter data,
// every other graph counter data.
TEST(GraphicSelectionDialog, OffersWhatTheSessionsDataAllows) {
  struct Case {
    int32_t session;
    bool counterModes;
    bool intervalMode;
  };
  for (const Case c : {Case{0, true, true}, Case{1, true, false}, Case{2, false, true}}) {
    TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
    TGraphicViewSelection preset;
    preset.SessionIndex = c.session;
    dialog.SetSelection(preset);
    for (const TGraphicMode mode : CounterGraphicModes())
      EXPECT_EQ(dialog.Offers(mode), mode == gmIVCdiff ? c.intervalMode : c.counterModes) << c.session << " " << mode;
    EXPECT_EQ(dialog.OffersAllan(), c.counterModes) << c.session;
    // A choice the session cannot draw moves to one it can.
    const TGraphicViewSelection chosen = dialog.Selection();
    EXPECT_EQ(chosen.SessionIndex, c.session);
    EXPECT_TRUE(chosen.Allan ? dialog.OffersAllan() : dialog.Offers(chosen.Mode)) << c.session;
  }
}

TEST(GraphicSelectionDialog, SelectionComesBackAsSet) {
  TGraphicViewSelection graph;
  graph.SessionIndex = 1;
  graph.Mode = gmPhasePredecessor;
  graph.AllanMode = amPhaseRes;
  TGraphicViewSelection allan;
  allan.SessionIndex = 0;
  allan.Allan = true;
  allan.AllanMode = amPhaseDiff;
  for (const TGraphicViewSelection& selection : {graph, allan}) {
    TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
    dialog.SetSelection(selection);
    EXPECT_EQ(dialog.Selection(), selection);
    EXPECT_EQ(dialog.AllanModeBox()->isEnabled(), selection.Allan);
  }
}

TEST(GraphicSelectionDialog, ChoosingInTheBoxesGivesTheSelection) {
  TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
  dialog.SessionBox()->setCurrentIndex(2);
  dialog.GraphBox()->setCurrentIndex(dialog.GraphBox()->findText("Interval Difference"));
  TGraphicViewSelection expected;
  expected.SessionIndex = 2;
  expected.Mode = gmIVCdiff;
  EXPECT_EQ(dialog.Selection(), expected);
  dialog.SessionBox()->setCurrentIndex(0);
  dialog.GraphBox()->setCurrentIndex(dialog.GraphBox()->findText("Allan Deviation"));
  dialog.AllanModeBox()->setCurrentIndex(1);
  expected = {};
  expected.SessionIndex = 0;
  expected.Allan = true;
  expected.AllanMode = amPhaseRes;
  EXPECT_EQ(dialog.Selection(), expected);
}

// Changing an open view keeps its session and its kind: a graph offers graph modes only, an Allan
// graph only its calculators.
TEST(GraphicSelectionDialog, ChangingAViewKeepsItsSessionAndKind) {
  TGraphicViewSelection graph;
  graph.SessionIndex = 1;
  graph.Mode = gmFreqRel;
  TGraphicViewSelection allan;
  allan.SessionIndex = 0;
  allan.Allan = true;
  for (const TGraphicViewSelection& preset : {graph, allan}) {
    TGraphicSelectionDialog dialog(nullptr, Sessions(), true);
    dialog.SetSelection(preset);
    EXPECT_EQ(dialog.windowTitle(), "Change Window Settings");
    EXPECT_FALSE(dialog.SessionBox()->isEnabled());
    EXPECT_EQ(dialog.OffersAllan(), preset.Allan);
    EXPECT_EQ(dialog.Offers(gmPhase), !preset.Allan);
    EXPECT_EQ(dialog.Selection(), preset);
  }
}

// A graphic view may draw a second session in the same mode: offered are the sessions whose data
// that mode needs; the Allan graph has none.
TEST(GraphicSelectionDialog, OffersASecondSessionThatCarriesTheModesData) {
  struct Case {
    TGraphicMode mode;
    bool allan;
    std::vector<int32_t> offered;
  } cases[] = {
      {gmPhase, false, {0, 1}},
      {gmIVCdiff, false, {0, 2}},
      {gmFreqAbs, true, {}},
  };
  for (const Case& c : cases) {
    TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
    TGraphicViewSelection preset;
    preset.SessionIndex = 0;
    preset.Mode = c.mode;
    preset.Allan = c.allan;
    preset.SecondSessionIndex = 1;
    dialog.SetSelection(preset);
    std::vector<int32_t> offered;
    for (int32_t index : {0, 1, 2})
      if (dialog.OffersSecond(index)) offered.push_back(index);
    EXPECT_EQ(offered, c.offered) << c.mode << " " << c.allan;
    EXPECT_EQ(dialog.SecondSessionBox()->isEnabled(), !c.allan);
    // A second session that does not fit goes back to none.
    const bool fits = std::find(c.offered.begin(), c.offered.end(), 1) != c.offered.end();
    EXPECT_EQ(dialog.Selection().SecondSessionIndex, fits ? 1 : -1) << c.mode << " " << c.allan;
  }
}

TEST(GraphicSelectionDialog, Screenshot) {
  TGraphicSelectionDialog dialog(nullptr, Sessions(), false);
  SaveDialogScreenshot(dialog, "GraphicSelectionDialog");
}

}  // namespace
