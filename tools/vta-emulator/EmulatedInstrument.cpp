#include "EmulatedInstrument.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

using std::chrono::milliseconds;

constexpr auto RequestTimeLimit = milliseconds(3000);
constexpr auto ManagementPoll = 20;  // ms between checks of the stop flag

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    text.push_back(digits[static_cast<uint8_t>(c) >> 4]);
    text.push_back(digits[static_cast<uint8_t>(c) & 0xF]);
  }
  return text;
}

std::string Who(const TManagementRequest& r) { return "host " + r.HostText(); }

}  // namespace

TEmulatedInstrument::TEmulatedInstrument(const TEmulatorSettings& settings)
    : FSettings(settings), FTrace(settings.TracePath), FModel(settings) {
  if (settings.SerialPath.empty()) FOwnAddress = QHostAddress(QString::fromStdString(settings.ListenAddress)).toIPv4Address();
}

TEmulatedInstrument::~TEmulatedInstrument() { Stop(); }

EmulatorFrames::TIdentity TEmulatedInstrument::Identity(int userId) const {
  return {FSettings.SerialNumber, userId, FOwnAddress};
}

std::string TEmulatedInstrument::Start() {
  if (!FSettings.TracePath.empty() && !FTrace.IsOpen()) return "Cannot write the trace file " + FSettings.TracePath;
  if (TInstrumentModel::IntervalIndex(FSettings.IntervalMs) < 0)
    return "Interval " + std::to_string(FSettings.IntervalMs) + " ms is none of 1, 2, 5, 10, ..., 20000";
  FStop = false;
  FStart = std::chrono::steady_clock::now();
  FGenerator = std::thread([this] { RunGenerator(); });
  if (FSettings.UsbCdc) {
    FCdc = std::make_unique<TCdcLine>(FRing, *this, FTrace,
                                      TCdcLine::TSetup{FSettings.SerialPath, FSettings.SerialNumber, FSettings.DropAfter,
                                                       FSettings.LoseOnReconnect});
    const std::string error = FCdc->Open();
    if (!error.empty()) Stop();
    return error;
  }
  if (!FSettings.SerialPath.empty()) {
    FSerial = std::make_unique<TSerialLine>(FRing, *this, FTrace,
                                            TSerialLine::TSetup{FSettings.Peer, FSettings.SerialPath, Identity(1),
                                                                FSettings.DropAfter, FSettings.SilentAfter});
    const std::string error = FSerial->Open();
    if (!error.empty()) Stop();
    return error;
  }
  std::promise<std::string> listening;
  auto result = listening.get_future();
  FManagement = std::thread([this, &listening] { RunManagement(listening); });
  const std::string error = result.get();
  if (!error.empty()) Stop();
  return error;
}

void TEmulatedInstrument::Stop() {
  FStop = true;
  if (FManagement.joinable()) FManagement.join();
  for (TUserSlot& slot : FSlots) slot.Stream.reset();
  FSerial.reset();
  FCdc.reset();
  {
    // Under the lock, so that the generator is either waiting or will see the flag: no lost wake-up.
    std::lock_guard lock(FModelMutex);
    FGeneratorWake.notify_all();
  }
  if (FGenerator.joinable()) FGenerator.join();
}

// ---- Measuring ----

void TEmulatedInstrument::AppendLocked(const TEmulatedReport& report) {
  const uint32_t size = FSettings.Peer == TEmulatorSettings::TPeer::Coldfire
                            ? static_cast<uint32_t>(EmulatorFrames::ColdfireFrame(EmulatorFrames::ColdfireReport(report, Identity(1))).size())
                            : EmulatorFrames::TransmitBlockWords(report);
  FRing.Append(report, size);
}

void TEmulatedInstrument::RunGenerator() {
  std::unique_lock lock(FModelMutex);
  while (!FStop) {
    FGeneratorWake.wait_until(lock, FStart + milliseconds(FModel.NextEventMs()), [this] { return FStop.load(); });
    const auto elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - FStart);
    for (const TEmulatedReport& report : FModel.AdvanceTo(static_cast<uint64_t>(elapsed.count()))) AppendLocked(report);
  }
}

TInstrumentModel::TCommandResult TEmulatedInstrument::Execute(std::string_view command, const std::string& who) {
  std::lock_guard lock(FModelMutex);
  const auto result = FModel.Execute(command);
  FTrace.Note(who, "command " + Hex(command) + (result.Known ? "" : " ignored"));
  if (result.SettingsChanged) AppendLocked(FModel.SettingsReport());
  if (result.Version) AppendLocked(TEmulatedReport::Of(TEmulatedReport::rkVersion));
  // A rate change restarts the wait for the next measurement.
  FGeneratorWake.notify_all();
  return result;
}

