#include "ui/MessageChild.h"

#include <QFileDialog>
#include <algorithm>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <sstream>

#include "core/DateTimeText.h"
#include "core/VTA_DebugConf.h"
#include "ui/UiColors.h"

namespace {

constexpr int kMessagesCategory = 7;   // debug category "Messages"
constexpr int kUserInputCategory = 12;  // debug category "UserInput"
enum TMessageColumn { mcSession = 0, mcTime = 1, mcText = 2 };

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string ShownText(const TMessageItem& item) {
  return item.Count > 1 ? item.Text + " (" + std::to_string(item.Count) + ")" : item.Text;
}

QColor TypeColor(TMsgType type) {
  switch (type) {
    case mtError: return Qt::red;
    case mtWarning: return Qt::blue;
    case mtInfo: break;
  }
  return Qt::black;
}

}  // namespace

TMessageChild::TMessageChild(QWidget* AOwner, int32_t aTag, TMessageList& aList, TOnMainEvent aOnMain, TViewEnvironment aEnv)
    : TMDIChild(AOwner, aTag, nullptr, std::move(aOnMain), std::move(aEnv), kCaption, "TMessageChild", kMessagesCategory),
      FList(aList) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FTable = new QTableWidget(0, 3, this);
  FTable->setHorizontalHeaderLabels({"S", "Time", "Text"});
  FTable->horizontalHeader()->setMinimumSectionSize(8);
  FTable->setColumnWidth(mcSession, 20);
  // 60 px was sized for a smaller system font; a time must never be cut on a new view.
  const int timeWidth = FTable->fontMetrics().horizontalAdvance("00:00:00") + 12;
  FTable->setColumnWidth(mcTime, std::max(60, timeWidth));
  FTable->horizontalHeader()->setStretchLastSection(true);
  FTable->verticalHeader()->hide();
  FTable->verticalHeader()->setDefaultSectionSize(FTable->fontMetrics().height() + 4);
  FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  layout->addWidget(FTable, 1);

  FButtonPanel = new QWidget(this);
  auto* buttons = new QHBoxLayout(FButtonPanel);
  FClearButton = new QPushButton("Clear Messages", FButtonPanel);
  FSaveButton = new QPushButton("Save Messages", FButtonPanel);
  buttons->addWidget(FClearButton);
  buttons->addWidget(FSaveButton);
  buttons->addStretch();
  layout->addWidget(FButtonPanel);
  FButtonPanel->hide();
  connect(FClearButton, &QPushButton::clicked, this, [this] { MessageClearExecute(); });
  connect(FSaveButton, &QPushButton::clicked, this, [this] { MessageSaveExecute(); });

  FAskFileName = [this](const std::string& proposed) {
    QFileDialog dialog(this, Q(kSaveCaption), Q(proposed));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.setNameFilters({"text files (*.txt)", "all files (*)"});
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().first().toStdString()
               : std::string();
  };
  FShowMessage = [this](const std::string& caption, const std::string& text) {
    QMessageBox::information(this, Q(caption), Q(text));
  };
}

// ---- Refresh ----

void TMessageChild::UpdateDisplay() {
  const TMessageTail tail = FList.Tail(size_t(FLimit));
  if (tail.Generation != FShownGeneration) ApplyRows(BuildRows(tail));
  BringNewProblemsToFront(tail);
  FShownCount = tail.UnboundedCount;
  FShownGeneration = tail.Generation;
}

// The newest messages that fill `Limit` rows, each day introduced by a date row.
std::vector<TMessageChild::TRow> TMessageChild::BuildRows(const TMessageTail& tail) const {
  const std::vector<TMessageItem>& items = tail.Items;
  const size_t n = items.size();
  std::vector<std::string> dates(n);
  for (size_t i = 0; i < n; ++i) dates[i] = DateText(items[i].Time);

  // Counting from the newest message back: one row each, one date row per day.
  size_t first = n;
  size_t count = 0;
  while (first > 0 && count < size_t(FLimit)) {
    --first;
    ++count;
    if (first == n - 1 || dates[first] != dates[first + 1]) ++count;
  }

  // Filling from the oldest counted message on.
  std::vector<TRow> rows;
  rows.reserve(count);
  std::string lastDate;
  for (size_t i = first; i < n && rows.size() < count; ++i) {
    const TMessageItem& item = items[i];
    if (i == first || dates[i] != lastDate) {
      rows.push_back({tail.Seqs[i], true, {}, {}, Q(dates[i])});
      lastDate = dates[i];
      if (rows.size() >= count) break;
    }
    // Every row keeps its time, also when several messages share one second.
    rows.push_back({tail.Seqs[i], false, QString(QChar(SessionLetter(item.sIndex))), Q(TimeText(item.Time)),
                    Q(ShownText(item)), item.sColor, item.MsgType, item.Code == kMsgCodeCompatibility});
  }
  return rows;
}

