#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

class TDebugConf;

// Kinds of notices from the sessions to the window thread.
enum TSyncWhat : int32_t {
  swDataReset = 1,
  swDataResetIVC = 2,
  swChannelCount = 3,
  swIVCChannels = 4,
  swDGICards = 5,
  swRateIndex = 6,
  swMode = 7,
  swScrambler = 8,
  swPhaseDiffReset = 9,
  swReSync = 10,
  swZCTonly = 11,
  swIVConly = 12,
  swIVCCalibration = 13,
  swPeer = 14,
  swHRQData = 15,
  swClockPrecedence = 16,
  swPLLState = 17,
  swOperatingMode = 18,
  swIVCMasterClock = 19,
  swPPI = 20,
  swDevices = 21,
};

// "DataReset", "ZCT only", ...; "Unknown what=" + number for any other value.
std::string SyncWhatName(int32_t What);

// Which session a notice is about, without a pointer: a notice may outlive its session, so the
// window thread looks the session up by its instance id (TSessionLists::Resolve), which is never
// reused. InstanceId 0 = no session.
struct TSessionRef {
  int32_t Index = -1;
  bool IsCopy = false;
  uint64_t InstanceId = 0;
  bool operator==(const TSessionRef&) const = default;
};

// One notice from a session to the window thread.
struct TMainSyncData {
  int32_t What = 0;
  int32_t Code = 0;
  int32_t aInt = 0;
  std::string Text;
  TSessionRef Sender;

  // "TMainSyncData " + name + " Code=" + Code + ", aInt=" + aInt + ", " + Text + ", Sender=" +
  // ("Session " + index + "/" + "True"/"False" or "nil").
  std::string ToString() const;
};

// The notice list: the report thread appends, the display cycle takes from the front. Every access
// is made under one lock.
class TSyncList {
 public:
  // Lines go to the debug configuration's log in category 10; nullptr = no lines.
  explicit TSyncList(const TDebugConf* debugConf = nullptr) : FDebugConf(debugConf) {}

  // Appends the notice and writes "VTA_Sync.AddSync " + its ToString.
  void AddSync(TMainSyncData data);
  // The oldest notice, removed from the list; none when the list is empty.
  std::optional<TMainSyncData> TakeFirst();
  size_t Count() const;
  // Drops every notice about the session with that instance id (the session is being freed).
  void Purge(uint64_t InstanceId);
  void Clear();

 private:
  const TDebugConf* FDebugConf;
  mutable std::mutex FLock;
  std::deque<TMainSyncData> FList;
};