uint64_t TEmulatedInstrument::Announce() {
  std::lock_guard lock(FModelMutex);
  const uint64_t first = FRing.EndIndex();
  AppendLocked(TEmulatedReport::Of(TEmulatedReport::rkVersion));
  AppendLocked(FModel.SettingsReport());
  return first;
}

// ---- Management port ----

void TEmulatedInstrument::RunManagement(std::promise<std::string>& listening) {
  QTcpServer server;
  server.setProxy(QNetworkProxy::NoProxy);
  if (!server.listen(QHostAddress(QString::fromStdString(FSettings.ListenAddress)), FSettings.ManagementPort)) {
    listening.set_value("Cannot listen on " + FSettings.ListenAddress + ":" + std::to_string(FSettings.ManagementPort) +
                        ": " + server.errorString().toStdString());
    return;
  }
  FBoundPort = server.serverPort();
  FTrace.Note("instrument", "management port " + FSettings.ListenAddress + ":" + std::to_string(FBoundPort));
  listening.set_value({});
  while (!FStop) {
    if (!server.waitForNewConnection(ManagementPoll)) continue;
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    if (socket) ServeRequest(*socket);
  }
}

void TEmulatedInstrument::ServeRequest(QTcpSocket& socket) {
  std::string bytes;
  const auto deadline = std::chrono::steady_clock::now() + RequestTimeLimit;
  size_t length = 0;
  while (!FStop && std::chrono::steady_clock::now() < deadline) {
    length = TManagementRequest::Length(bytes);
    if (length == std::string_view::npos || (length != 0 && bytes.size() >= length)) break;
    if (socket.waitForReadyRead(ManagementPoll)) bytes += socket.readAll().toStdString();
    if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) break;
  }
  const auto request = length && length != std::string_view::npos && bytes.size() >= length
                           ? TManagementRequest::Parse(std::string_view(bytes).substr(0, length))
                           : std::nullopt;
  if (!request) {
    FTrace.Note("management", "not a request: " + Hex(bytes));
    return;
  }
  const auto answer = Answer(*request);
  if (!answer) {
    // Silence: the connection stays open without a word until the host gives up.
    socket.waitForDisconnected(static_cast<int>(RequestTimeLimit.count()));
    return;
  }
  socket.write(answer->data(), static_cast<qint64>(answer->size()));
  socket.waitForBytesWritten(1000);
  socket.disconnectFromHost();
  if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
}

std::optional<std::string> TEmulatedInstrument::Answer(const TManagementRequest& request) {
  if (const auto refusal = Refusal(request.Kind)) {
    FTrace.Note(Who(request), "refused with \"" + *refusal + "\"");
    if (*refusal == "silent") return std::nullopt;
    std::lock_guard lock(FSlotMutex);
    return ManagementAnswer::Line(*refusal) + (*refusal == "ab" ? UserTable() : "");
  }
  switch (request.Kind) {
    case TManagementRequest::mrConnect: return LogOn(request);
    case TManagementRequest::mrDisconnect: return ManagementAnswer::Line(LogOff(request));
    case TManagementRequest::mrTry: return ManagementAnswer::Line(Try(request));
    case TManagementRequest::mrCommand: return ManagementAnswer::Line(Command(request));
  }
  return std::nullopt;
}

std::optional<std::string> TEmulatedInstrument::Refusal(TManagementRequest::TKind kind) {
  using R = TEmulatorSettings::TRefusal;
  const R refusal = FSettings.Refusal;
  const bool applies = refusal == R::Bu ? kind == TManagementRequest::mrCommand
                                        : refusal != R::None && kind == TManagementRequest::mrConnect;
  std::lock_guard lock(FSlotMutex);
  if (!applies || (FSettings.RefusalCount > 0 && FRefusalsGiven >= FSettings.RefusalCount)) return std::nullopt;
  ++FRefusalsGiven;
  switch (refusal) {
    case R::Ab: return "ab";
    case R::Bu: return "bu";
    case R::Ta: return "ta";
    case R::Sv: return "sv";
    case R::Silent: return "silent";
    case R::None: break;
  }
  return std::nullopt;
}

