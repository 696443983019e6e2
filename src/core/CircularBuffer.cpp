#include "core/CircularBuffer.h"

#include <algorithm>
#include <utility>

#include "core/LogUnit.h"
#include "core/NamedEvent.h"

namespace {
constexpr uint32_t IndexMask = TCircularBuffer::BufferSize - 1;

bool IsFrameDelimiter(uint8_t byte) { return byte == 0xBD || byte == 0xBF; }

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }
}  // namespace

TCircularBuffer::TCircularBuffer(int32_t logID, TEvent* aReceiveEvent, bool syncNeeded,
                                 const TClock& clock)
    : FLogId(logID),
      FLockObj(syncNeeded ? std::make_unique<std::recursive_mutex>() : nullptr),
      FReceiveEvent(aReceiveEvent),
      FClock(clock) {}

std::unique_lock<std::recursive_mutex> TCircularBuffer::Lock() const {
  return FLockObj ? std::unique_lock(*FLockObj) : std::unique_lock<std::recursive_mutex>();
}

bool TCircularBuffer::Write(std::span<const uint8_t> content) {
  return WriteAnsiIntern(content.data(), content.size());
}

bool TCircularBuffer::WriteAnsiString(const std::string& content) {
  return WriteAnsiString(content, 1, static_cast<uint32_t>(std::min<size_t>(content.size(), UINT32_MAX)));
}

bool TCircularBuffer::WriteAnsiString(const std::string& content, uint32_t offset, uint32_t len) {
  if (offset == 0 || len == 0 || uint64_t{offset} - 1 + len > content.size()) return false;
  try {
    auto lock = Lock();
    const uint8_t* bytes = Bytes(content) + (offset - 1);
    if (FToBeInsertedData.empty()) return WriteAnsiIntern(bytes, len);
    return WriteWithPendingInsert(bytes, len);
  } catch (const std::exception& e) {
    LogException(FLogId, "TCircularBuffer.WriteAnsiString failed", e);
    throw;
  }
}

// The waiting block goes in right behind the delimiter that closes the frame stored last, so that
// it lands between two frames. Called under the lock.
bool TCircularBuffer::WriteWithPendingInsert(const uint8_t* content, size_t len) {
  if (FAmount == 0) {
    if (!WriteAnsiIntern(Bytes(FToBeInsertedData), FToBeInsertedData.size())) return false;
    FToBeInsertedData.clear();
    return WriteAnsiIntern(content, len);
  }
  const uint8_t* delimiter = std::find_if(content, content + len, IsFrameDelimiter);
  if (delimiter == content + len) return WriteAnsiIntern(content, len);
  if (len + FToBeInsertedData.size() > BufferSize - FAmount) return false;
  const size_t frameEnd = static_cast<size_t>(delimiter - content) + 1;
  WriteAnsiIntern(content, frameEnd);
  WriteAnsiIntern(Bytes(FToBeInsertedData), FToBeInsertedData.size());
  FToBeInsertedData.clear();
  return WriteAnsiIntern(content + frameEnd, len - frameEnd);
}

bool TCircularBuffer::WriteAnsiIntern(const uint8_t* content, size_t len) {
  try {
    auto lock = Lock();
    if (len > BufferSize - FAmount) return false;
    FReceivedTime = FClock.Wall();
    const auto count = static_cast<uint32_t>(len);
    const uint32_t toEnd = std::min(count, BufferSize - FWriteIndex);
    std::copy_n(content, toEnd, FBuffer.begin() + FWriteIndex);
    std::copy_n(content + toEnd, count - toEnd, FBuffer.begin());
    FWriteIndex = (FWriteIndex + count) & IndexMask;
    FAmount += count;
    FHighAmount = std::max(FHighAmount, FAmount);
    if (FReceiveEvent) FReceiveEvent->Set();
    return true;
  } catch (const std::exception& e) {
    LogException(FLogId, "TCircularBuffer.WriteAnsiIntern failed", e);
    throw;
  }
}

bool TCircularBuffer::InsertAnsiString(const std::string& content) {
  try {
    auto lock = Lock();
    if (content.size() > BufferSize - FAmount) return false;
    if (FAmount == 0 || FNoEOL) return WriteAnsiIntern(Bytes(content), content.size());
    const int64_t frameTail = OpenFrameLength();
    if (frameTail < 0) {
      // The block must still fit once the delimiter arrives, or every later write would fail.
      if (FToBeInsertedData.size() + content.size() > BufferSize - FAmount) return false;
      FToBeInsertedData += content;
      return true;
    }
    if (frameTail == 0) return WriteAnsiIntern(Bytes(content), content.size());
    const uint32_t frameStart = (FWriteIndex - static_cast<uint32_t>(frameTail)) & IndexMask;
    std::string openFrame(static_cast<size_t>(frameTail), '\0');
    CopyOut(frameStart, reinterpret_cast<uint8_t*>(openFrame.data()), openFrame.size());
    FWriteIndex = frameStart;
    FAmount -= static_cast<uint32_t>(frameTail);
    WriteAnsiIntern(Bytes(content), content.size());
    return WriteAnsiIntern(Bytes(openFrame), openFrame.size());
  } catch (const std::exception& e) {
    LogException(FLogId, "TCircularBuffer.InsertAnsiString failed", e);
    throw;
  }
}

