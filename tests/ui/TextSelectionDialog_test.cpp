#include "ui/TextSelectionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "ui/QV_Channels.h"

namespace {

std::vector<TTextSelectionSession> Sessions() {
  TTextSelectionSession counter;
  counter.Index = 0;
  counter.Caption = "Source A";
  counter.ChannelCount = 8;
  counter.HasIVC = true;
  TTextSelectionSession ivcOnly;
  ivcOnly.Index = 2;
  ivcOnly.Caption = "Source Lab";
  ivcOnly.HasZCT = false;
  ivcOnly.HasIVC = true;
  return {counter, ivcOnly};
}

std::vector<std::string> Items(const QComboBox* box) {
  std::vector<std::string> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
  return items;
}

QPushButton* ButtonIn(QWidget* parent, const QString& groupTitle, const QString& text) {
  for (auto* group : parent->findChildren<QGroupBox*>())
    if (group->title() == groupTitle)
      for (auto* button : group->findChildren<QPushButton*>())
        if (button->text() == text) return button;
  return nullptr;
}

TEST(TextSelectionDialog, CaptionsAndChoices) {
  TTextSelectionDialog dialog(nullptr, Sessions(), false);
  EXPECT_EQ(dialog.windowTitle(), "New Text Window");
  bool subtitle = false;
  for (auto* label : dialog.findChildren<QLabel*>()) subtitle |= label->text() == "Select Columns and Channels for Display";
  EXPECT_TRUE(subtitle);
  EXPECT_EQ(Items(dialog.SessionBox()), (std::vector<std::string>{"Source A", "Source Lab"}));
  EXPECT_EQ(dialog.KindButton(TTextSourceKind::ZCT)->text(), "Phase+Frequency ZCT");
  EXPECT_EQ(dialog.KindButton(TTextSourceKind::IVC)->text(), "Interval IVC");
  EXPECT_EQ(Items(dialog.TypeBox()), (std::vector<std::string>{"Standard", "Virtual", "Allan Deviation", "virtual ADEV"}));
  const char* zct[] = {"Phase", "Phase Difference ( Δ Chan. 1)", "Frequency Absolute", "Frequency Relative",
                       "Phase Difference ( Δ Chan. n-1)", "Phase Residual"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dialog.ColumnBox(TTextSourceKind::ZCT, i)->text().toStdString(), zct[i]);
  const char* ivc[] = {"Time Interval", "Time Interval Difference", "Interval Diff. short average",
                       "Interval Diff. long average"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dialog.ColumnBox(TTextSourceKind::IVC, i)->text().toStdString(), ivc[i]);
  EXPECT_EQ(dialog.TauBox(0)->text(), "1");
  EXPECT_EQ(dialog.TauBox(4)->text(), "20");
  EXPECT_EQ(dialog.TauBox(kTauColumnCount - 1)->text(), "1000000");
  EXPECT_EQ(dialog.DefaultTitleButton()->text(), "Default");
  EXPECT_EQ(dialog.ChannelStrip()->MaxChannels(), 8);

  TTextSelectionDialog expert(nullptr, Sessions(), true);
  EXPECT_EQ(Items(expert.TypeBox()),
            (std::vector<std::string>{"Standard", "Virtual", "Raw Data", "Allan Deviation", "virtual ADEV"}));
}

TEST(TextSelectionDialog, SelectionRoundTripAndAllNone) {
  TTextSelectionDialog dialog(nullptr, Sessions(), false);
  TTextViewSelection chosen;
  chosen.SessionIndex = 0;
  chosen.Type = TTextViewType::Virtual;
  chosen.Columns = "101001";
  chosen.TauColumns = "1001001001001001001";
  chosen.AdevMode = amPhaseRes;
  chosen.Channels = "110000000000000000000000";
  chosen.Title = "Maser";
  dialog.SetSelection(chosen);
  EXPECT_EQ(dialog.Selection(), chosen);

  ButtonIn(&dialog, "Columns", "All")->click();
  EXPECT_EQ(dialog.Selection().Columns, "111111");
  ButtonIn(&dialog, "Channels", "None")->click();
  EXPECT_EQ(dialog.Selection().Channels, std::string(24, '0'));
  dialog.DefaultTitleButton()->setChecked(true);
  EXPECT_EQ(dialog.Selection().Title, "");
}

TEST(TextSelectionDialog, AnIntervalOnlySessionOffersIntervalColumnsOnly) {
  TTextSelectionDialog dialog(nullptr, Sessions(), false);
  dialog.SessionBox()->setCurrentIndex(1);
  EXPECT_FALSE(dialog.KindButton(TTextSourceKind::ZCT)->isEnabled());
  EXPECT_TRUE(dialog.KindButton(TTextSourceKind::IVC)->isChecked());
  dialog.ColumnBox(TTextSourceKind::IVC, 1)->setChecked(true);
  const TTextViewSelection s = dialog.Selection();
  EXPECT_EQ(s.SessionIndex, 2);
  EXPECT_EQ(s.Kind, TTextSourceKind::IVC);
  EXPECT_EQ(s.Type, TTextViewType::Standard);
  EXPECT_EQ(s.Columns, "0100");
}

// A sensor session has its one view: no kinds, types or columns, its channels and a title.
TEST(TextSelectionDialog, ASensorSessionOffersItsSensorViewWithChannelsAndTitle) {
  std::vector<TTextSelectionSession> sessions = Sessions();
  TTextSelectionSession sensor;
  sensor.Index = 3;
  sensor.Caption = "Source D";
  sensor.ChannelCount = 6;
  sensor.Sensor = true;
  sessions.push_back(sensor);
  TTextSelectionDialog dialog(nullptr, sessions, false);
  dialog.KindButton(TTextSourceKind::IVC)->setChecked(true);
  dialog.SessionBox()->setCurrentIndex(2);
  for (const TTextSourceKind kind : {TTextSourceKind::ZCT, TTextSourceKind::IVC})
    EXPECT_FALSE(dialog.KindButton(kind)->isEnabled());
  EXPECT_FALSE(dialog.TypeBox()->isEnabled());
  for (auto* group : dialog.findChildren<QGroupBox*>())
    if (group->title() == "Columns" || group->title() == "Tau") EXPECT_TRUE(group->isHidden()) << group->title().toStdString();
  EXPECT_EQ(dialog.ChannelStrip()->MaxChannels(), 6);
  dialog.ChannelStrip()->SetChannelEnabled(2, false);
  dialog.TitleEdit()->setText("Room");
  Q_EMIT dialog.TitleEdit()->textEdited("Room");
  const TTextViewSelection s = dialog.Selection();
  EXPECT_EQ(s.SessionIndex, 3);
  EXPECT_EQ(s.Type, TTextViewType::Sensor);
  EXPECT_EQ(s.Kind, TTextSourceKind::ZCT);
  EXPECT_EQ(s.Channels.substr(0, 3), "101");
  EXPECT_EQ(s.Title, "Room");

  dialog.SessionBox()->setCurrentIndex(0);  // back to a counter: its choices again
  EXPECT_TRUE(dialog.TypeBox()->isEnabled());
  EXPECT_EQ(dialog.Selection().Type, TTextViewType::Standard);
}

}  // namespace
