#pragma once
// Qt's virtual CAN bus for the CAN tests, and a small Menlo CAN instrument on it.
//
// The virtual bus is one TCP server on a fixed local port, hosted by the first virtual CAN device of
// a process on that device's thread. The host thread therefore lives as long as the test program,
// and a file lock keeps two test programs (of any checkout on this machine) off the bus at once.
#include <QCanBus>
#include <QCanBusDevice>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devices/CanAdapterThread.h"
#include "devices/QV_CANDevice.h"

// Takes the machine-wide lock of the virtual bus for the rest of the test program: the bus server
// that this process hosts keeps its port until the process ends, so another test program (CTest
// runs each test as one) may only start its own after this one is gone. The system releases the
// lock at exit.
class TVirtualCanLock {
 public:
  TVirtualCanLock() {
    static const int fd = [] {
      const int f = open("/tmp/vta-virtualcan.lock", O_CREAT | O_RDWR, 0666);
      if (f >= 0) flock(f, LOCK_EX);
      return f;
    }();
    (void)fd;
  }
  TVirtualCanLock(const TVirtualCanLock&) = delete;
  TVirtualCanLock& operator=(const TVirtualCanLock&) = delete;
};

// The thread that hosts the bus for the whole test program; gtest ends it after the last test.
class TVirtualCanHost : public ::testing::Environment {
 public:
  static TVirtualCanHost& Get() {
    static TVirtualCanHost* host = [] {
      auto* h = new TVirtualCanHost;
      ::testing::AddGlobalTestEnvironment(h);  // gtest owns it
      return h;
    }();
    return *host;
  }
  void Run(const std::function<void()>& work) { FThread->Run(work); }
  void TearDown() override { FThread.reset(); }

 private:
  TVirtualCanHost() : FThread(std::make_unique<TCanAdapterThread>("VirtualCanHost")) {}
  std::unique_ptr<TCanAdapterThread> FThread;
};

// A Menlo CAN instrument with a Coldfire peer at node `node`, channel `channel`: it records the
// command frames sent to it and answers the log-on with `answer`, cut into frames of 8 bytes.
class TVirtualCanInstrument {
 public:
  TVirtualCanInstrument(uint8_t node, uint8_t channel, std::string answer)
      : FCommandId(TQV_CANDeviceItem::CommandId(0x20, node, channel)),
        FReceiveId(TQV_CANDeviceItem::ReceiveId(0x20, node, channel)),
        FAnswer(std::move(answer)) {
    OnHost([this] {
      FDevice = QCanBus::instance()->createDevice("virtualcan", "can0");
      if (!FDevice) return;
      QObject::connect(FDevice, &QCanBusDevice::framesReceived, FDevice, [this] { TakeFrames(); });
      FDevice->connectDevice();
    });
    for (int i = 0; i < 300 && !Connected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TVirtualCanInstrument() {
    OnHost([this] {
      if (FDevice) FDevice->disconnectDevice();
      delete FDevice;
    });
  }

  bool Connected() {
    bool connected = false;
    OnHost([&] { connected = FDevice && FDevice->state() == QCanBusDevice::ConnectedState; });
    return connected;
  }
  // The payloads of the frames sent to the instrument's command identifier.
  std::vector<std::string> Commands() {
    std::lock_guard lock(FLock);
    return FCommands;
  }
  bool WaitCommands(size_t count) {
    for (int i = 0; i < 300; ++i) {
      if (Commands().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  void OnHost(const std::function<void()>& work) { TVirtualCanHost::Get().Run(work); }
  void TakeFrames() {
    while (FDevice->framesAvailable() > 0) {
      const QCanBusFrame frame = FDevice->readFrame();
      if (frame.frameId() != FCommandId) continue;
      const std::string data(frame.payload().constData(), size_t(frame.payload().size()));
      {
        std::lock_guard lock(FLock);
        FCommands.push_back(data);
      }
      if (data.size() > 1 && uint8_t(data[1]) == 0xBE) Send(FAnswer);
    }
  }
  void Send(const std::string& bytes) {
    for (size_t at = 0; at < bytes.size(); at += 8) {
      const std::string piece = bytes.substr(at, 8);
      QCanBusFrame frame(FReceiveId, QByteArray(piece.data(), qsizetype(piece.size())));
      frame.setExtendedFrameFormat(true);
      FDevice->writeFrame(frame);
    }
  }

  uint32_t FCommandId;
  uint32_t FReceiveId;
  std::string FAnswer;
  QCanBusDevice* FDevice = nullptr;  // on the host thread
  std::mutex FLock;
  std::vector<std::string> FCommands;
};
