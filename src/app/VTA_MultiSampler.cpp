#include "app/VTA_MultiSampler.h"

#include "acquisition/QV_SessionItem.h"
#include "acquisition/QV_SessionOptions.h"
#include "acquisition/VTA_Sessions.h"
#include "core/LogUnit.h"
#include "core/SessionIndexMap.h"
#include "core/VTA_Settings.h"
#include "data/ZCT_DataManagement.h"
#include "data/IVC_DataManagement.h"
#include "logging/LogFileName.h"

namespace {

TQVSessionItem* Counter(TSessionItem& session) { return dynamic_cast<TQVSessionItem*>(&session); }

std::array<std::string, kLogChannels> Names(const TQV_ChannelData& data) {
  std::array<std::string, kLogChannels> names{};
  for (int ch = 1; ch <= kLogChannels; ++ch) names[static_cast<size_t>(ch - 1)] = data.ChannelName(ch);
  return names;
}

}  // namespace

TLogTimeSettings TimeSettingsOf(TVTASettings& settings) {
  return {settings.LogTimeFormat(), settings.LogTimeSourceZCT(), settings.LogTimeZoneSystem()};
}

// ---------------------------------------------------------------- session adapter

TSessionSamplerSource::TSessionSamplerSource(TSessionItem& session, const TClock& clock, bool utc,
                                             bool timeFromCounter)
    : FSession(session), FClock(clock), FUtc(utc), FTimeFromCounter(timeFromCounter) {}

int32_t TSessionSamplerSource::Index() const { return FSession.Index(); }
bool TSessionSamplerSource::IsCopy() const { return FSession.IsCopy(); }
int32_t TSessionSamplerSource::SessionType() const { return FSession.SessionType(); }
int32_t TSessionSamplerSource::IntervalMs() const { return std::max(FSession.IntervalMs(), 1); }
uint32_t TSessionSamplerSource::SerialNumber() const { return FSession.SerialNumber(); }

bool TSessionSamplerSource::IntervalCounterOnly() const {
  const TQVSessionItem* counter = Counter(FSession);
  return counter && (counter->IsCopy() || counter->IVConly());
}

// The clock that times the lines also dates the files, so that a line never lands in the file of
// another day. The interval-counter copy reads no reports of its own: it has the time of its
// counter session. A counter time not known yet is replaced by the PC clock.
TDateTime TSessionSamplerSource::GetDateTime() const {
  const TQVSessionItem* counter = Counter(FSession);
  if (counter && FTimeFromCounter) {
    TDateTime time = counter->ZCTDateTime();
    const TQVSessionItem* original = counter->IsCopy() ? counter->LinkedSession() : nullptr;
    if (!DateTimeKnown(time) && original) time = original->ZCTDateTime();
    if (DateTimeKnown(time)) return time;
  }
  return PcLogDateTime(FClock, FUtc);
}

TLogSourceInfo TSessionSamplerSource::SourceInfo() const {
  TLogSourceInfo info;
  info.Letter = static_cast<char>('A' + FSession.Index());
  info.FriendlyName = FSession.FriendlyName();
  info.ConnectionString = FSession.OpenString();
  info.ChannelNames = Names(FSession.ChannelData());
  info.VirtualChannelCount = FSession.VirtualChannelCount();
  info.VirtualChannelNames = Names(FSession.VirtualChannelData());
  TQVSessionItem* counter = Counter(FSession);
  if (!counter) {
    info.Kind = TLogSourceKind::Sensor;
    info.IntervalText = std::to_string(FSession.IntervalMs()) + " ms";
    info.ChannelCount = FSession.DataManagement() ? FSession.DataManagement()->ChannelCount() : 0;
    return info;
  }
  if (IntervalCounterOnly()) {
    info.Kind = TLogSourceKind::IntervalCounter;
    info.ChannelCount = counter->TransmittedIVCs();
    info.ChannelNames = Names(counter->IVCChannelData());
    info.VirtualChannelCount = counter->VirtualIVCChannelCount();
    info.VirtualChannelNames = Names(counter->VirtualIVCChannelData());
    return info;
  }
  const TQVSessionStatus status = counter->Status();
  if (status.DataHeader) {
    info.ModeText = status.RawAvg ? "Raw Data Avg." : status.DataHeader->ModeText();
    info.IntervalText = status.DataHeader->IntervalText();
  }
  info.ScramblerText = status.ScramblerText;
  info.ChannelCount = counter->ZCT_DM().ChannelCount();
  info.DGICards = status.TransmittedDGIs;
  return info;
}

void TSessionSamplerSource::AddSamplerLogTypes(uint32_t types) { FSession.AddSamplerLogTypes(types); }
void TSessionSamplerSource::ResetSamplerLogTypes() { FSession.ResetSamplerLogTypes(); }

// ---------------------------------------------------------------- component

TVTA_MultiSampler::TVTA_MultiSampler(TMultiSamplerConfig config)
    : FLogRootFolder(config.ProgramFolder),
      FClock(config.Clock ? *config.Clock : SystemClock()),
      FSampler(std::move(config)) {}

TVTA_MultiSampler::~TVTA_MultiSampler() { FSampler.Stop(); }

