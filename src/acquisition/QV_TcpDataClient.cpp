#include "acquisition/QV_TcpDataClient.h"

#include <bit>
#include <cstring>

#include "acquisition/QV_TcpRequest.h"
#include "core/LogUnit.h"
#include "core/ThreadName.h"

namespace {

// The wire form is little-endian, as are the machines this runs on.
static_assert(std::endian::native == std::endian::little);

void AppendBytes(std::string& out, const void* value, size_t size) { out.append(static_cast<const char*>(value), size); }

}  // namespace

TTcpDataClient::TTcpDataClient(int32_t logId, TTcpSubscription subscription, size_t queueLimitBytes,
                               std::chrono::milliseconds gather, const TClock& clock)
    : FLogId(logId),
      FSubscription(std::move(subscription)),
      FClock(clock),
      FPeer(FSubscription.Address + ":" + std::to_string(FSubscription.Port)),
      FQueue(queueLimitBytes),
      FGather(gather) {}

TTcpDataClient::~TTcpDataClient() { Abort(); }

std::string TTcpDataClient::ToString() const { return "TcpDataClient: Peer=" + FPeer + ", Mode=" + TcpModeText(FSubscription.Mode); }

TQV_Result TTcpDataClient::StartData(uint32_t connectLimitMs, uint32_t sendLimitMs, std::string& response) {
  std::string reason;
  FSocket = ConnectTcp(FSubscription.Address, FSubscription.Port, connectLimitMs, reason);
  if (!FSocket.Valid()) {
    Fail(reason);
    LogWarn(FLogId, "TcpDataClient.StartData.Connect failed: " + reason);
    response = "ERR Connect to data server failed: " + reason;
    LogIt(FLogId, "TcpDataClient.StartData response=" + response);
    return QV_Err_ConnectFailed;
  }
  response = "OK";
  if (!SetSendLimit(FSocket.Get(), sendLimitMs))
    LogWarn(FLogId, "TcpDataClient.StartData.WriteTimeout failed: " + TcpSocketErrorText(errno));
  FWriter = std::thread([this] { WriterLoop(); });
  LogIt(FLogId, "TcpDataClient.StartData AUTH-String senden");
  // The authentication line is never time-stamped.
  TQV_Result result = QV_No_Err;
  if (!FQueue.Push(std::string(TcpAuthLine) + "\r\n")) {
    Fail("Queue limit below one line");
    response = "ERR Connect to data server failed: " + ErrorMessage();
    result = QV_Err_ConnectFailed;
  }
  LogIt(FLogId, "TcpDataClient.StartData response=" + response);
  return result;
}

TQV_Result TTcpDataClient::StopData(std::string& response) {
  LogIt(FLogId, "TcpDataClient.StopData: stop thread");
  StopWriter();
  FSocket.Close();
  response = "OK";
  return QV_No_Err;
}

void TTcpDataClient::Abort() {
  FSocket.Shutdown();
  StopWriter();
  FSocket.Close();
}

void TTcpDataClient::StopWriter() {
  FQueue.Stop();
  if (FWriter.joinable()) FWriter.join();
}

bool TTcpDataClient::SendData(const std::string& content) {
  if (FNotConnected) return false;
  std::string line;
  if (FSubscription.WithTimeStamp) line = FormatLogTime(FSubscription.FormatStr, WallToDateTime(FClock.Wall(), true)) + " ";
  line += content;
  line += "\r\n";
  if (!FQueue.Push(std::move(line))) {
    Fail("Subscriber fell behind by more than " + std::to_string(FQueue.LimitBytes()) + " bytes");
    LogWarn(FLogId, "TcpDataClient.SendData.WriteLn failed: " + ErrorMessage() + ", " + ToString());
    return false;
  }
  ++FSendCount;
  return true;
}

bool TTcpDataClient::SendArchiv(const TStoreDataRecord& rec, std::chrono::milliseconds wait) {
  if (FNotConnected) return false;
  if (!FQueue.PushWait(RecordBytes(rec), wait)) {
    Fail("Archive data not taken within " + std::to_string(wait.count()) + " ms");
    LogWarn(FLogId, "TcpDataClient.SendArchiv.Write failed: " + ErrorMessage() + ", " + ToString());
    return false;
  }
  return true;
}

std::string TTcpDataClient::RecordBytes(const TStoreDataRecord& rec) {
  std::string bytes;
  bytes.reserve(20 + rec.Data.size());
  AppendBytes(bytes, &rec.StartTime, 8);
  AppendBytes(bytes, &rec.EndTime, 8);
  const uint32_t length = static_cast<uint32_t>(rec.Data.size());
  AppendBytes(bytes, &length, 4);
  return bytes + rec.Data;
}

void TTcpDataClient::WriterLoop() {
  NameThisThread("vta-tcp-writer");
  LogIt(FLogId, "TcpClientThread(" + FPeer + "): Execute START");
  std::vector<std::string> batch;
  std::string bytes;
  while (FQueue.TakeAll(batch, FGather)) {
    if (FNotConnected) continue;  // a broken stream is not written to again
    const auto start = std::chrono::steady_clock::now();
    // One write per batch: a subscriber that fell behind catches up with few system calls.
    bytes.clear();
    for (const std::string& item : batch) bytes += item;
    std::string reason;
    if (!SendAll(FSocket.Get(), bytes, reason)) {
      Fail(reason);
      LogWarn(FLogId, "TcpClientThread(" + FPeer + ").WriteLn failed: " + reason);
    }
    const double micro = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard lock(FStatsLock);
    FStringCount += batch.size();
    FTimeSumMikro += micro;
  }
  LogIt(FLogId, "TcpClientThread(" + FPeer + "): Execute END");
}

void TTcpDataClient::Fail(const std::string& message) {
  {
    std::lock_guard lock(FStatsLock);
    FErrorMessage = message;
  }
  FNotConnected = true;
}

double TTcpDataClient::TimeMikro() const {
  std::lock_guard lock(FStatsLock);
  return FStringCount ? FTimeSumMikro / double(FStringCount) : 0;
}

std::string TTcpDataClient::ErrorMessage() const {
  std::lock_guard lock(FStatsLock);
  return FErrorMessage;
}
