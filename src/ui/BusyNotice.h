#pragma once
#include <QWidget>

class QLabel;

// The busy notice shown during slow connects: a borderless, light-blue window that stays on top and
// holds one label, sized to the label and its margins.
class TFormSplash : public QWidget {
  Q_OBJECT

 public:
  static constexpr uint32_t kColor = 0xF0CAA6;  // light blue (0x00BBGGRR)
  static constexpr int kMargin = 16;

  explicit TFormSplash(QWidget* parent = nullptr);
  // Shows the text and paints at once: the caller is about to block the window thread.
  void ShowText(const QString& text);
  QString Text() const;

 private:
  QLabel* FLabel;
};
