#include "devices/QV_CANDeviceAdapterChoice.h"

#include <gtest/gtest.h>

#include "core/App_Settings.h"
#include "devices/PcanBasicAdapter.h"
#include "devices/SocketCanAdapter.h"

namespace {

TEST(CanAdapterChoice, IsKeptInTheSettingsAndSocketCanByDefault) {
  TAppSettings settings;
  const TCanAdapterChoice fresh = TCanAdapterChoice::Read(settings);
  EXPECT_EQ(fresh.Kind, TCanAdapterChoice::caSocketCan);
  EXPECT_EQ(fresh.Interface, "can0");

  TCanAdapterChoice pcan{TCanAdapterChoice::caPcanBasic, "can1"};
  TCanAdapterChoice::Write(pcan, settings);
  EXPECT_EQ(TCanAdapterChoice::Read(settings), pcan);

  // A value this build does not know and an empty interface fall back to the defaults.
  settings.SetValue("Main_CANAdapter", int32_t(7));
  settings.SetValue("Main_CANInterface", "");
  EXPECT_EQ(TCanAdapterChoice::Read(settings), TCanAdapterChoice{});
}

TEST(CanAdapterChoice, TheCurrentChoiceMakesTheAdapter) {
  const TCanAdapterChoice before = TCanAdapterChoice::Current();
  TCanAdapterChoice::SetCurrent({TCanAdapterChoice::caPcanBasic, "can0"});
  EXPECT_NE(dynamic_cast<TPcanBasicAdapter*>(TCanAdapterChoice::CreateAdapter(-1).get()), nullptr);
  TCanAdapterChoice::SetCurrent({TCanAdapterChoice::caSocketCan, "can1"});
  const std::unique_ptr<TCanAdapter> socketCan = TCanAdapterChoice::CreateAdapter(-1);
  EXPECT_EQ(socketCan->Name(), "SocketCAN can1");
  TCanAdapterChoice::SetCurrent(before);
}

}  // namespace
