#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

// New windows go where they hide the least of the windows already open.
namespace {

TEST(WindowPlacement, ANewWindowGoesWhereItCoversTheLeast) {
  const QSize area(1000, 700);
  struct TCase {
    const char* Name;
    QSize Size;
    std::vector<QRect> Occupied;
    QPoint Expected;
  } cases[] = {
      {"empty area: top left", {400, 300}, {}, {0, 0}},
      {"beside the first", {400, 300}, {{0, 0, 400, 300}}, {400, 0}},
      {"below a full-width row", {400, 300}, {{0, 0, 1000, 300}}, {0, 300}},
      {"into the free corner", {400, 300}, {{0, 0, 500, 700}, {500, 0, 500, 350}}, {500, 350}},
      {"too big for the area: top left", {1200, 900}, {{0, 0, 100, 100}}, {0, 0}},
      {"full area: the least overlap", {500, 350}, {{0, 0, 1000, 350}, {0, 350, 700, 350}}, {500, 350}},
  };
  for (const TCase& c : cases) EXPECT_EQ(LeastCoveredPosition(area, c.Size, c.Occupied), c.Expected) << c.Name;
}

}  // namespace
