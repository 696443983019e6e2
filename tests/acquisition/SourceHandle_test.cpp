#include "acquisition/SourceHandle.h"

#include <gtest/gtest.h>

#include "acquisition/MultiSource.h"
#include "acquisition/SourceTestSupport.h"

namespace {

// The handle and the procedural interface reach the same source object.
TEST(SourceHandle, ServesTheSameSourceAsTheProceduralInterface) {
  const TSourceHandle source(Multi_AddSource());
  ASSERT_TRUE(source.Open("DemoData").Ok());
  EXPECT_EQ(Multi_IsOpen(source.Id()), 1);
  EXPECT_TRUE(source.HasStructuredReports());
  EXPECT_EQ(source.SerialNumber(), Multi_GetSerialNumber(source.Id()));
  const TSourceReply refused = source.SendCommand(std::string(128, '\x01'));
  EXPECT_EQ(refused.Code, mrUnknownSource);
  EXPECT_FALSE(refused.Text.empty());
  EXPECT_EQ(source.Close(), mrOk);
  EXPECT_EQ(Multi_IsOpen(source.Id()), 0);
}

// Texts come whole: a caller buffer of the procedural interface cuts what does not fit.
TEST(SourceHandle, RepliesAreNotCutToACallerBuffer) {
  const TSourceHandle source(Multi_AddSource());
  const std::string bad = ":" + std::string(1500, 'x');
  const TSourceReply reply = source.Open(bad);
  EXPECT_EQ(reply.Code, mrError);
  EXPECT_NE(reply.Text.find(bad), std::string::npos) << reply.Text.size();

  std::string cut;
  EXPECT_EQ(OpenSource(source.Id(), bad, &cut), mrError);
  EXPECT_EQ(cut, reply.Text.substr(0, MULTI_BUFFER_SIZE - 1));
}

TEST(SourceHandle, UnknownIdsAnswerWithTheirText) {
  const TSourceHandle source(100000);
  EXPECT_EQ(source.Open("DemoData").Code, mrUnknownSource);
  EXPECT_EQ(source.GetReport(nullptr).Text, "Source-ID 100000 not found");
  EXPECT_EQ(source.UserID(), 255);
  EXPECT_FALSE(source.IsOpen());
}

}  // namespace
