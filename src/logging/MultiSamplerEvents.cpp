// The multi-sampler: definitions change, time synchronisation of several counters, session events,
// warnings and option changes.
#include <algorithm>

#include "core/LogUnit.h"
#include "logging/MultiSampler.h"

namespace {
std::string CopyFlag(bool sCopy) { return sCopy ? "True" : "False"; }
bool HasCounterTypes(const TSimpleLogDefinition& simple) {
  return (simple.LogTypes() & (kCounterLogTypes | kVirtualCounterLogTypes)) != 0;
}
}  // namespace

// ---------------------------------------------------------------- definitions change

void TMultiSampler::LogDefinitionsChanged(int32_t sIndex, bool sCopy) {
  Log(".BaseLogDefinitionsChanged ProtocolFileCount=" + std::to_string(FDefinitionList.size()));
  for (auto& session : FSessionList) {
    if (sIndex != -1 && (session->Session().Index() != sIndex || session->Session().IsCopy() != sCopy)) continue;
    session->SetProtocolsInvalid();
    session->Session().ResetSamplerLogTypes();
  }
  for (int d = 0; d < static_cast<int>(FDefinitionList.size()); ++d) {
    TMultiSamplerDefinition* writer = Writer(d);
    if (!writer || !writer->LogDef().Enabled()) {
      for (auto& session : FSessionList) session->RemoveProtocolItems(d);
      continue;
    }
    const TLogDefinition& def = writer->LogDef();
    if (sIndex != -1 && !def.HasDefinition(sIndex, sCopy, -1, 0)) {
      Log(".BaseLogDefinitionsChanged skip dIndex=" + std::to_string(d) + ": no sIndex=" + std::to_string(sIndex));
      continue;
    }
    const TMultiSamplerSession* main = def.Count() > 0 ? FindMultiSession(def.Definition(0)) : nullptr;
    if (!main) continue;
    const int32_t a = main->Session().IntervalMs();
    writer->SetTimeSynchroNeeded(false);
    for (int i = 0; i < def.Count(); ++i) {
      const TSimpleLogDefinition& simple = def.Definition(i);
      TMultiSamplerSession* session = FindMultiSession(simple);
      if (!session) continue;
      session->Session().AddSamplerLogTypes(simple.LogTypes());
      const int32_t b = session->Session().IntervalMs();
      // The report factor lives in the read position: how many reports of the source make one line.
      const double factor = static_cast<double>(a) / (b > 0 ? b : 1);
      Log(".BaseLogDefinitionsChanged dIndex=" + std::to_string(d) + ", simple=" + std::to_string(i) + ": " +
          simple.ToString() + " (mainInterval=" + std::to_string(a) + ", simpleInterval=" + std::to_string(b) + ")");
      session->AddProtocolItem(d, simple.StringClass(), simple.LogTypes(), factor);
    }
  }
  for (auto& session : FSessionList) session->UpdateHasLogCount();
  UpdateTimeSynchro();
  Log(".BaseLogDefinitionsChanged END");
}

// ---------------------------------------------------------------- time synchronisation

// A simple definition with counter values of a counter session, in the standard or virtual class.
bool TMultiSampler::IsCounterPart(const TSimpleLogDefinition& simple) const {
  if (!HasCounterTypes(simple)) return false;
  const TMultiSamplerSession* session = FindMultiSession(simple);
  return session && session->Session().IsCounter();
}

void TMultiSampler::UpdateTimeSynchro() {
  for (int d = 0; d < static_cast<int>(FDefinitionList.size()); ++d) {
    TMultiSamplerDefinition* writer = Writer(d);
    if (!writer || !writer->LogDef().Enabled()) continue;
    const TLogDefinition& def = writer->LogDef();
    int n = 0;
    for (int i = 0; i < def.Count(); ++i) {
      const TSimpleLogDefinition& simple = def.Definition(i);
      const bool classOk = simple.StringClass() == sscStandard || simple.StringClass() == sscVirtual;
      if (classOk && IsCounterPart(simple)) ++n;
    }
    if (n <= 1) continue;
    Log(".UpdateTimeSynchro dIndex=" + std::to_string(d) + ", zctCount=" + std::to_string(n) + " -> TimeSynchroNeeded");
    for (auto& session : FSessionList) {
      if (!session->Session().IsCounter() || session->Session().IntervalCounterOnly()) continue;
      for (TSamplerStringClass aClass : {sscStandard, sscVirtual}) {
        TMultiProtocolItem* item = session->Item(d, aClass);
        if (!item) continue;
        if (item->FSerialNumber == kSamplerSerialUnknown) item->FSerialNumber = session->Session().SerialNumber();
        item->SetTimeSynchroNeeded(true);
      }
    }
    writer->SetTimeSynchroNeeded(true);
  }
}

