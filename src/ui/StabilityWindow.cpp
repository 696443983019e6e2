#include "ui/StabilityWindow.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/StabilityFile.h"
#include "ui/StabilityPlot.h"

namespace {

constexpr TStabilityStatistic kStatistics[] = {
    TStabilityStatistic::Adev,  TStabilityStatistic::Oadev,  TStabilityStatistic::Mdev,
    TStabilityStatistic::Tdev,  TStabilityStatistic::Hdev,   TStabilityStatistic::Ohdev,
    TStabilityStatistic::Totdev, TStabilityStatistic::Mtie, TStabilityStatistic::TieRms};
const char* const kLadders[] = {"octave", "decade", "125", "all"};

QString Scientific(double value) { return QString::number(value, 'e', 4); }

}  // namespace

TStabilityWindow::TStabilityWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Stability Analysis");
  setAttribute(Qt::WA_DeleteOnClose);
  FPlot = new TStabilityPlot(this);
  FTable = new QTableWidget(0, 7, this);
  FTable->setHorizontalHeaderLabels({"AF", "Tau", "#", "Alpha", "Min Sigma", "Sigma", "Max Sigma"});
  FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FTable->verticalHeader()->hide();
  auto* splitter = new QSplitter(this);
  splitter->addWidget(FPlot);
  splitter->addWidget(FTable);
  FError = new QLabel(this);
  FError->setStyleSheet("color: red");
  auto* exportTable = new QPushButton("Export Table...", this);
  auto* savePlot = new QPushButton("Save Plot...", this);
  connect(exportTable, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Export Table", QString(), "Text (*.txt)");
    if (!path.isEmpty()) ExportTable(path);
  });
  connect(savePlot, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Save Plot", QString(), "PNG (*.png)");
    if (!path.isEmpty()) SavePlot(path);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FError, 1);
  buttons->addWidget(exportTable);
  buttons->addWidget(savePlot);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(CreateInputs());
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);
  resize(1000, 600);
}

QWidget* TStabilityWindow::CreateInputs() {
  auto* inputs = new QWidget(this);
  auto* form = new QFormLayout(inputs);
  FFile = new QLineEdit(inputs);
  auto* browse = new QPushButton("Browse...", inputs);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Log or Text File");
    if (!path.isEmpty()) FFile->setText(path);
  });
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(FFile, 1);
  fileRow->addWidget(browse);
  form->addRow("File:", fileRow);
  FColumn = new QLineEdit("1", inputs);
  FColumn->setToolTip("Column number, or a header caption of a log file such as \"Frequency [Hz] 1:1\"");
  FData = new QComboBox(inputs);
  FData->addItems({"Phase [s]", "Fractional frequency"});
  FTau0 = new QLineEdit("1", inputs);
  FStatistic = new QComboBox(inputs);
  for (TStabilityStatistic statistic : kStatistics) FStatistic->addItem(StabilitySigmaType(statistic));
  FStatistic->setCurrentIndex(1);
  FLadder = new QComboBox(inputs);
  for (const char* ladder : kLadders) FLadder->addItem(ladder);
  FConfidence = new QLineEdit("0.683", inputs);
  // Narrow fields, but wide enough for what they usually hold ("0.683", "0.001", a caption).
  for (QLineEdit* edit : {FColumn, FTau0, FConfidence})
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance("0.0000") + 12);
  auto* analyse = new QPushButton("Analyse", inputs);
  connect(analyse, &QPushButton::clicked, this, [this] { Analyse(); });
  auto* row = new QHBoxLayout;
  for (auto [label, widget] : std::initializer_list<std::pair<const char*, QWidget*>>{
           {"Column:", FColumn}, {"Data:", FData}, {"Tau0 [s]:", FTau0}, {"Statistic:", FStatistic},
           {"Taus:", FLadder}, {"Confidence:", FConfidence}}) {
    row->addWidget(new QLabel(label, inputs));
    row->addWidget(widget);
  }
  row->addWidget(analyse);
  form->addRow(row);
  return inputs;
}

QString TStabilityWindow::ErrorText() const { return FError->text(); }

void TStabilityWindow::ShowError(const QString& text) { FError->setText(text); }

bool TStabilityWindow::Analyse() {
  bool tau0Ok = false, confidenceOk = false;
  const double tau0 = FTau0->text().toDouble(&tau0Ok);
  const double confidence = FConfidence->text().toDouble(&confidenceOk);
  if (!tau0Ok || !(tau0 > 0) || !std::isfinite(tau0)) {
    ShowError("Tau0 must be a positive number of seconds");
    return false;
  }
  if (!confidenceOk || !(confidence > 0 && confidence < 1)) {
    ShowError("The confidence must lie between 0 and 1");
    return false;
  }
  TStabilityColumn column = ReadStabilityColumn(FFile->text().toStdString(), FColumn->text().trimmed().toStdString());
  if (!column.Error.empty()) {
    ShowError(QString::fromStdString(column.Error));
    return false;
  }
  const bool frequency = FData->currentIndex() == 1;
  const TStabilityStatistic statistic = kStatistics[FStatistic->currentIndex()];
  const size_t count = column.Values.size();
  const TPhaseSeries series = frequency ? TPhaseSeries::FromFrequency(column.Values, tau0)
                                        : TPhaseSeries::FromPhase(std::move(column.Values), tau0);
  const auto ladder = ParseTauLadder(kLadders[FLadder->currentIndex()]);
  FPoints = AnalyseStability(series, statistic, StabilityFactors(statistic, *ladder, series.Size()), confidence);
  FInfo = {FFile->text().toStdString(), frequency, count, statistic, confidence};
  FPlot->SetPoints(FPoints, statistic);
  FillTable();
  ShowError(FPoints.empty() ? QString("Too few values for %1: %2").arg(StabilityStatisticName(statistic)).arg(count)
                            : QString());
  return !FPoints.empty();
}

void TStabilityWindow::FillTable() {
  FTable->setRowCount(static_cast<int>(FPoints.size()));
  const auto optional = [](const std::optional<double>& value) { return value ? Scientific(*value) : QString(); };
  for (int row = 0; row < FTable->rowCount(); ++row) {
    const TStabilityPoint& point = FPoints[static_cast<size_t>(row)];
    const QString cells[] = {QString::number(point.Factor),
                             Scientific(point.Tau),
                             QString::number(point.Terms),
                             point.Alpha ? QString("%1 %2").arg(*point.Alpha).arg(TStabilityPlot::NoiseName(*point.Alpha))
                                         : QString(),
                             optional(point.MinSigma),
                             Scientific(point.Sigma),
                             optional(point.MaxSigma)};
    for (int c = 0; c < 7; ++c) FTable->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  FTable->resizeColumnsToContents();
}

bool TStabilityWindow::ExportTable(const QString& path) {
  QFile file(path);
  const QByteArray text = QByteArray::fromStdString(StabilityTableText(FInfo, FPoints));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
    ShowError("Cannot write " + path);
    return false;
  }
  return true;
}

bool TStabilityWindow::SavePlot(const QString& path) {
  if (!FPlot->Picture(QSize(1000, 700)).save(path, "PNG")) {
    ShowError("Cannot write " + path);
    return false;
  }
  return true;
}
