#include "ui/DigitalInputsChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

#include "acquisition/QV_SessionItem.h"
#include "core/App_Settings.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "data/ZCT_DataManagement.h"
#include "ui/DGIHistoryStrip.h"

namespace {

class DigitalInputsChildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAppSettings settings;
    settings.SetValue("INI_Version", 6);
    session->ReadSettings(settings, "Session_0_");
    session->SetOpenParams("DemoData", 0, 0x00FFFF, "");
  }
  std::unique_ptr<TDigitalInputsChild> MakeView() {
    TViewEnvironment env;
    env.Clock = &clock;
    auto view = std::make_unique<TDigitalInputsChild>(nullptr, 9, session.get(), nullptr, env);
    view->resize(720, 340);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  TZCT_DataManagement& Store() { return *dynamic_cast<TZCT_DataManagement*>(session->DataManagement()); }
  // One digital-input report with a word per card.
  void Report(const std::string& words) { ASSERT_TRUE(Store().AddDGI("7100:" + words)); }

  TManualClock clock;
  std::unique_ptr<TQVSessionItem> session = TQVSessionItem::Make(-1, 0, {});
};

TEST_F(DigitalInputsChildTest, LampsOfEachCardFollowItsWordWithTheSessionsNames) {
  session->SetDGIName(2, 3, "Door");
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_EQ(view->CardCount(), 0);
  EXPECT_EQ(view->Status(), TDigitalInputsChild::kNoCards);

  Report(" 00000005 80000004");
  view->UpdateDisplay();
  ASSERT_EQ(view->CardCount(), 2);
  EXPECT_EQ(view->Status(), "");
  EXPECT_EQ(view->Lamp(2, 3)->text(), "Door");
  EXPECT_EQ(view->Lamp(1, 32)->text(), "DGI1_Bit31");
  EXPECT_EQ(view->Lamp(3, 1), nullptr);
  // Signal n is bit n - 1 of the card's word.
  struct Case {
    int card, signal;
    bool on;
  };
  for (const Case c : {Case{1, 1, true}, Case{1, 2, false}, Case{1, 3, true}, Case{2, 3, true}, Case{2, 32, true},
                       Case{2, 1, false}}) {
    EXPECT_EQ(view->LampOn(c.card, c.signal), c.on) << c.card << "/" << c.signal;
  }
  const auto colour = [&](int card, int signal) { return view->Lamp(card, signal)->palette().color(QPalette::Window); };
  EXPECT_EQ(colour(1, 1), colour(2, 32));
  EXPECT_NE(colour(1, 1), colour(1, 2));
  EXPECT_EQ(view->ChildTitle(), "[A] Digital Inputs");
}

// The first word is where the view starts; only a change of a card's word sets its time.
TEST_F(DigitalInputsChildTest, EachCardShowsTheTimeOfItsLastChange) {
  auto view = MakeView();
  Report(" 00000001 00000000");
  view->UpdateDisplay();
  EXPECT_EQ(view->LastChangeText(1), "-");
  clock.Advance(std::chrono::seconds(5));
  Report(" 00000001 00000010");
  view->UpdateDisplay();
  const std::string changed = TimeText(clock.Wall());
  EXPECT_EQ(view->LastChangeText(1), "-");
  EXPECT_EQ(view->LastChangeText(2), changed);
  EXPECT_TRUE(view->LampOn(2, 5));
  clock.Advance(std::chrono::seconds(7));
  view->UpdateDisplay();  // the same words again
  EXPECT_EQ(view->LastChangeText(2), changed);
}

// Each display cycle adds a column of the card's word to its history strip, drawn at the right edge.
TEST_F(DigitalInputsChildTest, HistoryStripKeepsOneColumnPerCycle) {
  auto view = MakeView();
  Report(" 00000001 00000000");
  view->UpdateDisplay();
  Report(" 00000003 80000000");
  view->UpdateDisplay();
  view->UpdateDisplay();
  TDGIHistoryStrip* strip = view->History(1);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->Words(), (std::deque<uint32_t>{1u, 3u, 3u}));
  EXPECT_TRUE(view->History(2)->WasSet(32, 0));
  EXPECT_FALSE(view->History(2)->WasSet(32, 2));
  EXPECT_FALSE(strip->WasSet(2, 2));
  EXPECT_TRUE(strip->WasSet(2, 1));
  EXPECT_EQ(view->History(3), nullptr);

  const QImage image = strip->grab().toImage();
  const int newest = image.width() - 1, row2 = 1 * TDGIHistoryStrip::kRowHeight;
  EXPECT_NE(image.pixel(newest, row2), image.pixel(newest - 2, row2));  // signal 2: set in the newest two columns only
  EXPECT_EQ(image.pixel(newest, row2), image.pixel(newest - 1, row2));
  EXPECT_EQ(image.pixel(newest, 0), image.pixel(newest - 2, 0));  // signal 1: set all along
  EXPECT_NE(image.pixel(newest, 0), image.pixel(newest - 3, 0));  // before the first cycle: nothing

  TDGIHistoryStrip full;
  for (size_t i = 0; i < TDGIHistoryStrip::kMaxColumns + 5; ++i) full.Add(uint32_t(i));
  EXPECT_EQ(full.Words().size(), TDGIHistoryStrip::kMaxColumns);
  EXPECT_EQ(full.Words().back(), uint32_t(TDGIHistoryStrip::kMaxColumns + 4));
}

TEST_F(DigitalInputsChildTest, ShowsNoConnectionAndClosesWithoutACounterSession) {
  session->SetOpenParams(kOpenStringNone, 0, 0, "");
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), TDigitalInputsChild::kNoConnection);

}

TEST_F(DigitalInputsChildTest, KeysRoundTrip) {
  auto view = MakeView();
  view->PlacementWidget()->setGeometry(30, 40, 700, 250);
  view->SetTitle("Rack inputs");
  TAppSettings settings;
  view->SaveSettings(settings, "View_3_");
  auto again = std::make_unique<TDigitalInputsChild>(nullptr, 9, session.get(), nullptr, TViewEnvironment{});
  again->ReadSettings(settings, "View_3_");
  EXPECT_EQ(again->Title(), "Rack inputs");
  EXPECT_EQ(again->PlacementWidget()->geometry(), QRect(30, 40, 700, 250));
  EXPECT_FALSE(again->DefaultSettings());
}

// A picture for a look at the view; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(DigitalInputsChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  session->SetDGIName(1, 1, "Door");
  session->SetDGIName(1, 2, "Pump");
  auto view = MakeView();
  Report(" 0000F00D A5000003");
  view->UpdateDisplay();
  clock.Advance(std::chrono::seconds(3));
  for (int i = 0; i < 300; ++i) {
    Report(i % 40 < 25 ? " 0000F00F A5000003" : " 0000F00D 25000083");
    view->UpdateDisplay();
  }
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/digital_inputs_view.png"));
}

}  // namespace