void TMultiSampler::AddTimeStamp(int32_t sIndex, bool sCopy, int64_t aTimeStamp) {
  const TLock lock(FLockObj);
  if (FDefinitionList.empty()) return;
  TMultiSamplerSession* session = GetMultiSession(sIndex, sCopy);
  if (!session) return;
  Log(".BaseAddTimeStamp[" + std::to_string(sIndex) + "/" + CopyFlag(sCopy) + "] TimeStamp=" + std::to_string(aTimeStamp));
  session->SetTimeStamp(static_cast<int32_t>(aTimeStamp));
}

// Counters send their time stamps at moments of their own, so the newest stamp of one may be a
// stamp ahead of another's. The first line starts at the newest stamp every waiting counter has
// seen with the report after it, so each line pairs the reports of one instant.
bool TMultiSampler::AlignFirstLine(int dIndex) {
  const TLogDefinition& def = Writer(dIndex)->LogDef();
  struct TWaiting {
    TMultiProtocolItem* Item;
    int Count;
  };
  std::vector<TWaiting> waiting;
  for (int i = 0; i < def.Count(); ++i) {
    const TSimpleLogDefinition& simple = def.Definition(i);
    if (!IsCounterPart(simple)) continue;
    TMultiSamplerSession& session = *FindMultiSession(simple);
    TMultiProtocolItem* item = session.Item(dIndex, simple.StringClass());
    if (item && item->FTimeSynchroNeeded && !item->FfirstLineDone)
      waiting.push_back({item, session.ReportStrings(simple.StringClass()).Count()});
  }
  if (waiting.size() < 2) return true;
  const auto& stamps = waiting.front().Item->FStampIndexes;
  for (auto it = stamps.rbegin(); it != stamps.rend(); ++it) {
    const bool everyReport = std::all_of(waiting.begin(), waiting.end(), [&](const TWaiting& w) {
      const int32_t index = w.Item->StampIndex(it->first);
      return index >= 0 && index + 10 <= w.Count;
    });
    if (!everyReport) continue;
    for (TWaiting& w : waiting) w.Item->FTimeIndex = w.Item->StampIndex(it->first);
    Log(".CheckTimeSynchro dIndex=" + std::to_string(dIndex) + ", first line at TimeStamp=" + std::to_string(it->first));
    return true;
  }
  Log(".CheckTimeSynchro dIndex=" + std::to_string(dIndex) + ": no common time stamp");
  return false;
}

