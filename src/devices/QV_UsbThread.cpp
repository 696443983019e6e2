#include "devices/QV_UsbThread.h"

#include <algorithm>
#include <chrono>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_UsbDevice.h"
#include "devices/QV_UsbFrames.h"

using namespace QV_UsbFrames;

namespace {

const std::string CDCMagic("\xBF\xBF\xBF\xBF", 4);
constexpr uint32_t SwitchPauseMs = 5;
constexpr uint32_t WriteMsPerByte = 20;
constexpr uint8_t StatusBlock = 's', MessageBlock = 'p', NVSBlock = 'x';
constexpr uint16_t StatusTooManyUsers = 254, StatusBufferCleared = 255;

std::mutex gLinesLock;
std::vector<std::weak_ptr<TQV_UsbThread>> gLines;  // the program-wide line list

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t LE(std::string_view s, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

uint32_t BE32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

uint8_t Byte(std::string_view s, size_t at) { return at < s.size() ? static_cast<uint8_t>(s[at]) : 0; }

bool IsStopCmd(std::string_view cmd) { return Byte(cmd, 0) == 0x85 && Byte(cmd, 1) == 0x60; }
bool IsResetCmd(std::string_view cmd) { return Byte(cmd, 0) == 0x85 && (cmd[1] == 'P' || cmd[1] == 'Q'); }

std::string InUseText(const std::string& path) {
  return "Error open Q+V device \"" + path + "\": USB device is already in use";
}

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string UserText(const TQV_UsbDevice* d) { return d ? std::to_string(d->UserID()) : "nil"; }

}  // namespace

// ============================== Line list ==============================

std::shared_ptr<TQV_UsbThread> TQV_UsbThread::GetThread(TQV_UsbDevice& device, TQV_Result& code,
                                                         std::string& error) {
  std::lock_guard listLock(gLinesLock);
  std::erase_if(gLines, [](const auto& weak) { return weak.expired(); });
  for (const auto& weak : gLines) {
    const auto line = weak.lock();
    if (!line || line->Path() != device.DevicePath() || line->Terminated()) continue;
    if (!device.MultiUSB()) {
      LogError(device.LogId(), "TQV_UsbDevice.CDCOpen Thread=nil -> TooManyUser");
      code = QV_TooManyUser;
      error = InUseText(device.DevicePath());
      return nullptr;
    }
    std::lock_guard lock(line->FLock);
    line->FDevices.push_back(&device);
    line->FNewDevices.push_back(&device);
    line->FClosedUsers.erase(device.UserID());
    LogIt(device.LogId(), "TQV_UsbThread.AddDevice: Count=" + std::to_string(line->FDevices.size()) +
                              ", NewCount=" + std::to_string(line->FNewDevices.size()) +
                              ", Device=" + UserText(&device));
    return line;
  }
  std::shared_ptr<TQV_UsbThread> line(new TQV_UsbThread(device, device.PeerType() == ptESP));
  std::string reason;
  bool inUse = false;
  if (!line->Open(reason, inUse)) {
    code = inUse ? QV_TooManyUser : QV_System_Err;
    error = inUse ? InUseText(device.DevicePath()) : "Error open Q+V device \"" + device.DevicePath() + "\": " + reason;
    return nullptr;
  }
  line->Start();
  gLines.push_back(line);
  return line;
}

TQV_UsbThread::TQV_UsbThread(TQV_UsbDevice& owner, bool esp)
    : FPath(owner.DevicePath()),
      FESP(esp),
      FLogId(owner.LogId()),
      FReadTimeoutMs(std::max<uint32_t>(1, owner.ReadTimeoutMs())),
      FTimeoutLimit(esp ? owner.Timings().LineTimeoutMs / FReadTimeoutMs : owner.Timings().ColdfireTimeoutCount),
      FRepeatLimitMs(owner.Timings().RepeatLimitMs),
      FLoginLimitMs(owner.Timings().LoginLimitMs),
      FOwner(&owner),
      FDevices{&owner},
      FNewDevices{&owner} {
  // A recovered line continues from where the broken one ended.
  if (esp && owner.FisReconnected) {
    FRepeatAddr = owner.PeerRepeatAddr();
    FRepeatAddrKnown = true;
  }
}

TQV_UsbThread::~TQV_UsbThread() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

bool TQV_UsbThread::Open(std::string& reason, bool& inUse) { return FLine.Open(FPath, reason, inUse); }

void TQV_UsbThread::Start() {
  FThread = std::thread([this] { Run(); });
}

void TQV_UsbThread::Run() {
  while (!FStop && !FTerminated) {
    SendNextCommand();
    if (FESP) ReadESP();
    else ReadCDCBlock();
  }
  // Closed at once, so that a recovery can open the node again while users still hold the line.
  FLine.Close();
}

void TQV_UsbThread::Terminate(uint32_t systemError, const std::string& text) {
  if (systemError == ErrTimeout && FTimeoutExpected) LogIt(FLogId, text);
  else LogError(FLogId, text);
  if (FLogId >= 0) LogIt(FLogId + 1, "############################## TERMINATED ##############################");
  {
    std::lock_guard lock(FLock);
    if (FOwner) FOwner->SetSystemError(systemError, text, "");
  }
  FSystemError = systemError;
  FTerminated = true;
}

// ============================== Users ==============================

void TQV_UsbThread::RemoveDevice(TQV_UsbDevice& device) {
  std::lock_guard lock(FLock);
  std::erase(FDevices, &device);
  std::erase(FNewDevices, &device);
  std::erase_if(FCommands, [&](const TCommand& c) { return c.Target == &device; });
  for (auto*& slot : FSlots)
    if (slot == &device) slot = nullptr;
  if (IsUserSlot(device.UserID())) FClosedUsers.insert(device.UserID());
  if (FLastUser == &device) FLastUser = nullptr;
  if (FToolsReceiver == &device) FToolsReceiver = nullptr;
  if (FOwner != &device) return;
  // The command delay of the line lives on in the next user.
  FOwner = FDevices.empty() ? nullptr : FDevices.front();
  if (FOwner) FOwner->TQV_BaseDevice::SetDelayNextCmdMs(device.TQV_BaseDevice::GetDelayNextCmdMs());
}

bool TQV_UsbThread::IsOwner(const TQV_UsbDevice& device) const {
  std::lock_guard lock(FLock);
  return FOwner == &device;
}

TQV_UsbDevice* TQV_UsbThread::NewDeviceFor(uint8_t user) const {
  for (TQV_UsbDevice* d : FNewDevices)
    if (d->UserID() == user || d->RegisterID() == user) return d;
  for (TQV_UsbDevice* d : FNewDevices)
    if (!IsUserSlot(d->RegisterID()) && !IsUserSlot(d->UserID())) return d;
  return nullptr;
}

TQV_UsbDevice* TQV_UsbThread::FirstNotRefused() const {
  for (TQV_UsbDevice* d : FNewDevices)
    if (!d->TooManyUsers()) return d;
  return nullptr;
}

// ============================== Command queue ==============================

void TQV_UsbThread::AddCommand(const std::string& cmd, TQV_UsbDevice& target) {
  std::lock_guard lock(FLock);
  if (cmd.size() >= 3 && Byte(cmd, 0) == 0x85 && cmd[1] == 'E' && cmd[2] == 'b' && FOwner != &target) {
    LogIt(FLogId, "QV_UsbThread.AddCommand: ignore cmd (not owner)");
    return;
  }
  FCommands.push_back({Framed(cmd), &target});
}

int32_t TQV_UsbThread::PendingCount(const TQV_UsbDevice& device) const {
  std::lock_guard lock(FLock);
  return static_cast<int32_t>(std::count_if(FCommands.begin(), FCommands.end(),
                                            [&](const TCommand& c) { return c.Target == &device; }));
}

void TQV_UsbThread::DeleteCommands(const TQV_UsbDevice& device) {
  std::lock_guard lock(FLock);
  std::erase_if(FCommands, [&](const TCommand& c) { return c.Target == &device; });
}

int32_t TQV_UsbThread::GetDelayNextCmdMs() {
  std::lock_guard lock(FLock);
  return FOwner ? FOwner->TQV_BaseDevice::GetDelayNextCmdMs() : 0;
}

void TQV_UsbThread::SetDelayNextCmdMs(int32_t ms) {
  std::lock_guard lock(FLock);
  if (FOwner) FOwner->TQV_BaseDevice::SetDelayNextCmdMs(ms);
}

void TQV_UsbThread::SendNextCommand() {
  std::lock_guard lock(FLock);
  if (FCommands.empty()) return;
  const TCommand entry = FCommands.front();
  if (!entry.Target) {
    FCommands.pop_front();
    SendDisconnect(entry.DisconnectUser);
    return;
  }
  TQV_UsbDevice& target = *entry.Target;
  const std::string_view cmd = std::string_view(entry.Framed).substr(1);
  if (cmd.empty()) {
    LogIt(FLogId, "TQV_UsbThread.SendNextCommand: cmd is empty");
    FCommands.pop_front();
    return;
  }
  int32_t delay = FOwner ? FOwner->TQV_BaseDevice::GetDelayNextCmdMs() : 0;
  if (delay == 1 && FESP) {
    FOwner->TQV_BaseDevice::SetDelayNextCmdMs(0);
    delay = 0;
  }
  if (delay > 0) {
    LogIt(FLogId, "TQV_UsbThread.SendNextCommand: delay cmd ms=" + std::to_string(delay));
    return;
  }
  const bool login = Byte(cmd, 0) == 0xBE;
  const TCmdResponseType wait = target.CmdResponse();
  if (wait != crt_none && !(login && wait == crt_login)) {
    LogIt(FLogId, "TQV_UsbThread.SendNextCommand: wait CmdResponse " + CmdResponseTypeName(wait));
    return;
  }
  FCommands.pop_front();
  if (target.TooManyUsers() && !login && !IsStopCmd(cmd)) {
    LogError(FLogId, "TQV_UsbThread.SendNextCommand TooManyUsers, Kdo abweisen: " + AnsiToHex(std::string(cmd)) + " (" +
                         UserText(&target) + ")");
    return;
  }
  if (FESP && IsStopCmd(cmd) && !IsUserSlot(target.UserID())) {
    // A user the instrument never gave a slot has no stream to stop; sent as it stands the stop
    // would end the stream of the line's current user.
    LogIt(FLogId, "TQV_UsbThread.SendNextCommand: stop without user id -> not sent");
    target.FStopSent = true;
    return;
  }
  const bool userBound = Byte(cmd, 0) == 0x85 && ((Byte(cmd, 1) >= 0x74 && Byte(cmd, 1) <= 0x77) || IsStopCmd(cmd));
  if (!login && (userBound || FLastUser != &target) && !SwitchUser(target.UserID())) return;
  if (!login) FLastUser = &target;
  WriteFramed(entry.Framed, &target);
}

bool TQV_UsbThread::SwitchUser(uint8_t user) {
  // Only a shared line knows users, and only a known user can be switched to.
  if (!FESP || !IsUserSlot(user)) return true;
  LogIt(FLogId, "TQV_UsbThread.SendNextCommand switch to: " + std::to_string(user));
  Sleep(SwitchPauseMs);
  if (!WriteFramed(Framed(std::string{'\x85', static_cast<char>(0x27 + user)}), nullptr)) return false;
  Sleep(SwitchPauseMs);
  return true;
}

void TQV_UsbThread::SendDisconnect(uint8_t user) {
  LogIt(FLogId, "TQV_UsbThread.SendCommandDisconnect switch to user " + std::to_string(user));
  if (!SwitchUser(user)) return;
  LogIt(FLogId, "TQV_UsbThread.SendCommandDisconnect send stop");
  WriteFramed(Framed("\x85\x60"), nullptr);
  FLastUser = nullptr;
}

bool TQV_UsbThread::WriteFramed(const std::string& framed, TQV_UsbDevice* target) {
  const std::string hex = AnsiToHex(framed);
  size_t written = 0;
  if (!FLine.Write(framed, WriteMsPerByte * static_cast<uint32_t>(framed.size()), written)) {
    // Termination takes the lock for the owner's error; the caller holds it.
    FSystemError = written < framed.size() && FLine.LastError() == "timeout" ? ErrWriteTimeout : 0;
    const std::string text = FSystemError == ErrWriteTimeout
                                 ? "Sending command Timeout, requested=" + std::to_string(framed.size()) +
                                       ", written=" + std::to_string(written) + ", data=" + hex
                                 : "Sending command failed";
    LogError(FLogId, text);
    if (FOwner) FOwner->SetSystemError(FSystemError, text, "");
    if (FLogId >= 0) LogIt(FLogId + 1, "############################## TERMINATED ##############################");
    FTerminated = true;
    return false;
  }
  LogIt(FLogId, "*****  QV_UsbThread.SendCommandIntern ok: " + hex);
  if (target) {
    LogIt(target->LogId(), "{" + hex + "}");
    if (target->LogId() >= 0) LogIt(target->LogId() + 1, "{" + hex + "}");
    AfterWrite(framed.substr(1), target);
  }
  return true;
}

void TQV_UsbThread::AfterWrite(const std::string& cmd, TQV_UsbDevice* target) {
  if (IsBufferClearCmd(cmd)) {
    if (target->TooManyUsers()) {
      LogIt(FLogId, "QV_UsbThread.SendCommandIntern: TooManyUsers -> Do not ignore data");
    } else {
      target->FIgnoreData = true;
      target->ReceiveBuffer().Clear();
    }
  }
  if (IsResetCmd(cmd)) target->SetResetCmdSent(true);
  if (IsStopCmd(cmd) || IsResetCmd(cmd)) {
    target->FStopSent = true;
    if (target == FOwner) FTimeoutExpected = true;
  }
  if (Byte(cmd, 0) == 0x85 && Byte(cmd, 1) == '0') FTimeoutExpected = true;
  if (IsToolsCmd(cmd)) FToolsReceiver = target;
  if (Byte(cmd, 0) == 0x04 && Byte(cmd, 1) == 0x73) {
    FReconnecting = true;
    FRepeatRequestMs = NowMs();
  }
  if (FESP && FOwner) {
    const int32_t delay = Byte(cmd, 0) == 0x04 && Byte(cmd, 1) == 0x73 ? 1000
                          : Byte(cmd, 0) == 0x85 && Byte(cmd, 1) == '2' ? 50
                                                                        : 5;
    FOwner->TQV_BaseDevice::SetDelayNextCmdMs(delay);
  }
}

// ============================== Reading ==============================

void TQV_UsbThread::CheckResumption() {
  if (!FReconnecting || NowMs() - FRepeatRequestMs <= FRepeatLimitMs) return;
  // The instrument sends nothing from where the host asked it to continue: what lay between is
  // lost. Each user stops and logs on again, which restarts its stream.
  FReconnecting = false;
  FRepeatAddrKnown = false;
  std::lock_guard lock(FLock);
  LogError(FLogId, "TQV_UsbThread: resumption not answered within " + std::to_string(FRepeatLimitMs) +
                       " ms -> restart data transfer");
  if (FOwner) FOwner->TQV_BaseDevice::SetDelayNextCmdMs(0);
  for (TQV_UsbDevice* d : FDevices) {
    d->ReconnectFailed();
    if (!FESP) continue;
    FCommands.push_back({Framed("\x85\x60"), d});
    FCommands.push_back({Framed(d->RestartLogOnCommand()), d});
  }
}

bool TQV_UsbThread::CheckLoginExpired() {
  bool waiting = false;
  {
    std::lock_guard lock(FLock);
    for (const TQV_UsbDevice* d : FDevices) waiting = waiting || d->CmdResponse() == crt_login;
  }
  if (!FESP || !waiting) {
    FLoginTicksMs = 0;
    return false;
  }
  if (FLoginTicksMs == 0) {
    LogIt(FLogId, "TQV_UsbThread.ReadESPNoReceive: start login ticks");
    FLoginTicksMs = NowMs();
    return false;
  }
  if (NowMs() - FLoginTicksMs <= FLoginLimitMs) return false;
  Terminate(ErrTimeout, "TQV_UsbThread.ReadESPNoReceive wait login expired: terminate Thread");
  return true;
}

void TQV_UsbThread::OnTimeout(const char* reader) {
  const std::string tag = std::string("TQV_UsbThread.") + reader;
  CheckResumption();
  // While a resumption runs, its own limit decides.
  if (FReconnecting || CheckLoginExpired()) return;
  {
    std::lock_guard lock(FLock);
    if (!FCommands.empty()) {
      LogIt(FLogId, tag + ": nothing received, but pending commands");
      return;
    }
  }
  if (FTimeoutExpected || ++FTimeoutCount > FTimeoutLimit) {
    Terminate(ErrTimeout, tag + ": nothing received, terminate Thread");
    return;
  }
  LogIt(FLogId, tag + ": timeout count =" + std::to_string(FTimeoutCount) + " -> ignore");
}

// Appends what the line delivers to FRemaining; false after a failure (the line ends) or a
// time-out (counted), true when bytes came.
bool TQV_UsbThread::ReadMore(const char* reader) {
  const size_t before = FRemaining.size();
  const TQV_TtyLine::TRead r = FLine.ReadSome(ESPChunkSize, FReadTimeoutMs, FRemaining);
  if (r == TQV_TtyLine::TRead::Failed) {
    Terminate(0, "Reading from USB failed (" + FLine.LastError() + ")");
    return false;
  }
  if (r == TQV_TtyLine::TRead::Timeout || FRemaining.size() == before) {
    OnTimeout(reader);
    return false;
  }
  FTimeoutCount = 0;
  return true;
}

// ---- Network-module line: transmit blocks ----

void TQV_UsbThread::ReadESP() {
  if (!ReadMore("ReadESP")) return;
  std::string data;
  data.swap(FRemaining);
  FEspStream.Feed(data, *this);
  std::lock_guard lock(FLock);
  if (FNewDevices.empty()) QueueMissingDisconnects();
}

void TQV_UsbThread::Block(std::string_view block) {
  FFirstReceive = false;
  TakeESPBlock(block);
}

void TQV_UsbThread::Skipped(std::string_view bytes, bool broken) {
  if (FFirstReceive && !broken) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP first receive: skip " + std::to_string(bytes.size()) + " bytes before magic -> " +
                      AnsiToHex(bytes));
    return;
  }
  // A value count beyond the largest block is a broken block, not a length to wait for.
  if (broken) ReportBadESPBlock(Byte(bytes, 5));
  LogIt(FLogId, "TQV_UsbThread.ReadESP: magic error -> ignore bytes");
}

