// The multi-sampler: receiving the sets, deciding and writing lines, managing definitions and
// sources.
#include "logging/MultiSampler.h"

#include <algorithm>

#include "core/App_Settings.h"
#include "core/LogUnit.h"

namespace {
std::string CopyFlag(bool sCopy) { return sCopy ? "True" : "False"; }
const TClock& ClockOf(const TMultiSamplerConfig& config) { return config.Clock ? *config.Clock : SystemClock(); }
}  // namespace

TMultiSampler::TMultiSampler(TMultiSamplerConfig config) : FConfig(std::move(config)) {}

TMultiSampler::~TMultiSampler() {
  Stop();
  Log(".BaseDestroy");
}

void TMultiSampler::Log(const std::string& text) const {
  if (FConfig.LogId >= 0) LogIt(FConfig.LogId, FDbgTag + text);
}

// ---------------------------------------------------------------- receiving

void TMultiSampler::AddStrings(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) {
  BaseAddStrings(sIndex, sCopy, reportStrings, sscStandard);
}

void TMultiSampler::AddStringsVirtual(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) {
  BaseAddStrings(sIndex, sCopy, reportStrings, sscVirtual);
}

void TMultiSampler::AddStringsSpecial(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& reportStrings) {
  BaseAddStrings(sIndex, sCopy, reportStrings, sscSpecial);
}

void TMultiSampler::AddString(int32_t sIndex, bool sCopy, const std::string& reportString) {
  TMultiSamplerStrings strings;
  strings[0] = reportString;
  BaseAddStrings(sIndex, sCopy, strings, sscStandard);
}

void TMultiSampler::BaseAddStrings(int32_t sIndex, bool sCopy, const TMultiSamplerStrings& strings,
                                   TSamplerStringClass aClass) {
  const TLock lock(FLockObj);
  if (FDefinitionList.empty()) return;
  TMultiSamplerSession* session = GetMultiSession(sIndex, sCopy);
  if (!session || !session->HasStringClass(aClass)) return;
  session->ReportStrings(aClass).Add(strings, session->Session().GetDateTime());
  Log(".BaseAddStrings[" + std::to_string(sIndex) + "/" + CopyFlag(sCopy) + "] " + SamplerStringClassName(aClass) +
      " report count=" + std::to_string(session->ReportStrings(aClass).Count()));
  CheckLogging(*session, aClass);
}

void TMultiSampler::SetSessionSyncTime(int32_t sIndex, bool sCopy, const std::string& syncTime) {
  const TLock lock(FLockObj);
  if (FDefinitionList.empty()) return;
  if (TMultiSamplerSession* session = GetMultiSession(sIndex, sCopy)) session->SetSyncTime(syncTime);
}

TMultiSamplerSession* TMultiSampler::GetMultiSession(int32_t sIndex, bool sCopy) const {
  for (const auto& session : FSessionList)
    if (session->Session().Index() == sIndex && session->Session().IsCopy() == sCopy) return session.get();
  return nullptr;
}

TMultiSamplerSession* TMultiSampler::FindMultiSession(const TSimpleLogDefinition& simple) const {
  return GetMultiSession(simple.SessionIndex(), simple.SourceCopy());
}

TMultiSamplerDefinition* TMultiSampler::Writer(int dIndex) const {
  if (dIndex < 0 || dIndex >= static_cast<int>(FDefinitionList.size())) return nullptr;
  return FDefinitionList[static_cast<size_t>(dIndex)].get();
}

// ---------------------------------------------------------------- lines

void TMultiSampler::CheckLogging(TMultiSamplerSession& session, TSamplerStringClass aClass) {
  for (int d = 0; d < static_cast<int>(FDefinitionList.size()); ++d) {
    TMultiSamplerDefinition* writer = Writer(d);
    if (!writer || !session.Item(d, aClass)) continue;
    const TLogDefinition& def = writer->LogDef();
    bool ready = true;
    for (int i = 0; i < def.Count() && ready; ++i) {
      const TSimpleLogDefinition& simple = def.Definition(i);
      if (simple.StringClass() == aClass) ready = CheckLogStrings(simple, i == 0, d);
    }
    if (!ready) continue;
    if (writer->TimeSynchroNeeded() && !CheckTimeSynchro(d)) {
      Log(".BaseCheckLogging CheckTimeSynchro missing strings");
      continue;
    }
    GenerateLogStrings(d);
  }
}

