#include "ui/StatusBar.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "acquisition/VTA_Sessions.h"
#include "app/VTA_SessionStatus.h"
#include "core/VTA_Common.h"
#include "ui/UiColors.h"

namespace {

constexpr int kTextMargin = 8;  // a field is at least its text + 8 pixels wide
constexpr int kTextIndent = 4;

const QString kInitialTexts[] = {QString(), "Channel:", "User: -", "Lost: -", "Sync: -"};
// Texts that size a new field, so that the usual values fit without widening.
const QString kSizingTexts[] = {QString(), "ZCT: 24, IVC: 4", "User: 255", "Lost: 99999", "Sync: 9999999999"};

// What each session field means; %1 is the session letter.
const QString kFieldToolTips[] = {
    "Session %1: its colour while the device is open, grey while it is closed",
    "Session %1: the channels the instrument carries (counter ZCT, digital inputs DGI, interval counter IVC)",
    "Session %1: the user number the instrument gave this program on a shared line (\"-\": a line of its own)",
    "Session %1: measurements lost since the session opened; anything but 0 means gaps in the data",
    "Session %1: the instrument's last seconds time stamp; it counts up while data arrives",
};

}  // namespace

TVTA_StatusBar::TVTA_StatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  setFixedHeight(BarHeight());
}

int TVTA_StatusBar::TextWidth(const QString& text) const { return fontMetrics().horizontalAdvance(text); }

int TVTA_StatusBar::BarHeight() const { return fontMetrics().height() + 6; }

void TVTA_StatusBar::SetSlotCount(int32_t slots) {
  const int32_t old = SlotCount();
  FPanels.resize(size_t(std::max(slots, 0) * sfCount));
  for (int32_t slot = old; slot < slots; ++slot) {
    Panel(slot, sfColor).Text = QString(QChar(SessionLetter(slot)));
    Panel(slot, sfColor).Width = BarHeight();
    for (int f = sfChannel; f < sfCount; ++f) {
      Panel(slot, TField(f)).Text = kInitialTexts[f];
      Panel(slot, TField(f)).Width = TextWidth(kSizingTexts[f]) + kTextMargin;
    }
    SetSlotColors(slot, kClosedColor, 0);
  }
  Relayout();
}

void TVTA_StatusBar::SetSessionStatus(const TSessionStatus& status, uint32_t color) {
  if (status.Index < 0) return;
  if (status.Index >= SlotCount()) SetSlotCount(status.Index + 1);
  const int32_t slot = status.Index;
  const std::pair<TField, const std::string*> fields[] = {
      {sfChannel, &status.Channels}, {sfUser, &status.User}, {sfLost, &status.Lost}, {sfSync, &status.Sync}};
  for (const auto& [field, text] : fields)
    if (!text->empty()) SetFieldText(slot, field, QString::fromStdString(*text));
  if (status.Open)
    SetSlotColors(slot, color, TextColorFor(color));
  else
    SetSlotColors(slot, kClosedColor, 0);
  update();
}

void TVTA_StatusBar::ClearSession(int32_t slot) {
  if (slot < 0 || slot >= SlotCount()) return;
  for (int f = sfChannel; f < sfCount; ++f) SetFieldText(slot, TField(f), "-");
  SetSlotColors(slot, kClosedColor, 0);
  update();
}

void TVTA_StatusBar::SetFieldText(int32_t slot, TField field, const QString& text) {
  TPanel& panel = Panel(slot, field);
  panel.Text = text;
  const int needed = TextWidth(text) + kTextMargin;
  if (needed > panel.Width) {
    panel.Width = needed;
    Relayout();
  }
}

void TVTA_StatusBar::SetSlotColors(int32_t slot, uint32_t color, uint32_t textColor) {
  for (int f = 0; f < sfCount; ++f) {
    Panel(slot, TField(f)).Color = color;
    Panel(slot, TField(f)).TextColor = textColor;
  }
}

void TVTA_StatusBar::SetHighRes(const QString& text) {
  if (text == FHighRes) return;
  FHighRes = text;
  Relayout();
}

void TVTA_StatusBar::SetDebugLogging(bool debugFile, bool logFile) {
  QString text;
  if (debugFile && logFile)
    text = "Debug Logging ";
  else if (debugFile)
    text = "Debug         ";
  else if (logFile)
    text = "Logging       ";
  if (text == FLogging) return;
  FLogging = text;
  update();
}

