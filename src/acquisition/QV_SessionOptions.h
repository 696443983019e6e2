#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/App_Settings.h"

class ISamplerSink;
class TClock;
class TVTASettings;

// The application options a session works with, copied into the session so that the
// report thread reads them without touching the settings store: number formats, the log time
// settings and the global nominal frequencies.
struct TQVSessionOptions {
  TFormatSettings FormatWin;
  TFormatSettings FormatLog;
  std::string LogTimeFormat = "YYMMDD HHNNSS.ZZZ";
  bool LogTimeSourceZCT = false;   // log files take their time from the counter
  bool LogTimeZoneSystem = false;  // log times in UTC
  bool GlobalNomFrequ = false;
  std::array<double, 24> GlobalNomFreq{};
  int32_t TempUnit = 0;  // sensors: 0 = °C, 1 = °F
};

// The options as the application's settings hold them now.
TQVSessionOptions SessionOptionsFrom(TVTASettings& settings);

// What a counter session is given besides its handlers. Everything here must outlive the session.
struct TQVSessionEnv {
  // The multi-sampler; none = nothing is logged.
  ISamplerSink* Sampler = nullptr;
  // Read at creation and at every UpdateOptions; none = the defaults above.
  std::function<TQVSessionOptions()> Options;
  // Time limits, time stamps and statistics; none = the system clock.
  const TClock* Clock = nullptr;
};
