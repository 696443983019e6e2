#include "NetworkStream.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace {

constexpr size_t MaxBlocksPerWrite = 256;
constexpr size_t MaxCdcData = 4096;
constexpr auto IdleWait = std::chrono::milliseconds(10);

}  // namespace

TNetworkStream::TNetworkStream(const TInstrumentRing& ring, TEmulatorTrace& trace, const TSetup& setup)
    : FRing(ring), FTrace(trace), FSetup(setup), FReadIndex(setup.StartIndex), FCleared(setup.BufferCleared) {
  FThread = std::thread([this] { Run(); });
}

TNetworkStream::~TNetworkStream() { Stop(); }

void TNetworkStream::Stop() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

void TNetworkStream::Push(const TEmulatedReport& report) {
  std::lock_guard lock(FMutex);
  FDirect.push_back(report);
}

void TNetworkStream::ClearBuffer() {
  std::lock_guard lock(FMutex);
  FReadIndex = FRing.EndIndex();
  if (FSetup.Peer == TEmulatorSettings::TPeer::Coldfire) {
    FCleared = true;
  } else {
    FDirect.push_back(TEmulatedReport::Of(TEmulatedReport::rkBufferCleared));
  }
}

uint64_t TNetworkStream::ReadIndex() const {
  std::lock_guard lock(FMutex);
  return FReadIndex;
}

std::string TNetworkStream::Who() const { return "user" + std::to_string(FSetup.Identity.UserId); }

void TNetworkStream::Run() {
  const QString host = QHostAddress(FSetup.HostAddress).toString() + ":" + QString::number(FSetup.HostPort);
  QTcpSocket socket;
  // An instrument talks to its host directly; no system proxy look-up (which runs threads of its own).
  socket.setProxy(QNetworkProxy::NoProxy);
  if (!FSetup.ConnectFrom.empty() && !socket.bind(QHostAddress(QString::fromStdString(FSetup.ConnectFrom)))) {
    FTrace.Note(Who(), "cannot connect from " + FSetup.ConnectFrom + ": " + socket.errorString().toStdString());
    FRunning = false;
    return;
  }
  socket.connectToHost(QHostAddress(FSetup.HostAddress), FSetup.HostPort);
  if (!socket.waitForConnected(3000)) {
    FTrace.Note(Who(), "connect back to " + host.toStdString() + " failed: " + socket.errorString().toStdString());
    FRunning = false;
    return;
  }
  FTrace.Note(Who(), "data connection to " + host.toStdString());
  const auto start = std::chrono::steady_clock::now();
  const auto since = [&](std::chrono::milliseconds limit) {
    return limit.count() > 0 && std::chrono::steady_clock::now() - start >= limit;
  };
  while (!FStop) {
    if (since(FSetup.DropAfter)) {
      FTrace.Note(Who(), "drops the data connection");
      FRunning = false;  // before the host can notice the drop and ask
      socket.abort();
      break;
    }
    const std::string bytes = since(FSetup.SilentAfter) ? std::string() : NextBytes();
    if (bytes.empty()) {
      if (!FRing.WaitFor(ReadIndex(), IdleWait) || since(FSetup.SilentAfter)) std::this_thread::sleep_for(IdleWait);
    } else {
      socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
      socket.waitForBytesWritten(1000);
    }
    // The host sends nothing on this connection; reading only notices when it closes it.
    socket.waitForReadyRead(0);
    socket.readAll();
    if (socket.state() != QAbstractSocket::ConnectedState) {
      FTrace.Note(Who(), "data connection closed by the host");
      break;
    }
  }
  if (socket.state() == QAbstractSocket::ConnectedState) {
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(500);
  }
  FRunning = false;
}

std::string TNetworkStream::NextBytes() {
  std::lock_guard lock(FMutex);
  std::deque<TEmulatedReport> direct;
  direct.swap(FDirect);
  return FSetup.Peer == TEmulatorSettings::TPeer::Coldfire ? CdcBytes(direct) : ModuleBytes(direct);
}

std::string TNetworkStream::ModuleBytes(std::deque<TEmulatedReport>& direct) {
  std::string bytes;
  for (const TEmulatedReport& report : direct) {
    bytes += EmulatorFrames::TransmitBlock(report, FRing.EndAddress(), FSetup.Identity);
    FTrace.Sent(Who(), report);
  }
  for (const TRingUnit& unit : FRing.From(FReadIndex, MaxBlocksPerWrite)) {
    bytes += EmulatorFrames::TransmitBlock(unit.Report, unit.Address, FSetup.Identity);
    FTrace.Sent(Who(), unit.Report);
    FReadIndex = unit.Index + 1;
  }
  return bytes;
}

std::string TNetworkStream::CdcBytes(std::deque<TEmulatedReport>& direct) {
  const auto writePtr = [&] { return FRing.EndAddress() | static_cast<uint32_t>(FSetup.Identity.UserId - 1) << 17; };
  std::string bytes;
  for (const TEmulatedReport& report : direct) {
    if (report.Kind != TEmulatedReport::rkToolsData) continue;
    bytes += EmulatorFrames::CdcBlock(report.Data, {0, EmulatorFrames::CdcFlagTools, writePtr(), FReadPtr});
    FTrace.Sent(Who(), report);
  }
  std::string data;
  uint32_t ringPos = 0;
  uint64_t index = FReadIndex;
  for (const TRingUnit& unit : FRing.From(index, MaxBlocksPerWrite)) {
    if (data.empty()) ringPos = unit.Address;
    else if (data.size() >= MaxCdcData || unit.Address < ringPos) break;  // a block never wraps the ring
    data += EmulatorFrames::ColdfireFrame(EmulatorFrames::ColdfireReport(unit.Report, FSetup.Identity));
    FTrace.Sent(Who(), unit.Report);
    FReadIndex = unit.Index + 1;
  }
  if (data.empty()) return bytes;
  FReadPtr = (ringPos + static_cast<uint32_t>(data.size())) % TInstrumentRing::RingSize;
  const uint32_t flags = FCleared ? EmulatorFrames::CdcFlagCleared : 0;
  FCleared = false;
  return bytes + EmulatorFrames::CdcBlock(data, {ringPos, flags, writePtr(), FReadPtr});
}
