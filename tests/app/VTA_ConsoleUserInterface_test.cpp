#include "app/VTA_ConsoleUserInterface.h"

#include <gtest/gtest.h>

#include <sstream>

#include "AppTestSupport.h"
#include "devices/QV_CommonTypes.h"

namespace {

class ConsoleUITest : public AppTest {
 protected:
  std::ostringstream out, err;
};

TEST_F(ConsoleUITest, AnswersTheConnectionDialogOnceAndQuestionsSafely) {
  WriteWholeFile(dir.File("reports.txt"), "");
  TConsoleUserInterface console(out, err, dir.File("reports.txt"));
  TSourceDialogPreset preset;
  preset.Color = 0xFF00FF;
  const auto answer = console.AskConnection(preset);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->OpenString, dir.File("reports.txt"));
  EXPECT_EQ(answer->ConnectionType, int32_t(ctFile));
  EXPECT_EQ(answer->Color, 0xFF00FFu);
  EXPECT_FALSE(console.AskConnection(preset));  // the first connection was refused
  EXPECT_FALSE(console.ConnectionMissing());

  EXPECT_TRUE(console.Question(kCloseWhileLogging));
  EXPECT_FALSE(console.Question(kConnectServerAgain));

  TConsoleUserInterface without(out, err, std::nullopt);
  EXPECT_FALSE(without.AskConnection(preset));
  EXPECT_TRUE(without.ConnectionMissing());
}

TEST_F(ConsoleUITest, PrintsEachMessageOnceAndAgainWhenItRepeats) {
  TConsoleUserInterface console(out, err, std::nullopt);
  TVTA_Application app(Paths(), Options(), console, timers);
  console.Attach(&app);
  app.Messages().AddErrorThread(-2, 21, 0, "Reading Report Failed");
  app.Messages().AddInfoThread(-2, 13, 0, "mode changed");
  console.UpdateMessageView();
  console.UpdateMessageView();
  app.Messages().AddErrorThread(-2, 21, 0, "Reading Report Failed");  // merged: count 2
  console.UpdateMessageView();
  const std::string errors = err.str();
  EXPECT_NE(errors.find("Reading Report Failed\n"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Reading Report Failed (2)\n"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("Reading Report Failed\n"), errors.rfind("Reading Report Failed\n"));
  EXPECT_NE(out.str().find("mode changed\n"), std::string::npos);
}

}  // namespace
