#include "app/VTA_QtTimers.h"

TQtTimers::TQtTimers() {
  FDisplayTimer.setInterval(kDisplayIntervalMs);
  FCheckTimer.setInterval(kCheckIntervalMs);
}

void TQtTimers::Connect(std::function<void()> onDisplay, std::function<void()> onCheck) {
  QObject::connect(&FDisplayTimer, &QTimer::timeout, std::move(onDisplay));
  QObject::connect(&FCheckTimer, &QTimer::timeout, std::move(onCheck));
}

void TQtTimers::SetDisplayTimer(bool enabled) {
  if (enabled)
    FDisplayTimer.start();
  else
    FDisplayTimer.stop();
}

void TQtTimers::SetCheckTimer(bool enabled) {
  if (enabled)
    FCheckTimer.start();
  else
    FCheckTimer.stop();
}