bool TMultiSampler::CheckLogStrings(const TSimpleLogDefinition& simple, bool isMainSimple, int dIndex) {
  TMultiSamplerSession* session = FindMultiSession(simple);
  if (!session) return false;
  const TMultiProtocolItem* item = session->Item(dIndex, simple.StringClass());
  const double factor = item ? item->FNeeded : 1;
  double soll = factor * 10;
  int next = 0;
  if (isMainSimple) {
    next = item ? std::max(item->NextDataIndex(), 0) : 0;
  } else if (!session->Session().IsCounter()) {
    // A sensor's newest value serves every line; before its first one its fields read "-", so a
    // sensor that is slow to start (or never answers) cannot hold back the counters' lines.
    soll = 0;
  } else if (factor < 1) {
    soll = 0;
  }
  const int count = session->ReportStrings(simple.StringClass()).Count();
  if (soll <= count - next) return true;
  Log(".BaseCheckLogStrings: Count=" + std::to_string(count) + ", next=" + std::to_string(next) +
      ", soll=" + std::to_string(soll) + " missing strings");
  return false;
}

void TMultiSampler::GenerateLogStrings(int dIndex) {
  TMultiSamplerDefinition& writer = *Writer(dIndex);
  const TLogDefinition& def = writer.LogDef();
  if (writer.TimeSynchroNeeded() && !writer.IsOpen()) {
    Log(".BaseGenerateLogStrings dIndex=" + std::to_string(dIndex) + " reset time stamp counts");
    for (int i = 0; i < def.Count(); ++i) {
      const TSimpleLogDefinition& simple = def.Definition(i);
      TMultiSamplerSession* session = FindMultiSession(simple);
      TMultiProtocolItem* item = session ? session->Item(dIndex, simple.StringClass()) : nullptr;
      if (!item || !item->FTimeSynchroNeeded) continue;
      item->FTimeStampCount = 1;
      item->FTimeStampStartValue = session->TimeStamp();
    }
  }
  // A file error stays with this definition: the line is counted as missed, the others go on.
  writer.AddLine(GetSampleData(dIndex));
}

std::string TMultiSampler::GetSampleData(int dIndex) {
  TMultiSamplerDefinition& writer = *Writer(dIndex);
  const TLogDefinition& def = writer.LogDef();
  writer.SetTimeString({});
  writer.SetReportDate(NAN);
  static const TMultiSamplerStrings kEmpty{};
  std::vector<const TMultiSamplerStrings*> strings;
  for (int i = 0; i < def.Count(); ++i) {
    const TSimpleLogDefinition& simple = def.Definition(i);
    TMultiSamplerSession* session = FindMultiSession(simple);
    if (!session) {
      strings.push_back(nullptr);
      continue;
    }
    const TSamplerStringBuffer& buffer = session->ReportStrings(simple.StringClass());
    if (i == 0 && buffer.Count() == 0)
      LogError(FConfig.LogId, FDbgTag + ".GetSampleData dIndex=" + std::to_string(dIndex) +
                                  " failed: keine main reports, session=" + std::to_string(simple.SessionIndex()) +
                                  "/" + CopyFlag(simple.SourceCopy()));
    const int idx = session->GetNextDataIndex(dIndex, simple.StringClass());
    if (idx < 0) {
      strings.push_back(nullptr);
      continue;
    }
    // A position beyond the buffer reads empty strings.
    const TMultiSamplerStrings* report = buffer.ReportAt(idx);
    strings.push_back(report ? report : &kEmpty);
    if (i == 0) {
      writer.SetTimeString(strings.back()->at(9));
      writer.SetReportDate(buffer.DateAt(idx));
    }
  }
  // Lines are built before any report is released: SetLogDone may drop the strings read above.
  const std::string line = LogSampleLine(def, SourceInfos(def), strings);
  // Simple definitions of one source and class share a read position: it moves on once per line.
  std::vector<const TMultiProtocolItem*> done;
  for (int i = 0; i < def.Count(); ++i) {
    const TSimpleLogDefinition& simple = def.Definition(i);
    TMultiSamplerSession* session = FindMultiSession(simple);
    const TMultiProtocolItem* item = session ? session->Item(dIndex, simple.StringClass()) : nullptr;
    if (!item || !strings[static_cast<size_t>(i)] || std::ranges::find(done, item) != done.end()) continue;
    done.push_back(item);
    session->SetLogDone(item->FNeeded, dIndex, simple.StringClass());
  }
  return line;
}

