#include "ui/MessageChild.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>

#include "core/DateTimeText.h"
#include "support/TempDir.h"
#include "ui/UiColors.h"

namespace {

using namespace std::chrono_literals;

class MessageChildTest : public ::testing::Test {
 protected:
  MessageChildTest() : list(nullptr, [](int32_t index) { return index == 0 ? 0x800000u : 0x00FFFFu; }, clock) {
    view.SetAskFileName([this](const std::string& proposed) {
      proposedNames.push_back(proposed);
      return chosenFile;
    });
    view.SetShowMessage([this](const std::string& caption, const std::string& text) { boxes.emplace_back(caption, text); });
  }
  std::string Text(int row, int col) const { return view.Table()->item(row, col)->text().toStdString(); }

  TManualClock clock;
  TMessageList list;
  TMessageChild view{nullptr, 1, list, nullptr};
  std::string chosenFile;
  std::vector<std::string> proposedNames;
  std::vector<std::pair<std::string, std::string>> boxes;
};

TEST_F(MessageChildTest, RowsShowDateSessionTimeAndText) {
  EXPECT_EQ(view.windowTitle().toStdString(), "Q+V  VTA : Messages");
  list.AddError(0, 72, 0, "Connect failed");
  list.AddError(0, 72, 0, "Connect failed");  // merged: shown with its count
  list.AddWarning(1, 41, 0, "Clock warning");
  list.AddInfo(kNoSession, kMsgCodeCompatibility, 0, "Adjusted");
  view.UpdateDisplay();
  QTableWidget& table = *view.Table();
  ASSERT_EQ(table.rowCount(), 4);
  const std::string date = DateText(clock.Wall());
  const std::string time = TimeText(clock.Wall());
  EXPECT_EQ(Text(0, 0), "");
  EXPECT_EQ(Text(0, 2), date);
  EXPECT_EQ(Text(1, 0), "A");
  EXPECT_EQ(Text(1, 1), time);
  EXPECT_EQ(Text(1, 2), "Connect failed (2)");
  EXPECT_EQ(Text(2, 0), "B");
  EXPECT_EQ(Text(2, 1), time);  // kept although the row before has the same second
  EXPECT_EQ(table.item(1, 2)->toolTip().toStdString(), "Connect failed (2)");  // whole text on hover
  EXPECT_EQ(Text(3, 0), " ");

  EXPECT_EQ(table.item(1, 0)->background().color(), ToQColor(0x800000));
  EXPECT_EQ(table.item(1, 0)->foreground().color(), QColor(Qt::white));  // dark session colour
  EXPECT_EQ(table.item(2, 0)->foreground().color(), QColor(Qt::black));
  EXPECT_EQ(table.item(1, 2)->foreground().color(), QColor(Qt::red));
  EXPECT_EQ(table.item(2, 2)->foreground().color(), QColor(Qt::blue));
  EXPECT_EQ(table.item(3, 2)->foreground().color(), QColor(Qt::black));
  EXPECT_TRUE(table.item(3, 2)->font().bold());
  EXPECT_FALSE(table.item(1, 2)->font().bold());
}

// A device that fails in a loop reports the same error from worker threads many times a second:
// the view must stay one counted row, not a flood.
TEST_F(MessageChildTest, BurstOfRepeatedErrorsFromWorkersIsOneCountedRow) {
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([this] {
      for (int i = 0; i < 250; ++i) list.AddErrorThread(0, 21, 0, "Read error");
    });
  for (std::thread& worker : workers) worker.join();
  view.UpdateDisplay();
  ASSERT_EQ(view.Table()->rowCount(), 2);  // the date row and the message
  EXPECT_EQ(Text(1, 2), "Read error (1000)");
}

TEST_F(MessageChildTest, OnlyTheNewestFitTheLimitEachDayWithItsDateRow) {
  for (int i = 0; i < 150; ++i) {
    list.AddInfo(0, 91, 0, "info " + std::to_string(i));
    clock.Advance(1h);
  }
  view.UpdateDisplay();
  QTableWidget& table = *view.Table();
  ASSERT_GE(table.rowCount(), view.Limit());
  ASSERT_LE(table.rowCount(), view.Limit() + 1);
  const std::vector<TMessageItem> items = list.Snapshot();
  // Walking up from the newest row: the messages in order, each day headed by its date.
  size_t next = items.size();
  std::set<std::string> dates;
  for (int row = table.rowCount() - 1; row >= 0; --row) {
    if (Text(row, 0).empty()) {
      EXPECT_EQ(Text(row, 2), DateText(items[next].Time)) << row;
      EXPECT_TRUE(dates.insert(Text(row, 2)).second) << row;
      continue;
    }
    ASSERT_GT(next, 0u);
    --next;
    EXPECT_EQ(Text(row, 2), items[next].Text) << row;
  }
  EXPECT_TRUE(Text(0, 0).empty());  // the oldest shown message has its date row
  EXPECT_EQ(Text(table.rowCount() - 1, 2), "info 149");
  EXPECT_GE(dates.size(), 4u);
}

TEST_F(MessageChildTest, ANewErrorBringsTheViewBackAnInfoDoesNot) {
  view.UpdateDisplay();
  view.hide();
  list.AddInfo(0, 91, 0, "opened");
  view.UpdateDisplay();
  EXPECT_TRUE(view.isHidden());
  list.AddWarning(0, 41, 0, "warning");
  list.AddInfo(0, 91, 0, "opened again");
  view.UpdateDisplay();
  EXPECT_FALSE(view.isHidden());
}

TEST_F(MessageChildTest, ClearEmptiesListAndView) {
  list.AddError(0, 72, 0, "x");
  view.UpdateDisplay();
  view.ClearButton()->click();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(view.Table()->rowCount(), 0);
}

TEST_F(MessageChildTest, SaveWritesTheWholeListOrSaysThereIsNothing) {
  TTempDir dir;
  view.SaveButton()->click();
  EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{{"Save Messages", "No message to save"}}));
  EXPECT_TRUE(proposedNames.empty());

  list.AddError(0, 72, 0, "first");
  list.AddInfo(1, 91, 0, "second");
  chosenFile = "";
  view.MessageSaveExecute();  // cancelled
  EXPECT_EQ(proposedNames, std::vector<std::string>{"Messages.txt"});

  chosenFile = dir.File("saved.txt");
  view.MessageSaveExecute();
  const std::vector<TMessageItem> items = list.Snapshot();
  EXPECT_EQ(ReadWholeFile(chosenFile),
            ItemToString(items[0], nullptr) + "\r\n" + ItemToString(items[1], &items[0]) + "\r\n");

  chosenFile = dir.File("missing/folder/saved.txt");
  view.MessageSaveExecute();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].first, "Save Messages");
  EXPECT_NE(boxes[1].second.find("Messages not saved to " + chosenFile), std::string::npos);
}

