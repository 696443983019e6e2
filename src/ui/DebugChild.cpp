#include "ui/DebugChild.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionItem.h"
#include "data/ZCT_DataManagement.h"

namespace {

constexpr int kChildWinCategory = 2;  // debug category "ChildWin"

}  // namespace

TDebugChild::TDebugChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain, TViewEnvironment aEnv)
    : TMDIChild(AOwner, aTag, aSession, std::move(aOnMain), std::move(aEnv), kTitle, "TDebugChild", kChildWinCategory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  QHBoxLayout* row = AddButtonRow(*layout);
  AddButton(*row, "Clear", [this] { Clear(); });
  FPauseButton = AddButton(*row, "Pause", [this] { SetPaused(FPauseButton->isChecked()); });
  FPauseButton->setCheckable(true);
  row->addStretch();
  FLines = new QPlainTextEdit(this);
  FLines->setObjectName("Heartbeats");
  FLines->setReadOnly(true);
  FLines->setLineWrapMode(QPlainTextEdit::NoWrap);
  FLines->setMaximumBlockCount(kMaxLines);
  FLines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(FLines, 1);
  SetDesignPlacement(QRect(0, 0, 560, 160), true);
  TMDIChild::UpdateSession(1);
}

TDebugChild::~TDebugChild() = default;

void TDebugChild::Clear() {
  FLines->clear();
  FHeld.clear();
}

void TDebugChild::SetPaused(bool value) {
  FPaused = value;
  if (FPauseButton->isChecked() != value) FPauseButton->setChecked(value);
  if (value) return;
  for (const std::string& line : FHeld) FLines->appendPlainText(QString::fromStdString(line));
  FHeld.clear();
}

void TDebugChild::DataReset() { Clear(); }

void TDebugChild::UpdateSession(int base) {
  RebindBase(base);
  if (base == 1 && Session() && !QVSession()) return CloseChild(".UpdateSession: not a QVSession -> close debug window");
  TMDIChild::UpdateSession(base);
}

void TDebugChild::UpdateDisplay() {
  if (Closing()) return;
  const bool noConnection = !Session() || Session()->OpenString() == kOpenStringNone;
  const std::string status = noConnection ? kNoConnection : "";
  if (status != FStatus) {
    FStatus = status;
    FLines->setPlaceholderText(QString::fromStdString(FStatus));
  }
  ShowReportLines();
  TZCT_DataManagement* store = ZCTDataManagement(1);
  if (!store) return;
  const std::string heartbeat = store->HeartbeatString();
  if (!heartbeat.empty()) ShowLine(heartbeat);
}

void TDebugChild::ShowReportLines() {
  const auto* counter = dynamic_cast<const TQVSessionItem*>(QVSession());
  if (!counter) return;
  if (counter != FTapSession) {  // another session: its own recent lines from the start
    FTapSession = counter;
    FNextReportLine = 0;
  }
  TReportLineTap::TLines taken = counter->ReportLines().Since(FNextReportLine);
  FNextReportLine = taken.Next;
  for (const std::string& line : taken.Lines) ShowLine(line);
}

void TDebugChild::ShowLine(const std::string& line) {
  if (!FPaused) return FLines->appendPlainText(QString::fromStdString(line));
  FHeld.push_back(line);
  if (FHeld.size() > size_t(kMaxLines)) FHeld.pop_front();
}