std::vector<TLogSourceInfo> TMultiSampler::SourceInfos(const TLogDefinition& def) const {
  std::vector<TLogSourceInfo> infos;
  for (int i = 0; i < def.Count(); ++i) {
    const TMultiSamplerSession* session = FindMultiSession(def.Definition(i));
    TLogSourceInfo info;
    if (session) {
      info = session->Session().SourceInfo();
      info.SyncTime = session->SyncTime();
    }
    infos.push_back(std::move(info));
  }
  return infos;
}

// ---------------------------------------------------------------- ILogFileOwner

TDateTime TMultiSampler::GetMainDateTime(const TLogDefinition& aLogDef) {
  const TLock lock(FLockObj);
  const TMultiSamplerSession* main = aLogDef.Count() > 0 ? FindMultiSession(aLogDef.Definition(0)) : nullptr;
  if (main) return main->Session().GetDateTime();
  return PcLogDateTime(ClockOf(FConfig), false);
}

std::string TMultiSampler::GetTimeString() {
  const TLock lock(FLockObj);
  return PcLogTimeString(ClockOf(FConfig), FConfig.Time);
}

TDateTime TMultiSampler::GetPcDateTime() {
  const TLock lock(FLockObj);
  return PcLogDateTime(ClockOf(FConfig), FConfig.Time.ZoneUTC);
}

std::string TMultiSampler::FormatLineTime(TDateTime time) {
  const TLock lock(FLockObj);
  return FormatLogTime(FConfig.Time.Format, time);
}

std::vector<std::string> TMultiSampler::GetHeader(const TLogDefinition& aLogDef, const std::string& reason) {
  const TLock lock(FLockObj);
  return LogHeaderLines(aLogDef, SourceInfos(aLogDef), FConfig.Time, reason);
}

void TMultiSampler::AddLogMessage(TMsgType type, int32_t code, const std::string& text) {
  if (FConfig.OnMsg) FConfig.OnMsg(type, code, text);
}

void TMultiSampler::ResetProtocolItems(int defIndex) {
  const TLock lock(FLockObj);
  Log(".ResetProtocolItem " + std::to_string(defIndex));
  for (auto& session : FSessionList) session->ResetProtocolItems(defIndex);
}

// ---------------------------------------------------------------- definitions

int TMultiSampler::AddDefinition(std::unique_ptr<TLogDefinition> aLogDef) {
  const TLock lock(FLockObj);
  const int dIndex = NextDefIndex();
  Log(".BaseAddDefinition " + std::to_string(dIndex));
  auto writer = std::make_unique<TMultiSamplerDefinition>(FConfig.LogId, std::move(aLogDef), *this, dIndex,
                                                          FConfig.DecimalSeparator, FConfig.ProgramFolder,
                                                          FConfig.FileFactory);
  if (dIndex == static_cast<int>(FDefinitionList.size()))
    FDefinitionList.push_back(std::move(writer));
  else
    FDefinitionList[static_cast<size_t>(dIndex)] = std::move(writer);
  // A folder that cannot be made shows up as an error when the first line opens the file.
  const std::string folderError =
      CheckLogFolder(SplitLogFilePattern(Writer(dIndex)->LogDef().FileName(), FConfig.ProgramFolder).Folder);
  if (!folderError.empty()) LogError(FConfig.LogId, FDbgTag + ".BaseAddDefinition " + folderError);
  DefinitionsChanged();
  return dIndex;
}