TEST_F(MessageChildTest, SettingsKeepColumnsAndTheUntouchedKeys) {
  TAppSettings settings;
  settings.SetValue("ViewMessage_Columns", "30 70 ");
  settings.SetValue("ViewMessage_SaveFileName", "/tmp/msgs.txt");
  settings.SetValue("ViewMessage_AutoSave", true);
  view.show();
  view.ReadSettings(settings, "ViewMessage_");
  EXPECT_EQ(view.Table()->columnWidth(0), 30);
  EXPECT_EQ(view.Table()->columnWidth(1), 70);

  TAppSettings saved;
  view.SaveSettings(saved, "ViewMessage_");
  EXPECT_EQ(saved.TryGetValue("ViewMessage_Columns"), "30 70 ");
  EXPECT_EQ(saved.TryGetValue("ViewMessage_SaveFileName"), "/tmp/msgs.txt");
  EXPECT_EQ(saved.TryGetValue("ViewMessage_AutoSave"), "True");
  EXPECT_EQ(saved.TryGetValue("ViewMessage_Visible"), "True");
  EXPECT_FALSE(saved.TryGetValue("ViewMessage_Title"));

  struct Case {
    std::string columns;
    int first, second;
  } cases[] = {{"abc 50 ", 30, 50}, {"40", 30, 50}, {"25 x ", 25, 50}};
  for (const Case& c : cases) {
    settings.SetValue("ViewMessage_Columns", c.columns);
    view.ReadSettings(settings, "ViewMessage_");
    EXPECT_EQ(view.Table()->columnWidth(0), c.first) << c.columns;
    EXPECT_EQ(view.Table()->columnWidth(1), c.second) << c.columns;
  }
}

