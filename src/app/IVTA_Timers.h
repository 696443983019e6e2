#pragma once

// The two timers of the thread that owns the application: the display cycle (every 100 ms) and the
// check cycle (60 s after it was started). The application decides when they run; the owner calls
// TVTA_Application::DisplayTimerTimer and CheckTimerTimer when they fire. Tests call those directly.
class IVTA_Timers {
 public:
  static constexpr int kDisplayIntervalMs = 100;
  static constexpr int kCheckIntervalMs = 60000;

  virtual ~IVTA_Timers() = default;
  // Called only when the state changes; turning the check timer on starts its minute anew.
  virtual void SetDisplayTimer(bool enabled) = 0;
  virtual void SetCheckTimer(bool enabled) = 0;
};
