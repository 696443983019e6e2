#include "ui/QV_Channels.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "core/App_Settings.h"
#include "ui/UiColors.h"

namespace {

constexpr int kChannels = TQV_ChannelData::ChannelCount;

std::string FlagString(const TQV_ChannelData& data, bool (TQV_ChannelData::*flag)(int32_t) const) {
  std::string text;
  for (int ch = 1; ch <= kChannels; ++ch) text += (data.*flag)(ch) ? '1' : '0';
  return text;
}

}  // namespace

TQV_Channels::TQV_Channels(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setMouseTracking(false);
}

// ---- Properties ----

void TQV_Channels::SetChannelColor(int ch, uint32_t color) {
  FData.SetChannelColor(ch, color);
  update();
}

void TQV_Channels::SetChannelEnabled(int ch, bool value) {
  FData.SetChannelEnabled(ch, value);
  update();
}

void TQV_Channels::SetPersistEnabled(int ch, bool value) {
  FData.SetPersistEnabled(ch, value);
  update();
}

bool TQV_Channels::VisibleChannel(int ch) const {
  return ch >= 1 && ch <= kChannels && ch <= FVisibleCount && (FVisibleMask & (1u << (ch - 1))) != 0;
}

std::string TQV_Channels::ChannelEnabledString() const { return FlagString(FData, &TQV_ChannelData::ChannelEnabled); }

void TQV_Channels::SetChannelEnabledString(const std::string& value) {
  for (int ch = 1; ch <= std::min<int>(kChannels, int(value.size())); ++ch) FData.SetChannelEnabled(ch, value[size_t(ch - 1)] == '1');
  update();
}

std::string TQV_Channels::PersistEnabledString() const { return FlagString(FData, &TQV_ChannelData::PersistEnabled); }

void TQV_Channels::SetPersistEnabledString(const std::string& value) {
  for (int ch = 1; ch <= std::min<int>(kChannels, int(value.size())); ++ch) FData.SetPersistEnabled(ch, value[size_t(ch - 1)] == '1');
  update();
}

void TQV_Channels::SetData(const TQV_ChannelData& value) {
  const bool dims = value.MaxChannels() != FData.MaxChannels();
  FData = value;
  if (dims) DimChanged();
  update();
}

void TQV_Channels::SetSelectedChannel(int ch) {
  FData.SetSelected(ch);
  update();
}

void TQV_Channels::SetMaxChannels(int value) {
  value = std::clamp(value, 0, kChannels);
  if (value == FData.MaxChannels()) return;
  FData.SetMaxChannels(value);
  DimChanged();
}

void TQV_Channels::SetOrientation(TQV_ChannelOrientation value) {
  if (value == FOrientation) return;
  FOrientation = value;
  setSizePolicy(value == coFixed ? QSizePolicy::Preferred : QSizePolicy::Fixed,
                value == coFixed ? QSizePolicy::Preferred : QSizePolicy::Fixed);
  DimChanged();
}

void TQV_Channels::SetCellSize(int value) {
  value = std::max(value, 4);
  if (value == FCellSize) return;
  FCellSize = value;
  DimChanged();
}

void TQV_Channels::SetChannelFontSize(int value) {
  FChannelFontSize = std::max(value, 1);
  update();
}

void TQV_Channels::SetHorizontal(bool value) {
  if (value == FHorizontal) return;
  FHorizontal = value;
  DimChanged();
}

void TQV_Channels::SetMouseClickAction(TMouseClickAction value) {
  FMouseClickAction = value;
  update();
}

void TQV_Channels::SetSelectedColor1(uint32_t value) {
  FSelectedColor1 = value;
  update();
}

void TQV_Channels::SetSelectedColor2(uint32_t value) {
  FSelectedColor2 = value;
  update();
}

void TQV_Channels::SetVisibleMask(uint32_t value) {
  FVisibleMask = value;
  update();
}

void TQV_Channels::SetVisibleCount(int value) {
  FVisibleCount = std::clamp(value, 0, kChannels);
  update();
}

void TQV_Channels::SetKeepSize(bool value) {
  FKeepSize = value;
  DimChanged();
}

void TQV_Channels::SetPersistSign(const QString& value) {
  FPersistSign = value;
  update();
}

void TQV_Channels::InitChannels(const TQV_ChannelData& aData) { SetData(aData); }