void TVTA_MultiSampler::ReadSettings(TVTASettings& settings, const TSessionLists& lists) {
  TakeTimeSettings(settings);
  SessionListChanged(lists);
  FSampler.ReadSettings(settings);
  MoveUnusableFolders();
  if (settings.VersionFormat() < TVTASettings::kCurrentVersionFormat) TransformLinCombs(settings, lists);
}

// Files of format 5 and older kept two linear combinations per counter: each session makes them
// virtual channels, and the log definitions that marked them log those channels instead.
void TVTA_MultiSampler::TransformLinCombs(TVTASettings& settings, const TSessionLists& lists) {
  for (TSessionItem* session : lists.Sessions()) {
    auto* counter = dynamic_cast<TQVSessionItem*>(session);
    int32_t virtLC1 = 0, virtLC2 = 0;
    if (counter && counter->TransformLinComb(settings, virtLC1, virtLC2))
      FSampler.TransformLinComb(counter->Index(), virtLC1, virtLC2);
  }
}

// A definition whose folder cannot be made writes into the log root folder instead, and the user
// is told where its files go.
void TVTA_MultiSampler::MoveUnusableFolders() {
  FRelocated.clear();
  for (int d = 0; d < FSampler.DefinitionCount(); ++d) {
    std::unique_ptr<TLogDefinition> def = FSampler.Definition(d);
    if (!def) continue;
    const TLogFilePattern pattern = SplitLogFilePattern(def->FileName(), FLogRootFolder);
    if (CheckLogFolder(pattern.Folder).empty()) continue;
    LogError(FSampler.LogId(), "TVTA_MultiSampler.ReadSettings Invalid log file path=" + pattern.Folder);
    const std::string used = FLogRootFolder + pattern.Body + pattern.Extension;
    FRelocated[d] = {def->FileName(), used};
    FSampler.AddLogMessage(mtWarning, kMsgCodeLogOpened,
                           "Log folder " + pattern.Folder + " cannot be created, log files go to " + FLogRootFolder +
                               " instead");
    def->SetFileName(used);
    FSampler.ChangeDefinition(d, std::move(def));
  }
}

void TVTA_MultiSampler::SessionListChanged(const TSessionLists& lists) {
  std::vector<TSessionItem*> sessions = lists.Sessions();
  for (TSessionItem* copy : lists.CopyList()) sessions.push_back(copy);
  std::vector<ISamplerSource*> sources;
  for (TSessionItem* session : sessions) {
    auto& source = FSources[session];
    if (!source) source = std::make_unique<TSessionSamplerSource>(*session, FClock, FUtc, FTimeFromCounter);
    sources.push_back(source.get());
  }
  FSampler.UpdateSessionList(sources);
  // Adapters of sessions that are gone, after the sampler dropped their entries.
  std::erase_if(FSources, [&sessions](const auto& entry) {
    return std::find(sessions.begin(), sessions.end(), entry.first) == sessions.end();
  });
}

// The session and its copy go together; their entries go before them.
void TVTA_MultiSampler::SessionRemoving(TSessionItem& session) {
  const int32_t index = session.Index();
  for (auto it = FSources.begin(); it != FSources.end();) {
    if (it->second->Index() != index) {
      ++it;
      continue;
    }
    FSampler.DetachSession(*it->second);
    it = FSources.erase(it);
  }
}

// The sources are stored under their renumbered indexes; simple definitions of sources that are
// gone are not stored.
void TVTA_MultiSampler::SaveSettings(TVTASettings& settings, const TSessionIndexMap& map) {
  std::vector<std::unique_ptr<TLogDefinition>> renumbered;
  for (int d = 0; d < FSampler.DefinitionCount(); ++d) {
    std::unique_ptr<TLogDefinition> def = FSampler.Definition(d);
    if (!def) continue;
    const auto relocated = FRelocated.find(d);
    if (relocated != FRelocated.end() && def->FileName() == relocated->second.second)
      def->SetFileName(relocated->second.first);
    for (int i = def->Count() - 1; i >= 0; --i) {
      const int newIndex = map.Map(def->Definition(i).SessionIndex());
      if (newIndex < 0)
        def->RemoveDefinition(i);
      else
        def->Definition(i).SetSessionIndex(newIndex);
    }
    if (def->Count() > 0) renumbered.push_back(std::move(def));
  }
  std::vector<const TLogDefinition*> definitions;
  for (const auto& def : renumbered) definitions.push_back(def.get());
  SaveLogDefinitions(settings, definitions);
}

void TVTA_MultiSampler::Stop() { FSampler.Stop(); }

void TVTA_MultiSampler::TakeTimeSettings(TVTASettings& settings) {
  const TLogTimeSettings time = TimeSettingsOf(settings);
  FUtc = time.ZoneUTC;
  FTimeFromCounter = time.SourceZCT;
  for (auto& [session, source] : FSources) source->SetTimeSettings(FUtc, FTimeFromCounter);
  FSampler.SetTimeSettings(time);
}

void TVTA_MultiSampler::UpdateOptions(int32_t what, TVTASettings& settings) {
  constexpr int32_t kTimeChanges = 8 | 16 | 32;
  if (what & kTimeChanges) TakeTimeSettings(settings);
  FSampler.UpdateOptions(what);
}
