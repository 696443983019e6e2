#include "core/VTA_Common.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>
#include <unordered_map>

#include "core/AtomicFile.h"
#include "core/DateTimeText.h"
#include "core/IMessageNotifier.h"

using namespace std::chrono_literals;

namespace {
constexpr auto kDuplicateWindow = 60s;
constexpr auto kReferenceClockWindow = 5s;

struct TRow {
  TMsgType MsgType;
  int32_t Code;
  const char* Text;
};

TMessArray BuildList(std::initializer_list<TRow> rows) {
  TMessArray list;
  for (const TRow& row : rows)
    list.push_back({row.MsgType, row.Code, row.Text, static_cast<int32_t>(list.size())});
  return list;
}

const std::array<TMessArray, kMessageClassCount>& Catalogue() {
  static const std::array<TMessArray, kMessageClassCount> lists = {
      BuildList({
          {mtError, -1, "E - All Errors, Warnings"},
          {mtError, 92, "E - Logfile closed"},
          {mtError, 102, "E - HRQ Data missing"},
          {mtError, 32761, "E - 10MHz Reference Invalid"},
          {mtError, 32759, "E - No measurements, check reference clock"},
          {mtError, 32755, "E - Performance Limitation: 10ms"},
          {mtError, 524067, "E - Scrambler in use"},
          {mtError, 32752, "E - Unsupported mode"},
          {mtError, 95, "E - Transmit calibration data to device failed"},
          {mtWarning, 17, "W - PPI Offset"},
          {mtWarning, 41, "W - Clock Supervisor Warning"},
          {mtWarning, 43, "W - Clock Supervisor End Warning"},
          {mtWarning, 42, "W - Sensor Supervisor Warning"},
          {mtWarning, 45, "W - ZCT time resetted"},
          {mtWarning, 32546, "W - Measurement or Timestamp Count Failure"},
      }),
      BuildList({
          {mtInfo, -2, "I - All Infos"},
          {mtInfo, 13, "I - Mode, Interval Settings Changed"},
          {mtInfo, 14, "I - Scrambler Settings Changed"},
          {mtInfo, 15, "I - PPI Settings Changed"},
          {mtInfo, 16, "I - Phase Difference Resetted"},
          {mtInfo, 23, "I - Interrupted connection is running again"},
          {mtInfo, 71, "I - Connected, Disconnected"},
          {mtInfo, 75, "I - Sending Command"},
          {mtInfo, 82, "I - Start/Stop Local Server"},
          {mtInfo, 91, "I - Logfile opened"},
          {mtInfo, 92, "I - Logfile closed"},
          {mtInfo, 96, "I - IVC calibration changed"},
          {mtInfo, 101, "I - HRQ Data Changed"},
          {mtInfo, 105, "I - ADEV Configuration Changed"},
          {mtInfo, 151, "I - Compatibility adjustments"},
          {mtInfo, 28673, "I - Device Version "},
          {mtInfo, 32593, "I - Device Measurement interval (re-)synchronized"},
          {mtInfo, 32760, "I - 10MHz Reference Clock Ok"},
      }),
      BuildList({
          {mtInfo, -3, "E - All Internal Hardware Errors"},
          {mtError, 32767, "E - PLL unlocked"},
          {mtError, 32766, "E - SWC: 10MHz PLL unlocked"},
          {mtError, 32765, "E - SCR: 5MHz:10MHz PLL unlocked"},
          {mtError, 32763, "E - ZCQ: Dithering/Scrambling is obsolete"},
          {mtError, 32756, "E - FPGA Data Format Error"},
          {mtError, 524065, "E - Input Data Overrun Error"},
          {mtError, 524049, "E - ZCT: T2 underflow"},
          {mtError, 524050, "E - ZCT: T2 d4>=2"},
          {mtError, 32656, "E - Sync Error with IVC data"},
      }),
      BuildList({
          {mtInfo, -4, "E - All Internal Software Errors"},
          {mtError, 12, "E - Device Reports Invalid Mode, Interval"},
          {mtError, 22, "E - Reading Report Failed, Connection Closed"},
          {mtError, 51, "E - Internal Exception Error"},
          {mtError, 61, "E - Error INI File"},
          {mtError, 524066, "E - Raw Data Reception Error"},
          {mtError, 21, "E - Reading Report Failed"},
          {mtError, 31, "E - Data Loss"},
          {mtError, 72, "E - Connect Source Failed"},
          {mtError, 76, "E - Send Command Failed"},
          {mtError, 77, "E - Send Command Failed, Connection Closed"},
          {mtError, 81, "E - Local TCP Server Start/Stop Error"},
      }),
  };
  return lists;
}

constexpr std::array<uint32_t, 22> kDarkColors = {
    0x000000, 0x000080, 0x0000A0, 0x0000FF, 0x008000, 0x008040, 0x008080, 0x0080FF,
    0x1E69D2, 0x22B14C, 0x3F3F3F, 0x800000, 0x800080, 0x808000, 0x808080, 0xA09E5F,
    0xA4A0A0, 0xFF0000, 0xFF0080, 0xFF00FF, 0xFF8000, 0xFF80C0};

const char* TypeTag(TMsgType type) {
  switch (type) {
    case mtError: return "ERR  ";
    case mtWarning: return "WARN ";
    case mtInfo: break;
  }
  return "INFO ";
}

const char* OperationName(TMsgType type) {
  switch (type) {
    case mtError: return "AddError";
    case mtWarning: return "AddWarning";
    case mtInfo: break;
  }
  return "AddInfo";
}

std::string HexCode(int32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02X", static_cast<uint32_t>(code));
  return buffer;
}

// "TMainForm.AddError[0]: (21) text"; infos and warnings add the code in hexadecimal.
std::string AddLine(TMsgType type, bool viaThread, int32_t Id, int32_t Code, const std::string& text) {
  std::string line = std::string("TMainForm.") + OperationName(type) + (viaThread ? "Thread" : "") +
                     "[" + std::to_string(Id) + "]: (" + std::to_string(Code);
  if (type != mtError) line += "=0x" + HexCode(Code);
  return line + ") " + text;
}

// Two messages are the same when session, type, code, sub-code and text are equal; the format
// errors are the same whatever their texts.
struct TMergeKey {
  int32_t sIndex;
  TMsgType MsgType;
  int32_t Code;
  int32_t SubCode;
  std::string Text;
  bool operator==(const TMergeKey&) const = default;
};

struct TMergeKeyHash {
  size_t operator()(const TMergeKey& key) const {
    size_t h = std::hash<std::string>{}(key.Text);
    for (const int64_t part : {int64_t(key.sIndex), int64_t(key.MsgType), int64_t(key.Code), int64_t(key.SubCode)})
      h = h * 1000003u ^ std::hash<int64_t>{}(part);
    return h;
  }
};

TMergeKey MergeKeyOf(const TMessageItem& item) {
  return {item.sIndex, item.MsgType, item.Code, item.SubCode,
          item.Code == kMsgCodeFpgaDataFormat ? std::string() : item.Text};
}

// Errors are always merged with a recent twin; infos only for the two "all well again" codes.
bool IsMerged(TMsgType type, int32_t code) {
  if (type == mtError) return true;
  return type == mtInfo && (code == kMsgCodeConnectionRunningAgain || code == kMsgCodeReferenceClockOk);
}

std::string Blanked(const std::string& text, bool blank) {
  return blank ? std::string(text.size(), ' ') : text;
}
}  // namespace