void TQV_Channels::InitChannels(const TQV_ChannelData& sData, const TQV_ChannelData& vData) {
  TQV_ChannelData data = sData;
  for (int ch = 1; ch <= kChannels; ++ch) {
    data.SetChannelEnabled(ch, vData.ChannelEnabled(ch));
    data.SetPersistEnabled(ch, vData.PersistEnabled(ch));
  }
  data.SetSelected(vData.Selected());
  SetData(data);
}

// ---- Settings ----

void TQV_Channels::ReadSettingsSession(TAppSettings& Settings, const std::string& Prefix) {
  TQV_ChannelData data = FData;
  ReadChannelRecord(Settings, Prefix, data);
  SetData(data);
}

void TQV_Channels::SaveSettingsSession(TAppSettings& Settings, const std::string& Prefix) const {
  SaveChannelRecord(Settings, Prefix, FData);
}

void TQV_Channels::ReadSettingsView(TAppSettings& Settings, const std::string& Key) {
  SetChannelEnabledString(Settings.GetValue(Key, std::string(kChannels, '1')));
  SetPersistEnabledString(Settings.GetValue(Key + "Persist", std::string(kChannels, '0')));
  SetSelectedColor1(uint32_t(Settings.GetValue(Key + "SelectedColor1", int32_t(FSelectedColor1))));
  SetSelectedColor2(uint32_t(Settings.GetValue(Key + "SelectedColor2", int32_t(FSelectedColor2))));
}

void TQV_Channels::SaveSettingsView(TAppSettings& Settings, const std::string& Key) const {
  Settings.SetValue(Key, ChannelEnabledString());
  Settings.SetValue(Key + "Persist", PersistEnabledString());
  Settings.SetValue(Key + "SelectedColor1", int32_t(FSelectedColor1));
  Settings.SetValue(Key + "SelectedColor2", int32_t(FSelectedColor2));
}

// ---- Geometry ----

TQV_Channels::TGridShape TQV_Channels::Shape() const {
  const int n = MaxChannels();
  if (n <= 0) return {0, 0};
  switch (FOrientation) {
    case coHorizontal: return {n, 1};
    case coVertical: return {1, n};
    case coFixed: break;
  }
  if (FHorizontal) {
    const int cols = std::clamp(width() / FCellSize, 1, n);
    return {cols, (n + cols - 1) / cols};
  }
  const int rows = std::clamp(height() / FCellSize, 1, n);
  return {(n + rows - 1) / rows, rows};
}

QRect TQV_Channels::CellRect(int ch) const {
  if (ch < 1 || ch > MaxChannels()) return {};
  const TGridShape shape = Shape();
  const int i = ch - 1;
  const bool rowByRow = FOrientation == coHorizontal || (FOrientation == coFixed && FHorizontal);
  const int col = rowByRow ? i % shape.Columns : i / shape.Rows;
  const int row = rowByRow ? i / shape.Columns : i % shape.Rows;
  return {col * FCellSize, row * FCellSize, FCellSize, FCellSize};
}

int TQV_Channels::ChannelAt(const QPoint& pos) const {
  for (int ch = 1; ch <= MaxChannels(); ++ch)
    if (CellRect(ch).contains(pos)) return ch;
  return 0;
}

QSize TQV_Channels::sizeHint() const {
  const int n = std::max(MaxChannels(), 1);
  switch (FOrientation) {
    case coHorizontal: return {n * FCellSize, FCellSize};
    case coVertical: return {FCellSize, n * FCellSize};
    case coFixed: break;
  }
  const TGridShape shape = Shape();
  return {std::max(shape.Columns, 1) * FCellSize, std::max(shape.Rows, 1) * FCellSize};
}

QSize TQV_Channels::minimumSizeHint() const {
  return FKeepSize || FOrientation == coFixed ? QSize(FCellSize, FCellSize) : sizeHint();
}

void TQV_Channels::DimChanged() {
  if (!FKeepSize) updateGeometry();
  update();
  Q_EMIT OnDimChanged();
}

void TQV_Channels::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (FOrientation == coFixed) update();
}

// ---- Drawing ----

void TQV_Channels::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (int ch = 1; ch <= MaxChannels(); ++ch) PaintCell(p, ch);
}