void TMultiSampler::ChangeDefinition(int dIndex, std::unique_ptr<TLogDefinition> aLogDef) {
  const TLock lock(FLockObj);
  Log(".BaseChangeDefinition " + std::to_string(dIndex));
  TMultiSamplerDefinition* writer = Writer(dIndex);
  if (!writer) return;
  writer->ChangeDef(std::move(aLogDef));
  DefinitionsChanged();
}

void TMultiSampler::RemoveDefinition(int dIndex) {
  const TLock lock(FLockObj);
  Log(".BaseRemoveDefinition " + std::to_string(dIndex));
  if (!Writer(dIndex)) return;
  SetEnabled(dIndex, false);
  FDefinitionList[static_cast<size_t>(dIndex)].reset();
  DefinitionsChanged();
}

void TMultiSampler::SetEnabled(int dIndex, bool Value) {
  const TLock lock(FLockObj);
  Log(".BaseSetEnabled " + std::to_string(dIndex) + " " + (Value ? "True" : "False"));
  TMultiSamplerDefinition* writer = Writer(dIndex);
  if (!writer) return;
  writer->SetEnabled(Value, {});
  DefinitionsChanged();
}

void TMultiSampler::SetAddHeader(int dIndex, bool Value) {
  const TLock lock(FLockObj);
  if (TMultiSamplerDefinition* writer = Writer(dIndex)) writer->SetAddHeader(Value);
}

std::unique_ptr<TLogDefinition> TMultiSampler::Definition(int dIndex) const {
  const TLock lock(FLockObj);
  const TMultiSamplerDefinition* writer = Writer(dIndex);
  return writer ? std::make_unique<TLogDefinition>(writer->LogDef()) : nullptr;
}

int TMultiSampler::DefinitionCount() const {
  const TLock lock(FLockObj);
  return static_cast<int>(FDefinitionList.size());
}

int TMultiSampler::NextDefIndex() const {
  const TLock lock(FLockObj);
  for (size_t d = 0; d < FDefinitionList.size(); ++d)
    if (!FDefinitionList[d]) return static_cast<int>(d);
  return static_cast<int>(FDefinitionList.size());
}

bool TMultiSampler::TimeSynchroNeeded(int dIndex) const {
  const TLock lock(FLockObj);
  const TMultiSamplerDefinition* writer = Writer(dIndex);
  return writer && writer->TimeSynchroNeeded();
}

std::string TMultiSampler::FileName(int dIndex) const {
  const TLock lock(FLockObj);
  const TMultiSamplerDefinition* writer = Writer(dIndex);
  return writer && writer->IsOpen() ? writer->FileName() : std::string();
}

bool TMultiSampler::LogFileActive() const {
  const TLock lock(FLockObj);
  for (const auto& writer : FDefinitionList)
    if (writer && writer->LogDef().Enabled()) return true;
  return false;
}

void TMultiSampler::BeginUpdate() {
  const TLock lock(FLockObj);
  FUpdateCounter += 1;
  Log(".BeginUpdate Counter=" + std::to_string(FUpdateCounter));
}

void TMultiSampler::EndUpdate() {
  const TLock lock(FLockObj);
  if (FUpdateCounter <= 0) return;
  FUpdateCounter -= 1;
  Log(".EndUpdate Counter=" + std::to_string(FUpdateCounter));
  if (FUpdateCounter > 0 || !FLogDefinitionsChangeNeeded) return;
  Log(".EndUpdate Changes done -> react");
  FLogDefinitionsChangeNeeded = false;
  LogDefinitionsChanged(-1, false);
}

