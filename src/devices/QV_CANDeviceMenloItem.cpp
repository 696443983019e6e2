#include "devices/QV_CANDeviceMenloItem.h"

#include <algorithm>
#include <utility>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "core/ThreadName.h"
#include "devices/QV_CANDevice.h"
#include "devices/QV_CANDeviceAdapterChoice.h"

namespace {

constexpr std::string_view kBlockMagic = "ZCT2";
constexpr size_t kBlockHeaderSize = 16;
const std::string kStreamInterrupted(8, '\0');
const std::string kAllInUse = "AllInUse";
const std::string kReadHardFeature("\x85" "Ei\x05", 4);

std::mutex gItemLock;
std::weak_ptr<TMenloItem> gItem;
TMenloSetup gSetup;

std::string Hex8(uint32_t v) { return IntToHex(v, 8); }

}  // namespace

TMenloItem::TMenloItem(std::unique_ptr<TCanAdapter> adapter, const TClock& clock, const TMenloLimits& limits,
                       int32_t logId)
    : FAdapter(std::move(adapter)), FClock(clock), FLimits(limits), FLogId(logId) {}

TMenloItem::~TMenloItem() {
  StopThread();
  FAdapter->Uninitialize();
  LogIt(FLogId, "TMenloItem.Destroy " + FAdapter->Name());
}

void TMenloItem::SetSetup(TMenloSetup setup) {
  std::lock_guard lock(gItemLock);
  gSetup = std::move(setup);
}

TMenloSetup TMenloItem::Setup() {
  std::lock_guard lock(gItemLock);
  return gSetup;
}

namespace {

// Under gItemLock.
std::unique_ptr<TCanAdapter> NewAdapter(int32_t logId) {
  return gSetup.CreateAdapter ? gSetup.CreateAdapter(logId) : TCanAdapterChoice::CreateAdapter(logId);
}

}  // namespace

std::string TMenloItem::AdapterCondition() {
  std::lock_guard lock(gItemLock);
  if (auto item = gItem.lock()) return item->FAdapter->Condition();
  return NewAdapter(-1)->Condition();
}

std::shared_ptr<TMenloItem> TMenloItem::Acquire(int32_t logId, std::string& error) {
  std::lock_guard lock(gItemLock);
  if (auto item = gItem.lock()) return item;
  std::unique_ptr<TCanAdapter> adapter = NewAdapter(logId);
  auto item = std::make_shared<TMenloItem>(std::move(adapter), gSetup.Clock ? *gSetup.Clock : SystemClock(),
                                           gSetup.Limits, logId);
  if (!item->Start(error)) return nullptr;
  gItem = item;
  return item;
}

bool TMenloItem::Start(std::string& error) {
  if (!FAdapter->Initialize(error)) {
    LogError(FLogId, "TMenloItem.Create " + error);
    return false;
  }
  StartThread();
  return true;
}

void TMenloItem::StartThread() {
  FStop = false;
  FThreadFinished = false;
  FThread = std::thread([this] { Execute(); });
}

void TMenloItem::StopThread() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

std::string TMenloItem::ThreadMessage() const {
  std::lock_guard lock(FLock);
  return FThreadMessage;
}

int32_t TMenloItem::Connect(TQV_CANDeviceItem& device, std::string& error) {
  if (FThreadFinished) {
    StopThread();
    {
      // Devices still listed missed frames while no one read: they log on again with their next frame.
      std::lock_guard lock(FLock);
      for (TMenloInfo& info : FInfos) info.Reconnected = true;
    }
    StartThread();
    LogIt(FLogId, "TMenloItem.Connect FThread neu gestarted: " + FAdapter->Name());
  }
  std::lock_guard lock(FLock);
  for (const TMenloInfo& info : FInfos)
    if (info.Device->Node() == device.Node() && info.Device->Channel() == device.Channel()) {
      LogWarn(FLogId, "TMenloItem.Connect failed: already connected");
      error = "Menlo-CAN device node " + std::to_string(device.Node()) + " and channel " +
              std::to_string(device.Channel()) + " already in use";
      return -1;
    }
  // Identifiers are matched in software (Route), for every adapter alike.
  LogIt(FLogId, "TMenloItem.Filter configured: Receive-ID=" + Hex8(device.ReceiveID()) + "..." +
                    Hex8(device.ReceiveID() | IdMask) + ", extended");
  LogIt(FLogId, "TMenloItem.Filter configured: Heartbeat-ID=" + Hex8(device.HeartbeatID()) + "..." +
                    Hex8(device.HeartbeatID()) + ", extended");
  const std::string condition = FAdapter->Condition();
  if (!condition.empty()) {
    error = "Connect CAN device failed: " + condition;
    return -1;
  }
  // Instruments on one bus speak alike: a new device starts from the peer seen last.
  if (FPeerType != ptUnknown) device.LearnPeer(FPeerType);
  TMenloInfo info;
  info.Device = &device;
  info.LogId = device.LogId();
  info.LastReceived = FClock.Steady();
  FInfos.push_back(info);
  return int32_t(FInfos.size() - 1);
}