QString TVTA_StatusBar::FieldText(int32_t slot, TField field) const {
  if (slot < 0 || slot >= SlotCount()) return {};
  return Panel(slot, field).Text;
}

int TVTA_StatusBar::FieldWidth(int32_t slot, TField field) const {
  if (slot < 0 || slot >= SlotCount()) return 0;
  return Panel(slot, field).Width;
}

QColor TVTA_StatusBar::SlotColor(int32_t slot) const {
  return ToQColor(slot >= 0 && slot < SlotCount() ? Panel(slot, sfChannel).Color : kClosedColor);
}

QColor TVTA_StatusBar::SlotTextColor(int32_t slot) const {
  return ToQColor(slot >= 0 && slot < SlotCount() ? Panel(slot, sfChannel).TextColor : 0);
}

int TVTA_StatusBar::HighResWidth() const {
  return FHighRes.isEmpty() ? 0 : TextWidth(kHighResLabel) + TextWidth(FHighRes) + kTextMargin;
}

int TVTA_StatusBar::MinWidth() const {
  int width = 0;
  for (const TPanel& panel : FPanels) width += panel.Width;
  return width + HighResWidth() + TextWidth(kLoggingWidthText) + 2 + BarHeight();
}

QString TVTA_StatusBar::ToolTipAt(const QPoint& pos) const {
  int x = 0;
  for (size_t i = 0; i < FPanels.size(); ++i) {
    x += FPanels[i].Width;
    if (pos.x() < x) return kFieldToolTips[i % sfCount].arg(QChar(SessionLetter(int32_t(i / sfCount))));
  }
  if (const int w = HighResWidth(); w > 0 && pos.x() < x + w)
    return "Sessions with high-resolution channels, and how many each has";
  if (!FLogging.isEmpty() && pos.x() >= width() - (TextWidth(kLoggingWidthText) + kTextMargin))
    return "Diagnostic files (Debug) and measurement logs (Logging) are being written";
  return {};
}

bool TVTA_StatusBar::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QStatusBar::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const QString text = ToolTipAt(help->pos());
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), text, this);
  return true;
}

QSize TVTA_StatusBar::sizeHint() const { return {MinWidth(), BarHeight()}; }

QSize TVTA_StatusBar::minimumSizeHint() const { return sizeHint(); }

void TVTA_StatusBar::Relayout() {
  updateGeometry();
  update();
}

void TVTA_StatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int h = height();
  painter.fillRect(rect(), palette().window());
  const auto drawPanel = [&](int x, int w, const QColor& background, const QColor& textColor, const QString& text,
                             int flags) {
    const QRect r(x, 1, w - 1, h - 2);
    if (background.isValid()) painter.fillRect(r, background);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.setPen(textColor);
    painter.drawText(r.adjusted(kTextIndent, 0, -kTextIndent / 2, 0), flags | Qt::AlignVCenter, text);
  };

  int x = 0;
  for (size_t i = 0; i < FPanels.size(); ++i) {
    const TPanel& panel = FPanels[i];
    const bool box = i % sfCount == sfColor;
    drawPanel(x, panel.Width, ToQColor(panel.Color), ToQColor(panel.TextColor), panel.Text,
              box ? Qt::AlignHCenter : Qt::AlignLeft);
    x += panel.Width;
  }
  if (const int w = HighResWidth(); w > 0) {
    const int labelWidth = TextWidth(kHighResLabel) + kTextIndent;
    drawPanel(x, labelWidth, ToQColor(kHighResColor), Qt::black, kHighResLabel, Qt::AlignLeft);
    drawPanel(x + labelWidth, w - labelWidth, QColor(), palette().color(QPalette::WindowText), FHighRes, Qt::AlignLeft);
  }
  // The debug/logging panel shows only while it has something to say.
  if (!FLogging.isEmpty()) {
    const int lastWidth = TextWidth(kLoggingWidthText) + kTextMargin;
    drawPanel(width() - lastWidth, lastWidth, ToQColor(kLoggingColor), Qt::black, FLogging, Qt::AlignLeft);
  }
}
