#include "devices/PcanBasicAdapter.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>

#include "devices/QV_CANDevice.h"
#include "devices/QV_CANDeviceMenloItem.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;

namespace {

// The stub library's controls, reached through its own handle.
class PcanBasicAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(VTA_PCAN_STUB, RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    receive = reinterpret_cast<void (*)(uint32_t, uint8_t, const char*, uint8_t)>(dlsym(handle, "Stub_Receive"));
    written = reinterpret_cast<bool (*)(size_t, uint32_t*, uint8_t*, char*, uint8_t*)>(dlsym(handle, "Stub_Written"));
    failWrites = reinterpret_cast<void (*)(uint32_t)>(dlsym(handle, "Stub_FailWrites"));
    initialized = reinterpret_cast<bool (*)()>(dlsym(handle, "Stub_Initialized"));
    failInitialize = reinterpret_cast<void (*)(uint32_t)>(dlsym(handle, "Stub_FailInitialize"));
    ASSERT_TRUE(receive && written && failWrites && initialized && failInitialize);
  }
  void TearDown() override {
    if (handle) dlclose(handle);
  }

  TLogCapture log;
  void* handle = nullptr;
  void (*receive)(uint32_t, uint8_t, const char*, uint8_t) = nullptr;
  bool (*written)(size_t, uint32_t*, uint8_t*, char*, uint8_t*) = nullptr;
  void (*failWrites)(uint32_t) = nullptr;
  bool (*initialized)() = nullptr;
  void (*failInitialize)(uint32_t) = nullptr;
};

TEST_F(PcanBasicAdapterTest, InitializesReadsWritesAndUninitializes) {
  TPcanBasicAdapter adapter(log.Id(), VTA_PCAN_STUB);
  std::string error;
  ASSERT_TRUE(adapter.Initialize(error)) << error;
  EXPECT_TRUE(initialized());
  EXPECT_TRUE(log.Contains("TMenloItem.Create Initialize CANDevice"));
  EXPECT_TRUE(log.Contains("TMenloItem PCAN_BUSOFF_AUTORESET set"));
  EXPECT_EQ(adapter.Condition(), "");

  TCanFrame frame;
  EXPECT_EQ(adapter.Read(frame, error), TCanReadResult::Empty);
  receive(0x820FFC0, TCanAdapter::MsgExtended, "\x01\x02\x03", 3);
  // The receive event shows the waiting frame at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(adapter.WaitReceive(5s, error));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  ASSERT_EQ(adapter.Read(frame, error), TCanReadResult::Frame);
  EXPECT_EQ(frame.Id, 0x820FFC0u);
  EXPECT_EQ(frame.MsgType, TCanAdapter::MsgExtended);
  EXPECT_EQ(frame.Data, std::string("\x01\x02\x03", 3));

  ASSERT_TRUE(adapter.Write({0x320FFC0, TCanAdapter::MsgExtended, std::string("\x01\xBE", 2)}, error)) << error;
  uint32_t id = 0;
  uint8_t type = 0, len = 0;
  char data[8] = {};
  ASSERT_TRUE(written(0, &id, &type, data, &len));
  EXPECT_EQ(id, 0x320FFC0u);
  EXPECT_EQ(type, TCanAdapter::MsgExtended);
  EXPECT_EQ(std::string(data, len), std::string("\x01\xBE", 2));

  adapter.Uninitialize();
  EXPECT_FALSE(initialized());
}

TEST_F(PcanBasicAdapterTest, AFailedWriteCarriesTheLibrarysText) {
  TPcanBasicAdapter adapter(log.Id(), VTA_PCAN_STUB);
  std::string error;
  ASSERT_TRUE(adapter.Initialize(error)) << error;
  failWrites(0x40);
  EXPECT_FALSE(adapter.Write({0x320FFC0, TCanAdapter::MsgExtended, "x"}, error));
  EXPECT_EQ(error, "(00000040)=stub status 40");
  failWrites(0);
}

TEST_F(PcanBasicAdapterTest, AFailedInitializationSaysWhy) {
  const struct {
    uint32_t Status;
    const char* Text;
  } cases[] = {
      {0x01400, "No PCAN-USB device connected"},
      {0x00004, "Initializing CAN device failed(00000004): stub status 4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    failInitialize(c.Status);
    TPcanBasicAdapter adapter(log.Id(), VTA_PCAN_STUB);
    std::string error;
    EXPECT_FALSE(adapter.Initialize(error));
    EXPECT_EQ(error, c.Text);
  }
  failInitialize(0);
}

TEST(PcanBasicAdapterAbsent, AMissingLibraryIsAnErrorNotACrash) {
  TPcanBasicAdapter adapter(-1, "libpcanbasic-not-installed.so");
  std::string error;
  EXPECT_FALSE(adapter.Initialize(error));
  EXPECT_EQ(error, "Cannot load library libpcanbasic-not-installed.so");
  TCanFrame frame;
  EXPECT_EQ(adapter.Read(frame, error), TCanReadResult::Failed);
  EXPECT_FALSE(adapter.Write(frame, error));
  EXPECT_EQ(adapter.Condition(), "No PCAN devices installed");
}

TEST(PcanBasicAdapterAbsent, CheckCANSaysNoAdapterIsInstalled) {
  TMenloSetup setup;
  setup.CreateAdapter = [](int32_t logId) { return std::make_unique<TPcanBasicAdapter>(logId, "libpcanbasic-absent.so"); };
  TMenloItem::SetSetup(setup);
  EXPECT_EQ(TQV_CANDeviceItem::CheckCAN(), "No PCAN devices installed");
  TMenloItem::SetSetup({});
}

}  // namespace