void TQV_UsbThread::ReportBadESPBlock(uint8_t count) {
  LogError(FLogId, "TQV_UsbThread.ReadESP: bad block, value count=" + std::to_string(count));
  std::lock_guard lock(FLock);
  if (FOwner) FOwner->SetError(QV_Err_BadFormat, "Read error on USB. USB frames lost");
}

void TQV_UsbThread::TakeESPBlock(std::string_view block) {
  const uint8_t type = Byte(block, 4);
  const uint8_t count = Byte(block, 5);
  const uint32_t w = LE(block, 6, 2);
  const uint32_t y = LE(block, 12, 4);
  const uint32_t address = y & ESPAddressMask;
  const uint32_t words = 4 + 2u * count;
  std::lock_guard lock(FLock);
  if (type == StatusBlock && w == StatusTooManyUsers) {
    AdvanceRepeatAddr(address, words);
    TQV_UsbDevice* target = FirstNotRefused();
    if (!target) return;
    LogIt(FLogId, "TQV_UsbThread.ReadESP userid = $FF, target=" + UserText(target));
    target->SetTooManyUsers(true);
    // The refusal answers the log-on: the wait for it ends.
    target->SetCmdResponse(crt_none);
    Deliver(*target, block);
    return;
  }
  const auto user = static_cast<uint8_t>(((y >> 20) & 0x0F) + 1);
  if (!IsUserSlot(user)) {
    LogError(FLogId, "Invalid user ID " + std::to_string(user) + " -> ignore report");
    return;
  }
  TQV_UsbDevice* target = ESPTarget(user, type, w);
  if (!target) {
    AdvanceRepeatAddr(address, words);
    return;
  }
  if (!IsUserSlot(target->UserID())) target->SetCFUserID(user);
  if (!CheckESPAddress(address, words, user)) return;
  target->SetPeerRepeatAddr(FRepeatAddr);
  if (target->FLoginState == ls_registered && target->CmdResponse() == crt_login) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP Login ok: -> reset wait CmdResponse crt_login");
    target->SetCmdResponse(crt_none);
  }
  if (type == StatusBlock && w == StatusBufferCleared) {
    target->FIgnoreData = false;
    return;
  }
  if (target->FIgnoreData) {
    target->ReceiveBuffer().SetReceivedDataIgnored();
    return;
  }
  Deliver(*target, block);
  if (type == NVSBlock && (w & 0xFF) == 'b') {
    LogIt(FLogId, "TQV_UsbThread.ReadESP blob an alle FDevices weitergeben");
    for (TQV_UsbDevice* other : FSlots)
      if (other && other != target && other->FLoginState == ls_registered) Deliver(*other, block);
  }
}