bool TMultiSampler::CheckTimeSynchro(int dIndex) {
  if (!AlignFirstLine(dIndex)) return false;
  const TLogDefinition& def = Writer(dIndex)->LogDef();
  const bool open = Writer(dIndex)->IsOpen();
  const std::string tag = ".CheckTimeSynchro dIndex=" + std::to_string(dIndex);
  int64_t serial = -1;
  int64_t refStamp = -1;
  int64_t start = -1;
  int64_t max = -1;
  int32_t refCount = 0;
  int32_t refTimeIndex = 0;
  for (int i = 0; i < def.Count(); ++i) {
    const TSimpleLogDefinition& simple = def.Definition(i);
    if (!IsCounterPart(simple)) continue;
    TMultiSamplerSession& session = *FindMultiSession(simple);
    const std::string where = tag + ", simple=" + std::to_string(i) + ", session=" + std::to_string(simple.SessionIndex());
    const uint32_t sessionSerial = session.Session().SerialNumber();
    if (sessionSerial == kSamplerSerialUnknown) {
      Log(tag + ", sIndex=" + std::to_string(simple.SessionIndex()) + ", missing serial number");
      return false;
    }
    TMultiProtocolItem* item = session.Item(dIndex, simple.StringClass());
    if (!item) return false;
    if (item->FSerialNumber == kSamplerSerialUnknown) item->FSerialNumber = sessionSerial;
    if (!def.DifferentDevices()) {
      if (refStamp == -1 || session.TimeStamp() < refStamp) {
        refStamp = session.TimeStamp();
        if (serial == -1) serial = item->FSerialNumber;
      }
      if (start == -1 || item->FTimeStampStartValue > start) {
        start = item->FTimeStampStartValue;
        max = start + item->FTimeStampCount - 1;
      }
    }
    const int count = session.ReportStrings(simple.StringClass()).Count();
    if (!item->FTimeSynchroNeeded || item->FfirstLineDone) {
      if (item->NextDataIndex() >= count) {
        Log(where + ": missing report: soll(NextDataIndex)=" + std::to_string(item->NextDataIndex()) +
            ", ist(Count)=" + std::to_string(count));
        return false;
      }
    } else if (item->FTimeIndex < 0) {
      Log(where + ": no timestamp");
      return false;
    } else if (count < item->FTimeIndex + 10) {
      Log(where + ": missing report for timestamp: soll(need)=" + std::to_string(item->FTimeIndex + 10) +
          " TimeIndex=" + std::to_string(item->FTimeIndex) + ", ist(Count)=" + std::to_string(count));
      return false;
    }
    if (def.DifferentDevices()) {
      serial = -1;
      for (int k = i - 1; k >= 0; --k) {
        const TSimpleLogDefinition& earlier = def.Definition(k);
        TMultiSamplerSession* other = FindMultiSession(earlier);
        if (!other || !other->Session().IsCounter() || other->Session().SerialNumber() != item->FSerialNumber) continue;
        const TMultiProtocolItem* otherItem = other->Item(dIndex, earlier.StringClass());
        if (!otherItem) continue;
        serial = item->FSerialNumber;
        refStamp = other->TimeStamp();
        start = otherItem->FTimeStampStartValue;
        max = start + otherItem->FTimeStampCount - 1;
      }
    }
    if (serial != static_cast<int64_t>(item->FSerialNumber)) continue;
    if (refStamp < start || refStamp > max) {
      Log(where + ": ungleiche Zeitstempel: soll=" + std::to_string(start) + "..." + std::to_string(max) +
          " ist=" + std::to_string(refStamp));
      return false;
    }
    if (!open) continue;
    if (refCount == 0) {
      refCount = item->FTimeStampCount;
      refTimeIndex = item->FTimeIndex;
    } else if (item->FTimeStampCount != refCount &&
               ((refCount > item->FTimeStampCount && item->FTimeIndex != -1) ||
                (refCount < item->FTimeStampCount && refTimeIndex != -1))) {
      Log(where + ": ungleiche Anzahl Zeitstempel: soll=" + std::to_string(refCount) + "/" +
          std::to_string(refTimeIndex) + ", ist=" + std::to_string(item->FTimeStampCount) + "/" +
          std::to_string(item->FTimeIndex));
      return false;
    }
  }
  Log(tag + " ok");
  return true;
}

// ---------------------------------------------------------------- session events

std::string TMultiSampler::GetUpdateText(int32_t sIndex, int32_t what) const {
  const char* text = "";
  switch (what) {
    case 1: case 2: text = "Header changed"; break;
    case 3: text = "Measurement settings changed"; break;
    case 4: text = "Data cleared"; break;
    case 6: text = "Virtual definitions changed"; break;
    case 7: text = "One or more lines lost due to ZCT transmit buffer overflow"; break;
    case 9: text = "Device error message received"; break;
    case 10: text = "IVC Channels changed"; break;
    case 11: text = "IVC Data cleared"; break;
    case 12: text = "closed"; break;
    case 13: text = "Reference clock error"; break;
    case 14: text = "IVC Calibration Data changed"; break;
    case 16: return "Loss of data";
    case 17: return "HRQ Data changed";
    default: return {};
  }
  return std::string("Source ") + static_cast<char>('A' + sIndex) + " " + text;
}

bool TMultiSampler::IsAffected(const TLogDefinition& def, int32_t sIndex, int32_t what, bool sCopy) const {
  for (int i = 0; i < def.Count(); ++i) {
    const TSimpleLogDefinition& simple = def.Definition(i);
    if (simple.SessionIndex() != sIndex || simple.SourceCopy() != sCopy) continue;
    const TMultiSamplerSession* session = FindMultiSession(simple);
    const bool counter = session && session->Session().IsCounter();
    switch (what) {
      case 1: if (HasCounterTypes(simple)) return true; break;
      case 2: case 5: return true;
      case 3: if (HasCounterTypes(simple) && counter) return true; break;
      case 9: if (counter) return true; break;
      case 10: if (simple.LogTypes() & kIntervalLogTypes) return true; break;
      default: break;
    }
  }
  return false;
}

