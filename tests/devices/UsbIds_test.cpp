#include "devices/UsbIds.h"

#include <gtest/gtest.h>

namespace {

struct TIdCase {
  uint16_t Vid, Pid;
  std::string Product;
  TQV_DeviceType Type;
  TQV_PeerType Peer;
  bool BootLoader, Shared;
  uint32_t ReadTimeoutMs;
};

class UsbIdsTest : public ::testing::TestWithParam<TIdCase> {};

TEST_P(UsbIdsTest, TheIdsTellKindPeerAndLineRules) {
  const TIdCase& c = GetParam();
  const auto id = IdentifyUsb(c.Vid, c.Pid, c.Product);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->Type, c.Type);
  EXPECT_EQ(id->Peer, c.Peer);
  EXPECT_EQ(id->BootLoader, c.BootLoader);
  EXPECT_EQ(id->Shared, c.Shared);
  EXPECT_EQ(id->FirstCommandDropped, c.Shared);
  EXPECT_EQ(id->ReadTimeoutMs, c.ReadTimeoutMs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsbIdsTest,
    ::testing::Values(TIdCase{0xC1CA, 0x0003, "", QV_HID, ptColdfire, false, false, 200},
                      TIdCase{0xC1CA, 0x0004, "", QV_HID, ptColdfire, true, false, 200},
                      TIdCase{0x16D0, 0x0611, "ZCT", QV_HID, ptColdfire, false, false, 200},
                      TIdCase{0x16D0, 0x0611, "ZCT Bootloader", QV_HID, ptColdfire, true, false, 200},
                      TIdCase{0x16D0, 0x0610, "", QV_CDC, ptColdfire, false, false, 200},
                      TIdCase{0x16D0, 0x0612, "", QV_CDC, ptESP, false, true, 100},
                      TIdCase{0x303A, 0x4001, "", QV_CDC, ptESP, false, true, 100}));

TEST(UsbIds, ForeignDevicesAreNoInstruments) {
  EXPECT_FALSE(IdentifyUsb(0x16D0, 0x0001));
  EXPECT_FALSE(IdentifyUsb(0x0403, 0x6001));
}

TEST(UsbIds, SelectionKeepsCountersOnTheirOwnKindOfNodeSortedByNode) {
  const std::vector<TUsbInterface> all = {
      {"/dev/ttyACM1", false, 0x16D0, 0x0612, "ZCT2_Lab 3", "", ""},
      {"/dev/hidraw2", true, 0xC1CA, 0x0003, "1234", "", ""},
      {"/dev/hidraw3", true, 0x16D0, 0x0612, "", "", ""},    // the HID side of a CDC counter
      {"/dev/ttyACM0", false, 0x0403, 0x6001, "", "", ""},   // a foreign adapter
      {"/dev/ttyACM2", false, 0xC1CA, 0x0003, "", "", ""}};  // a tty of a HID counter
  const auto found = SelectUsbInstruments(all);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].Name(), "/dev/hidraw2");
  EXPECT_EQ(found[0].NickName, "");
  EXPECT_EQ(found[1].Name(), "/dev/ttyACM1");
  EXPECT_EQ(found[1].NickName, "Lab 3") << "the serial number after its first '_'";
  EXPECT_EQ(found[1].Identity.Peer, ptESP);
}

}  // namespace