TQV_UsbDevice* TQV_UsbThread::ESPTarget(uint8_t user, uint8_t type, uint32_t w) {
  TQV_UsbDevice*& slot = FSlots[user - 1];
  if (slot) return slot;
  if (TQV_UsbDevice* candidate = NewDeviceFor(user)) {
    // A new user receives blocks once its log-on has come through: the cleared buffer, then the version.
    if (candidate->FLoginState == ls_waitBufferCleared && type == StatusBlock && w == StatusBufferCleared)
      candidate->SetLoginState(ls_waitVersion);
    else if (candidate->FLoginState == ls_waitVersion && type == MessageBlock && w == 0x7001)
      candidate->SetLoginState(ls_registered);
    if (candidate->FLoginState != ls_registered) {
      LogIt(FLogId, "TQV_UsbThread.ReadESP: target not registered");
      return nullptr;
    }
    slot = candidate;
    std::erase(FNewDevices, candidate);
    LogIt(FLogId, "TQV_UsbThread.ReadESP FDevices[" + std::to_string(user) + "]=" + UserText(candidate));
    FLastUser = candidate;
    FMissingDisconnects.erase(user);
    return candidate;
  }
  if (type == NVSBlock) {
    for (TQV_UsbDevice* other : FSlots)
      if (other) {
        LogIt(FLogId, "TQV_UsbThread.ReadESP NVS userId(" + std::to_string(user) + ") umbiegen auf FDevices[" +
                          std::to_string(other->UserID()) + "]=" + UserText(other));
        return other;
      }
  }
  LogIt(FLogId, "TQV_UsbThread.ReadESP: -> ignore report");
  if (FClosedUsers.erase(user)) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP no MissingDisconnect: userId=" + std::to_string(user));
  } else if (FMissingDisconnects.insert(user).second) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP MissingDisconnect=UserID=" + std::to_string(user));
  }
  return nullptr;
}

