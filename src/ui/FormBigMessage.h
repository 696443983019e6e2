#pragma once
#include <QDialog>
#include <QSize>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class TNotification;

// The popup text of a message: a device status code (above 0x7000) loses its report prefix
// ("7F22: " or "7F22" and a following "; "), the session letter and ": " go in front ('?' for a
// general message), and lines are wrapped at 80 characters, at a blank in the second half of a line where there is one.
std::string BigMessageText(const std::string& text, int32_t sIndex, int32_t code);

// The popup text's point size: the largest in [kBigMessageMinSize, kBigMessageMaxSize] at which
// the text, as textSize measures it when wrapped to the area's width, fits the area; the lower
// bound when none does.
constexpr int kBigMessageMinSize = 8;
constexpr int kBigMessageMaxSize = 36;
int BigMessagePointSize(const std::function<QSize(int pointSize)>& textSize, QSize area);

// "VTA Message": one window for the popups, reused for each new one; "Don't Show This Message
// Again" switches the popup notification of the message shown off (and on again). The text fills
// the window: its font follows the window's size, and lines too long for the window wrap.
class TFormBigMessage : public QDialog {
  Q_OBJECT

 public:
  // Called with the notification of the message shown and whether it is to pop up again.
  using TSetEnabled = std::function<void(const TNotification* link, bool enabled)>;

  TFormBigMessage(QWidget* parent, TSetEnabled setEnabled);
  void ShowNotification(const std::string& text, int32_t sIndex, int32_t code, const TNotification* link);

  QLabel* TextLabel() const { return FText; }
  QCheckBox* DontShowBox() const { return FDontShow; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FitTextFont();

  QLabel* FText = nullptr;
  QCheckBox* FDontShow = nullptr;
  TSetEnabled FSetEnabled;
  const TNotification* FLink = nullptr;
};
