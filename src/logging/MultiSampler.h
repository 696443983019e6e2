#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/VTA_Common.h"
#include "data/ISamplerSink.h"
#include "logging/LogFileLayout.h"
#include "logging/MultiSamplerDefinition.h"
#include "logging/MultiSamplerSession.h"

class TAppSettings;

// Session events beyond those the stores send.
constexpr int32_t SE_NamesChanged = 2;
constexpr int32_t SE_DataCleared = 4;
constexpr int32_t SE_VirtualChanged = 6;
constexpr int32_t SE_DeviceError = 9;
constexpr int32_t SE_IVCDataCleared = 11;
constexpr int32_t SE_Closed = 12;
constexpr int32_t SE_ClockError = 13;
constexpr int32_t SE_IVCCalibrationChanged = 14;
constexpr int32_t SE_Reconnected = 16;
constexpr int32_t SE_HRQChanged = 17;

struct TMultiSamplerConfig {
  int LogId = -1;             // diagnostic logger ("Sampler"); -1 = none
  const TClock* Clock = nullptr;  // none: the system clock
  TLogTimeSettings Time;
  char DecimalSeparator = 0;  // of the log number format; 0 = the first line decides
  std::string ProgramFolder;  // where file names without a folder go (the log root folder)
  // Creates the log files; none = files on disk. Tests hand in files that fail on demand.
  TLogFileFactory FileFactory;
  // User messages for no session, from any thread.
  std::function<void(TMsgType type, int32_t code, const std::string& text)> OnMsg;
};

// The multi-sampler: keeps the value strings every source delivers per report, and writes the
// lines of each enabled log definition at the pace of its main source through the definition's
// file writer. It has no thread of its own: the report thread feeds it (all file writing happens
// there), the window thread manages definitions and sources; one recursive lock serialises both.
class TMultiSampler : public ISamplerSink, public ILogFileOwner {
 public:
  explicit TMultiSampler(TMultiSamplerConfig config);
  ~TMultiSampler() override;
  TMultiSampler(const TMultiSampler&) = delete;
  TMultiSampler& operator=(const TMultiSampler&) = delete;

  // ---- Report thread (ISamplerSink) ----
  void SetSessionSyncTime(int32_t sIndex, bool sCopy, const std::string& syncTime) override;
  void AddStrings(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) override;
  void AddStringsVirtual(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) override;
  void AddStringsSpecial(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) override;
  // A sensor's value: a set with slot 0 only.
  void AddString(int32_t sIndex, bool sCopy, const std::string& reportString) override;
  void AddWarning(int32_t sIndex, bool sCopy, const std::string& text) override;
  void AddTimeStamp(int32_t sIndex, bool sCopy, int64_t aTimeStamp) override;
  void UpdateSession(int32_t sIndex, bool sCopy, int32_t what, const std::string& text) override;

  // ---- Window thread: definitions ----
  // Takes the definition; returns its index.
  int AddDefinition(std::unique_ptr<TLogDefinition> aLogDef);
  void ChangeDefinition(int dIndex, std::unique_ptr<TLogDefinition> aLogDef);
  void RemoveDefinition(int dIndex);
  void SetEnabled(int dIndex, bool Value);
  void SetAddHeader(int dIndex, bool Value);
  // A copy of the definition, or none for an empty slot or an index out of range.
  std::unique_ptr<TLogDefinition> Definition(int dIndex) const;
  // Slots, empty ones included.
  int DefinitionCount() const;
  int NextDefIndex() const;
  bool TimeSynchroNeeded(int dIndex) const;
  // The name of the file being written ("" when none is open).
  std::string FileName(int dIndex) const;
  // True while at least one definition is enabled.
  bool LogFileActive() const;
  void BeginUpdate();
  void EndUpdate();
  void ReadSettings(TAppSettings& settings);
  void SaveSettings(TAppSettings& settings) const;
  // Settings files of format 5 and older marked a counter's two linear combinations in row 2 of
  // its simple definitions; the session made them virtual channels virtLC1 and virtLC2 (0 = none),
  // which its virtual definition now logs.
  void TransformLinComb(int32_t sIndex, int32_t virtLC1, int32_t virtLC2);
  // Option change codes: 4 temperature unit, 8/16/32 log time format, source, zone.
  void UpdateOptions(int32_t what);
  void SetTimeSettings(const TLogTimeSettings& time);

  // ---- Window thread: sources ----
  // The sessions and copies now; definitions lose sources that are gone.
  void UpdateSessionList(const std::vector<ISamplerSource*>& list);
  // The source is about to go: its files are closed and its entry dropped (its definitions stay).
  void DetachSession(const ISamplerSource& source);
  // Removes the simple definitions of the source index from every definition.
  void RemoveSession(int32_t sIndex);
  void CloseFilesSession(int32_t sIndex, bool sCopy);
  // Closes every file and drops every source; nothing is written afterwards.
  void Stop();

  int LogId() const { return FConfig.LogId; }

  // ---- ILogFileOwner ----
  TDateTime GetMainDateTime(const TLogDefinition& aLogDef) override;
  std::string GetTimeString() override;
  TDateTime GetPcDateTime() override;
  std::string FormatLineTime(TDateTime time) override;
  std::vector<std::string> GetHeader(const TLogDefinition& aLogDef, const std::string& reason) override;
  void AddLogMessage(TMsgType type, int32_t code, const std::string& text) override;
  void ResetProtocolItems(int defIndex) override;

 private:
  using TLock = std::lock_guard<std::recursive_mutex>;

  void BaseAddStrings(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& strings, TSamplerStringClass aClass);
  TMultiSamplerSession* GetMultiSession(int32_t sIndex, bool sCopy) const;
  TMultiSamplerSession* FindMultiSession(const TSimpleLogDefinition& simple) const;
  TMultiSamplerDefinition* Writer(int dIndex) const;

  // Lines.
  void CheckLogging(TMultiSamplerSession& session, TSamplerStringClass aClass);
  bool CheckLogStrings(const TSimpleLogDefinition& simple, bool isMainSimple, int dIndex);
  void GenerateLogStrings(int dIndex);
  std::string GetSampleData(int dIndex);
  std::vector<TLogSourceInfo> SourceInfos(const TLogDefinition& def) const;

  // Definitions change and time synchronisation.
  void DefinitionsChanged();
  void LogDefinitionsChanged(int32_t sIndex, bool sCopy);
  bool IsCounterPart(const TSimpleLogDefinition& simple) const;
  void UpdateTimeSynchro();
  bool CheckTimeSynchro(int dIndex);
  bool AlignFirstLine(int dIndex);

  // Session events.
  bool IsAffected(const TLogDefinition& def, int32_t sIndex, int32_t what, bool sCopy) const;
  void CloseDefinition(TMultiSamplerDefinition& writer, const std::string& reason);
  std::string GetUpdateText(int32_t sIndex, int32_t what) const;
  bool RemoveSimpleDefinitions(int dIndex, const std::function<bool(const TSimpleLogDefinition&)>& gone);
  void Log(const std::string& text) const;

  TMultiSamplerConfig FConfig;
  mutable std::recursive_mutex FLockObj;
  std::vector<std::unique_ptr<TMultiSamplerDefinition>> FDefinitionList;  // empty slots stay
  std::vector<std::unique_ptr<TMultiSamplerSession>> FSessionList;
  int32_t FUpdateCounter = 0;
  bool FLogDefinitionsChangeNeeded = false;
  std::string FDbgTag = "TVTA_MultiSampler";
};
