#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// Where a new window of `size` covers the least of the `occupied` windows inside an area of
// `area`: tried at the area's corners and beside and below every occupied window, the window kept
// inside the area where it fits; ties go to the highest, then the leftmost place.
QPoint LeastCoveredPosition(const QSize& area, const QSize& size, const std::vector<QRect>& occupied);
