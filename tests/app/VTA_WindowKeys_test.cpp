#include "app/VTA_WindowKeys.h"

#include <gtest/gtest.h>

#include "core/App_Settings.h"
#include "core/SessionIndexMap.h"

namespace {

TEST(WindowKeys, RestoredWithSessionsRenumbered) {
  TAppSettings settings;
  settings.LoadFromBytes(
      "Main_Left=3\r\nInfo_0_Left=10\r\nInfo_2_Panel_1=False\r\nView_1_Id=1\r\nView_1_Session=2\r\n"
      "View_1_SecondSession=0\r\nView_1_SessionCopy=True\r\nView_2_Session=x\r\nViewMessage_Visible=True\r\n");
  TWindowKeys keys;
  keys.Capture(settings);
  for (const char* prefix : {"Info_", "ViewMessage_", "View_"}) settings.RemoveKeys(prefix);

  // Session 0 was removed, session 2 is stored as 0.
  keys.Restore(settings, TSessionIndexMap({2}));
  EXPECT_EQ(settings.Lines(), (std::vector<std::string>{"Main_Left=3", "Info_0_Panel_1=False", "View_1_Id=1",
                                                        "View_1_Session=0", "View_1_SecondSession=-1",
                                                        "View_1_SessionCopy=True", "View_2_Session=x",
                                                        "ViewMessage_Visible=True"}));
}

}  // namespace
