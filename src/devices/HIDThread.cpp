#include "devices/HIDThread.h"

#include <algorithm>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/IHidApi.h"
#include "devices/QV_UsbFrames.h"

THIDThread::THIDThread(IHidDevice& hid, TCircularBuffer& receive, int32_t logId, uint32_t readTimeoutMs)
    : FHid(hid), FReceive(receive), FLogId(logId), FReadTimeoutMs(readTimeoutMs) {}

THIDThread::~THIDThread() { Stop(); }

void THIDThread::Start() {
  if (FThread.joinable()) return;
  FStop = false;
  FSuspended = false;
  FThread = std::thread([this] { Run(); });
}

void THIDThread::Stop() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  std::lock_guard lock(FLock);
  if (!FWriteBuffer.empty() && !FSuspended) {
    LogIt(FLogId, "################### HIDThread Abschluss-Kdo ####################");
    FHid.Write(FWriteBuffer.front());
  }
  FWriteBuffer.clear();
}

uint32_t THIDThread::MaxCommandLength() const {
  // The report id byte and the length byte take two of the output report.
  return FHid.OutputReportLength() > 2 ? FHid.OutputReportLength() - 2 : 0;
}

bool THIDThread::AddCommand(const std::string& cmd) {
  if (cmd.size() > MaxCommandLength()) return false;
  std::string report = QV_UsbFrames::Framed(cmd);
  report.resize(FHid.OutputReportLength() - 1, '\0');
  std::lock_guard lock(FLock);
  FWriteBuffer.push_back(std::move(report));
  return true;
}

size_t THIDThread::PendingCount() const {
  std::lock_guard lock(FLock);
  return FWriteBuffer.size();
}

void THIDThread::ClearCommands() {
  std::lock_guard lock(FLock);
  FWriteBuffer.clear();
}

void THIDThread::Run() {
  while (!FStop) {
    if (!WriteOne()) break;
    ReadOne();
    if (FSuspended) break;
  }
}

bool THIDThread::WriteOne() {
  std::lock_guard lock(FLock);
  if (FWriteBuffer.empty()) return true;
  const std::string& report = FWriteBuffer.front();
  LogIt(FLogId, "### HIDThread: zuerst Kommando senden ###");
  const std::string_view cmd = std::string_view(report).substr(1, static_cast<uint8_t>(report[0]));
  if (QV_UsbFrames::IsBufferClearCmd(cmd)) {
    FReceive.Clear();
    FIgnoreData = true;
  }
  if (!FHid.Write(report)) {
    LogError(FLogId, "HIDThread: write failed " + AnsiToHex(std::string(cmd)));
    FSuspended = true;
    return false;
  }
  FWriteBuffer.pop_front();
  return true;
}

void THIDThread::ReadOne() {
  std::string report;
  const int n = FHid.Read(report, FReadTimeoutMs);
  if (n < 0) {
    LogError(FLogId, "################### HIDThread.Suspend ####################");
    FSuspended = true;
    return;
  }
  if (n == 0 || report.empty()) return;
  if (std::all_of(report.begin(), report.end(), [](char c) { return c == '\0'; })) {
    LogIt(FLogId, "################### HIDThread: Null-String empfangen -> Empfangspuffer gelöscht #####################");
    FReceive.Clear();
    FIgnoreData = false;
    return;
  }
  const size_t count = static_cast<uint8_t>(report[0]);
  if (count > report.size() - 1) {
    // The count comes from the wire: beyond the report it is a broken report, reported as lost frames.
    LogError(FLogId, "HIDThread: bad report, count=" + std::to_string(count) + " length=" + std::to_string(report.size()));
    Append(QV_UsbFrames::FramesLostReport());
    return;
  }
  if (FIgnoreData) {
    FReceive.SetReceivedDataIgnored();
    return;
  }
  Append(report.substr(1, count));
  FDataReceived = true;
}

void THIDThread::Append(const std::string& data) {
  if (FReceive.WriteAnsiString(data)) return;
  FBufferOverflow = true;
  FReceive.Clear();
  FReceive.WriteAnsiString(data);
}
