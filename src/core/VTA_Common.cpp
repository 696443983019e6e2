#include "core/VTA_Common.h"

#include <algorithm>
#include <array>
#include <cstdio>

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

bool IsSameMessage(const TMessageItem& a, const TMessageItem& b) {
  return a.sIndex == b.sIndex && a.MsgType == b.MsgType && a.Code == b.Code &&
         a.SubCode == b.SubCode && (a.Code == kMsgCodeFpgaDataFormat || a.Text == b.Text);
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

TMessageList::TMessageList(TDiagnosticSink sink, TSessionColor sessionColor, const TClock& clock)
    : FSink(std::move(sink)), FSessionColor(std::move(sessionColor)), FClock(clock) {}

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
    FMsgList.push_back({seq, false, item});
    notifier = FNotifier;
  }
  // Offered outside the lock: a popup shown at once must not stall worker threads adding messages.
  if (notifier) notifier->NotifyMessage(item);
  std::lock_guard lock(FLock);
  const auto entry = std::find_if(FMsgList.rbegin(), FMsgList.rend(),
                                  [seq](const TEntry& e) { return e.Seq == seq; });
  if (entry != FMsgList.rend()) {
    entry->Item.Link = item.Link;
    entry->Offered = true;
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

// An invalid reference clock explains the PLL and transfer errors of the same session that came
// just before it; those are dropped.
void TMessageList::RemoveSupersededByReferenceError(const TMessageItem& item) {
  for (size_t i = FMsgList.size(); i-- > 0;) {
    const TMessageItem& old = FMsgList[i].Item;
    if (old.sIndex != item.sIndex) continue;
    if (item.Time - old.Time >= kReferenceClockWindow) break;
    const char* line = nullptr;
    if (old.Code == kMsgCodePllUnlocked)
      line = "TMainForm.AddErrorIntern delete PLL error";
    else if (old.Text.find("Data transfer interrupted") != std::string::npos)
      line = "TMainForm.AddErrorIntern delete Data transfer interrupted error";
    if (!line) continue;
    if (FSink) FSink(line);
    FMsgList.erase(FMsgList.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

// The newest twin younger than a minute is replaced by the new item, which takes over its count.
void TMessageList::MergeDuplicate(TMessageItem& item) {
  for (size_t i = FMsgList.size(); i-- > 0;) {
    const TMessageItem& old = FMsgList[i].Item;
    if (!IsSameMessage(old, item) || old.Time + kDuplicateWindow <= item.Time) continue;
    item.Count = 1 + old.Count;
    if (FSink) {
      const std::string oldLine = ItemToString(old, nullptr);
      FSink(item.MsgType == mtError ? "TMainForm.AddErrorIntern delete duplicate msg(" +
                                          std::to_string(i) + ": " + oldLine + ")"
                                    : "TMainForm.AddInfoIntern delete duplicate msg " + oldLine);
    }
    FMsgList.erase(FMsgList.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

size_t TMessageList::Count() const {
  std::lock_guard lock(FLock);
  return FMsgList.size();
}

std::vector<TMessageItem> TMessageList::Snapshot() const {
  std::lock_guard lock(FLock);
  std::vector<TMessageItem> items;
  items.reserve(FMsgList.size());
  for (const TEntry& entry : FMsgList) items.push_back(entry.Item);
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
  std::vector<TMessageItem> taken;
  for (TEntry& entry : FMsgList) {
    if (!entry.Offered || !entry.Item.ViaThread) continue;
    taken.push_back(entry.Item);
    entry.Item.ViaThread = false;
  }
  return taken;
}

void TMessageList::Clear() {
  std::lock_guard lock(FLock);
  FMsgList.clear();
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
