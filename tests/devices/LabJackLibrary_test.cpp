#include "devices/LabJackLibrary.h"

#include <gtest/gtest.h>

#include "support/LabJackStubControl.h"

namespace {

class LabJackLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(stub_.Error(), ""); }

  TLabJackStubControl stub_{VTA_LABJACK_STUB};
  TLabJackLibrary library_{VTA_LABJACK_STUB};
};

TEST_F(LabJackLibraryTest, OpensReadsAndCloses) {
  ASSERT_TRUE(library_.Load());
  int32_t device = 0;
  ASSERT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "ANY", device), TLabJackLibrary::NoError);
  EXPECT_EQ(stub_.OpenHandles(), 1);

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
  EXPECT_EQ(stub_.OpenHandles(), 0);
  EXPECT_EQ(library_.Close(device), 1224);
  EXPECT_EQ(library_.ErrorToString(1224), "LJME_DEVICE_NOT_OPEN");
}

TEST_F(LabJackLibraryTest, FailuresGiveTheLibrarysCodeAndAddress) {
  stub_.FailOpen(1227);
  int32_t device = 0;
  EXPECT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctETHERNET, "10.0.0.100", device), 1227);
  EXPECT_EQ(library_.ErrorToString(1227), "LJME_DEVICE_NOT_FOUND");

  stub_.FailOpen(0);
  ASSERT_EQ(library_.Open(TLabJackLibrary::dtT4, TLabJackLibrary::ctUSB, "ANY", device), TLabJackLibrary::NoError);
  stub_.FailRead(1239, 6);
  std::vector<double> values;
  int32_t errorAddress = -1;
  EXPECT_EQ(library_.ReadAddresses(device, {0, 2, 4, 6}, TLabJackLibrary::FLOAT32, values, errorAddress), 1239);
  EXPECT_EQ(errorAddress, 6);
  library_.Close(device);
}

TEST_F(LabJackLibraryTest, ListsTheDevicesFound) {
  stub_.SetDevices(2);
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