const TMessArray& MessageCodeList(int classIndex) {
  static const TMessArray empty;
  if (classIndex < 0 || classIndex >= kMessageClassCount) return empty;
  return Catalogue()[classIndex];
}

char SessionLetter(int32_t sIndex) { return sIndex >= 0 ? static_cast<char>('A' + sIndex) : ' '; }

std::string ItemToString(const TMessageItem& item, const TMessageItem* last) {
  const std::string date = DateText(item.Time);
  const std::string time = TimeText(item.Time);
  std::string line = Blanked(date, last && DateText(last->Time) == date) + " ";
  line += Blanked(time, last && TimeText(last->Time) == time) + " ";
  line += Blanked(TypeTag(item.MsgType), last && last->MsgType == item.MsgType);
  if (item.ViaThread) line += " via thread";
  line += " ";
  line += (item.sIndex < 0 || (last && last->sIndex == item.sIndex)) ? ' ' : SessionLetter(item.sIndex);
  line += " " + item.Text;
  if (item.Count > 1) line += " (" + std::to_string(item.Count) + ")";
  return line;
}

uint32_t ContrastTextColor(uint32_t sessionColor) {
  const bool dark = std::find(kDarkColors.begin(), kDarkColors.end(), sessionColor) != kDarkColors.end();
  return dark ? kColorWhite : kColorBlack;
}

