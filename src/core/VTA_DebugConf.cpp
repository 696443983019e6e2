#include "core/VTA_DebugConf.h"

#include "core/LogUnit.h"

namespace {

struct TCategory {
  const char* Key;
  bool Default;
};

// Category n is entry n - 1.
constexpr std::array<TCategory, TDebugConf::kCategoryCount> kCategories = {{
    {"AllanChild", true},
    {"ChildWin", true},
    {"GraphicChild", true},
    {"InfoChild", true},
    {"Main", true},
    {"Menu", false},
    {"Messages", true},
    {"Sampler", false},
    {"Source", true},
    {"Sync", true},
    {"TextChild", true},
    {"UserInput", true},
    {"ReportThread", true},
    {"Steering", true},
    {"AllanData", false},
}};

constexpr int kSourceCategory = 9;

}  // namespace

TDebugConf::TDebugConf(const std::string& iniFileName) {
  LoadFromFile(iniFileName);
  GetConfig();
}

void TDebugConf::GetConfig() {
  const auto lock = Lock();
  for (int i = 1; i <= kCategoryCount; ++i) {
    const TCategory& category = kCategories[size_t(i - 1)];
    FDebugFlags[size_t(i)] = GetValue(category.Key, category.Default);
  }
}

void TDebugConf::UpdateConfig() {
  const auto lock = Lock();
  Clear();
  LoadFromFile(Filename());
  GetConfig();
}

void TDebugConf::Info(int flag, const std::string& text) const {
  if (Enabled(flag)) LogIt(LogId(), text);
}

void TDebugConf::Warning(int flag, const std::string& text) const {
  if (Enabled(flag)) LogWarn(LogId(), text);
}

void TDebugConf::Error(int flag, const std::string& text) const {
  if (Enabled(flag)) LogError(LogId(), text);
}

void TDebugConf::Error(const std::string& text, const std::exception& e) const { LogException(LogId(), text, e); }

bool TDebugConf::GetDebugFlag(int index) const {
  return index >= 1 && index <= kCategoryCount && FDebugFlags[size_t(index)];
}

int TDebugConf::SamplerLogId() { return GetValue("Sampler", false) ? LogId() : -1; }

int TDebugConf::SourceLogId(int sessionIndex) {
  return GetValue("Source" + std::to_string(sessionIndex), GetDebugFlag(kSourceCategory)) ? LogId() : -1;
}