void TMenloItem::Disconnect(TQV_CANDeviceItem& device) {
  std::lock_guard lock(FLock);
  std::erase_if(FInfos, [&](const TMenloInfo& info) { return info.Device == &device; });
}

bool TMenloItem::Write(const TCanFrame& frame, std::string& error) { return FAdapter->Write(frame, error); }

TMenloInfo* TMenloItem::Find(const TQV_CANDeviceItem& device) {
  for (TMenloInfo& info : FInfos)
    if (info.Device == &device) return &info;
  return nullptr;
}

const TMenloInfo* TMenloItem::Find(const TQV_CANDeviceItem& device) const {
  return const_cast<TMenloItem*>(this)->Find(device);
}

void TMenloItem::MarkOpen(TQV_CANDeviceItem& device, bool open) {
  std::lock_guard lock(FLock);
  if (TMenloInfo* info = Find(device)) {
    info->Open = open;
    info->OpenTime = FClock.Steady();
    info->Interrupted = false;
  }
}

bool TMenloItem::Info(const TQV_CANDeviceItem& device, TMenloInfo& out) const {
  std::lock_guard lock(FLock);
  const TMenloInfo* info = Find(device);
  if (info) out = *info;
  return info != nullptr;
}

bool TMenloItem::RefClockTurnedBad(const TQV_CANDeviceItem& device, bool error) {
  std::lock_guard lock(FLock);
  TMenloInfo* info = Find(device);
  if (!info || info->RefClockError == error) return false;
  info->RefClockError = error;
  return error;
}

void TMenloItem::SetInterrupted(const TQV_CANDeviceItem& device) {
  std::lock_guard lock(FLock);
  if (TMenloInfo* info = Find(device)) info->Interrupted = true;
}

void TMenloItem::Execute() {
  NameThisThread("TCanThread");
  while (!FStop) {
    ReadFrames();
    if (FThreadFinished) return;
    ReportSilence();
    std::string error;
    if (!FAdapter->WaitReceive(FLimits.ReadWait, error))
      LogError(FLogId, "TMenloItem.WaitCanEvent failed: " + error);
  }
}

// Reads until the adapter's receive queue is empty.
void TMenloItem::ReadFrames() {
  TCanFrame frame;
  std::string error;
  while (!FStop) {
    switch (FAdapter->Read(frame, error)) {
      case TCanReadResult::Frame:
        Dispatch(frame);
        break;
      case TCanReadResult::Empty:
        return;
      case TCanReadResult::Failed:
        ReadFailed(error);
        return;
    }
  }
}

void TMenloItem::ReadFailed(const std::string& text) {
  LogError(FLogId, "TCanThread.Execute read failed -> Terminate");
  std::lock_guard lock(FLock);
  ++FReadErrors;
  FThreadMessage = "ReadCANFrame" + text;
  if (FReadErrors == 1 && !FInfos.empty())
    FInfos.front().Device->FailSystem("ReadCANFrame", text);
  else
    LogError(FLogId, "ReadCANFrame(" + text + "), ErrorCount=" + std::to_string(FReadErrors));
  FThreadFinished = true;
}

void TMenloItem::ReportSilence() {
  const TSteadyTime now = FClock.Steady();
  std::lock_guard lock(FLock);
  for (size_t i = 0; i < FInfos.size(); ++i) {
    TMenloInfo& info = FInfos[i];
    if (info.NoDataReported || now - info.LastReceived <= FLimits.NoData) continue;
    info.NoDataReported = true;
    LogWarn(info.LogId, "TMenloItem.ReadCANFrames: no data received in last second, Index=" + std::to_string(i));
  }
}

TMenloInfo* TMenloItem::Route(const TCanFrame& frame, bool& heartbeat) {
  for (TMenloInfo& info : FInfos)
    if (frame.Id == info.Device->HeartbeatID()) {
      heartbeat = true;
      return &info;
    }
  heartbeat = false;
  for (TMenloInfo& info : FInfos)
    if ((frame.Id | IdMask) == (info.Device->ReceiveID() | IdMask)) return &info;
  return nullptr;
}

