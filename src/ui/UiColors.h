#pragma once
#include <QColor>
#include <cstdint>

// The engine keeps colours as 0x00BBGGRR values; the windows draw with QColor.
QColor ToQColor(uint32_t bgr);
uint32_t ToBgr(const QColor& color);
// The text colour on a session or channel colour: white on the dark colours, black otherwise.
QColor ContrastQColor(uint32_t bgr);
