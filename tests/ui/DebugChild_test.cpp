#include "ui/DebugChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <gtest/gtest.h>

#include "UiTestSessions.h"
#include "acquisition/QVSessionTestSupport.h"
#include "core/App_Settings.h"

namespace {

class DebugChildTest : public ::testing::Test {
 protected:
  std::unique_ptr<TDebugChild> MakeView() {
    auto view = std::make_unique<TDebugChild>(nullptr, 4, session.get(), nullptr, TestEnvironment());
    view->resize(560, 160);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  static QStringList Lines(const TDebugChild& view) {
    return view.Lines()->toPlainText().split('\n', Qt::SkipEmptyParts);
  }

  std::unique_ptr<TTestCounterSession> session = TTestCounterSession::Make(0);
};

TEST_F(DebugChildTest, ShowsEachHeartbeatOnceWithTheNewestAtTheBottom) {
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_TRUE(Lines(*view).isEmpty());
  session->Store().AddHeartbeat("7EFF;0000000A;FFFF0001", 12'345'678);
  view->UpdateDisplay();
  view->UpdateDisplay();  // nothing new: no second line
  session->Store().AddHeartbeat("7EFF;0000000B;FFFF0002", 12'350'678);
  view->UpdateDisplay();
  EXPECT_EQ(Lines(*view), (QStringList{"12.345.678;0000000A;FFFF0001", "12.350.678;0000000B;FFFF0002"}));
  EXPECT_EQ(view->ChildTitle(), "[A] Heartbeats");
  view->DataReset();
  EXPECT_TRUE(Lines(*view).isEmpty());
}

// A pause holds the lines still; what arrives meanwhile comes in order when it ends.
TEST_F(DebugChildTest, PauseHoldsTheLinesAndLosesNothing) {
  auto view = MakeView();
  session->Store().AddHeartbeat("7EFF;0000000A;FFFF0001", 12'345'678);
  view->UpdateDisplay();
  view->SetPaused(true);
  session->Store().AddHeartbeat("7EFF;0000000B;FFFF0002", 12'350'678);
  view->UpdateDisplay();
  session->Store().AddHeartbeat("7EFF;0000000C;FFFF0003", 12'355'678);
  view->UpdateDisplay();
  EXPECT_EQ(Lines(*view), QStringList{"12.345.678;0000000A;FFFF0001"});
  view->SetPaused(false);
  EXPECT_EQ(Lines(*view), (QStringList{"12.345.678;0000000A;FFFF0001", "12.350.678;0000000B;FFFF0002",
                                       "12.355.678;0000000C;FFFF0003"}));
}

TEST_F(DebugChildTest, ShowsNoConnectionAndClosesWithoutACounterSession) {
  session->SetOpenParams(kOpenStringNone, 0, 0, "");
  auto view = MakeView();
  view->UpdateDisplay();
  EXPECT_EQ(view->Status(), "no connection");
  EXPECT_EQ(view->Lines()->placeholderText(), "no connection");

  QPointer<TDebugChild> closing = new TDebugChild(nullptr, 5, session.get(), nullptr, TestEnvironment());
  session->SetType(kSessionTypeSensor);
  closing->UpdateSession(1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closing.isNull());
  session->SetType(kSessionTypeCounter);
}

// With a counter session on the simulator the view shows the report lines the session processed,
// each once and in order, and holds them during a pause.
class DebugChildSimulator : public QVSessionFixture, public ::testing::Test {
 protected:
  void SetUp() override {
    TAppSettings settings;
    session->ReadSettings(settings, "Session_0_");
    OpenDemo();
    ASSERT_EQ(opened, "");
  }
  std::unique_ptr<TDebugChild> MakeView() {
    auto view = std::make_unique<TDebugChild>(nullptr, 4, session.get(), nullptr, TestEnvironment());
    view->resize(640, 240);
    view->show();
    QCoreApplication::processEvents();
    return view;
  }
  QStringList Lines(const TDebugChild& view) const { return view.Lines()->toPlainText().split('\n', Qt::SkipEmptyParts); }
  QStringList Processed() const {
    QStringList lines;
    for (const std::string& line : session->ReportLines().Since(0).Lines) lines << QString::fromStdString(line);
    return lines;
  }
};

TEST_F(DebugChildSimulator, ShowsTheProcessedReportLinesOnceAndInOrder) {
  RunSteps(5);
  auto view = MakeView();
  view->UpdateDisplay();
  const QStringList first = Lines(*view);
  ASSERT_FALSE(first.isEmpty());
  EXPECT_EQ(first, Processed());
  RunSteps(5);
  view->UpdateDisplay();
  view->UpdateDisplay();  // nothing new: nothing doubled
  EXPECT_EQ(Lines(*view), Processed().mid(Processed().size() - Lines(*view).size()));
  EXPECT_GT(Lines(*view).size(), first.size());
}

TEST_F(DebugChildSimulator, PauseHoldsTheReportLinesUntilItEnds) {
  auto view = MakeView();
  RunSteps(3);
  view->UpdateDisplay();
  const QStringList before = Lines(*view);
  view->SetPaused(true);
  RunSteps(3);
  view->UpdateDisplay();
  EXPECT_EQ(Lines(*view), before);
  view->SetPaused(false);
  EXPECT_EQ(Lines(*view), Processed());
}

// A picture for a look at the view; written only when VTA_SCREENSHOT_DIR names a folder.
TEST_F(DebugChildTest, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  auto view = MakeView();
  for (int i = 0; i < 6; ++i) {
    session->Store().AddHeartbeat("7EFF;0000000A;FFFF000" + std::to_string(i) + ";00001234;00000000", 12'345'678 + i * 5000);
    view->UpdateDisplay();
  }
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/debug_view.png"));
}

TEST_F(DebugChildSimulator, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  auto view = MakeView();
  RunSteps(30);
  view->UpdateDisplay();
  QCoreApplication::processEvents();
  QDir().mkpath(folder);
  EXPECT_TRUE(view->grab().save(folder + "/debug_view_reports.png"));
}

}  // namespace
