#pragma once
#include <QColor>
#include <cstdint>
#include <vector>

// The engine keeps colours as 0x00BBGGRR values; the windows draw with QColor.
QColor ToQColor(uint32_t bgr);
uint32_t ToBgr(const QColor& color);
// The text colour on a session or channel colour: white on the dark colours, black otherwise.
QColor ContrastQColor(uint32_t bgr);

// The sweep cursor's colour: the first of a few neutral colours that is clearly apart from every
// channel colour given (0x00BBGGRR), so that the cursor is never taken for a trace.
QColor CursorQColor(const std::vector<uint32_t>& channelColors);
