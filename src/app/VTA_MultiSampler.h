#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "app/IVTA_AppComponent.h"
#include "logging/MultiSampler.h"

class TSessionItem;

// The log time settings of the settings file ("LogTimeFormat", "LogTimeSourceZCT", "LogTimeZoneSystem").
TLogTimeSettings TimeSettingsOf(TVTASettings& settings);

// A session (or interval-counter copy) as a source of the multi-sampler. The session must outlive
// the adapter; the multi-sampler drops its entry before the adapter goes.
class TSessionSamplerSource : public ISamplerSource {
 public:
  // timeFromCounter: log lines are timed by the counter ("LogTimeSourceZCT"), else by the PC.
  TSessionSamplerSource(TSessionItem& session, const TClock& clock, bool utc, bool timeFromCounter);
  int32_t Index() const override;
  bool IsCopy() const override;
  int32_t SessionType() const override;
  int32_t IntervalMs() const override;
  uint32_t SerialNumber() const override;
  bool IntervalCounterOnly() const override;
  TDateTime GetDateTime() const override;
  TLogSourceInfo SourceInfo() const override;
  void AddSamplerLogTypes(uint32_t types) override;
  void ResetSamplerLogTypes() override;
  // The window thread changes them while the report thread times lines.
  void SetTimeSettings(bool utc, bool timeFromCounter) {
    FUtc = utc;
    FTimeFromCounter = timeFromCounter;
  }

 private:
  TSessionItem& FSession;
  const TClock& FClock;
  std::atomic<bool> FUtc;
  std::atomic<bool> FTimeFromCounter;
};

// The multi-sampler as a part of the application: it reads and saves the "Log_" definitions,
// follows the session list, closes the files of a session before it goes, and stops writing at
// shutdown. The report thread feeds it through Sink(); it has no thread of its own.
class TVTA_MultiSampler : public IVTA_AppComponent {
 public:
  // config.ProgramFolder: the log root folder, which also takes files whose folder cannot be made.
  explicit TVTA_MultiSampler(TMultiSamplerConfig config);
  ~TVTA_MultiSampler() override;

  // What the logging menu works with: definitions, enable and disable, the files written.
  TMultiSampler& Sampler() { return FSampler; }
  ISamplerSink& Sink() { return FSampler; }

  void ReadSettings(TVTASettings& settings, const TSessionLists& lists) override;
  void SessionListChanged(const TSessionLists& lists) override;
  void SessionRemoving(TSessionItem& session) override;
  void SaveSettings(TVTASettings& settings, const TSessionIndexMap& map) override;
  bool LogFileActive() const override { return FSampler.LogFileActive(); }
  void Stop() override;
  // An option change of the window (codes 1 to 32): changed log time settings are taken from the
  // settings first, then the files written with the old ones are closed.
  void UpdateOptions(int32_t what, TVTASettings& settings);

 private:
  void TakeTimeSettings(TVTASettings& settings);
  void MoveUnusableFolders();
  void TransformLinCombs(TVTASettings& settings, const TSessionLists& lists);

  // Definitions whose folder could not be made: index -> the user's file name and the one used
  // instead. The settings keep the user's name, so the folder is tried again at the next start.
  std::map<int, std::pair<std::string, std::string>> FRelocated;
  std::string FLogRootFolder;
  const TClock& FClock;
  bool FUtc = false;
  bool FTimeFromCounter = false;
  std::map<const TSessionItem*, std::unique_ptr<TSessionSamplerSource>> FSources;
  TMultiSampler FSampler;  // declared last: goes first, before the sources it reads
};