TEST_F(MessageChildTest, ButtonPanelOnlyWhileActive) {
  QMdiArea area;
  area.resize(800, 600);
  area.show();
  auto* messages = new TMessageChild(nullptr, 1, list, nullptr);
  QMdiSubWindow* sub = area.addSubWindow(messages);
  QMdiSubWindow* other = area.addSubWindow(new QLabel("other"));
  sub->show();
  other->show();
  area.setActiveSubWindow(sub);
  EXPECT_FALSE(messages->ButtonPanel()->isHidden());
  const int height = sub->height();
  area.setActiveSubWindow(other);
  EXPECT_TRUE(messages->ButtonPanel()->isHidden());
  EXPECT_LT(sub->height(), height);
}

}  // namespace

namespace {
// Everything a row shows, cell by cell.
std::vector<std::string> Cells(const QTableWidget& table) {
  std::vector<std::string> cells;
  for (int row = 0; row < table.rowCount(); ++row)
    for (int col = 0; col < table.columnCount(); ++col) {
      const QTableWidgetItem* item = table.item(row, col);
      if (!item) {
        cells.push_back("<none>");
        continue;
      }
      cells.push_back(item->text().toStdString() + "|" + item->background().color().name().toStdString() + "|" +
                      item->foreground().color().name().toStdString() + "|" + (item->font().bold() ? "b" : "") +
                      "|" + std::to_string(item->textAlignment()));
    }
  return cells;
}
}  // namespace

TEST_F(MessageChildTest, UpdatingRowByRowShowsWhatARebuildShows) {
  view.SetLimit(12);
  // Each step changes the list; after each, the long-lived view must equal a new view of the list.
  const std::vector<std::function<void()>> steps = {
      [&] { list.AddInfo(0, 91, 0, "opened"); },
      [&] { for (int i = 0; i < 5; ++i) list.AddWarningThread(i % 2, 41, 0, "warning " + std::to_string(i)); },
      [&] { clock.Advance(1s); list.AddErrorThread(0, 21, 0, "read failed"); },
      [&] { clock.Advance(2s); list.AddErrorThread(0, 21, 0, "read failed"); },  // merged: moves to the end
      [&] { clock.Advance(20h); list.AddInfo(kNoSession, kMsgCodeCompatibility, 0, "adjusted"); },  // a new day
      [&] { for (int i = 0; i < 20; ++i) { clock.Advance(1h); list.AddInfo(1, 91, 0, "hour " + std::to_string(i)); } },
      [&] { list.AddErrorThread(1, kMsgCodePllUnlocked, 0, "PLL unlocked"); },
      [&] { clock.Advance(1s); list.AddErrorThread(1, kMsgCodeReferenceInvalid, 0, "reference invalid"); },
      [&] {},
      [&] { list.Clear(); },
      [&] { list.AddWarning(0, 41, 0, "after clearing"); },
  };
  for (size_t step = 0; step < steps.size(); ++step) {
    steps[step]();
    view.UpdateDisplay();
    TMessageChild rebuilt(nullptr, 2, list, nullptr);
    rebuilt.SetLimit(12);
    rebuilt.UpdateDisplay();
    EXPECT_EQ(Cells(*view.Table()), Cells(*rebuilt.Table())) << "step " << step;
  }
}
