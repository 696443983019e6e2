#include "ui/DialogInput.h"

#include <QLabel>
#include <QLocale>


QString FloatTextIn(double value, const TFormatSettings& format) {
  // Plain digits: an exponent would hide the size of a frequency from a quick look.
  QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
  return text.replace('.', QChar(format.DecimalSeparator));
}

std::optional<double> FloatOfText(const QString& text, const TFormatSettings& format) {
  const std::string trimmed = text.trimmed().toStdString();
  if (trimmed.empty()) return std::nullopt;
  return TextToFloat(NormaliseDecimalSeparator(trimmed, format.DecimalSeparator), format);
}

std::optional<int32_t> IntOfText(const QString& text) {
  bool ok = false;
  const int32_t value = text.trimmed().toInt(&ok);
  return ok ? std::optional(value) : std::nullopt;
}

QLabel* MakeErrorLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName("ErrorLabel");
  label->setStyleSheet("color: #C00000;");
  label->setWordWrap(true);
  return label;
}
