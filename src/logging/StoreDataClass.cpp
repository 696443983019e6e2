#include "logging/StoreDataClass.h"

#include <algorithm>
#include <filesystem>

#include "core/App_Settings.h"
#include "core/AtomicFile.h"
#include "core/LogUnit.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const LockName = "Measuring Data Write Access is exclusive";
// A restart file naming more minute files than a day has is damaged.
constexpr int32_t MaxListedFiles = 24 * 60;

std::string WithSlash(std::string path) {
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
  return path;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// A damaged count reads as none.
int32_t Count(TAppSettings& ini, const std::string& key) {
  try {
    return ini.GetValue(key, int32_t(0));
  } catch (const EConvertError&) {
    return 0;
  }
}

}  // namespace

TStoreDataClass::TStoreDataClass(int aLogId, const std::string& aRootPath, const TClock& clock,
                                 const std::string& programPath)
    : FLogId(aLogId),
      FClock(clock),
      FArchivePath(WithSlash(aRootPath) + "MeasuringData_Archive/"),
      FCurrentPath(WithSlash(aRootPath) + "MeasuringData_Current/"),
      FRootPath(WithSlash(aRootPath)),
      FLoader(aLogId),
      FLock(FRootPath + LockName, programPath) {
  Debug("### Store.RootPath=" + FRootPath);
  TakeFolder(programPath);
  ReadRestartFile();
}

TStoreDataClass::~TStoreDataClass() {
  ForceSaveData();
  if (FLock.Release()) Debug("### Store.UnLockExclusive File deleted: " + FLock.FileName());
}

void TStoreDataClass::Debug(const std::string& text) const { LogIt(FLogId, text); }

void TStoreDataClass::Error(const std::string& text) const {
  if (FOnError)
    FOnError(text);
  else
    LogError(FLogId, "### Store" + text);
}

void TStoreDataClass::SetOnError(TNotifyError handler) {
  FOnError = handler;
  FLoader.SetOnError(std::move(handler));
}

void TStoreDataClass::TakeFolder(const std::string& programPath) {
  std::error_code ec;
  fs::create_directories(FRootPath, ec);
  std::string previous;
  if (!FLock.Take(previous)) {
    const std::string text = "Storage Root Directory " + FRootPath + " is already used by " + previous;
    Error("." + text);
    throw EStoreDataLocked(text);
  }
  if (previous == programPath) Debug(".CheckExclusive: Delete own old exclusive file " + previous);
  Debug("### Store.LockExclusive File created: " + FLock.FileName());
}

bool TStoreDataClass::CreateFolders() {
  for (const std::string& path : {FArchivePath, FCurrentPath}) {
    if (Exists(path)) continue;
    std::error_code ec;
    if (!fs::create_directories(path, ec)) {
      Error(" Can't create folder: " + path + "\r\n" + ec.message());
      return false;
    }
    Debug(path == FArchivePath ? "### Store.Archivepath created: " + path : "### Store.Currentpath created: " + path);
  }
  return true;
}

void TStoreDataClass::SetStorageEnabled(bool value) {
  if (value == FStorageEnabled) return;
  FStorageEnabled = value;
  FCheckDirectories = !value || !CreateFolders();
}

std::string TStoreDataClass::GetArchiveFilename(TArchiveTime aStamp) const {
  return FArchivePath + ArchiveStampText(HourStart(aStamp)) + ".dat";
}

bool TStoreDataClass::IsArchiveData(TArchiveTime aStamp) const { return Exists(GetArchiveFilename(aStamp)); }

std::string TStoreDataClass::CurrentFileName(TArchiveTime minute) const {
  return FCurrentPath + ArchiveStampText(minute) + ".dat";
}

void TStoreDataClass::TakeData(const std::string& Data) {
  if (!FStorageEnabled || Data.empty()) return;
  const TArchiveTime now = ArchiveTimeOf(FClock.Wall());
  if (FCheckDirectories) FCheckDirectories = !CreateFolders();
  // The item that closes a minute belongs to the next one: the minute is written first.
  if (FMinuteBegun && now >= FCurrentStartTime + 1min) CloseMinute();
  if (!FMinuteBegun) BeginMinute(now);
  FData += Data;
  ++FDataCount;
  FLastItemTime = now;
}

void TStoreDataClass::CloseMinute() {
  if (!SaveCurrentFile()) return;  // the items stay and go out with the next attempt
  FData.clear();
  FDataCount = 0;
  FMinuteBegun = false;
}

void TStoreDataClass::BeginMinute(TArchiveTime now) {
  FCurrentStartTime = MinuteStart(now);
  FStartCurrentTime = now;
  FCurrentFilename = CurrentFileName(FCurrentStartTime);
  FMinuteBegun = true;
  // The hour rolls whenever it changes, also after a gap that skipped its first minutes.
  if (!FArchiveList.empty() && HourStart(now) != FArchiveHour && SaveArchive(FArchiveList, true))
    FArchiveList.clear();
  if (FArchiveList.empty()) {
    FArchiveHour = HourStart(now);
    FArchiveFilename = GetArchiveFilename(now);
  }
}

bool TStoreDataClass::SaveCurrentFile() {
  const TStoreDataRecord rec{ArchiveToDateTime(FStartCurrentTime), ArchiveToDateTime(FLastItemTime), FData};
  Debug("### Store.SaveToFile: " + FCurrentFilename);
  if (const std::string error = WriteFileAtomically(FCurrentFilename, StoreDataRecordBytes(rec)); !error.empty()) {
    Error(" Error on saving current file: " + FCurrentFilename + "\r\n" + error);
    return false;
  }
  if (std::find(FArchiveList.begin(), FArchiveList.end(), FCurrentFilename) == FArchiveList.end())
    FArchiveList.push_back(FCurrentFilename);
  return true;
}

