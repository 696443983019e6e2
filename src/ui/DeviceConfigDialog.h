#pragma once
#include <QDialog>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/App_Sessions.h"
#include "app/DeviceConfigThread.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class TQVSessionItem;

// The instrument settings that "Config Device..." writes, as the instrument's reports show them.
struct TDeviceSettings {
  int32_t Mode = 2;       // 0..7, as in the measurement header
  int32_t RateIndex = 9;  // 0..13: 1 ms .. 20 s
  int32_t Scrambler = 0;  // 0 off, 1 auto, 2 trim, 3 in use (set otherwise; never written from here)
  int32_t Channels = 4;   // transmitted counter channels 1..24; 0 while unknown (never written)
  bool operator==(const TDeviceSettings&) const = default;
};

// What the dialog shows of the instrument besides the settings it writes.
struct TDeviceConfigFacts {
  std::string Caption;  // "Device Configuration - Source A"
  std::vector<std::pair<std::string, std::string>> Lines;  // caption, value
  TDeviceSettings Settings;
  TRange Rates;         // rate indexes the session allows
  bool Expert = false;  // raw-data modes offered
};

// The steps that bring an instrument from `current` to `wanted`, only for what differs: the channel
// count first (it changes the layout of the reports), then mode, interval and scrambler. Each step
// is confirmed when `read` shows its value.
std::vector<TDeviceConfigStep> DeviceConfigSteps(const TDeviceSettings& current, const TDeviceSettings& wanted,
                                                 const std::function<TDeviceSettings()>& read);

// Why "Config Device..." shows no dialog for the session, empty when it may: an instrument that
// does not answer, or a Coldfire counter on a serial line.
std::string DeviceConfigRefusal(const TQVSessionItem& session);

// The settings as the counter session last saw them in the reports (thread-safe reads).
TDeviceSettings ReadDeviceSettings(const TQVSessionItem& session);
TDeviceConfigFacts DeviceConfigFacts(const TQVSessionItem& session, bool expert);

// "Config Device...": the instrument's identity and its current settings, read from the session;
// "Apply" writes what was changed through the configuration thread, with a progress bar and the
// outcome below. The window thread stays free while the instrument takes the commands; `send` is
// called on the window thread.
class TDeviceConfigDialog : public QDialog {
  Q_OBJECT

 public:
  TDeviceConfigDialog(QWidget* parent, const TDeviceConfigFacts& facts, std::function<TDeviceSettings()> read,
                      TDeviceConfigThread::TSend send, std::chrono::milliseconds stepLimit = std::chrono::seconds(10));
  ~TDeviceConfigDialog() override;

  TDeviceSettings Wanted() const;
  void SetWanted(const TDeviceSettings& value);
  // Starts writing what differs from the instrument's settings now; false while a run goes on.
  bool Apply();
  bool Running() const;
  QString StatusText() const;
  QProgressBar* Progress() const { return FProgress; }
  QPushButton* ApplyButton() const { return FApply; }

  void reject() override;

 private:
  void ShowSettings(const TDeviceSettings& settings);
  void SetInputsEnabled(bool enabled);
  void OnProgress(size_t done, size_t count, const QString& text);
  void OnFinished(bool ok, const QString& text);

  std::function<TDeviceSettings()> FRead;
  QComboBox* FMode = nullptr;
  QComboBox* FRate = nullptr;
  QComboBox* FScrambler = nullptr;
  QSpinBox* FChannels = nullptr;
  QProgressBar* FProgress = nullptr;
  QLabel* FStatus = nullptr;
  QPushButton* FApply = nullptr;
  std::unique_ptr<TDeviceConfigThread> FThread;  // joined before the widgets go
};
