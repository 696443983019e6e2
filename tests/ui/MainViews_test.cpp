// The main window's sensor views: the default views of a sensor session, the sensor text view of
// "New Text Window", and their keys through a restart.
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

#include "ui/GraphicChild.h"
#include "ui/MainFormTestSupport.h"
#include "ui/SensorTextChild.h"
#include "ui/TextSelectionDialog.h"

namespace {

using MainViewsTest = MainFormTest;

TSourceDialogResult DemoSensorAnswer() {
  TSourceDialogResult answer;
  answer.SessionType = kSessionTypeSensor;
  answer.OpenString = "DemoSensor";
  answer.ConnectionType = ctDemoNone;
  return answer;
}

// A first start with a sensor session opens its text view and its graph in the sensor mode; both
// come back from their keys after a restart, and the session's warnings are offered.
TEST_F(MainViewsTest, AFirstSensorSessionGetsItsTextViewAndGraphWhichComeBack) {
  answers.push_back(DemoSensorAnswer());
  TMainForm& window = MakeForm();
  ASSERT_TRUE(window.FormActivate());
  ASSERT_EQ(window.App().Lists().GetSession(0)->SessionType(), kSessionTypeSensor);
  ASSERT_EQ(window.ChildArray().Views().size(), 2u);
  EXPECT_EQ(window.ChildArray().Entry(1).Id, vkSensorText);
  EXPECT_NE(dynamic_cast<TSensorTextChild*>(window.ChildArray().Entry(1).View), nullptr);
  EXPECT_EQ(window.ChildArray().Entry(2).Id, vkGraphic);
  auto* graph = dynamic_cast<TGraphicChild*>(window.ChildArray().Entry(2).View);
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->GraphicMode(), gmSensor);
  EXPECT_FALSE(LogHas("not available yet"));
  QAction* warnings = Action("SourceSensorAlarm", 0);
  ASSERT_NE(warnings, nullptr);
  EXPECT_TRUE(warnings->isEnabled());

  window.close();
  const std::string ini = Ini();
  for (const char* line : {"View_1_Id=7", "View_1_Session=0", "View_2_Id=1", "View_2_GraphicMode1=3"})
    EXPECT_TRUE(HasLine(ini, line)) << line << "\n" << ini;
  form.reset();

  TMainForm& again = MakeForm();
  ASSERT_TRUE(again.FormActivate());
  ASSERT_EQ(again.ChildArray().Views().size(), 2u);
  auto* text = dynamic_cast<TSensorTextChild*>(again.ChildArray().Entry(1).View);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Session(), again.App().Lists().GetSession(0));
  EXPECT_EQ(dynamic_cast<TGraphicChild*>(again.ChildArray().Entry(2).View)->GraphicMode(), gmSensor);
  again.close();  // the open sensor session closes before the window goes
}

// "New Text Window" on a sensor session opens its sensor text view; "Change Window Settings..."
// keeps it one.
TEST_F(MainViewsTest, NewTextWindowOpensTheSensorTextView) {
  std::vector<TTextSelectionSession> offered;
  TMainFormOptions options = Options();
  options.Dialogs.TextSelection = [&](QWidget*, const std::vector<TTextSelectionSession>& sessions,
                                      const TTextViewSelection& preset) -> std::optional<TTextViewSelection> {
    offered = sessions;
    TTextViewSelection choice = preset;
    choice.SessionIndex = 1;
    choice.Type = TTextViewType::Sensor;
    choice.Title = "Room";
    return choice;
  };
  WriteIni("SessionCount=2\nSession_0_OpenString=fake:0\nSession_1_SessionType=1\nSession_1_OpenString=DemoSensor\nChildCount=0\n");
  TMainForm& window = MakeForm(std::move(options));
  ASSERT_TRUE(window.FormActivate());
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "New Text Window...") item->trigger();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_FALSE(offered[0].Sensor);
  EXPECT_TRUE(offered[1].Sensor);
  ASSERT_EQ(window.ChildArray().Views().size(), 1u);
  auto* view = dynamic_cast<TSensorTextChild*>(window.ChildArray().Views().front());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Session(), window.App().Lists().GetSession(1));
  EXPECT_EQ(view->Title(), "Room");
  window.findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->PlacementWidget()));
  for (QAction* item : TopMenu(window, "&Window")->actions())
    if (item->text() == "Change Window Settings...") item->trigger();
  EXPECT_EQ(window.ChildArray().Views().front(), view);
  window.close();
}

}  // namespace
