#include "ui/MDIChild.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "UiTestSessions.h"

namespace {

TEST(ChildCaption, TitleLetterNameAndNumber) {
  struct Case {
    std::string title;
    int32_t index;
    std::string name;
    int32_t number;
    std::string caption;
  } cases[] = {
      {"", 0, "", 0, "[A] ZCT data"},
      {"", 0, "Lab", 0, "[A: Lab] ZCT data"},
      {"", 2, "Maser 1", 0, "[C: Maser 1] ZCT data"},
      {"My view", 0, "Lab", 0, "My view"},
      {"", 1, "", 2, "[B] ZCT data   (2)"},
      {"My view", 1, "", 3, "My view   (3)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ChildCaption(c.title, c.index, c.name, "ZCT data", c.number), c.caption);
}

// A view with a bottom panel of a known height, as a derived view would build it.
class TPanelView : public TMDIChild {
 public:
  TPanelView(TSessionItem* session, TOnMainEvent onMain = nullptr)
      : TMDIChild(nullptr, 7, session, std::move(onMain), {}, "ZCT data", "TPanelView", 2) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("data", this), 1);
    panel = new QLabel("panel", this);
    panel->setFixedHeight(30);
    layout->addWidget(panel);
    SetBottomPanel(panel);
    SetDesignPlacement(QRect(100, 300, 400, 200), anchoredToBottom);
  }
  QLabel* panel = nullptr;
  static inline bool anchoredToBottom = false;
};

TEST(MDIChild, DesignPlacementMovesTwentyPixelsPerSessionIndex) {
  auto session = TTestCounterSession::Make(2);
  struct Case {
    bool anchoredToBottom;
    bool bottomVisible;
    QRect placement;
  } cases[] = {
      {false, true, {140, 340, 400, 200}},
      {true, true, {140, 260, 400, 200}},
      {false, false, {140, 340, 400, 170}},  // the hidden panel's height is given back
  };
  for (const Case& c : cases) {
    TPanelView::anchoredToBottom = c.anchoredToBottom;
    TPanelView view(session.get());
    TAppSettings settings;
    if (!c.bottomVisible) settings.SetValue("View_1_BottomVis", false);
    view.ReadSettings(settings, "View_1_");
    EXPECT_EQ(view.geometry(), c.placement);
    EXPECT_TRUE(view.DefaultSettings());
    EXPECT_EQ(view.BottomPanelVisible(), c.bottomVisible);
  }
  TPanelView::anchoredToBottom = false;
}

TEST(MDIChild, WithoutSessionTheDesignCaptionStays) {
  TMDIChild view(nullptr, 3, nullptr, nullptr, {}, "ZCT data", "TMDIChild", 2);
  view.SetTitle("ignored");
  view.UpdateCaption();
  EXPECT_EQ(view.windowTitle().toStdString(), "ZCT data");
  EXPECT_EQ(view.SessionIndex(1), -1);
}

TEST(MDIChild, PlacementIsTheSubWindowsAndTheMainWindowHearsActivationAndClosing) {
  auto session = TTestCounterSession::Make(0);
  std::vector<std::pair<int32_t, TChildNotice>> notices;
  QMdiArea area;
  area.resize(1000, 800);
  area.show();
  auto* view = new TPanelView(session.get(), [&notices](int32_t tag, TChildNotice n) { notices.emplace_back(tag, n); });
  QMdiSubWindow* sub = area.addSubWindow(view);
  sub->show();
  area.setActiveSubWindow(sub);
  EXPECT_EQ(view->PlacementWidget(), sub);
  sub->setGeometry(10, 20, 300, 250);

  TAppSettings settings;
  view->SaveSettings(settings, "View_5_");
  EXPECT_EQ(settings.TryGetValue("View_5_Left"), "10");
  EXPECT_EQ(settings.TryGetValue("View_5_Height"), "250");
  settings.SetValue("View_5_Width", int32_t(320));
  view->ReadSettings(settings, "View_5_");
  EXPECT_EQ(sub->geometry(), QRect(10, 20, 320, 250));

  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices.front(), std::make_pair(7, TChildNotice::Activated));
  delete sub;
  EXPECT_EQ(notices.back(), std::make_pair(7, TChildNotice::Destroyed));
}

}  // namespace
