#include "ui/GraphicSelectionDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

constexpr int kAllanEntry = -1;  // the graph box's data of the Allan graph

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

const std::vector<TGraphicMode>& CounterGraphicModes() {
  static const std::vector<TGraphicMode> modes = {gmPhase,   gmFreqAbs,   gmFreqRel,         gmPhaseTrim,
                                                  gmIVCdiff, gmPhaseTheo, gmPhasePredecessor};
  return modes;
}

TGraphicSelectionDialog::TGraphicSelectionDialog(QWidget* parent, std::vector<TGraphicSelectionSession> sessions,
                                                 bool change)
    : QDialog(parent), FSessions(std::move(sessions)), FChange(change) {
  setWindowTitle(change ? "Change Window Settings" : "New Graphic Window");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  FSession = new QComboBox(this);
  for (const auto& s : FSessions) FSession->addItem(Q(s.Caption), s.Index);
  FSession->setEnabled(!change);
  FGraph = new QComboBox(this);
  for (const TGraphicMode mode : CounterGraphicModes()) FGraph->addItem(Q(GraphicModeCaption(mode, false)), int(mode));
  FGraph->addItem("Allan Deviation", kAllanEntry);
  FAllanMode = new QComboBox(this);
  for (const TAllanMode mode : {amFreq, amPhaseRes, amPhaseDiff}) FAllanMode->addItem(AllanModeName(mode), int(mode));
  form->addRow("Source", FSession);
  form->addRow("Graphic", FGraph);
  form->addRow("ADEV mode", FAllanMode);
  FSecond = new QComboBox(this);
  FSecond->addItem("none", -1);
  for (const auto& s : FSessions) FSecond->addItem(Q(s.Caption), s.Index);
  form->addRow("Second source", FSecond);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(FSession, &QComboBox::currentIndexChanged, this, [this] { ShowChoices(); });
  connect(FGraph, &QComboBox::currentIndexChanged, this, [this] { ShowChoices(); });
  ShowChoices();
}

const TGraphicSelectionSession* TGraphicSelectionDialog::CurrentSession() const {
  const int i = FSession->currentIndex();
  return i >= 0 && i < int(FSessions.size()) ? &FSessions[size_t(i)] : nullptr;
}

bool TGraphicSelectionDialog::AllanChosen() const { return FGraph->currentData().toInt() == kAllanEntry; }

void TGraphicSelectionDialog::EnableRow(QComboBox& box, int row, bool enabled) {
  if (auto* model = qobject_cast<QStandardItemModel*>(box.model()))
    if (QStandardItem* item = model->item(row)) item->setEnabled(enabled);
}

bool TGraphicSelectionDialog::RowEnabled(const QComboBox& box, int row) {
  const auto* model = qobject_cast<const QStandardItemModel*>(box.model());
  const QStandardItem* item = model ? model->item(row) : nullptr;
  return item && item->isEnabled();
}

// Offers the graphs the session's data allows; an open view keeps its kind. A choice that is no
// longer offered moves to the first one that is.
void TGraphicSelectionDialog::ShowChoices() {
  const TGraphicSelectionSession* session = CurrentSession();
  const bool zct = !session || session->HasZCT;
  const bool ivc = !session || session->HasIVC;
  for (int row = 0; row < FGraph->count(); ++row) {
    const int data = FGraph->itemData(row).toInt();
    const bool allan = data == kAllanEntry;
    const bool fits = data == gmIVCdiff ? ivc : zct;
    EnableRow(*FGraph, row, fits && (!FChange || allan == FFixedAllan));
  }
  if (!RowEnabled(*FGraph, FGraph->currentIndex()))
    for (int row = 0; row < FGraph->count(); ++row)
      if (RowEnabled(*FGraph, row)) {
        FGraph->setCurrentIndex(row);
        break;
      }
  FAllanMode->setEnabled(AllanChosen());
  ShowSecondChoices();
}

// A second session is offered for graphic views, when its instrument carries the chosen mode's data;
// a choice that no longer fits goes back to "none".
void TGraphicSelectionDialog::ShowSecondChoices() {
  const bool allan = AllanChosen();
  const bool ivcMode = FGraph->currentData().toInt() == gmIVCdiff;
  for (int row = 1; row < FSecond->count(); ++row) {
    const TGraphicSelectionSession& s = FSessions[size_t(row - 1)];
    EnableRow(*FSecond, row, !allan && (ivcMode ? s.HasIVC : s.HasZCT));
  }
  if (!RowEnabled(*FSecond, FSecond->currentIndex())) FSecond->setCurrentIndex(0);
  FSecond->setEnabled(!allan);
}

bool TGraphicSelectionDialog::OffersSecond(int32_t sessionIndex) const {
  const int row = FSecond->findData(sessionIndex);
  return row > 0 && RowEnabled(*FSecond, row);
}

bool TGraphicSelectionDialog::Offers(TGraphicMode mode) const { return RowEnabled(*FGraph, FGraph->findData(int(mode))); }

bool TGraphicSelectionDialog::OffersAllan() const { return RowEnabled(*FGraph, FGraph->findData(kAllanEntry)); }

void TGraphicSelectionDialog::SetSelection(const TGraphicViewSelection& selection) {
  const int session = FSession->findData(selection.SessionIndex);
  if (session >= 0) FSession->setCurrentIndex(session);
  FFixedAllan = selection.Allan;
  FGraph->setCurrentIndex(std::max(FGraph->findData(selection.Allan ? kAllanEntry : int(selection.Mode)), 0));
  FAllanMode->setCurrentIndex(std::max(FAllanMode->findData(int(selection.AllanMode)), 0));
  FSecond->setCurrentIndex(std::max(FSecond->findData(selection.SecondSessionIndex), 0));
  ShowChoices();
}

TGraphicViewSelection TGraphicSelectionDialog::Selection() const {
  TGraphicViewSelection s;
  s.SessionIndex = FSession->currentIndex() >= 0 ? FSession->currentData().toInt() : -1;
  s.Allan = AllanChosen();
  if (!s.Allan) s.Mode = GraphicModeFromInt(FGraph->currentData().toInt());
  s.AllanMode = static_cast<TAllanMode>(FAllanMode->currentData().toInt());
  if (!s.Allan) s.SecondSessionIndex = FSecond->currentData().toInt();
  return s;
}
