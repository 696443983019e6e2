#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ArchiveStamp.h"
#include "core/Clock.h"
#include "logging/StoreDataLoader.h"
#include "logging/StoreExclusiveLock.h"

// Another program (or another store) writes into the archive folder.
class EStoreDataLocked : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive of a data server: the items of each UTC minute go into one minute file of the current
// folder, and when the hour changes the minute files of the past hour are joined into that hour's
// archive file. Files are replaced by rename, never rewritten in place, and a second write of an
// hour's archive appends to it. A restart file lets a restarted store finish the minute and the hour
// it was in. Items come from one thread; other threads may only ask for and read archive files.
class TStoreDataClass {
 public:
  // Takes the folder's lock file and reads the restart file; throws EStoreDataLocked with "Storage
  // Root Directory " + root + " is already used by " + holder when another writer holds it.
  TStoreDataClass(int aLogId, const std::string& aRootPath, const TClock& clock,
                  const std::string& programPath = ProgramFilePath());
  // Saves what is pending (ForceSaveData) and releases the folder.
  ~TStoreDataClass();
  TStoreDataClass(const TStoreDataClass&) = delete;
  TStoreDataClass& operator=(const TStoreDataClass&) = delete;

  bool StorageEnabled() const { return FStorageEnabled; }
  void SetStorageEnabled(bool value);
  void TakeData(const std::string& Data);
  // Writes the items of the running minute, joins the finished minutes into the hour's archive and
  // writes the restart file.
  void ForceSaveData();

  std::string GetArchiveFilename(TArchiveTime aStamp) const;
  bool IsArchiveData(TArchiveTime aStamp) const;
  bool LoadFromFile(const std::string& filename, std::string& content) const {
    return FLoader.LoadFromFile(filename, content);
  }

  const std::string& RootPath() const { return FRootPath; }
  const std::string& ArchivePath() const { return FArchivePath; }
  const std::string& CurrentPath() const { return FCurrentPath; }
  std::string RestartFileName() const { return FCurrentPath + "StoreData.ini"; }
  const TStoreDataLoader& Loader() const { return FLoader; }
  void SetOnError(TNotifyError handler);

 private:
  void Debug(const std::string& text) const;
  void Error(const std::string& text) const;
  void TakeFolder(const std::string& programPath);
  bool CreateFolders();
  void BeginMinute(TArchiveTime now);
  void CloseMinute();
  std::string CurrentFileName(TArchiveTime minute) const;
  bool SaveCurrentFile();
  bool SaveArchive(const std::vector<std::string>& files, bool deleteFiles);
  void ReadRestartFile();
  bool IsOwnMinuteFile(const std::string& path, TArchiveTime& minute) const;
  void RestoreMinute(TArchiveTime iniStart, int32_t dataCount, TArchiveTime now);
  void WriteRestartFile();

  int FLogId;
  const TClock& FClock;
  std::vector<std::string> FArchiveList;  // minute files waiting for the hour's archive
  std::string FData;                      // the items of the current minute, in arrival order
  int32_t FDataCount = 0;
  std::string FArchiveFilename;
  std::string FArchivePath;
  std::string FCurrentFilename;
  std::string FCurrentPath;
  std::string FRootPath;
  bool FCheckDirectories = true;
  bool FStorageEnabled = false;
  bool FMinuteBegun = false;
  TArchiveTime FCurrentStartTime{};  // start of the current minute
  TArchiveTime FStartCurrentTime{};  // first item of the current minute file
  TArchiveTime FLastItemTime{};
  TArchiveTime FArchiveHour{};       // hour of FArchiveFilename
  TNotifyError FOnError;
  TStoreDataLoader FLoader;
  TStoreExclusiveLock FLock;
};
