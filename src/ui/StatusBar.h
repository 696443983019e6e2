#pragma once
#include <QColor>
#include <QStatusBar>
#include <QString>
#include <cstdint>
#include <vector>

struct TSessionStatus;

// The status bar of the main window: five panels per session slot (a colour box with the session
// letter and the fields "Channel", "User", "Lost", "Sync"), then the "High Res." panel, then the
// right-aligned debug/logging panel. A session's panels show its colour with the contrasting text
// colour while its device is open, silver otherwise. A field whose text grows beyond its width is
// widened to the text + 8 pixels and never shrinks.
class TVTA_StatusBar : public QStatusBar {
  Q_OBJECT

 public:
  enum TField { sfColor, sfChannel, sfUser, sfLost, sfSync, sfCount };
  static constexpr uint32_t kClosedColor = 0xC0C0C0;
  static constexpr uint32_t kHighResColor = 0x20A5DA;
  static constexpr uint32_t kLoggingColor = 0x00FF00;
  inline static const QString kHighResLabel = "High Res. ";
  inline static const QString kLoggingWidthText = "Logging       ";

  explicit TVTA_StatusBar(QWidget* parent = nullptr);

  // Five panels per slot; slots that stay keep their widths, texts and colours, new ones start
  // with "Channel:", "User: -", "Lost: -", "Sync: -".
  void SetSlotCount(int32_t slots);
  // Fills the slot of status.Index from the session's status; an empty field keeps its text.
  void SetSessionStatus(const TSessionStatus& status, uint32_t color);
  // The slot lost its session: its fields show "-".
  void ClearSession(int32_t slot);
  // "A:2 / C:1" for the sessions with high-resolution channels; empty gives the panel no width.
  void SetHighRes(const QString& text);
  void SetDebugLogging(bool debugFile, bool logFile);

  int32_t SlotCount() const { return int32_t(FPanels.size()) / sfCount; }
  QString FieldText(int32_t slot, TField field) const;
  int FieldWidth(int32_t slot, TField field) const;
  // The background of the slot's panels and its text colour.
  QColor SlotColor(int32_t slot) const;
  QColor SlotTextColor(int32_t slot) const;
  QString HighResText() const { return FHighRes; }
  int HighResWidth() const;
  QString LoggingText() const { return FLogging; }
  // The minimum width of the status area: the session panels, the "High Res." panel, the width of
  // "Logging       ", 2 and the bar's height.
  int MinWidth() const;
  // What the panel at `pos` means, for its tooltip; empty outside every panel.
  QString ToolTipAt(const QPoint& pos) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct TPanel {
    QString Text;
    int Width = 0;
    uint32_t Color = kClosedColor;
    uint32_t TextColor = 0;
  };

  TPanel& Panel(int32_t slot, TField field) { return FPanels[size_t(slot * sfCount + field)]; }
  const TPanel& Panel(int32_t slot, TField field) const { return FPanels[size_t(slot * sfCount + field)]; }
  void SetFieldText(int32_t slot, TField field, const QString& text);
  void SetSlotColors(int32_t slot, uint32_t color, uint32_t textColor);
  int TextWidth(const QString& text) const;
  int BarHeight() const;
  void Relayout();

  std::vector<TPanel> FPanels;
  QString FHighRes;
  QString FLogging;
};