void TMenloItem::Dispatch(const TCanFrame& frame) {
  std::lock_guard lock(FLock);
  if (frame.MsgType & TCanAdapter::MsgStatus) {
    uint32_t status = 0;
    for (size_t i = 0; i < std::min<size_t>(frame.Data.size(), 4); ++i) status = status << 8 | uint8_t(frame.Data[i]);
    LogIt(FLogId, "TMenloItem.ReadCANFrames(" + Hex8(frame.Id) + "): Statusmeldung erhalten " + AnsiToHex(frame.Data));
    LogIt(FLogId, "TMenloItem.ReadCANFrames: Status=" + Hex8(status));
    return;
  }
  bool heartbeat = false;
  TMenloInfo* info = Route(frame, heartbeat);
  if (!info) {
    LogIt(FLogId, "TMenloItem.ReadCANFrames: ReceiveID " + Hex8(frame.Id) + " not found, payload=" +
                      AnsiToHex(frame.Data) + ", MSGTYPE=" + std::to_string(frame.MsgType));
    return;
  }
  info->LastReceived = FClock.Steady();
  info->DataReceived = true;
  info->NoDataReported = false;
  if (info->Reconnected) {
    // The instrument may repeat the frame it sent last before the failure.
    info->Reconnected = false;
    info->DropRepeat = true;
    LogIt(info->LogId, "TMenloItem.RecoverFromPCANError " + info->Device->Name());
    if (info->Open) info->Device->LogOn();
  }
  if (heartbeat) {
    if (info->Open && info->Device->LowLevelLog())
      LogIt(info->LogId, "TMenloItem.ReadCANFrames: ignore Heartbeat " + Hex8(frame.Id));
    return;
  }
  if (!(frame.MsgType & TCanAdapter::MsgExtended)) {
    LogIt(FLogId, "TMenloItem.ReadCANFrames: ignore MsgType=" + std::to_string(frame.MsgType) + " ID=" + Hex8(frame.Id));
    return;
  }
  TakeData(*info, frame.Data);
}

void TMenloItem::TakeData(TMenloInfo& info, const std::string& data) {
  TQV_CANDeviceItem& device = *info.Device;
  if (device.PeerType() == ptUnknown) CheckPeer(info, data);
  if (device.PeerType() == ptColdfire && data == kStreamInterrupted) {
    device.ClearStream();
    LogIt(info.LogId, "TMenloItem.ReadCANFrames(" + device.Name() + "): Stream interrupted");
    return;
  }
  if (data == kAllInUse) {
    const uint8_t user = device.RegisterID();
    device.Refuse(QV_TooManyUser, user == TQV_BaseDevice::NoUser
                                      ? std::string("Too many users")
                                      : "UserID " + std::to_string(user) + " already in use");
    return;
  }
  if (std::exchange(info.DropRepeat, false) && data == info.LastFrame) {
    LogIt(info.LogId, "TMenloItem.ReadCANFrames ignore CAN frame: " + AnsiToHex(data));
    return;
  }
  if (device.PeerType() == ptESP)
    DoESPFrame(info, data);
  else
    device.TakeBytes(data);
  device.SaveBinaryData(data.data(), data.size());
  info.LastFrame = data;
}

// The first data show the peer: a transmit block header is the network module's, anything else the
// Coldfire firmware's. Later devices start from the peer seen last.
void TMenloItem::CheckPeer(TMenloInfo& info, const std::string& data) {
  std::string head = data;
  head.resize(std::max(head.size(), kBlockHeaderSize), '\0');
  const TQV_PeerType peer = head.starts_with(kBlockMagic) ? ptESP : ptColdfire;
  FPeerType = peer;
  info.Device->LearnPeer(peer);
  LogIt(info.LogId, "TMenloItem.CheckPeer: " + std::string(peer == ptESP ? "ESP" : "Coldfire"));
  if (peer == ptESP) info.Device->WriteFrames(kReadHardFeature);
}

// Network-module blocks span several frames: the bytes wait in the entry until a whole block is
// there, and only whole blocks reach the receive buffer.
void TMenloItem::DoESPFrame(TMenloInfo& info, const std::string& data) {
  class TSink : public TQV_EspBlockStream::TSink {
   public:
    explicit TSink(TMenloInfo& info) : FInfo(info) {}
    void Block(std::string_view block) override { FInfo.Device->TakeBytes(std::string(block)); }
    void Skipped(std::string_view bytes, bool broken) override {
      if (broken)
        LogWarn(FInfo.LogId, "TMenloItem.DoESPFrame invalid block header " + AnsiToHex(bytes.substr(0, kBlockHeaderSize)));
      else
        LogWarn(FInfo.LogId, "TMenloItem.DoESPFrame skip " + AnsiToHex(bytes));
    }

   private:
    TMenloInfo& FInfo;
  } sink(info);
  info.Blocks.Feed(data, sink);
}
