#include "ui/FormBigMessage.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
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
      {std::string(70, 'x') + " words after it", 0, 1, "A: " + std::string(70, 'x') + " words\nafter it"},
      {std::string(75, 'x') + " y", 0, 1, "A: " + std::string(75, 'x') + " y"},  // 80 characters: one line
      {"a " + std::string(85, 'x'), 0, 1, "A: a " + std::string(75, 'x') + "\n" + std::string(10, 'x')},
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

TEST(BigMessagePointSize, LargestSizeWhoseTextFitsTheArea) {
  // A text of one line, 20 pixels wide and 2 high per point.
  const auto textSize = [](int s) { return QSize(20 * s, 2 * s); };
  const struct {
    QSize area;
    int size;
  } cases[] = {
      {{400, 200}, 20},                   // the width decides
      {{1000, 50}, 25},                   // the height decides
      {{4000, 4000}, kBigMessageMaxSize}, // not larger than the upper bound
      {{50, 50}, kBigMessageMinSize},     // nothing fits: the lower bound
  };
  for (const auto& c : cases) EXPECT_EQ(BigMessagePointSize(textSize, c.area), c.size) << c.area.width() << "x" << c.area.height();
}

// The text fills the window: a short text gets a large font, a smaller window a smaller one, and a
// long text wraps within the window instead of widening it.
TEST(FormBigMessage, TheTextFollowsTheWindowSizeAndStaysInside) {
  TFormBigMessage window(nullptr, {});
  const auto fitsInside = [&] {
    const QLabel& label = *window.TextLabel();
    const QRect area = label.contentsRect();
    const QRect text = QFontMetrics(label.font()).boundingRect(QRect(0, 0, area.width(), 100000),
                                                               Qt::TextWordWrap | Qt::AlignCenter, label.text());
    return text.width() <= area.width() && text.height() <= area.height();
  };
  window.ShowNotification("Data Loss", 0, 92, nullptr);
  QCoreApplication::processEvents();
  const int large = window.TextLabel()->font().pointSize();
  EXPECT_GT(large, 20);
  EXPECT_TRUE(fitsInside());
  window.resize(320, 160);
  QCoreApplication::processEvents();
  const int small = window.TextLabel()->font().pointSize();
  EXPECT_LT(small, large);
  EXPECT_TRUE(fitsInside());
  std::string words;
  while (words.size() < 240) words += "reference lost ";
  window.resize(400, 240);
  window.ShowNotification(words, 1, 13, nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.size(), QSize(400, 240)) << "the text does not widen the window";
  EXPECT_LT(window.TextLabel()->font().pointSize(), small) << "a long text gets a smaller font";
  EXPECT_TRUE(fitsInside());
}

// The window keeps the size it has (the first size, or the user's): no adjustSize as for dialogs.
TEST(FormBigMessage, Screenshot) {
  const QString folder = qEnvironmentVariable("VTA_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "VTA_SCREENSHOT_DIR not set";
  QDir().mkpath(folder);
  TFormBigMessage window(nullptr, {});
  window.ShowNotification("7F22: Measurement missing: expected 100, found 96", 0, 0x7F22, nullptr);
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.grab().save(folder + "/vta_message_popup.png"));
  window.ShowNotification("Reference clock lost: the counter measures against its internal oscillator; the "
                          "phase and frequency values are no longer traceable until the reference is back.",
                          1, 13, nullptr);
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.grab().save(folder + "/vta_message_popup_long.png"));
}

}  // namespace