bool TStoreDataClass::SaveArchive(const std::vector<std::string>& files, bool deleteFiles) {
  Debug("### Store.SaveArchive: " + FArchiveFilename);
  std::string content;
  // An earlier write of this hour (before a restart) keeps its records: this one appends.
  if (Exists(FArchiveFilename) && !FLoader.LoadFromFile(FArchiveFilename, content)) return false;
  for (const std::string& file : files) {
    std::string minute;
    if (FLoader.LoadFromFile(file, minute))
      content += minute;
    else
      Error(".SaveArchive: Can't read file: " + file);
  }
  if (const std::string error = WriteFileAtomically(FArchiveFilename, content); !error.empty()) {
    Error(" Error on saving archive file: " + FArchiveFilename + "\r\n" + error);
    return false;
  }
  if (!deleteFiles) return true;
  for (const std::string& file : files) {
    std::error_code ec;
    if (fs::remove(file, ec)) Debug("### SaveArchive: File deleted: " + file);
  }
  return true;
}

void TStoreDataClass::ForceSaveData() {
  if (!FLock.Held()) return;
  if (FMinuteBegun && !FData.empty()) SaveCurrentFile();
  // Finished minutes go into the hour's archive now, so that it can be replayed; only the running
  // minute stays listed for a restart to continue.
  std::vector<std::string> finished;
  for (const std::string& file : FArchiveList)
    if (!FMinuteBegun || file != FCurrentFilename) finished.push_back(file);
  if (!finished.empty() && SaveArchive(finished, true))
    std::erase_if(FArchiveList, [&](const std::string& f) {
      return std::find(finished.begin(), finished.end(), f) != finished.end();
    });
  WriteRestartFile();
}

void TStoreDataClass::WriteRestartFile() {
  if (!Exists(FCurrentPath)) return;
  TAppSettings ini;
  if (FMinuteBegun) ini.SetValue("CurrentStartTime", ArchiveStampText(FCurrentStartTime));
  ini.SetValue("DataListCount", FDataCount);
  ini.SetValue("ArchivFileName", FArchiveFilename);
  ini.SetValue("ArchivListCount", int32_t(FArchiveList.size()));
  for (size_t i = 0; i < FArchiveList.size(); ++i) ini.SetValue("CurrentFile" + std::to_string(i + 1), FArchiveList[i]);
  try {
    ini.SaveSettings(RestartFileName());
  } catch (const ESettingsFileError& e) {
    Error(" Error on saving restart file: " + RestartFileName() + "\r\n" + e.what());
  }
}

bool TStoreDataClass::IsOwnMinuteFile(const std::string& path, TArchiveTime& minute) const {
  if (path.size() != FCurrentPath.size() + 19 || path.rfind(FCurrentPath, 0) != 0 || !path.ends_with(".dat"))
    return false;
  const auto stamp = ParseArchiveStamp(path.substr(FCurrentPath.size(), 15));
  if (stamp) minute = *stamp;
  return stamp.has_value();
}

void TStoreDataClass::ReadRestartFile() {
  const std::string name = RestartFileName();
  if (!Exists(name)) return;
  TAppSettings ini;
  try {
    ini.LoadFromFile(name);
  } catch (const ESettingsFileError& e) {
    Error(" Error on reading restart file: " + name + "\r\n" + e.what());
    return;
  }
  // Used once: a later start must not continue from the same state again.
  std::error_code ec;
  fs::remove(name, ec);
  const auto iniStart = ParseArchiveStamp(ini.TryGetValue("CurrentStartTime").value_or(""));
  const int32_t dataCount = Count(ini, "DataListCount");
  const int32_t listCount = std::clamp(Count(ini, "ArchivListCount"), 0, MaxListedFiles);
  // Only minute files of this store's own folder are taken over (they are deleted later).
  for (int32_t i = 1; i <= listCount; ++i) {
    const std::string file = ini.TryGetValue("CurrentFile" + std::to_string(i)).value_or("");
    TArchiveTime minute{};
    if (!IsOwnMinuteFile(file, minute) || !Exists(file)) continue;
    if (FArchiveList.empty()) FArchiveHour = HourStart(minute);
    if (HourStart(minute) == FArchiveHour) FArchiveList.push_back(file);
  }
  if (FArchiveList.empty()) return;
  FArchiveFilename = GetArchiveFilename(FArchiveHour);
  const TArchiveTime now = ArchiveTimeOf(FClock.Wall());
  if (iniStart) RestoreMinute(*iniStart, dataCount, now);
  if (FArchiveHour < HourStart(now) && SaveArchive(FArchiveList, true)) FArchiveList.clear();
}

// The minute that was running at shutdown goes on when the store starts again within it.
void TStoreDataClass::RestoreMinute(TArchiveTime iniStart, int32_t dataCount, TArchiveTime now) {
  const std::string file = CurrentFileName(iniStart);
  if (dataCount < 1 || MinuteStart(now) != iniStart || FArchiveList.back() != file) return;
  std::vector<TStoreDataRecord> records;
  if (!FLoader.LoadFromFile(file, records) || records.size() != 1) return;
  FArchiveList.pop_back();
  FMinuteBegun = true;
  FCurrentStartTime = iniStart;
  FCurrentFilename = file;
  FStartCurrentTime = DateTimeToArchive(records[0].StartTime);
  FLastItemTime = DateTimeToArchive(records[0].EndTime);
  FData = std::move(records[0].Data);
  FDataCount = dataCount;
}
