#pragma once
#include <QString>
#include <cstdint>
#include <optional>

#include "core/App_Settings.h"

class QLabel;
class QWidget;

// Number texts of the settings dialogs in the window number format, and the red line in which a
// dialog names the input it refuses (the dialog stays open).

// The shortest text of the value with the format's decimal separator.
QString FloatTextIn(double value, const TFormatSettings& format);
// Either decimal separator is taken; none for anything else than one number.
std::optional<double> FloatOfText(const QString& text, const TFormatSettings& format);
// A whole number (blanks around it allowed); none for anything else.
std::optional<int32_t> IntOfText(const QString& text);
// An empty red label, filled with the refusal text when "Ok" finds a bad input.
QLabel* MakeErrorLabel(QWidget* parent);
