#pragma once
#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class TNotification;

// The popup text of a message: a device status code (above 0x7000) loses its report prefix
// ("7F22: " or "7F22" and a following "; "), the session letter and ": " go in front ('?' for a
// general message), and lines are wrapped at 80 characters.
std::string BigMessageText(const std::string& text, int32_t sIndex, int32_t code);

// "VTA Message": one window for the popups, reused for each new one; "Don't Show This Message
// Again" switches the popup notification of the message shown off (and on again).
class TFormBigMessage : public QDialog {
  Q_OBJECT

 public:
  // Called with the notification of the message shown and whether it is to pop up again.
  using TSetEnabled = std::function<void(const TNotification* link, bool enabled)>;

  TFormBigMessage(QWidget* parent, TSetEnabled setEnabled);
  void ShowNotification(const std::string& text, int32_t sIndex, int32_t code, const TNotification* link);

  QLabel* TextLabel() const { return FText; }
  QCheckBox* DontShowBox() const { return FDontShow; }

 private:
  QLabel* FText = nullptr;
  QCheckBox* FDontShow = nullptr;
  TSetEnabled FSetEnabled;
  const TNotification* FLink = nullptr;
};