std::string TEmulatedInstrument::UserTable() const {
  std::string table;
  for (const TUserSlot& slot : FSlots) {
    const uint32_t address = slot.LoggedOn ? slot.HostAddress : 0;
    for (int shift = 24; shift >= 0; shift -= 8) table.push_back(static_cast<char>(address >> shift));
  }
  return table;
}

TEmulatedInstrument::TUserSlot* TEmulatedInstrument::SlotOf(const TManagementRequest& request) {
  for (int i = 0; i < MaxUsers; ++i) {
    TUserSlot& slot = FSlots[i];
    if (slot.LoggedOn && slot.HostAddress == request.HostAddress && slot.HostPort == request.HostPort &&
        (request.UserId == 0 || request.UserId == i + 1))
      return &slot;
  }
  return nullptr;
}

std::string TEmulatedInstrument::LogOn(const TManagementRequest& request) {
  std::lock_guard lock(FSlotMutex);
  if (SlotOf(request)) return ManagementAnswer::Line("sv");
  int user = request.UserId;
  if (user == 0) {
    for (int i = 0; i < MaxUsers && user == 0; ++i)
      if (!FSlots[i].LoggedOn) user = i + 1;
  }
  if (user == 0 || FSlots[user - 1].LoggedOn) {
    FTrace.Note(Who(request), "log-on refused: no free user");
    return ManagementAnswer::Line("ab") + UserTable();
  }
  TUserSlot& slot = FSlots[user - 1];
  slot.Stream.reset();
  // The same host logging on again continues where it stopped, unless the instrument loses that.
  const bool resume = slot.ResumeIndex && slot.HostAddress == request.HostAddress && !FSettings.LoseOnReconnect;
  TNetworkStream::TSetup setup;
  setup.Peer = FSettings.Peer;
  setup.Identity = Identity(user);
  setup.HostAddress = request.HostAddress;
  setup.HostPort = request.HostPort;
  // An instrument connects back from its own address, unless a foreign host is being played. A
  // wildcard listen address leaves the choice to the system.
  const bool wildcard = FSettings.ListenAddress.empty() || FSettings.ListenAddress == "0.0.0.0";
  setup.ConnectFrom = !FSettings.ConnectFrom.empty() ? FSettings.ConnectFrom : wildcard ? "" : FSettings.ListenAddress;
  setup.DropAfter = FSettings.DropAfter;
  setup.SilentAfter = FSettings.SilentAfter;
  setup.StartIndex = resume ? *slot.ResumeIndex : Announce();
  setup.BufferCleared = !resume;
  slot.LoggedOn = true;
  slot.HostAddress = request.HostAddress;
  slot.HostPort = request.HostPort;
  FTrace.Note(Who(request), "logged on as user " + std::to_string(user) + (resume ? ", continuing" : ""));
  slot.Stream = std::make_unique<TNetworkStream>(FRing, FTrace, setup);
  return ManagementAnswer::Line("ok");
}

std::string TEmulatedInstrument::LogOff(const TManagementRequest& request) {
  std::lock_guard lock(FSlotMutex);
  TUserSlot* slot = SlotOf(request);
  if (!slot) return "er";
  slot->Stream->Stop();
  slot->ResumeIndex = slot->Stream->ReadIndex();
  slot->Stream.reset();
  slot->LoggedOn = false;
  FTrace.Note(Who(request), "logged off");
  return "ok";
}

std::string TEmulatedInstrument::Try(const TManagementRequest& request) {
  std::lock_guard lock(FSlotMutex);
  const TUserSlot* slot = SlotOf(request);
  return slot && slot->Stream->Running() ? "ok" : "er";
}

std::string TEmulatedInstrument::Command(const TManagementRequest& request) {
  std::lock_guard lock(FSlotMutex);
  TUserSlot* slot = SlotOf(request);
  if (!slot) return "er";
  const auto result = Execute(request.Command, Who(request));
  if (result.ClearBuffer) slot->Stream->ClearBuffer();
  if (result.ConnectedUsers) slot->Stream->Push(TEmulatedReport::Of(TEmulatedReport::rkToolsData, UserTable()));
  if (result.NvsRead && FSettings.Peer == TEmulatorSettings::TPeer::NetworkModule)
    slot->Stream->Push(TInstrumentModel::NvsBlock(*result.NvsRead));
  if (result.MemoryRead > 0)
    slot->Stream->Push(TEmulatedReport::Of(TEmulatedReport::rkToolsData,
                                           EmulatorFrames::IdentityBlock(result.MemoryRead, FSettings.SerialNumber)));
  if (result.Stop) slot->Stream->Stop();
  return "ok";
}
