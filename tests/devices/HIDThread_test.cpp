#include "devices/HIDThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "devices/IHidApi.h"
#include "devices/QV_UsbDevice.h"
#include "devices/QV_UsbFrames.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t ReportLength = 65;  // 64 bytes and the report id

// The hidapi boundary, scripted: input reports the test queues, output reports it records, and one
// holder per path as the node lock gives it.
class TFakeHid : public IHidApi {
 public:
  struct TState {
    std::mutex Lock;
    std::deque<std::string> Input;
    std::vector<std::string> Output;
    bool Fail = false;
    bool Held = false;
  };
  class TDevice : public IHidDevice {
   public:
    explicit TDevice(TState& s) : S(s) {}
    ~TDevice() override {
      std::lock_guard lock(S.Lock);
      S.Held = false;
    }
    uint32_t InputReportLength() const override { return ReportLength; }
    uint32_t OutputReportLength() const override { return ReportLength; }
    int Read(std::string& report, uint32_t timeoutMs) override {
      {
        std::lock_guard lock(S.Lock);
        if (S.Fail) return -1;
        if (!S.Input.empty()) {
          report = S.Input.front();
          S.Input.pop_front();
          return static_cast<int>(report.size());
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(timeoutMs, 2)));
      return 0;
    }
    bool Write(const std::string& report) override {
      std::lock_guard lock(S.Lock);
      S.Output.push_back(report);
      return !S.Fail;
    }
    TState& S;
  };

  std::unique_ptr<IHidDevice> Open(const std::string& path, std::string& reason, bool& inUse) override {
    TState& s = States[path];
    std::lock_guard lock(s.Lock);
    inUse = s.Held;
    if (s.Held) {
      reason = "Resource temporarily unavailable";
      return nullptr;
    }
    s.Held = true;
    s.Fail = false;
    return std::make_unique<TDevice>(s);
  }
  void Queue(const std::string& path, const std::string& data) {
    std::string report = static_cast<char>(data.size()) + data;
    report.resize(ReportLength - 1, '\0');
    Push(path, report);
  }
  void Push(const std::string& path, const std::string& report) {
    std::lock_guard lock(States[path].Lock);
    States[path].Input.push_back(report);
  }
  std::vector<std::string> Written(const std::string& path) {
    std::lock_guard lock(States[path].Lock);
    return States[path].Output;
  }
  bool Drained(const std::string& path) {
    std::lock_guard lock(States[path].Lock);
    return States[path].Input.empty();
  }
  bool HeldAndWorking(const std::string& path) {
    std::lock_guard lock(States[path].Lock);
    return States[path].Held && !States[path].Fail;
  }
  void Fail(const std::string& path) {
    std::lock_guard lock(States[path].Lock);
    States[path].Fail = true;
  }
  std::map<std::string, TState> States;
};

TUsbInstrument HidInstrument(uint16_t pid = 0x0003, const std::string& product = "ZCT") {
  TUsbInterface i;
  i.Node = "/dev/hidraw7";
  i.Hid = true;
  i.Vid = pid == 0x0611 ? 0x16D0 : 0xC1CA;
  i.Pid = pid;
  i.Product = product;
  return {i, *IdentifyUsb(i.Vid, i.Pid, product), ""};
}

std::string OutputReport(const std::string& cmd) {
  std::string report = static_cast<char>(cmd.size()) + cmd;
  report.resize(ReportLength - 1, '\0');
  return report;
}

class HIDDeviceTest : public ::testing::Test {
 protected:
  std::unique_ptr<TQV_UsbDevice> NewDevice(const TUsbInstrument& instrument = HidInstrument()) {
    TUsbTimings t;
    t.RecoverPauseMs = 10;
    t.HidReadTimeoutMs = 5;
    return std::make_unique<TQV_UsbDevice>(log.Id(), 0, std::make_shared<TEvent>(), true, instrument, &hid, t);
  }
  void Open() {
    device = NewDevice();
    std::string error;
    ASSERT_TRUE(device->OpenPort(error)) << error;
  }
  bool WaitFor(const std::function<bool()>& done) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
      if (done()) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  std::string Received(size_t atLeast) {
    std::string bytes;
    WaitFor([&] {
      device->ReceiveBufferCleared();
      bytes += device->ReceiveBuffer().ReadAvailable(4096);
      return bytes.size() >= atLeast;
    });
    return bytes;
  }
  size_t WrittenCount() { return hid.Written(Path).size(); }

  const std::string Path = "/dev/hidraw7";
  TLogCapture log;
  TFakeHid hid;
  std::unique_ptr<TQV_UsbDevice> device;
};

TEST_F(HIDDeviceTest, OpeningLogsOnWithTheVersionCommandInOneZeroPaddedOutputReport) {
  Open();
  ASSERT_TRUE(WaitFor([&] { return WrittenCount() == 1; }));
  EXPECT_EQ(hid.Written(Path)[0], OutputReport("\x01"));
  EXPECT_EQ(device->GetMaxCommandLength(), ReportLength - 2);
}