// Rows that scrolled out at the top are removed, so that the rest line up with the new rows;
// then only the rows whose content differs are written.
void TMessageChild::ApplyRows(std::vector<TRow> rows) {
  // Lined up by the oldest message shown (the date row above it may be new).
  const auto isMessage = [](const TRow& row) { return !row.IsDate; };
  const auto firstNew = std::find_if(rows.begin(), rows.end(), isMessage);
  if (firstNew != rows.end()) {
    const auto sameMessage = [&](const TRow& row) { return isMessage(row) && row.Seq == firstNew->Seq; };
    const auto firstOld = std::find_if(FRows.begin(), FRows.end(), sameMessage);
    const int scrolled = firstOld == FRows.end() ? 0 : int(firstOld - FRows.begin()) - int(firstNew - rows.begin());
    if (scrolled > 0) {
      FTable->model()->removeRows(0, scrolled);
      FRows.erase(FRows.begin(), FRows.begin() + scrolled);
    }
  }
  FTable->setRowCount(int(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i)
    if (i >= FRows.size() || !(FRows[i] == rows[i])) WriteRow(int(i), rows[i]);
  FRows = std::move(rows);
}

void TMessageChild::WriteRow(int row, const TRow& content) {
  const QString texts[] = {content.Session, content.Time, content.Text};
  for (int col = 0; col < 3; ++col) FTable->setItem(row, col, new QTableWidgetItem(texts[col]));
  if (content.IsDate) return;
  QTableWidgetItem* session = FTable->item(row, mcSession);
  session->setBackground(ToQColor(content.Color));
  session->setForeground(ContrastQColor(content.Color));
  session->setTextAlignment(Qt::AlignCenter);
  // A text wider than its column shows whole on hover.
  FTable->item(row, mcText)->setToolTip(content.Text);
  for (int col : {mcTime, mcText}) {
    QTableWidgetItem* cell = FTable->item(row, col);
    cell->setForeground(TypeColor(content.MsgType));
    if (content.Bold) {
      QFont bold = cell->font();
      bold.setBold(true);
      cell->setFont(bold);
    }
  }
}

// A new error or warning brings the view to the front; new are the newest items by which the
// list has grown since the previous refresh.
void TMessageChild::BringNewProblemsToFront(const TMessageTail& tail) {
  if (tail.UnboundedCount <= FShownCount) return;
  const std::vector<TMessageItem>& items = tail.Items;
  const size_t added = size_t(std::min<uint64_t>(tail.UnboundedCount - FShownCount, items.size()));
  for (size_t i = items.size(); i-- > items.size() - added;) {
    if (items[i].MsgType == mtInfo) continue;
    BringToFront();
    JumpToLastMessage();
    return;
  }
}

void TMessageChild::JumpToLastMessage() {
  if (FTable->rowCount() > 0) FTable->scrollToItem(FTable->item(FTable->rowCount() - 1, mcText));
}

void TMessageChild::BringToFront() {
  QWidget* window = PlacementWidget();
  if (window->isMinimized())
    window->showNormal();
  else
    window->show();
  window->raise();
}

// ---- Button panel ----

void TMessageChild::ChildActivated() {
  ShowPanel(FButtonPanel, true);
  TMDIChild::ChildActivated();
}

void TMessageChild::SetInactiveChild() { ShowPanel(FButtonPanel, false); }

// ---- Commands ----

void TMessageChild::LogCommand(const std::string& text, bool error) const {
  const TDebugConf* conf = Environment().DebugConf;
  if (!conf) return;
  if (error)
    conf->Error(kUserInputCategory, text);
  else
    conf->Info(kUserInputCategory, text);
}

void TMessageChild::MessageClearExecute() {
  LogCommand("TMainForm.MessageClearExecute");
  FList.Clear();
  UpdateDisplay();
}

void TMessageChild::MessageSaveExecute() {
  if (FList.Count() == 0) {
    LogCommand("TMainForm.MessageSaveExecute: No message to save", true);
    FShowMessage(kSaveCaption, kNoMessageToSave);
    return;
  }
  const std::string file = FAskFileName(FSaveFileName.empty() ? "Messages.txt" : FSaveFileName);
  if (file.empty()) {
    LogCommand("TMainForm.MessageSaveExecute: canceled");
    return;
  }
  const TMessageSaveOutcome outcome = FList.SaveToFile(file);
  switch (outcome.Result) {
    case TMessageSaveResult::Saved: LogCommand("TMainForm.MessageSaveExecute: saved to " + file); return;
    case TMessageSaveResult::NoMessage:
      LogCommand("TMainForm.MessageSaveExecute: No message to save", true);
      FShowMessage(kSaveCaption, kNoMessageToSave);
      return;
    case TMessageSaveResult::WriteFailed:
      LogCommand("TMainForm.MessageSaveExecute: save to " + file + " failed: " + outcome.Error, true);
      FShowMessage(kSaveCaption, "Messages not saved to " + file + ": " + outcome.Error);
      return;
  }
}

// ---- Settings ----

void TMessageChild::ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  ReadPlacementSettings(Settings, P);
  if (!Settings.GetValue(P + "Visible", true)) PlacementWidget()->hide();
  FSaveFileName = Settings.GetValue(P + "SaveFileName", "");
  FAutoSave = Settings.GetValue(P + "AutoSave", false);
  // The widths of the first two columns, each followed by a blank; the third fills the rest.
  std::istringstream widths(Settings.GetValue(P + "Columns", ""));
  std::vector<std::string> parts;
  for (std::string part; widths >> part;) parts.push_back(part);
  if (parts.size() < 2) return;
  for (int col : {mcSession, mcTime}) {
    try {
      size_t used = 0;
      const int width = std::stoi(parts[size_t(col)], &used);
      if (used == parts[size_t(col)].size() && width > 0) FTable->setColumnWidth(col, width);
    } catch (const std::exception&) {
      LogInfo(".ReadSettings Columns: width '" + parts[size_t(col)] + "' skipped");
    }
  }
}

void TMessageChild::SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) {
  const std::string& P = SettingsPrefix;
  SavePlacementSettings(Settings, P);
  Settings.SetValue(P + "Visible", !PlacementWidget()->isHidden());
  Settings.SetValue(P + "SaveFileName", FSaveFileName);
  Settings.SetValue(P + "AutoSave", FAutoSave);
  Settings.SetValue(P + "Columns", std::to_string(FTable->columnWidth(mcSession)) + " " +
                                       std::to_string(FTable->columnWidth(mcTime)) + " ");
}
