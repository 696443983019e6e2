#pragma once
#include <array>
#include <atomic>
#include <exception>
#include <string>

#include "core/App_Settings.h"

// The debug configuration "VTA_DebugConf.ini": fifteen debug categories (1 to 15, 0 is always on),
// each switched by the boolean key of its name, and the routing keys "Sampler" and "Source" + n.
// Lines go to the application's debug logger `LogId`.
class TDebugConf : public TAppSettings {
 public:
  static constexpr int kCategoryCount = 15;

  // Loads the file (a missing one is created empty) and reads the category switches.
  explicit TDebugConf(const std::string& iniFileName);

  // Reads the fifteen switches, adding missing keys with their defaults.
  void GetConfig();
  // Forgets everything, loads the file again and reads the switches: edits take effect at once.
  void UpdateConfig();

  void Info(int flag, const std::string& text) const;
  void Warning(int flag, const std::string& text) const;
  void Error(int flag, const std::string& text) const;
  // Always written, whatever the categories.
  void Error(const std::string& text, const std::exception& e) const;

  // The switch of category 1 to 15; false for any other index.
  bool GetDebugFlag(int index) const;

  // The logger id for the multi-sampler: LogId when "Sampler" is on, else -1.
  int SamplerLogId();
  // The logger id for session `sessionIndex`: LogId when "Source" + index is on (default: the switch
  // of category 9), else -1.
  int SourceLogId(int sessionIndex);

 private:
  bool Enabled(int flag) const { return flag == 0 || GetDebugFlag(flag); }

  std::array<std::atomic<bool>, kCategoryCount + 1> FDebugFlags{};
};