void TQV_UsbThread::AdvanceRepeatAddr(uint32_t address, uint32_t words) {
  FRepeatAddr = (address + words) & ESPAddressMask;
  FRepeatAddrKnown = true;
}

bool TQV_UsbThread::CheckESPAddress(uint32_t address, uint32_t words, uint8_t user) {
  if (FRepeatAddrKnown && address != FRepeatAddr) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP BufferPtr[" + std::to_string(user) + "]: expected=0x" +
                      IntToHex(FRepeatAddr, 5) + " found=0x" + IntToHex(address, 5));
    if (FReconnecting) {
      if (NowMs() - FRepeatRequestMs <= FRepeatLimitMs) {
        LogIt(FLogId, "TQV_UsbThread.ReadESP BufferPtr[" + std::to_string(user) + "]: ignore report during reconnect");
        return false;
      }
      FReconnecting = false;
      for (TQV_UsbDevice* d : FDevices) d->ReconnectFailed();
    }
  } else if (FRepeatAddrKnown && FReconnecting) {
    LogIt(FLogId, "TQV_UsbThread.ReadESP reset IsReconnected");
    FReconnecting = false;
    for (TQV_UsbDevice* d : FDevices) d->FisReconnected = false;
  }
  AdvanceRepeatAddr(address, words);
  return true;
}

