#include "devices/LabJackLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

// The stub library's controls, reached through its own handle.
class LabJackLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(VTA_LABJACK_STUB, RTLD_NOW);
    ASSERT_NE(handle_, nullptr) << dlerror();
    reset_ = reinterpret_cast<void (*)()>(dlsym(handle_, "Stub_Reset"));
    failOpen_ = reinterpret_cast<void (*)(int)>(dlsym(handle_, "Stub_FailOpen"));
    failRead_ = reinterpret_cast<void (*)(int, int)>(dlsym(handle_, "Stub_FailRead"));
    setDevices_ = reinterpret_cast<void (*)(int)>(dlsym(handle_, "Stub_SetDevices"));
    openHandles_ = reinterpret_cast<int (*)()>(dlsym(handle_, "Stub_OpenHandles"));
    ASSERT_TRUE(reset_ && failOpen_ && failRead_ && setDevices_ && openHandles_);
    reset_();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }

  void* handle_ = nullptr;
  void (*reset_)() = nullptr;
  void (*failOpen_)(int) = nullptr;
  void (*failRead_)(int, int) = nullptr;
  void (*setDevices_)(int) = nullptr;
  int (*openHandles_)() = nullptr;
  TLabJackLibrary library_{VTA_LABJACK_STUB};
};

TEST_F(LabJackLibraryTest, OpensReadsAndCloses) {
  ASSERT_TRUE(library_.Load());
  int32_t device = 0;
  ASSERT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "ANY", device), TLabJackLibrary::NoError);
  EXPECT_EQ(openHandles_(), 1);

  std::vector<double> values;
  int32_t errorAddress = 0;
  ASSERT_EQ(library_.ReadAddresses(device, {0, 2, 14}, TLabJackLibrary::FLOAT32, values, errorAddress),
            TLabJackLibrary::NoError);
  EXPECT_EQ(values, (std::vector<double>{0.25, 1.25, 7.25}));
  double value = 0;
  EXPECT_EQ(library_.ReadAddress(device, 4, TLabJackLibrary::FLOAT32, value), TLabJackLibrary::NoError);
  EXPECT_EQ(value, 2.25);
  EXPECT_EQ(library_.ReadName(device, "SERIAL_NUMBER", value), TLabJackLibrary::NoError);
  EXPECT_EQ(value, 440010000);

  EXPECT_EQ(library_.Close(device), TLabJackLibrary::NoError);
  EXPECT_EQ(openHandles_(), 0);
  EXPECT_EQ(library_.Close(device), 1224);
  EXPECT_EQ(library_.ErrorToString(1224), "LJME_DEVICE_NOT_OPEN");
}

TEST_F(LabJackLibraryTest, FailuresGiveTheLibrarysCodeAndAddress) {
  failOpen_(1227);
  int32_t device = 0;
  EXPECT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctETHERNET, "10.0.0.100", device), 1227);
  EXPECT_EQ(library_.ErrorToString(1227), "LJME_DEVICE_NOT_FOUND");

  failOpen_(0);
  ASSERT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "ANY", device), TLabJackLibrary::NoError);
  failRead_(1239, 6);
  std::vector<double> values;
  int32_t errorAddress = -1;
  EXPECT_EQ(library_.ReadAddresses(device, {0, 2, 4, 6}, TLabJackLibrary::FLOAT32, values, errorAddress), 1239);
  EXPECT_EQ(errorAddress, 6);
  library_.Close(device);
}

TEST_F(LabJackLibraryTest, ListsTheDevicesFound) {
  setDevices_(2);
  std::vector<TLabJackListEntry> found;
  ASSERT_EQ(library_.ListAll(TLabJackLibrary::dtT4, TLabJackLibrary::ctANY, found), TLabJackLibrary::NoError);
  EXPECT_EQ(found, (std::vector<TLabJackListEntry>{{4, 1, 440010000, 0x0A000064}, {4, 1, 440010001, 0x0A000065}}));
}

// A missing library and one that lacks a call are the same to the caller: nothing is called.
TEST(LabJackLibrary, WithoutACompleteLibraryEveryCallFailsAsNotLoaded) {
  for (const std::string& path : {std::string("/nonexistent/libLabJackM.so"), std::string(VTA_LABJACK_STUB_INCOMPLETE)}) {
    TLabJackLibrary library(path);
    EXPECT_FALSE(library.Load()) << path;
    int32_t device = 0;
    double value = 0;
    std::vector<double> values;
    std::vector<TLabJackListEntry> found;
    int32_t errorAddress = 0;
    EXPECT_EQ(library.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "ANY", device), TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.ReadAddresses(device, {0}, TLabJackLibrary::FLOAT32, values, errorAddress),
              TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.ReadAddress(device, 0, TLabJackLibrary::FLOAT32, value), TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.ReadName(device, "AIN0", value), TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.ListAll(0, 0, found), TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.Close(device), TLabJackLibrary::NotLoaded);
    EXPECT_EQ(library.ErrorToString(TLabJackLibrary::NotLoaded), "Library libLabJackM.so not loaded");
    EXPECT_EQ(library.ErrorToString(1227), "Library libLabJackM.so not loaded");
  }
}

}  // namespace