// Number of bytes stored behind the newest frame delimiter; -1 when none is stored.
int64_t TCircularBuffer::OpenFrameLength() const {
  for (uint32_t back = 1; back <= FAmount; ++back) {
    if (IsFrameDelimiter(FBuffer[(FWriteIndex - back) & IndexMask])) return back - 1;
  }
  return -1;
}

void TCircularBuffer::CopyOut(uint32_t from, uint8_t* dest, size_t len) const {
  const auto count = static_cast<uint32_t>(len);
  const uint32_t toEnd = std::min(count, BufferSize - from);
  std::copy_n(FBuffer.begin() + from, toEnd, dest);
  std::copy_n(FBuffer.begin(), count - toEnd, dest + toEnd);
}

// Whether len bytes may be handed out. A reader that gets nothing lets the event fall, so that it
// sleeps until the next write.
bool TCircularBuffer::CanPeek(uint32_t len, const char* operation) {
  if (!FBufferCleared && len <= FAmount) return true;
  if (FBufferCleared) LogIt(FLogId, std::string("CircularBuffer.") + operation + " nichts liefern, BufferCleared");
  ResetEventIfWanted();
  return false;
}

void TCircularBuffer::ResetEventIfWanted() {
  if (FReceiveEvent && FDoResetEvent) FReceiveEvent->Reset();
}

bool TCircularBuffer::PeekChar(uint8_t& Zeichen) {
  auto lock = Lock();
  if (!CanPeek(1, "PeekChar")) return false;
  Zeichen = FBuffer[FReadIndex];
  return true;
}

std::vector<uint8_t> TCircularBuffer::PeekData(uint32_t len) {
  auto lock = Lock();
  if (len == 0 || !CanPeek(len, "PeekData")) return {};
  std::vector<uint8_t> data(len);
  CopyOut(FReadIndex, data.data(), len);
  return data;
}

std::string TCircularBuffer::PeekAnsiString(uint32_t len) {
  auto lock = Lock();
  if (len == 0 || !CanPeek(len, "PeekAnsiString")) return {};
  std::string text(len, '\0');
  CopyOut(FReadIndex, reinterpret_cast<uint8_t*>(text.data()), len);
  return text;
}

bool TCircularBuffer::ConfirmPeekedData(uint32_t len) {
  auto lock = Lock();
  if (FAmount < len) return false;
  FReadIndex = (FReadIndex + len) & IndexMask;
  FAmount -= len;
  if (FAmount == 0) FHighAmount = 0;
  return true;
}

std::vector<uint8_t> TCircularBuffer::Read(uint32_t len) {
  auto lock = Lock();
  std::vector<uint8_t> data = PeekData(len);
  if (!data.empty()) ConfirmPeekedData(len);
  return data;
}

std::string TCircularBuffer::ReadAnsiString(uint32_t len) {
  auto lock = Lock();
  std::string text = PeekAnsiString(len);
  if (!text.empty()) ConfirmPeekedData(len);
  return text;
}

std::string TCircularBuffer::ReadAvailable(uint32_t maxLen) {
  auto lock = Lock();
  const uint32_t len = std::min(maxLen, FAmount);
  if (maxLen == 0 || !CanPeek(std::max(len, 1u), "PeekAnsiString")) return {};
  std::string text(len, '\0');
  CopyOut(FReadIndex, reinterpret_cast<uint8_t*>(text.data()), len);
  ConfirmPeekedData(len);
  return text;
}

void TCircularBuffer::GetAmounts(uint32_t& amount, uint32_t& highAmount) const {
  auto lock = Lock();
  amount = FAmount;
  highAmount = FHighAmount;
}

void TCircularBuffer::Clear() {
  auto lock = Lock();
  FReadIndex = 0;
  FWriteIndex = 0;
  if (FAmount > 0) {
    FBufferCleared = true;
    LogIt(FLogId, "CircularBuffer.Clear: set BufferCleared");
  } else if (!FBufferCleared) {
    LogIt(FLogId, "CircularBuffer.Clear: without set BufferCleared");
  }
  FAmount = 0;
  FHighAmount = 0;
  ResetEventIfWanted();
}

void TCircularBuffer::SetReceivedDataIgnored() {
  auto lock = Lock();
  if (!FBufferCleared) LogIt(FLogId, "CircularBuffer.SetReceivedDataIgnored: set BufferCleared");
  FBufferCleared = true;
}

void TCircularBuffer::SetNoEOL() {
  LogIt(FLogId, "CircularBuffer.SetNoEOL");
  FNoEOL = true;
}

uint32_t TCircularBuffer::Amount() const {
  auto lock = Lock();
  return FAmount;
}

uint32_t TCircularBuffer::HighAmount() const {
  auto lock = Lock();
  return FHighAmount;
}

uint32_t TCircularBuffer::AvailableSpace() const {
  auto lock = Lock();
  return BufferSize - FAmount;
}

bool TCircularBuffer::BufferCleared() {
  auto lock = Lock();
  return std::exchange(FBufferCleared, false);
}

TWallTime TCircularBuffer::ReceivedTime() const {
  auto lock = Lock();
  return FReceivedTime;
}
