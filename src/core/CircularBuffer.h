#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/Clock.h"

class TEvent;

// The byte ring between a device's reader and the report decoder. The reader appends what arrives;
// the decoder peeks, decides how much forms a complete report, and only then confirms (consumes) it.
// The storage is a fixed array inside the object (allocate the buffer itself on the heap), so writes,
// peeks and confirms never allocate beyond the containers they return.
//
// The bytes 0xBD and 0xBF stand between two frames of the counter's stream; the buffer uses them
// only to place an inserted block between frames instead of inside one.
class TCircularBuffer {
 public:
  static constexpr uint32_t BufferSize = 0x100000;

  // The lock exists only when syncNeeded; the event is signalled on every write and is not owned.
  TCircularBuffer(int32_t logID, TEvent* aReceiveEvent, bool syncNeeded,
                  const TClock& clock = SystemClock());
  TCircularBuffer(const TCircularBuffer&) = delete;
  TCircularBuffer& operator=(const TCircularBuffer&) = delete;

  // Appends all bytes, or none when they do not fit. Pending insert data is left waiting.
  bool Write(std::span<const uint8_t> content);
  bool WriteAnsiString(const std::string& content);
  // Appends len bytes from the 1-based offset; pending insert data goes in behind the first frame
  // delimiter among them. False for a zero offset or length or a range beyond the string.
  bool WriteAnsiString(const std::string& content, uint32_t offset, uint32_t len);
  // Places a block behind the last complete frame; with no delimiter stored yet the block waits
  // for the next one that arrives.
  bool InsertAnsiString(const std::string& content);

  // Peeks leave the data in place and return nothing while fewer than len bytes are stored or
  // while a loss of data has not yet been reported through BufferCleared().
  bool PeekChar(uint8_t& Zeichen);
  std::vector<uint8_t> PeekData(uint32_t len);
  std::string PeekAnsiString(uint32_t len);
  bool ConfirmPeekedData(uint32_t len);
  // Peek and confirm under one hold of the lock.
  std::vector<uint8_t> Read(uint32_t len);
  std::string ReadAnsiString(uint32_t len);
  // Whatever is stored, up to maxLen bytes, consumed under one hold of the lock: the reader of a
  // byte stream takes a block per call instead of a byte. Empty as a peek would be.
  std::string ReadAvailable(uint32_t maxLen);

  void GetAmounts(uint32_t& amount, uint32_t& highAmount) const;
  // Drops all unread data; the pending insert block stays.
  void Clear();
  // Marks data as lost without dropping any, so that the reader is told once.
  void SetReceivedDataIgnored();
  // The stream has no frame delimiters: insertions append at the end. Set during set-up.
  void SetNoEOL();

  uint32_t Amount() const;
  uint32_t HighAmount() const;
  uint32_t AvailableSpace() const;
  // True once after data was thrown away; reading it resets it.
  bool BufferCleared();
  bool DoResetEvent() const { return FDoResetEvent; }
  void SetDoResetEvent(bool value) { FDoResetEvent = value; }
  TWallTime ReceivedTime() const;
  TEvent* ReceiveEvent() const { return FReceiveEvent; }

 private:
  std::unique_lock<std::recursive_mutex> Lock() const;
  // The raw append every write ends in.
  bool WriteAnsiIntern(const uint8_t* content, size_t len);
  bool WriteWithPendingInsert(const uint8_t* content, size_t len);
  void CopyOut(uint32_t from, uint8_t* dest, size_t len) const;
  bool CanPeek(uint32_t len, const char* operation);
  int64_t OpenFrameLength() const;
  void ResetEventIfWanted();

  int32_t FLogId;
  std::array<uint8_t, BufferSize> FBuffer;
  bool FBufferCleared = false;
  uint32_t FReadIndex = 0;
  uint32_t FWriteIndex = 0;
  std::atomic<bool> FNoEOL = false;
  std::string FToBeInsertedData;
  uint32_t FAmount = 0;
  uint32_t FHighAmount = 0;
  mutable std::unique_ptr<std::recursive_mutex> FLockObj;
  TEvent* FReceiveEvent;
  TWallTime FReceivedTime{};
  std::atomic<bool> FDoResetEvent = true;
  const TClock& FClock;
};