// A change waits for the last EndUpdate while an update is open.
void TMultiSampler::DefinitionsChanged() {
  if (FUpdateCounter > 0) {
    FLogDefinitionsChangeNeeded = true;
    return;
  }
  LogDefinitionsChanged(-1, false);
}

void TMultiSampler::TransformLinComb(int32_t sIndex, int32_t virtLC1, int32_t virtLC2) {
  const std::string tag = ".TransformLinComb[" + std::to_string(sIndex) + "/False]";
  const std::string none(kLogChannels, '0');
  const auto ofSource = [&](const TSimpleLogDefinition& simple, TSamplerStringClass aClass) {
    return simple.SessionIndex() == sIndex && !simple.SourceCopy() && simple.StringClass() == aClass;
  };
  for (int d = 0; d < DefinitionCount(); ++d) {
    std::unique_ptr<TLogDefinition> def = Definition(d);
    Log(tag + " DefinitionList.Count=" + std::to_string(def ? def->Count() : 0));
    if (!def) continue;
    std::vector<int> marked;
    for (int i = 0; i < def->Count(); ++i) {
      const TSimpleLogDefinition& simple = def->Definition(i);
      if (!ofSource(simple, sscStandard) || !(simple.IsEnabled(2, 1) || simple.IsEnabled(2, 2))) continue;
      Log(tag + " found LinComb dIndex=" + std::to_string(d) + " simple=" + simple.ToString());
      marked.push_back(i);
    }
    if (marked.empty()) {
      Log(tag + " no LinComb definitione for dIndex=" + std::to_string(d));
      continue;
    }
    TSimpleLogDefinition* virt = nullptr;
    for (int i = 0; i < def->Count() && !virt; ++i)
      if (ofSource(def->Definition(i), sscVirtual)) virt = &def->Definition(i);
    std::string marks = virt ? virt->LogEnabledString(1) : none;
    for (const int32_t n : {virtLC1, virtLC2}) {
      if (n <= 0 || n > kLogChannels) continue;
      marks[static_cast<size_t>(n - 1)] = '1';
      Log(tag + " enable virtual channel " + std::to_string(n));
    }
    if (!virt) {
      Log(tag + " create new virtual channel definition for dIndex=" + std::to_string(d));
      virt = &def->AddDefinition();
      virt->SetSessionIndex(sIndex);
      virt->SetStringClass(sscVirtual);
    }
    virt->SetLogEnabledString(1, marks);
    virt->SetHasLogType(kLogTypeFreqAbsVirtual);
    for (const int i : marked) {
      def->Definition(i).SetLogEnabledString(2, none);
      Log(tag + " clear LinComb dIndex=" + std::to_string(d) + " simple=" + def->Definition(i).ToString());
    }
    ChangeDefinition(d, std::move(def));
  }
  LogDefinitionsChanged(sIndex, false);
}

void TMultiSampler::ReadSettings(TAppSettings& settings) {
  Log(".BaseReadSettings");
  BeginUpdate();
  for (auto& def : ReadLogDefinitions(settings)) AddDefinition(std::move(def));
  EndUpdate();
  Log(".BaseReadSettings END");
}

void TMultiSampler::SaveSettings(TAppSettings& settings) const {
  const TLock lock(FLockObj);
  std::vector<const TLogDefinition*> definitions;
  for (const auto& writer : FDefinitionList) definitions.push_back(writer ? &writer->LogDef() : nullptr);
  SaveLogDefinitions(settings, definitions);
}

void TMultiSampler::SetTimeSettings(const TLogTimeSettings& time) {
  const TLock lock(FLockObj);
  FConfig.Time = time;
}

// ---------------------------------------------------------------- sources

