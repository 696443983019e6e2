#include "devices/UsbHotPlug.h"

#include <gtest/gtest.h>

namespace {

TUsbInstrument Counter(const std::string& node) {
  TUsbInterface i{node, false, 0x16D0, 0x0612, "ZCT2_Lab 3", "", ""};
  return {i, *IdentifyUsb(i.Vid, i.Pid), UsbNickName(i.SerialNumber)};
}

TEST(UsbHotPlug, CountersArriveAndLeaveWithTheirTextOthersAreIgnored) {
  std::vector<TUsbInstrument> attached;
  TUsbHotPlug hotPlug([&] { return attached; });
  std::vector<std::pair<std::string, bool>> changes;
  const auto record = [&](const std::string& text, bool arrived) { changes.emplace_back(text, arrived); };

  hotPlug.Notice("/dev/ttyACM0", true, record);  // not a counter: the enumeration does not list it
  attached = {Counter("/dev/ttyACM1")};
  hotPlug.Notice("/dev/ttyACM1", true, record);
  attached.clear();
  hotPlug.Notice("/dev/ttyACM1", false, record);
  hotPlug.Notice("/dev/ttyACM0", false, record);
  hotPlug.Poll(record);  // the system has nothing to tell here

  const std::string text = "/dev/ttyACM1 Lab 3 (CDC, network module)";
  EXPECT_EQ(changes, (std::vector<std::pair<std::string, bool>>{{text, true}, {text, false}}));
}

}  // namespace
