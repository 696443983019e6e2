#pragma once
#include <QWidget>
#include <cstdint>
#include <string>

#include "acquisition/QV_ChannelData.h"

class TAppSettings;

// How the cells of a channel strip are arranged: a grid that fills the control, one row, one column.
enum TQV_ChannelOrientation : uint8_t { coFixed = 0, coHorizontal = 1, coVertical = 2 };

// What a click on a channel cell does.
enum TMouseClickAction : uint8_t {
  mcaToggleEnabled = 0,
  mcaTogglePersist = 1,
  mcaNone = 2,
  mcaSelectedToggleEnabled = 3,
  mcaToggleEnabledPersist = 4
};

// The channel strip of the views and dialogs: one cell per channel (1 to MaxChannels) in the
// channel's colour with its id, showing and changing which channels are enabled, persistent or
// selected. The strip keeps its own channel record; the events report every change a click made.
class TQV_Channels : public QWidget {
  Q_OBJECT

 public:
  static constexpr uint32_t kDisabledColor = 0xC0C0C0;  // silver
  static constexpr uint32_t kNotInUseColor = 0x808080;  // grey
  static constexpr uint32_t kOrange = 0x0080FF;

  explicit TQV_Channels(QWidget* parent = nullptr);

  // ---- Per channel (1 to 24) ----
  uint32_t ChannelColor(int ch) const { return FData.ChannelColor(ch); }
  void SetChannelColor(int ch, uint32_t color);
  uint32_t ChannelDarkColor(int ch) const { return FData.ChannelDarkColor(ch); }
  uint32_t ChannelLightColor(int ch) const { return FData.ChannelLightColor(ch); }
  bool ChannelEnabled(int ch) const { return FData.ChannelEnabled(ch); }
  void SetChannelEnabled(int ch, bool value);
  bool PersistEnabled(int ch) const { return FData.PersistEnabled(ch); }
  void SetPersistEnabled(int ch, bool value);
  // Within the visible count and set in the visible mask.
  bool VisibleChannel(int ch) const;

  // ---- Whole strip ----
  // 24 characters "1"/"0"; reading more or fewer is tolerated (missing ones stay as they are).
  std::string ChannelEnabledString() const;
  void SetChannelEnabledString(const std::string& value);
  std::string PersistEnabledString() const;
  void SetPersistEnabledString(const std::string& value);
  const TQV_ChannelData& Data() const { return FData; }
  void SetData(const TQV_ChannelData& value);
  int SelectedChannel() const { return FData.Selected(); }
  void SetSelectedChannel(int ch);
  // Number of cells (0 to 24).
  int MaxChannels() const { return FData.MaxChannels(); }
  void SetMaxChannels(int value);
  TQV_ChannelOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TQV_ChannelOrientation value);
  int CellSize() const { return FCellSize; }
  void SetCellSize(int value);
  int ChannelFontSize() const { return FChannelFontSize; }
  void SetChannelFontSize(int value);
  bool ForceOneEnabled() const { return FForceOneEnabled; }
  void SetForceOneEnabled(bool value) { FForceOneEnabled = value; }
  // In the fixed grid: cells run row by row (true) or column by column.
  bool Horizontal() const { return FHorizontal; }
  void SetHorizontal(bool value);
  TMouseClickAction MouseClickAction() const { return FMouseClickAction; }
  void SetMouseClickAction(TMouseClickAction value);
  uint32_t SelectedColor1() const { return FSelectedColor1; }
  void SetSelectedColor1(uint32_t value);
  uint32_t SelectedColor2() const { return FSelectedColor2; }
  void SetSelectedColor2(uint32_t value);
  // Bit ch - 1 set: channel ch is visible.
  uint32_t VisibleMask() const { return FVisibleMask; }
  void SetVisibleMask(uint32_t value);
  // Channels beyond it are drawn as not in use.
  int VisibleCount() const { return FVisibleCount; }
  void SetVisibleCount(int value);
  // Keep the control's size when the number of cells changes.
  bool KeepSize() const { return FKeepSize; }
  void SetKeepSize(bool value);
  QString PersistSign() const { return FPersistSign; }
  void SetPersistSign(const QString& value);

  // Takes a whole record; the second form takes colours, ids, names and the channel count from the
  // session's record and enables, persist marks and the selection from the view's.
  void InitChannels(const TQV_ChannelData& aData);
  void InitChannels(const TQV_ChannelData& sData, const TQV_ChannelData& vData);

  // The session's channel record (ids, names, colours) under the session's prefix.
  void ReadSettingsSession(TAppSettings& Settings, const std::string& Prefix);
  void SaveSettingsSession(TAppSettings& Settings, const std::string& Prefix) const;
  // The view's choices under `Key` (for example "View_3_Channel1_"): the enabled flags, Key +
  // "Persist", Key + "SelectedColor1" and Key + "SelectedColor2".
  void ReadSettingsView(TAppSettings& Settings, const std::string& Key);
  void SaveSettingsView(TAppSettings& Settings, const std::string& Key) const;

  // The cell of a channel in widget coordinates (empty for a channel without a cell), and the
  // channel under a point (0 = none).
  QRect CellRect(int ch) const;
  int ChannelAt(const QPoint& pos) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 Q_SIGNALS:
  void OnChannelEnabled(int channel, bool enabled);
  void OnChannelSelected(int channel);
  void OnPersistEnabled(int channel, bool enabled);
  // The strip's preferred size changed (cells, cell size or orientation).
  void OnDimChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct TGridShape {
    int Columns = 0;
    int Rows = 0;
  };
  TGridShape Shape() const;
  void DimChanged();
  void Click(int ch);
  int EnabledVisibleCount() const;
  // Sets the enabled flag unless ForceOneEnabled keeps the last enabled channel; true when changed.
  bool ChangeEnabled(int ch, bool value);
  void ChangePersist(int ch, bool value);
  void ChangeSelected(int ch);
  void PaintCell(QPainter& p, int ch) const;

  TQV_ChannelData FData;
  uint32_t FSelectedColor1 = 0x000000;
  uint32_t FSelectedColor2 = 0x0000FF;
  bool FDrawBorder = true;
  TQV_ChannelOrientation FOrientation = coHorizontal;
  int FCellSize = 20;
  int FChannelFontSize = 8;
  bool FHorizontal = true;
  int FMouseCol = -1;  // cell under the pressed mouse button
  int FMouseRow = -1;
  TMouseClickAction FMouseClickAction = mcaToggleEnabled;
  bool FForceOneEnabled = false;
  uint32_t FVisibleMask = 0xFFFFFF;
  int FVisibleCount = TQV_ChannelData::ChannelCount;
  bool FKeepSize = false;
  QString FPersistSign = "P";
};