bool TMultiSampler::RemoveSimpleDefinitions(int dIndex, const std::function<bool(const TSimpleLogDefinition&)>& gone) {
  TMultiSamplerDefinition* writer = Writer(dIndex);
  if (!writer) return false;
  auto def = std::make_unique<TLogDefinition>(writer->LogDef());
  bool removed = false;
  for (int i = def->Count() - 1; i >= 0; --i) {
    if (!gone(def->Definition(i))) continue;
    Log(".BaseUpdateSessionList remove simple: sIndex=" + std::to_string(def->Definition(i).SessionIndex()) + "/" +
        CopyFlag(def->Definition(i).SourceCopy()));
    def->RemoveDefinition(i);
    removed = true;
  }
  if (!removed) return false;
  if (def->Count() == 0) {
    Log(".BaseUpdateSessionList remove definition " + std::to_string(dIndex));
    RemoveDefinition(dIndex);
  } else {
    writer->ChangeDef(std::move(def));
  }
  return true;
}

void TMultiSampler::UpdateSessionList(const std::vector<ISamplerSource*>& list) {
  const TLock lock(FLockObj);
  if (list.empty()) {
    Log(".BaseUpdateSessionList no sessions -> delete sessions");
    FSessionList.clear();
    Log(".BaseUpdateSessionList no sessions -> delete definitions");
    FDefinitionList.clear();
    return;
  }
  Log(".BaseUpdateSessionList Count: ist=" + std::to_string(FSessionList.size()) +
      ", soll=" + std::to_string(list.size()));
  auto inList = [&list](int32_t sIndex, bool sCopy) {
    for (const ISamplerSource* s : list)
      if (s->Index() == sIndex && s->IsCopy() == sCopy) return true;
    return false;
  };
  bool changed = false;
  BeginUpdate();
  for (int d = static_cast<int>(FDefinitionList.size()) - 1; d >= 0; --d)
    changed = RemoveSimpleDefinitions(d, [&](const TSimpleLogDefinition& s) {
                return !inList(s.SessionIndex(), s.SourceCopy());
              }) || changed;
  std::erase_if(FSessionList, [&list](const auto& entry) {
    for (const ISamplerSource* s : list)
      if (s == &entry->Session()) return false;
    return true;
  });
  for (ISamplerSource* source : list) {
    bool known = false;
    for (const auto& entry : FSessionList) known = known || &entry->Session() == source;
    if (known) continue;
    FSessionList.push_back(std::make_unique<TMultiSamplerSession>(FConfig.LogId, *source));
    changed = true;
  }
  if (changed) FLogDefinitionsChangeNeeded = true;
  EndUpdate();
}

void TMultiSampler::DetachSession(const ISamplerSource& source) {
  const TLock lock(FLockObj);
  CloseFilesSession(source.Index(), source.IsCopy());
  std::erase_if(FSessionList, [&source](const auto& entry) { return &entry->Session() == &source; });
}

void TMultiSampler::RemoveSession(int32_t sIndex) {
  const TLock lock(FLockObj);
  Log(".RemoveSession Index " + std::to_string(sIndex));
  BeginUpdate();
  bool changed = false;
  for (int d = static_cast<int>(FDefinitionList.size()) - 1; d >= 0; --d)
    changed = RemoveSimpleDefinitions(d, [sIndex](const TSimpleLogDefinition& s) { return s.SessionIndex() == sIndex; }) ||
              changed;
  std::erase_if(FSessionList, [sIndex](const auto& entry) { return entry->Session().Index() == sIndex; });
  if (changed) FLogDefinitionsChangeNeeded = true;
  EndUpdate();
}

void TMultiSampler::CloseFilesSession(int32_t sIndex, bool sCopy) {
  const TLock lock(FLockObj);
  for (auto& writer : FDefinitionList)
    if (writer && writer->LogDef().HasDefinition(sIndex, sCopy, -1, 0))
      CloseDefinition(*writer, std::string("Source ") + static_cast<char>('A' + sIndex) + " closed");
}

void TMultiSampler::Stop() {
  const TLock lock(FLockObj);
  for (auto& writer : FDefinitionList) {
    if (!writer) continue;
    try {
      writer->Close();
    } catch (const std::exception& e) {
      LogException(FConfig.LogId, FDbgTag + ".Stop close failed", e);
    }
  }
  FSessionList.clear();
}