TEST_F(HIDDeviceTest, TheBootLoaderGetsNoLogOn) {
  device = NewDevice(HidInstrument(0x0611, "ZCT Bootloader"));
  std::string error;
  ASSERT_TRUE(device->OpenPort(error)) << error;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(WrittenCount(), 0u);
  EXPECT_TRUE(device->GetIsBootLoader());
}

TEST_F(HIDDeviceTest, InputReportsDeliverTheirCountedBytes) {
  Open();
  hid.Queue(Path, "abc");
  hid.Queue(Path, "defg");
  EXPECT_EQ(Received(7), "abcdefg");
}

TEST_F(HIDDeviceTest, AReportOfZerosClearsTheReceiveBuffer) {
  Open();
  hid.Queue(Path, "old");
  ASSERT_TRUE(WaitFor([&] { return device->ReceiveBuffer().Amount() == 3; }));
  hid.Push(Path, std::string(ReportLength - 1, '\0'));
  hid.Queue(Path, "new");
  ASSERT_TRUE(WaitFor([&] { return device->ReceiveBuffer().Amount() == 3 && hid.Drained(Path); }));
  EXPECT_EQ(Received(3), "new");
}

TEST_F(HIDDeviceTest, ACountBeyondTheReportIsALostFrameNotAnOverread) {
  Open();
  std::string report(ReportLength - 1, 'x');
  report[0] = '\xFF';
  hid.Push(Path, report);
  hid.Queue(Path, "ok");
  const std::string lost = QV_UsbFrames::FramesLostReport();
  EXPECT_EQ(Received(lost.size() + 2), lost + "ok");
}

// Bit 7 set clears the instrument's buffer, except 0x85 and 0xBC..0xBF.
struct TBit7Case {
  std::string Cmd;
  bool Clears;
};
class HIDBit7Test : public HIDDeviceTest, public ::testing::WithParamInterface<TBit7Case> {};

TEST_P(HIDBit7Test, BufferClearingCommandsDropDataUntilTheZeroReport) {
  Open();
  hid.Queue(Path, "before");
  ASSERT_TRUE(WaitFor([&] { return device->ReceiveBuffer().Amount() == 6; }));
  ASSERT_TRUE(device->DeviceWrite(GetParam().Cmd));
  ASSERT_TRUE(WaitFor([&] { return WrittenCount() == 2; }));
  hid.Queue(Path, "during");
  if (GetParam().Clears) {
    ASSERT_TRUE(WaitFor([&] { return hid.Drained(Path); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(device->ReceiveBuffer().Amount(), 0u) << "cleared, and what came since dropped";
  } else {
    EXPECT_EQ(Received(12), "beforeduring");
  }
  // The instrument reports its cleared buffer: data flow again.
  hid.Push(Path, std::string(ReportLength - 1, '\0'));
  hid.Queue(Path, "after");
  EXPECT_EQ(Received(5), "after");
}

INSTANTIATE_TEST_SUITE_P(Commands, HIDBit7Test,
                         ::testing::Values(TBit7Case{"\xA2", true}, TBit7Case{"\x80", true},
                                           TBit7Case{"\xBE", false}, TBit7Case{"\xBC", false},
                                           TBit7Case{"\xBF", false}, TBit7Case{"\x85\x60", false},
                                           TBit7Case{"\x22", false}));

TEST_F(HIDDeviceTest, ASecondUserOfTheSameInstrumentIsRefused) {
  Open();
  auto second = NewDevice();
  std::string error;
  EXPECT_FALSE(second->OpenPort(error));
  EXPECT_EQ(second->ErrorCode(), QV_TooManyUser);
  EXPECT_EQ(error, "Error open Q+V device \"/dev/hidraw7\": USB device is already in use");
}

TEST_F(HIDDeviceTest, ClosingSendsTheStopAndFreesTheInstrument) {
  Open();
  ASSERT_TRUE(WaitFor([&] { return WrittenCount() == 1; }));
  device->ClosePort();
  EXPECT_EQ(hid.Written(Path).back(), OutputReport("\x85\x60"));
  auto next = NewDevice();
  std::string error;
  EXPECT_TRUE(next->OpenPort(error)) << error;
}

TEST_F(HIDDeviceTest, AFailedReadAfterDataIsRecoveredByReopening) {
  Open();
  hid.Queue(Path, "abc");
  ASSERT_EQ(Received(3), "abc");
  hid.Fail(Path);
  ASSERT_TRUE(WaitFor([&] {
    device->CheckDeviceClosed();
    return device->ErrorCode() == QV_Err_DataTransferInterrupted;
  }));
  EXPECT_EQ(device->ErrorMessage(), "UsbDevice: Data transfer interrupted. Please wait...");
  device->QuitError();
  ASSERT_TRUE(WaitFor([&] {
    EXPECT_FALSE(device->CheckDeviceClosed());
    return hid.HeldAndWorking(Path);
  }));
  hid.Queue(Path, "more");
  EXPECT_EQ(Received(4), "more");
}

TEST_F(HIDDeviceTest, AFailedReadWithoutDataIsAHardwareFault) {
  Open();
  hid.Fail(Path);
  ASSERT_TRUE(WaitFor([&] { return device->CheckDeviceClosed(); }));
  EXPECT_EQ(device->ErrorCode(), QV_HardwareFault);
}

}  // namespace