// Items by number of arrival (their rank is the list index), the newest item of every message
// that may be merged, and the items whose popups the display cycle has still to show.
struct TMessageList::TStore {
  struct TEntry {
    bool Offered = false;  // the notifier has seen it (or there was none)
    TMessageItem Item;
  };
  using TEntries = __gnu_pbds::tree<uint64_t, TEntry, std::less<uint64_t>, __gnu_pbds::rb_tree_tag,
                                    __gnu_pbds::tree_order_statistics_node_update>;
  TEntries Entries;
  std::unordered_map<TMergeKey, uint64_t, TMergeKeyHash> NewestMergeable;  // key -> seq
  std::vector<uint64_t> PendingViaThread;  // seqs, increasing
};

TMessageList::TMessageList(TDiagnosticSink sink, TSessionColor sessionColor, const TClock& clock, size_t limit)
    : FSink(std::move(sink)),
      FSessionColor(std::move(sessionColor)),
      FClock(clock),
      FLimit(std::max<size_t>(limit, 1)),
      FMsgList(std::make_unique<TStore>()) {}

TMessageList::~TMessageList() = default;

void TMessageList::SetNotifier(IMessageNotifier* notifier) {
  std::lock_guard lock(FLock);
  FNotifier = notifier;
}

void TMessageList::Add(TMsgType type, int32_t Id, int32_t Code, int32_t SubCode,
                       const std::string& text, bool viaThread) {
  if (FSink) FSink(AddLine(type, viaThread, Id, Code, text));
  TMessageItem item;
  item.sIndex = Id >= 0 ? Id : kNoSession;
  item.sColor = Id >= 0 && FSessionColor ? FSessionColor(Id) : kColorWhite;
  item.Text = text;
  item.MsgType = type;
  item.Code = Code;
  item.SubCode = SubCode;
  item.Time = FClock.Wall();
  item.ViaThread = viaThread;

  uint64_t seq = 0;
  IMessageNotifier* notifier = nullptr;
  {
    std::lock_guard lock(FLock);
    if (type == mtError && Code == kMsgCodeReferenceInvalid) RemoveSupersededByReferenceError(item);
    if (IsMerged(type, Code)) MergeDuplicate(item);
    seq = ++FNextSeq;
    Append(seq, item);
    notifier = FNotifier;
  }
  // Offered outside the lock: a popup shown at once must not stall worker threads adding messages.
  if (notifier) notifier->NotifyMessage(item);
  std::lock_guard lock(FLock);
  const auto entry = FMsgList->Entries.find(seq);
  if (entry != FMsgList->Entries.end()) {
    entry->second.Item.Link = item.Link;
    entry->second.Offered = true;
  }
  // Raised only now, so that the display cycle finds the item already offered.
  if (viaThread) (type == mtInfo ? FMsgListUpdateInfoNeeded : FMsgListUpdateNeeded) = true;
}

