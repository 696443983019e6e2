#pragma once
#include <string>

// The lock file that keeps a second program (or a second store of this one) from writing into the
// same archive folder. The file names the program holding it; the lock itself is an flock on the
// file, so a file left behind by a crash never blocks the folder, and two writers starting at once
// cannot both win.
class TStoreExclusiveLock {
 public:
  TStoreExclusiveLock(std::string fileName, std::string owner);
  ~TStoreExclusiveLock();
  TStoreExclusiveLock(const TStoreExclusiveLock&) = delete;
  TStoreExclusiveLock& operator=(const TStoreExclusiveLock&) = delete;

  // True when this object now holds the folder; `previous` is what the file said before (empty
  // without file; a holder that is gone left it behind). False when another holder keeps it:
  // `previous` is its name or the reason the file could not be taken.
  bool Take(std::string& previous);
  // Deletes the file and drops the lock; true when a held lock was released.
  bool Release();
  bool Held() const { return FFd >= 0; }
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  std::string FOwner;
  int FFd = -1;
};

// The full path of the running program, which lock files name.
std::string ProgramFilePath();
