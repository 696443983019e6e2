#include "acquisition/ConnectionKinds.h"

#include <gtest/gtest.h>

#include "acquisition/MultiSource.h"
#include "devices/QV_BaseDevice.h"
#include "support/PtyPair.h"

namespace {

TEST(ConnectionKinds, TheUsbKindOpensAndItsListIsEmptyWithoutCounters) {
  EXPECT_TRUE(ConnectionKindAvailable(ctUSB));
  for (const TAttachedDevice& d : AttachedDevices()) EXPECT_EQ(d.Type, QV_Serial) << d.Name;
  char buffer[1024] = "x";
  Multi_EnumerateDevices(buffer, 0);
  char error[1024];
  EXPECT_EQ(Multi_GetLastError(error), 0) << error;
}

TEST(ConnectionKinds, TheDeviceListTextHasOneLinePerDevice) {
  EXPECT_EQ(DeviceListText({{"/dev/ttyACM0", QV_CDC, "Q+V USB device Lab 3 (CDC, network module)"},
                            {"/dev/ttyUSB0", QV_Serial, "Serial port"}}),
            "/dev/ttyACM0\tQ+V USB device Lab 3 (CDC, network module)\n/dev/ttyUSB0\tSerial port\n");
}

struct TByPath {
  bool ZCT2;
  TQV_PeerType Peer;
};
class UsbByPathTest : public ::testing::TestWithParam<TByPath> {};

// A CDC line given by its path opens as a Coldfire line, or a network module's with "ZCT2:/".
TEST_P(UsbByPathTest, ACdcLineGivenByItsPathBecomesAUsbDevice) {
  TOpenTarget target;
  target.Kind = ctUSB;
  target.DeviceName = "/dev/ttyACM-absent";
  target.ZCT2 = GetParam().ZCT2;
  std::unique_ptr<TQV_BaseDevice> device;
  std::string error;
  EXPECT_EQ(FindConnectionKind(ctUSB)->Open(target, {}, device, error), QV_DeviceNotFound) << "no such node";
  EXPECT_EQ(error, "Q+V device not found: /dev/ttyACM-absent");
  if (!TPtyPair::SocatAvailable()) GTEST_SKIP() << "socat is not installed (scripts/install-deps)";
  // A pty stands in for the ACM node.
  TPtyPair pair;
  ASSERT_EQ(pair.Error(), "");
  EXPECT_EQ(FindAttachedDevice(pair.HostPath()), QV_Serial) << "ttys other than ACM nodes stay serial ports";
  target.DeviceName = pair.HostPath();
  ASSERT_EQ(FindConnectionKind(ctUSB)->Open(target, {}, device, error), QV_No_Err) << error;
  EXPECT_EQ(device->DevType(), QV_CDC);
  EXPECT_EQ(device->PeerType(), GetParam().Peer);
  EXPECT_EQ(device->DevicePath(), pair.HostPath());
}

INSTANTIATE_TEST_SUITE_P(Peers, UsbByPathTest, ::testing::Values(TByPath{false, ptColdfire}, TByPath{true, ptESP}));

}  // namespace
