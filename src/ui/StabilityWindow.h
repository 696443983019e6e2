#pragma once
#include <QString>
#include <QWidget>
#include <vector>

#include "data/StabilityAnalysis.h"
#include "data/StabilityTable.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class TStabilityPlot;

// "Stability Analysis": one column of a text or measurement log file analysed with a chosen
// statistic, ladder and confidence factor; the sigma-tau plot with error bars and noise types beside
// the table, the table exported as text in the reference program's layout, the plot saved as PNG.
class TStabilityWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TStabilityWindow(QWidget* parent = nullptr);

  // Reads the file and fills plot and table; false with the reason in ErrorText().
  bool Analyse();
  bool ExportTable(const QString& path);
  bool SavePlot(const QString& path);

  QLineEdit* FileEdit() const { return FFile; }
  QLineEdit* ColumnEdit() const { return FColumn; }
  QComboBox* DataBox() const { return FData; }
  QLineEdit* Tau0Edit() const { return FTau0; }
  QComboBox* StatisticBox() const { return FStatistic; }
  QComboBox* LadderBox() const { return FLadder; }
  QLineEdit* ConfidenceEdit() const { return FConfidence; }
  QTableWidget* Table() const { return FTable; }
  TStabilityPlot* Plot() const { return FPlot; }
  QString ErrorText() const;
  const std::vector<TStabilityPoint>& Points() const { return FPoints; }

 private:
  QWidget* CreateInputs();
  void ShowError(const QString& text);
  void FillTable();

  QLineEdit *FFile, *FColumn, *FTau0, *FConfidence;
  QComboBox *FData, *FStatistic, *FLadder;
  QTableWidget* FTable;
  TStabilityPlot* FPlot;
  QLabel* FError;
  std::vector<TStabilityPoint> FPoints;
  TStabilityTableInfo FInfo;
};