void TQV_UsbThread::QueueMissingDisconnects() {
  if (FMissingDisconnects.empty()) return;
  LogIt(FLogId, "TQV_UsbThread.ReadESP: MissingDisconnects.Count=" + std::to_string(FMissingDisconnects.size()) +
                    " -> disconnect orphaned users");
  for (uint8_t user : FMissingDisconnects) {
    const bool queued = std::any_of(FCommands.begin(), FCommands.end(),
                                    [&](const TCommand& c) { return !c.Target && c.DisconnectUser == user; });
    if (!queued) FCommands.push_back({{}, nullptr, user});
  }
  FMissingDisconnects.clear();
}

// ---- Coldfire line: CDC blocks ----

void TQV_UsbThread::ReadCDCBlock() {
  if (!ReadMore("ReadCDCBlock")) return;
  size_t pos = 0;
  while (true) {
    const size_t magic = FRemaining.find(CDCMagic, pos);
    if (magic == std::string::npos) {
      // Up to three bytes may be the start of the next magic.
      const size_t keep = std::min<size_t>(3, FRemaining.size() - pos);
      if (FRemaining.size() - pos > keep) FPendingBadFormat = true;
      pos = FRemaining.size() - keep;
      break;
    }
    if (magic > pos) FPendingBadFormat = true;
    pos = magic;
    const std::string_view rest = std::string_view(FRemaining).substr(pos);
    if (rest.size() < CDCHeaderSize) break;
    TCDCHeader h{BE32(rest, 4), BE32(rest, 8), BE32(rest, 12), BE32(rest, 16), BE32(rest, 20), BE32(rest, 24)};
    // Window size and count come from the wire: a block beyond the largest ring or whose data do not
    // fit its window is broken; it is dropped and reported instead of being waited for.
    const bool powerOfTwo = h.Size != 0 && (h.Size & (h.Size - 1)) == 0;
    if (!powerOfTwo || h.Size > MaxCDCBlockSize || uint64_t(h.ByteCount) + (h.Offset & (h.Size - 1)) > h.Size) {
      LogError(FLogId, "ReadCDCBlock: CDC-Header-Block has bad format " + AnsiToHex(std::string(rest.substr(0, CDCHeaderSize))));
      FPendingBadFormat = true;
      pos += 1;
      continue;
    }
    if (rest.size() < CDCHeaderSize + h.Size) break;
    TakeCDCBlock(h, rest.substr(CDCHeaderSize + (h.Offset & (h.Size - 1)), h.ByteCount));
    pos += CDCHeaderSize + h.Size;
  }
  FRemaining.erase(0, pos);
}

