#include "ui/BusyNotice.h"

#include <QLabel>
#include <QScreen>

#include "ui/UiColors.h"

TFormSplash::TFormSplash(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), FLabel(new QLabel(this)) {
  setObjectName("FormSplash");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ToQColor(kColor));
  setPalette(pal);
  FLabel->move(kMargin, kMargin);
}

void TFormSplash::ShowText(const QString& text) {
  FLabel->setText(text);
  FLabel->adjustSize();
  resize(FLabel->width() + 2 * kMargin, FLabel->height() + 2 * kMargin);
  // Centred on the owner (or the screen), so that it is seen over the main window.
  const QRect area = parentWidget() ? parentWidget()->frameGeometry() : screen()->availableGeometry();
  move(area.center() - rect().center());
  show();
  raise();
  repaint();
}

QString TFormSplash::Text() const { return FLabel->text(); }