void TMessageList::AddError(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtError, Id, Code, SubCode, text, false);
}

void TMessageList::AddErrorThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtError, Id, Code, SubCode, text, true);
}

void TMessageList::AddWarning(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtWarning, Id, Code, SubCode, text, false);
}

void TMessageList::AddWarningThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtWarning, Id, Code, SubCode, text, true);
}

void TMessageList::AddInfo(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtInfo, Id, Code, SubCode, text, false);
}

void TMessageList::AddInfoThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text) {
  Add(mtInfo, Id, Code, SubCode, text, true);
}

// The oldest items go beyond the limit.
void TMessageList::Append(uint64_t seq, const TMessageItem& item) {
  TStore& store = *FMsgList;
  store.Entries.insert({seq, TStore::TEntry{false, item}});
  if (IsMerged(item.MsgType, item.Code)) store.NewestMergeable[MergeKeyOf(item)] = seq;
  if (item.ViaThread) store.PendingViaThread.push_back(seq);
  ++FUnboundedCount;
  ++FGeneration;
  while (store.Entries.size() > FLimit) Erase(store.Entries.begin()->first);
  // Popups of items that went before the display cycle saw them are forgotten. Trimmed only at
  // twice the limit, so the trimming costs a constant per message on average.
  if (store.PendingViaThread.size() > 2 * FLimit)
    std::erase_if(store.PendingViaThread, [&store](uint64_t s) { return store.Entries.find(s) == store.Entries.end(); });
}

void TMessageList::Erase(uint64_t seq) {
  TStore& store = *FMsgList;
  const auto entry = store.Entries.find(seq);
  if (entry == store.Entries.end()) return;
  const TMessageItem& item = entry->second.Item;
  if (IsMerged(item.MsgType, item.Code)) {
    const auto newest = store.NewestMergeable.find(MergeKeyOf(item));
    if (newest != store.NewestMergeable.end() && newest->second == seq) store.NewestMergeable.erase(newest);
  }
  store.Entries.erase(entry);
  ++FGeneration;
}

// An invalid reference clock explains the PLL and transfer errors of the same session that came
// just before it; those are dropped.
void TMessageList::RemoveSupersededByReferenceError(const TMessageItem& item) {
  const TStore::TEntries& entries = FMsgList->Entries;
  std::vector<uint64_t> superseded;
  for (auto entry = entries.end(); entry != entries.begin();) {
    --entry;
    const TMessageItem& old = entry->second.Item;
    if (old.sIndex != item.sIndex) continue;
    if (item.Time - old.Time >= kReferenceClockWindow) break;
    const char* line = nullptr;
    if (old.Code == kMsgCodePllUnlocked)
      line = "TMainForm.AddErrorIntern delete PLL error";
    else if (old.Text.find("Data transfer interrupted") != std::string::npos)
      line = "TMainForm.AddErrorIntern delete Data transfer interrupted error";
    if (!line) continue;
    if (FSink) FSink(line);
    superseded.push_back(entry->first);
  }
  for (const uint64_t seq : superseded) Erase(seq);
  FUnboundedCount -= superseded.size();
}

// The newest twin younger than a minute is replaced by the new item, which takes over its count.
// Only the newest twin can be that young: an older one would have been merged into it.
void TMessageList::MergeDuplicate(TMessageItem& item) {
  TStore& store = *FMsgList;
  const auto newest = store.NewestMergeable.find(MergeKeyOf(item));
  if (newest == store.NewestMergeable.end()) return;
  const uint64_t seq = newest->second;
  const auto entry = store.Entries.find(seq);
  if (entry == store.Entries.end()) return;
  const TMessageItem& old = entry->second.Item;
  if (old.Time + kDuplicateWindow <= item.Time) return;
  item.Count = 1 + old.Count;
  if (FSink) {
    const std::string oldLine = ItemToString(old, nullptr);
    FSink(item.MsgType == mtError ? "TMainForm.AddErrorIntern delete duplicate msg(" +
                                        std::to_string(store.Entries.order_of_key(seq)) + ": " + oldLine + ")"
                                  : "TMainForm.AddInfoIntern delete duplicate msg " + oldLine);
  }
  Erase(seq);
  --FUnboundedCount;
}