void TQV_UsbThread::TakeCDCBlock(const TCDCHeader& h, std::string_view data) {
  std::lock_guard lock(FLock);
  const bool tools = h.Flags & 2;
  const bool bigRing = h.WritePtr >= 0x70000000;
  const auto user = static_cast<uint8_t>(((bigRing ? h.WritePtr >> 19 : h.WritePtr >> 17) & 3) + 1);
  TQV_UsbDevice* target = nullptr;
  if (tools) {
    target = FToolsReceiver ? FToolsReceiver : FOwner;
  } else if (h.WritePtr == 0 && h.ReadPtr == 0) {
    LogIt(FLogId, "TQV_UsbThread.ReadCDCBlock CDC-Header-Block: no user -> $FF ###");
    target = FirstNotRefused();
  } else if (!(target = FSlots[user - 1]) && (target = NewDeviceFor(user))) {
    FSlots[user - 1] = target;
    std::erase(FNewDevices, target);
  }
  const bool ignore = !target;
  if (ignore) {
    target = FOwner;
    LogIt(FLogId, "ReadCDCBlock: ignore invalid data ");
    if (!target) return;
  }
  if (FPendingBadFormat) {
    FPendingBadFormat = false;
    target->ReceiveBuffer().WriteAnsiString(FramesLostReport());
  }
  if (!tools && !ignore && (h.WritePtr || h.ReadPtr)) {
    if (!IsUserSlot(target->UserID())) {
      LogIt(FLogId, "### ReadCDCBlock: CF-UserID=" + std::to_string(user));
      target->SetCFUserID(user);
    } else if (target->UserID() != user) {
      LogError(FLogId, "ReadCDCBlock target.UserID stimmt nicht, soll=" + std::to_string(user) +
                           ", ist=" + std::to_string(target->UserID()));
    }
  }
  const uint32_t c = bigRing ? 0x7FFFF : 0x1FFFF;
  const uint32_t w = h.WritePtr & c, r = h.ReadPtr & c;
  target->SetCFBufferAmount(w >= r ? w - r : w + c - r);
  if (h.Flags & 1) {
    LogIt(FLogId, "ReadCDCBlock: BufferCleared");
    target->ReceiveBuffer().Clear();
    target->ReceiveBuffer().SetReceivedDataIgnored();
    target->FIgnoreData = false;
  }
  if (h.Flags & 4) {
    const uint32_t v = h.Flags >> 8;
    target->ReceiveBuffer().InsertAnsiString(
        UsbFrame(std::string{'\x70', '\x21', char(v >> 16), char(v >> 8), char(v)}));
  }
  if (h.Flags & 0x20) target->SetMultiUSB(true);
  if (h.Flags & 8) target->SetPeerRepeatAddr(h.ReadPtr & 0x300FFFFF);
  if (data.empty() || ignore) return;
  if (tools) {
    target->ToolsBuffer().WriteAnsiString(std::string(data));
    return;
  }
  if (target->FIgnoreData) {
    LogIt(FLogId, "### ReadCDCBlock.IgnoreDataUntilStreamInterrupted[" + std::to_string(user) + "] (" +
                      std::to_string(data.size()) + ")");
    target->ReceiveBuffer().SetReceivedDataIgnored();
    return;
  }
  std::string bytes(data);
  if ((bytes.size() == 21 || bytes.size() == 37) && Byte(bytes, 2) == 0x7F && Byte(bytes, 3) == 0xFA &&
      bytes.find("Too Many") != std::string::npos) {
    LogIt(FLogId, "ReadCDCBlock: Too Many Users (" + std::to_string(user) + ")");
    target->SetTooManyUsers(true);
    if (bytes.size() == 37) {
      target->SetUserConnected(bytes.substr(21, 16));
      bytes.resize(21);
    }
  }
  if (target->DeviceStartState() == ds_unknown) target->CheckTimeStampBytes(bytes);
  Deliver(*target, bytes);
}

void TQV_UsbThread::Deliver(TQV_UsbDevice& target, std::string_view bytes) {
  target.TakeReceived(bytes);
}
