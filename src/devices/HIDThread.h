#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class IHidDevice;
class TCircularBuffer;

// The reader and writer of one HID instrument. Each turn it writes one output report of the write
// buffer and reads one input report into the receive buffer. A command that makes the instrument
// clear its transmit buffer clears the receive buffer too and drops what arrives until the
// instrument reports its buffer cleared (an input report of zeros). A failed read ends the thread
// (suspended); the device finds that through Suspended.
class THIDThread {
 public:
  THIDThread(IHidDevice& hid, TCircularBuffer& receive, int32_t logId, uint32_t readTimeoutMs);
  ~THIDThread();
  THIDThread(const THIDThread&) = delete;
  THIDThread& operator=(const THIDThread&) = delete;

  void Start();
  // Writes a command still waiting, then ends and joins the thread.
  void Stop();
  // The command framed as whole output reports (length byte and the command, zero padded); false
  // when it does not fit one report.
  bool AddCommand(const std::string& cmd);
  size_t PendingCount() const;
  void ClearCommands();
  bool Suspended() const { return FSuspended; }
  bool DataReceived() const { return FDataReceived; }
  // Read-and-reset: the receive buffer was full and has been cleared.
  bool TakeBufferOverflow() { return FBufferOverflow.exchange(false); }
  bool IgnoringData() const { return FIgnoreData; }
  uint32_t MaxCommandLength() const;

 private:
  void Run();
  bool WriteOne();
  void ReadOne();
  void Append(const std::string& data);

  IHidDevice& FHid;
  TCircularBuffer& FReceive;
  const int32_t FLogId;
  const uint32_t FReadTimeoutMs;
  mutable std::mutex FLock;  // the write buffer
  std::deque<std::string> FWriteBuffer;
  std::atomic<bool> FStop = false;
  std::atomic<bool> FSuspended = false;
  std::atomic<bool> FDataReceived = false;
  std::atomic<bool> FBufferOverflow = false;
  std::atomic<bool> FIgnoreData = false;
  std::thread FThread;
};
