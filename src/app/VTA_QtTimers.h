#pragma once
#include <QTimer>
#include <functional>

#include "app/IVTA_Timers.h"

// The two cycles on Qt timers of the calling thread's event loop, for an owner without windows.
class TQtTimers : public IVTA_Timers {
 public:
  TQtTimers();
  // What runs when each timer fires (the application's DisplayTimerTimer and CheckTimerTimer).
  void Connect(std::function<void()> onDisplay, std::function<void()> onCheck);

  void SetDisplayTimer(bool enabled) override;
  void SetCheckTimer(bool enabled) override;

 private:
  QTimer FDisplayTimer;
  QTimer FCheckTimer;
};
