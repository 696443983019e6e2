#include "devices/QV_DeviceInfo.h"

#include <gtest/gtest.h>

#include <thread>

namespace {
std::unique_ptr<TQV_DeviceInfo> Info(uint32_t serial, const std::string& ip = "", uint32_t features = 0) {
  auto info = std::make_unique<TQV_DeviceInfo>();
  info->SetSerialNumber(serial);
  info->SetIPAddress(ip);
  info->SetHardFeature(features);
  return info;
}
}  // namespace

TEST(TQV_DeviceInfo, AccessorsIgnoreIndexesOutsideTheirRange) {
  TQV_DeviceInfo info;
  EXPECT_EQ(info.ConnectedUser(1), "unknown");
  EXPECT_EQ(info.ConnectedUserU2(4), "unknown");
  EXPECT_EQ(info.ConnectedUser(0), "");
  EXPECT_EQ(info.ConnectedUser(5), "");
  info.SetConnectedUser(5, "x");
  info.SetConnectedUser(4, "usb");
  EXPECT_EQ(info.ConnectedUser(4), "usb");
  info.SetNominalFreq(0, 1);
  info.SetNominalFreq(25, 1);
  info.SetNominalFreq(24, 10e6);
  info.SetNominalFreq(1, 0.5);
  EXPECT_EQ(info.NominalFreq(24), 10e6);
  EXPECT_EQ(info.NominalFreq(25), 0);
  EXPECT_EQ(info.SerialNumber(), 0xFFFFFFFFu);
  std::string expected = "0.5;";
  for (int i = 2; i < 24; ++i) expected += "0;";
  EXPECT_EQ(info.GetNominalFreqString(), expected + "10000000;");
}

TEST(TQV_DeviceInfoList, UnknownSerialNumberIsNotAdded) {
  TQV_DeviceInfoList list;
  EXPECT_EQ(list.AddInfo(Info(0xFFFFFFFF)), -1);
  EXPECT_EQ(list.AddInfo(nullptr), -1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(TQV_DeviceInfoList, AddInfoWithAListedSerialCompletesTheOldEntry) {
  TQV_DeviceInfoList list;
  EXPECT_EQ(list.AddInfo(Info(0x100)), 0);
  auto first = Info(0x200, "", 0x0001);
  first->SetNominalFreq(1, 5e6);
  EXPECT_EQ(list.AddInfo(std::move(first)), 1);

  auto again = Info(0x200, "10.0.0.7", 0x0003);
  again->SetNominalFreq(1, 10e6);
  again->SetNominalFreq(2, 20e6);
  again->SetPeerType(ptESP);
  EXPECT_EQ(list.AddInfo(std::move(again)), 1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.SerialNumbers(), (std::vector<uint32_t>{0x100, 0x200})) << "first-seen order, no repeat";

  const auto info = list.GetInfo(0x200);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Index(), 1);
  EXPECT_EQ(info->HardFeature(), 0x0001u) << "known features are kept";
  EXPECT_EQ(info->IPAddress(), "10.0.0.7");
  EXPECT_EQ(info->NominalFreq(1), 5e6);
  EXPECT_EQ(info->NominalFreq(2), 20e6);
  EXPECT_EQ(info->PeerType(), ptESP);
  EXPECT_FALSE(list.GetInfo(0x300));
}

TEST(TQV_DeviceInfoList, ConcurrentAddsKeepOneEntryPerSerial) {
  TQV_DeviceInfoList list;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (uint32_t serial = 0; serial < 200; ++serial) list.AddInfo(Info(serial));
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(list.Count(), 200);
  EXPECT_EQ(list.GetInfo(150)->Index(), list.AddInfo(Info(150)));
}