size_t TMessageList::Count() const {
  std::lock_guard lock(FLock);
  return FMsgList->Entries.size();
}

std::vector<TMessageItem> TMessageList::Snapshot() const {
  std::lock_guard lock(FLock);
  std::vector<TMessageItem> items;
  items.reserve(FMsgList->Entries.size());
  for (const auto& [seq, entry] : FMsgList->Entries) items.push_back(entry.Item);
  return items;
}

TMessageTail TMessageList::Tail(size_t maxItems) const {
  std::lock_guard lock(FLock);
  TMessageTail tail;
  tail.Generation = FGeneration;
  tail.UnboundedCount = FUnboundedCount;
  const TStore::TEntries& entries = FMsgList->Entries;
  auto first = entries.end();
  for (size_t n = 0; n < maxItems && first != entries.begin(); ++n) --first;
  for (auto entry = first; entry != entries.end(); ++entry) {
    tail.Items.push_back(entry->second.Item);
    tail.Seqs.push_back(entry->first);
  }
  return tail;
}

std::vector<TMessageItem> TMessageList::ItemsAfter(uint64_t seq, uint64_t& lastSeq) const {
  std::lock_guard lock(FLock);
  std::vector<TMessageItem> items;
  const TStore::TEntries& entries = FMsgList->Entries;
  for (auto entry = entries.lower_bound(seq + 1); entry != entries.end(); ++entry) {
    items.push_back(entry->second.Item);
    lastSeq = entry->first;
  }
  return items;
}

bool TMessageList::UpdateNeeded() const {
  std::lock_guard lock(FLock);
  return FMsgListUpdateNeeded;
}

bool TMessageList::UpdateInfoNeeded() const {
  std::lock_guard lock(FLock);
  return FMsgListUpdateInfoNeeded;
}

TMessageUpdateFlags TMessageList::TakeUpdateFlags() {
  std::lock_guard lock(FLock);
  const TMessageUpdateFlags flags{FMsgListUpdateNeeded, FMsgListUpdateInfoNeeded};
  FMsgListUpdateNeeded = false;
  FMsgListUpdateInfoNeeded = false;
  return flags;
}

std::vector<TMessageItem> TMessageList::TakeViaThreadMessages() {
  std::lock_guard lock(FLock);
  TStore& store = *FMsgList;
  std::vector<TMessageItem> taken;
  std::vector<uint64_t> notYetOffered;
  for (const uint64_t seq : store.PendingViaThread) {
    const auto entry = store.Entries.find(seq);
    if (entry == store.Entries.end()) continue;
    if (!entry->second.Offered) {
      notYetOffered.push_back(seq);
      continue;
    }
    taken.push_back(entry->second.Item);
    entry->second.Item.ViaThread = false;
  }
  store.PendingViaThread = std::move(notYetOffered);
  if (!taken.empty()) ++FGeneration;
  return taken;
}

void TMessageList::Clear() {
  std::lock_guard lock(FLock);
  FMsgList = std::make_unique<TStore>();
  FUnboundedCount = 0;
  ++FGeneration;
}

TMessageSaveOutcome TMessageList::SaveToFile(const std::string& path) const {
  const std::vector<TMessageItem> items = Snapshot();
  if (items.empty()) return {TMessageSaveResult::NoMessage, {}};
  std::string text;
  for (size_t i = 0; i < items.size(); ++i)
    text += ItemToString(items[i], i > 0 ? &items[i - 1] : nullptr) + "\r\n";
  const std::string error = WriteFileAtomically(path, text);
  if (!error.empty()) return {TMessageSaveResult::WriteFailed, error};
  return {TMessageSaveResult::Saved, {}};
}