// The next line opens a new file whose header carries the reason.
void TMultiSampler::CloseDefinition(TMultiSamplerDefinition& writer, const std::string& reason) {
  writer.Close(reason);
}

void TMultiSampler::UpdateSession(int32_t sIndex, bool sCopy, int32_t what, const std::string& text) {
  const TLock lock(FLockObj);
  TMultiSamplerSession* session = GetMultiSession(sIndex, sCopy);
  if (!session) return;
  const std::string reason = text.empty() ? GetUpdateText(sIndex, what) : text;
  Log(".UpdateSession[" + std::to_string(sIndex) + "/" + CopyFlag(sCopy) + "] " +
      (reason.empty() ? std::to_string(what) : reason));
  auto closeItemsOf = [&](const std::function<bool(const TLogDefinition&)>& which) {
    for (int d = 0; d < static_cast<int>(FDefinitionList.size()); ++d) {
      TMultiSamplerDefinition* writer = Writer(d);
      if (writer && session->HasItems(d) && which(writer->LogDef())) CloseDefinition(*writer, reason);
    }
  };
  switch (what) {
    case SE_DataCleared:
    case SE_IVCDataCleared:
      session->ClearReportStrings();
      return;
    case SE_DataLost:
      session->ClearReportStrings();
      closeItemsOf([](const TLogDefinition&) { return true; });
      return;
    case SE_Closed:
    case SE_ClockError:
    case SE_Reconnected:
      session->ClearReportStrings();
      closeItemsOf([](const TLogDefinition&) { return true; });
      return;
    case SE_IVCCalibrationChanged:
      closeItemsOf([&](const TLogDefinition& def) {
        return def.HasDefinition(sIndex, sCopy, 4, 0) || def.HasDefinition(sIndex, sCopy, 5, 0);
      });
      return;
    case SE_HRQChanged:
      closeItemsOf([&](const TLogDefinition& def) {
        return def.HasDefinitionMask(sIndex, sCopy, kCounterLogTypes | kVirtualCounterLogTypes);
      });
      return;
    default:
      break;
  }
  if (FDefinitionList.empty()) return;
  bool headerChange = false;
  for (int d = 0; d < static_cast<int>(FDefinitionList.size()); ++d) {
    TMultiSamplerDefinition* writer = Writer(d);
    if (!writer || !session->HasItems(d)) continue;
    // The report factors follow the new interval even while the file is closed.
    if (what == SE_HeaderChanged) headerChange = true;
    if (!writer->IsOpen()) continue;
    const TLogDefinition& def = writer->LogDef();
    if (what == SE_VirtualChanged && def.HasStringClass(sIndex, sCopy, sscVirtual)) {
      CloseDefinition(*writer, reason);
      continue;
    }
    if (what == SE_NamesChanged && !def.AddHeader()) continue;
    if (what != SE_ReSyncOrLinesLost || def.AddHeader()) {
      if (IsAffected(def, sIndex, what, sCopy)) CloseDefinition(*writer, reason);
    } else {
      writer->WriteMessage(reason);
    }
  }
  if (headerChange) LogDefinitionsChanged(sIndex, false);
}

void TMultiSampler::AddWarning(int32_t sIndex, bool sCopy, const std::string& text) {
  const TLock lock(FLockObj);
  if (FDefinitionList.empty()) return;
  Log(".BaseAddWarning[" + std::to_string(sIndex) + "] " + text);
  for (auto& writer : FDefinitionList) {
    if (!writer || !writer->LogDef().Enabled() || !writer->LogDef().HasDefinition(sIndex, sCopy, -1, 0)) continue;
    if (writer->LogDef().AddHeader())
      CloseDefinition(*writer, text);
    else
      writer->WriteMessage(text);
  }
}

void TMultiSampler::UpdateOptions(int32_t what) {
  const TLock lock(FLockObj);
  for (auto& writer : FDefinitionList) {
    if (!writer) continue;
    if (what == 4) {
      const TLogDefinition& def = writer->LogDef();
      for (int i = 0; i < def.Count(); ++i) {
        const TMultiSamplerSession* session = FindMultiSession(def.Definition(i));
        if (session && !session->Session().IsCounter()) {
          CloseDefinition(*writer, "Temperature unit changed");
          break;
        }
      }
    } else if (what & (8 | 16 | 32)) {
      CloseDefinition(*writer, "Time settings changed");
    }
  }
}
