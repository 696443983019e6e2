#include "ui/FormBigMessage.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>

#include "DialogTestSupport.h"
#include "core/VTA_Common.h"

namespace {

TEST(BigMessageText, DeviceStatusPrefixIsRemovedAndTheSessionPutInFront) {
  const struct {
    std::string text;
    int32_t sIndex;
    int32_t code;
    std::string expected;
  } cases[] = {
      {"7F22: Measurement missing", 0, 0x7F22, "A: Measurement missing"},
      {"7FF7; Device does not send", 1, 0x7FF7, "B: Device does not send"},
      {"7F40Reference lost", 2, 0x7F40, "C: Reference lost"},
      {"Data Loss", 0, 92, "A: Data Loss"},
      {"Log folder missing", kNoSession, 91, "?: Log folder missing"},
      {std::string(90, 'x'), 0, 1, "A: " + std::string(77, 'x') + "\n" + std::string(13, 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(BigMessageText(c.text, c.sIndex, c.code), c.expected) << c.text;
}

TEST(FormBigMessage, OneWindowAndTheSwitchGoesToTheMessageShown) {
  std::vector<std::pair<const TNotification*, bool>> calls;
  TFormBigMessage window(nullptr, [&](const TNotification* link, bool enabled) { calls.emplace_back(link, enabled); });
  EXPECT_EQ(window.windowTitle(), "VTA Message");
  const auto* first = reinterpret_cast<const TNotification*>(0x10);
  const auto* second = reinterpret_cast<const TNotification*>(0x20);
  window.ShowNotification("Data Loss", 0, 92, first);
  window.DontShowBox()->setChecked(true);
  window.ShowNotification("Reference lost", 1, 13, second);
  EXPECT_FALSE(window.DontShowBox()->isChecked()) << "a new message starts unticked";
  EXPECT_EQ(window.TextLabel()->text(), "B: Reference lost");
  window.DontShowBox()->setChecked(true);
  window.DontShowBox()->setChecked(false);
  const std::vector<std::pair<const TNotification*, bool>> expected = {{first, false}, {second, false}, {second, true}};
  EXPECT_EQ(calls, expected);
}

TEST(FormBigMessage, Screenshot) {
  TFormBigMessage window(nullptr, {});
  window.ShowNotification("7F22: Measurement missing: expected 100, found 96", 0, 0x7F22, nullptr);
  SaveDialogScreenshot(window, "vta_message_popup");
}

}  // namespace
