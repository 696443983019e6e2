#include "ui/TextGrid.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// A header that its column cuts shows whole on hover; the others have no tooltip.
namespace {

TEST(TextGrid, ACutHeaderShowsItsWholeTextOnHover) {
  TTextGrid grid;
  grid.resize(260, 120);
  grid.SetColumnCount(3);
  grid.SetRowCount(2);
  const std::string longHeader = "Phase Difference Average to the Reference Channel [s]";
  grid.SetCell(0, 1, "f [Hz]");
  grid.SetCell(0, 2, longHeader);
  grid.SetCell(1, 1, "10.000001");
  grid.SetCell(1, 2, "1.0e-9");
  grid.show();
  QCoreApplication::processEvents();
  const QPoint shortCell = grid.CellRect(0, 1).center(), longCell = grid.CellRect(0, 2).center();
  ASSERT_LT(grid.ColumnWidth(2), grid.fontMetrics().horizontalAdvance(QString::fromStdString(longHeader)));
  EXPECT_EQ(grid.ToolTipAt(longCell).toStdString(), longHeader);
  EXPECT_TRUE(grid.ToolTipAt(shortCell).isEmpty());
  EXPECT_TRUE(grid.ToolTipAt(grid.CellRect(1, 1).center()).isEmpty());
  EXPECT_TRUE(grid.ToolTipAt({-5, -5}).isEmpty());
}

}  // namespace