void TQV_Channels::PaintCell(QPainter& p, int ch) const {
  const QRect cell = CellRect(ch);
  const bool visible = VisibleChannel(ch);
  const bool enabled = visible && ChannelEnabled(ch);
  const uint32_t color = !visible ? kNotInUseColor : enabled ? ChannelColor(ch) : kDisabledColor;
  p.fillRect(cell, ToQColor(color));

  if (visible && ch == SelectedChannel()) {
    const uint32_t frame = (color == FSelectedColor1 || color == kOrange) ? FSelectedColor2 : FSelectedColor1;
    p.setPen(QPen(ToQColor(frame), 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(2, 2, -2, -2));
  } else if (FDrawBorder) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
  }
  if (!visible || FMouseClickAction == mcaNone) return;

  QFont font = p.font();
  font.setPointSize(FChannelFontSize);
  font.setBold(!enabled);
  p.setFont(font);
  p.setPen(enabled ? ContrastQColor(color) : ToQColor(kNotInUseColor));
  const bool persist = PersistEnabled(ch);
  const int third = cell.height() / 3;
  const QRect labelRect = persist ? cell.adjusted(0, 0, 0, -third) : cell;
  p.drawText(labelRect, Qt::AlignCenter, QString::fromStdString(FData.ChannelId(ch)));
  if (persist) p.drawText(QRect(cell.left(), cell.bottom() - third, cell.width(), third + 1), Qt::AlignCenter, FPersistSign);
}

// ---- Clicks ----

void TQV_Channels::mousePressEvent(QMouseEvent* event) {
  const int ch = ChannelAt(event->position().toPoint());
  const QRect cell = CellRect(ch);
  FMouseCol = ch ? cell.x() / FCellSize : -1;
  FMouseRow = ch ? cell.y() / FCellSize : -1;
  QWidget::mousePressEvent(event);
}

// A click counts only when the button is released over the cell where it was pressed.
void TQV_Channels::mouseReleaseEvent(QMouseEvent* event) {
  const int ch = ChannelAt(event->position().toPoint());
  const QRect cell = CellRect(ch);
  const bool sameCell = ch && cell.x() / FCellSize == FMouseCol && cell.y() / FCellSize == FMouseRow;
  FMouseCol = FMouseRow = -1;
  if (sameCell && event->button() == Qt::LeftButton) Click(ch);
  QWidget::mouseReleaseEvent(event);
}

int TQV_Channels::EnabledVisibleCount() const {
  int n = 0;
  for (int ch = 1; ch <= MaxChannels(); ++ch) n += VisibleChannel(ch) && ChannelEnabled(ch);
  return n;
}

bool TQV_Channels::ChangeEnabled(int ch, bool value) {
  if (ChannelEnabled(ch) == value) return false;
  if (!value && FForceOneEnabled && EnabledVisibleCount() <= 1) return false;
  FData.SetChannelEnabled(ch, value);
  update();
  Q_EMIT OnChannelEnabled(ch, value);
  return true;
}

void TQV_Channels::ChangePersist(int ch, bool value) {
  if (PersistEnabled(ch) == value) return;
  FData.SetPersistEnabled(ch, value);
  update();
  Q_EMIT OnPersistEnabled(ch, value);
}

void TQV_Channels::ChangeSelected(int ch) {
  if (SelectedChannel() == ch) return;
  FData.SetSelected(ch);
  update();
  Q_EMIT OnChannelSelected(ch);
}

void TQV_Channels::Click(int ch) {
  if (!VisibleChannel(ch)) return;
  const bool enabled = ChannelEnabled(ch);
  switch (FMouseClickAction) {
    case mcaToggleEnabled: ChangeEnabled(ch, !enabled); break;
    case mcaTogglePersist: ChangePersist(ch, !PersistEnabled(ch)); break;
    case mcaNone: break;
    case mcaSelectedToggleEnabled:
      if (!enabled)
        ChangeEnabled(ch, true);
      else if (SelectedChannel() == 0 || SelectedChannel() == ch) {
        if (ChangeEnabled(ch, false)) ChangeSelected(0);
      } else
        ChangeSelected(ch);
      break;
    case mcaToggleEnabledPersist:
      // disabled -> enabled -> enabled with persist -> disabled
      if (!enabled) {
        if (ChangeEnabled(ch, true)) ChangePersist(ch, false);
      } else if (!PersistEnabled(ch))
        ChangePersist(ch, true);
      else if (ChangeEnabled(ch, false))
        ChangePersist(ch, false);
      break;
  }
}
