#include "ui/DeviceInfoDialog.h"

#include <gtest/gtest.h>

#include "devices/QV_DeviceInfo.h"
#include "ui/DialogTestSupport.h"

namespace {

TQV_DeviceInfo Network() {
  TQV_DeviceInfo info;
  info.SetSerialNumber(0x00A1B2C3);
  info.SetPeerType(ptESP);
  info.SetIPAddress("192.168.1.20");
  info.SetHardFeature(0x12);
  info.SetConnectedUser(1, "10.0.0.5:4711");
  info.SetConnectedUserU2(1, "lab-pc");
  info.SetNominalFreq(1, 10e6);
  info.SetNominalFreq(3, 5e6);
  return info;
}

TEST(DeviceInfoDialog, ListsWhatIsKnownOfTheInstrument) {
  const TDeviceInfoDialog::TLines expected = {
      {"Serial number", "00A1B2C3"},
      {"Peer", "ESP"},
      {"IP address", "192.168.1.20"},
      {"Hardware features", "0012"},
      {"User 1", "10.0.0.5:4711 / lab-pc"},
      {"User 2", "unknown"},
      {"User 3", "unknown"},
      {"User 4", "unknown"},
      {"Nominal frequencies", "1: 10000000 Hz, 3: 5000000 Hz"},
  };
  EXPECT_EQ(TDeviceInfoDialog::Lines(Network()), expected);
  EXPECT_EQ(TDeviceInfoDialog(nullptr, Network()).windowTitle(), "Q+V device 00A1B2C3");
  const TDeviceInfoDialog::TLines unknown = TDeviceInfoDialog::Lines(TQV_DeviceInfo());
  EXPECT_EQ(unknown.front().second, "FFFFFFFF");
  EXPECT_EQ(unknown.back().second, "-");
}

TEST(DeviceInfoDialog, Screenshot) {
  TDeviceInfoDialog dialog(nullptr, Network());
  SaveDialogScreenshot(dialog, "device_info_dialog");
}

}  // namespace
