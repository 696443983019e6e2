#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Clock.h"

class TNotification;
class IMessageNotifier;

// User messages: the items of the main window's message list, the message code catalogue that
// the notifications choose from, and the thread-safe list itself.

enum TMsgType : uint8_t { mtError = 0, mtWarning = 1, mtInfo = 2 };

constexpr int32_t kNoSession = -2;
constexpr uint32_t kColorWhite = 0xFFFFFF;
constexpr uint32_t kColorBlack = 0x000000;

// Codes the message rules and their reporters refer to.
constexpr int32_t kMsgCodeConnectionRunningAgain = 23;
constexpr int32_t kMsgCodeInternalException = 51;
constexpr int32_t kMsgCodeSessionDebugLogFailed = 85;
constexpr int32_t kMsgCodeCompatibility = 151;
constexpr int32_t kMsgCodeFpgaDataFormat = 32756;
constexpr int32_t kMsgCodeReferenceClockOk = 32760;
constexpr int32_t kMsgCodeReferenceInvalid = 32761;
constexpr int32_t kMsgCodePllUnlocked = 32767;

struct TMessageItem {
  int32_t sIndex = kNoSession;  // session index; kNoSession for a general message
  uint32_t sColor = kColorWhite;  // 0xBBGGRR
  std::string Text;
  TMsgType MsgType = mtError;
  int32_t Code = 0;
  int32_t SubCode = 0;
  TWallTime Time{};
  int32_t Count = 1;  // identical messages this item stands for; shown only above 1
  TNotification* Link = nullptr;  // the notification that matched the message
  bool ViaThread = false;  // from a worker thread; its popup is still to be shown
};

// One row of the message code catalogue.
struct TMessageRecord {
  TMsgType MsgType;
  int32_t Code;
  std::string Text;
  int32_t ItemIndex;  // row index within its list
};
using TMessArray = std::vector<TMessageRecord>;

// The four catalogue lists, which are also the notification classes: 0 errors and warnings,
// 1 infos, 2 internal hardware errors, 3 internal software errors. Other indexes: an empty list.
constexpr int kMessageClassCount = 4;
const TMessArray& MessageCodeList(int classIndex);

// 'A' for session 0; a blank for a general message.
char SessionLetter(int32_t sIndex);
// The message line; fields equal to those of `last` (the item before, or nullptr) are blanked.
std::string ItemToString(const TMessageItem& item, const TMessageItem* last);
// White on the dark session colours, black on all others.
uint32_t ContrastTextColor(uint32_t sessionColor);

inline constexpr char kNoMessageToSave[] = "No message to save";
enum class TMessageSaveResult { Saved, NoMessage, WriteFailed };
struct TMessageSaveOutcome {
  TMessageSaveResult Result;
  std::string Error;  // reason of a failed write
};

// The newest messages, for a view that shows only those.
struct TMessageTail {
  std::vector<TMessageItem> Items;  // oldest first
  std::vector<uint64_t> Seqs;       // each item's number of arrival, increasing
  // Changes with every change of the list; equal generations mean equal contents.
  uint64_t Generation = 0;
  // The number of messages the list would hold without its bound: it grows by one per message
  // that was not merged, so a view can tell how many of the newest items are new to it.
  uint64_t UnboundedCount = 0;
};

struct TMessageUpdateFlags {
  bool UpdateNeeded = false;      // an error or warning came from a worker thread
  bool UpdateInfoNeeded = false;  // an info came from a worker thread
};

// The user message list, safe for the window thread and worker threads alike: one lock guards
// appending, de-duplication, reading and clearing. Items keep their order of arrival.
//
// The list is bounded: beyond `Limit` items the oldest go, so a flood of warnings cannot grow it.
// The newest item of every message that may be merged is found by a hash, so adding costs the
// same however long the list is.
class TMessageList {
 public:
  static constexpr size_t kDefaultLimit = 10000;

  using TDiagnosticSink = std::function<void(const std::string&)>;
  using TSessionColor = std::function<uint32_t(int32_t sIndex)>;

  // `sink` receives the diagnostic lines; `sessionColor` gives a session's colour. Neither may
  // call back into the list.
  TMessageList(TDiagnosticSink sink, TSessionColor sessionColor, const TClock& clock = SystemClock(),
               size_t limit = kDefaultLimit);
  ~TMessageList();

  // The notifier must stay alive until it is replaced (nullptr = none).
  void SetNotifier(IMessageNotifier* notifier);

  void Add(TMsgType type, int32_t Id, int32_t Code, int32_t SubCode, const std::string& text,
           bool viaThread);
  void AddError(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddErrorThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddWarning(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddWarningThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddInfo(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);
  void AddInfoThread(int32_t Id, int32_t Code, int32_t SubCode, const std::string& text);

  size_t Count() const;
  size_t Limit() const { return FLimit; }
  std::vector<TMessageItem> Snapshot() const;
  // At most `maxItems` of the newest items, with what a view needs to update itself.
  TMessageTail Tail(size_t maxItems) const;
  // The items that arrived after the item numbered `seq` (0: all), oldest first; `lastSeq`
  // receives the number of the newest item.
  std::vector<TMessageItem> ItemsAfter(uint64_t seq, uint64_t& lastSeq) const;
  bool UpdateNeeded() const;
  bool UpdateInfoNeeded() const;
  // For the display cycle: returns both flags and clears them.
  TMessageUpdateFlags TakeUpdateFlags();
  // For the display cycle: the items still marked via thread (already offered to the notifier),
  // whose marks are cleared.
  std::vector<TMessageItem> TakeViaThreadMessages();
  void Clear();
  // Every message, oldest first, one line each (CR LF), in UTF-8; replaces the file atomically.
  TMessageSaveOutcome SaveToFile(const std::string& path) const;

 private:
  struct TStore;  // the items by number of arrival, and the indexes into them

  void RemoveSupersededByReferenceError(const TMessageItem& item);
  void MergeDuplicate(TMessageItem& item);
  void Append(uint64_t seq, const TMessageItem& item);
  void Erase(uint64_t seq);

  TDiagnosticSink FSink;
  TSessionColor FSessionColor;
  const TClock& FClock;
  const size_t FLimit;
  mutable std::mutex FLock;
  std::unique_ptr<TStore> FMsgList;
  uint64_t FNextSeq = 0;
  uint64_t FGeneration = 0;
  uint64_t FUnboundedCount = 0;
  IMessageNotifier* FNotifier = nullptr;
  bool FMsgListUpdateNeeded = false;
  bool FMsgListUpdateInfoNeeded = false;
};
