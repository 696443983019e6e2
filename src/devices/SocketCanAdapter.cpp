#include "devices/SocketCanAdapter.h"

#include <QCanBus>
#include <QCanBusDevice>

#include "core/LogUnit.h"
#include "devices/CanAdapterThread.h"

namespace {

constexpr size_t kMaxQueuedFrames = 65536;  // a reader that stalls loses frames, not memory
constexpr auto kConnectLimit = std::chrono::seconds(3);

TCanFrame FromQt(const QCanBusFrame& f) {
  TCanFrame frame;
  frame.Id = f.frameId();
  if (f.frameType() == QCanBusFrame::ErrorFrame) {
    const uint32_t error = uint32_t(f.error());
    frame.MsgType = TCanAdapter::MsgStatus;
    frame.Data = {char(error >> 24), char(error >> 16), char(error >> 8), char(error)};
    return frame;
  }
  frame.MsgType = f.hasExtendedFrameFormat() ? TCanAdapter::MsgExtended : TCanAdapter::MsgStandard;
  const QByteArray payload = f.payload();
  frame.Data.assign(payload.constData(), size_t(payload.size()));
  return frame;
}

}  // namespace

TSocketCanAdapter::TSocketCanAdapter(int32_t logId, std::string interfaceName, std::string plugin)
    : FLogId(logId), FInterface(std::move(interfaceName)), FPlugin(std::move(plugin)) {}

TSocketCanAdapter::~TSocketCanAdapter() { Uninitialize(); }

bool TSocketCanAdapter::Initialize(std::string& error) {
  if (FThread) return true;
  FThread = std::make_unique<TCanAdapterThread>("CanAdapter");
  FThread->Run([&] { CreateDevice(error); });
  if (error.empty()) {
    // A plugin may connect in the background (the virtual bus does, over TCP).
    std::unique_lock lock(FLock);
    FArrived.wait_for(lock, kConnectLimit, [this] { return FConnected || !FError.empty(); });
    if (!FConnected) error = "Initializing CAN device failed: " + (FError.empty() ? "no connection" : FError);
  }
  if (!error.empty()) {
    Uninitialize();
    return false;
  }
  LogIt(FLogId, "TMenloItem.Create " + Name() + " connected");
  return true;
}

// On the adapter's thread, so that the device and its sockets belong to it.
void TSocketCanAdapter::CreateDevice(std::string& error) {
  QString reason;
  FDevice = QCanBus::instance()->createDevice(QString::fromStdString(FPlugin), QString::fromStdString(FInterface),
                                              &reason);
  if (!FDevice) {
    error = "Initializing CAN device failed: " + reason.toStdString();
    return;
  }
  // A plugin may refuse the interface name already while creating the device.
  if (FDevice->error() != QCanBusDevice::NoError) {
    error = "Initializing CAN device failed: " + FDevice->errorString().toStdString();
    return;
  }
  QObject::connect(FDevice, &QCanBusDevice::framesReceived, FDevice, [this] { TakeFrames(); });
  QObject::connect(FDevice, &QCanBusDevice::errorOccurred, FDevice, [this] { DeviceError(); });
  QObject::connect(FDevice, &QCanBusDevice::stateChanged, FDevice, [this](QCanBusDevice::CanBusDeviceState state) {
    std::lock_guard lock(FLock);
    FConnected = state == QCanBusDevice::ConnectedState;
    FArrived.notify_all();
  });
  if (!FDevice->connectDevice()) {
    error = "Initializing CAN device failed: " + FDevice->errorString().toStdString();
    return;
  }
  std::lock_guard lock(FLock);
  FConnected = FDevice->state() == QCanBusDevice::ConnectedState;
}

void TSocketCanAdapter::DeviceError() {
  const QCanBusDevice::CanBusError e = FDevice->error();
  if (e != QCanBusDevice::ReadError && e != QCanBusDevice::ConnectionError) return;
  std::lock_guard lock(FLock);
  FError = FDevice->errorString().toStdString();
  FArrived.notify_all();
}

void TSocketCanAdapter::Uninitialize() {
  if (!FThread) return;
  FThread->Run([this] {
    if (FDevice && FDevice->state() == QCanBusDevice::ConnectedState) FDevice->disconnectDevice();
    delete FDevice;
    FDevice = nullptr;
  });
  FThread.reset();
  std::lock_guard lock(FLock);
  FConnected = false;
  FFrames.clear();
}

void TSocketCanAdapter::TakeFrames() {
  std::lock_guard lock(FLock);
  while (FDevice->framesAvailable() > 0) {
    const QCanBusFrame f = FDevice->readFrame();
    if (f.isValid() && FFrames.size() < kMaxQueuedFrames) FFrames.push_back(FromQt(f));
  }
  FArrived.notify_all();
}

TCanReadResult TSocketCanAdapter::Read(TCanFrame& frame, std::string& error) {
  std::lock_guard lock(FLock);
  if (!FFrames.empty()) {
    frame = std::move(FFrames.front());
    FFrames.pop_front();
    return TCanReadResult::Frame;
  }
  if (!FConnected || !FError.empty()) {
    error = FError.empty() ? "CAN device not connected" : FError;
    return TCanReadResult::Failed;
  }
  return TCanReadResult::Empty;
}

bool TSocketCanAdapter::Write(const TCanFrame& frame, std::string& error) {
  if (!FThread) {
    error = "CAN device not connected";
    return false;
  }
  QCanBusFrame f(frame.Id, QByteArray(frame.Data.data(), qsizetype(frame.Data.size())));
  f.setExtendedFrameFormat(frame.MsgType & MsgExtended);
  bool written = false;
  FThread->Run([&] {
    written = FDevice && FDevice->writeFrame(f);
    if (!written) error = FDevice ? FDevice->errorString().toStdString() : "CAN device not connected";
  });
  if (!written && error.empty()) error = "CAN frame not written";
  return written;
}

bool TSocketCanAdapter::WaitReceive(std::chrono::milliseconds timeout, std::string&) {
  std::unique_lock lock(FLock);
  FArrived.wait_for(lock, timeout, [this] { return !FFrames.empty() || !FError.empty(); });
  return true;
}

std::string TSocketCanAdapter::Condition() {
  if (FThread) return {};
  QString reason;
  const QList<QCanBusDeviceInfo> devices =
      QCanBus::instance()->availableDevices(QString::fromStdString(FPlugin), &reason);
  for (const QCanBusDeviceInfo& info : devices)
    if (info.name().toStdString() == FInterface) return {};
  return "No PCAN-USB device connected";
}
