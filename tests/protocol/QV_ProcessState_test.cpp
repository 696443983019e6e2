#include "protocol/QV_ProcessState.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/LogCapture.h"

namespace {

// One count check: timestamp header, data header, measurements since the last timestamp (m) and
// timestamps counted (t), with the text and the t that remain.
struct TCheckCase {
  int header;
  int dataHeader;
  uint32_t m;
  uint32_t t;
  std::string text;
  uint32_t tAfter;
};

TEST(ProcessStateTest, CountCheckAtSeveralIntervals) {
  const std::vector<TCheckCase> cases = {
      // 1 s data, second timestamps: one measurement per timestamp.
      {0x7015, 0x0900, 1, 4, "", 4},
      {0x7015, 0x0900, 2, 4, "7F22: Timestamp missing: expected 1, found 2", 0},
      {0x7015, 0x0900, 0, 4, "7F22: Measurement missing: expected 1, found 0", 0},
      // 1 ms data, tenth-second timestamps: 100 per timestamp.
      {0x7016, 0x0000, 100, 3, "", 3},
      {0x7016, 0x0000, 99, 3, "7F22: Measurement missing: expected 100, found 99", 0},
      // 500 ms data, tenth-second timestamps: one measurement every 5 timestamps.
      {0x7016, 0x0800, 0, 3, "", 3},
      {0x7016, 0x0800, 1, 3, "7F22: Timestamp missing: 1 measurements, found after 300ms", 0},
      {0x7016, 0x0800, 1, 5, "", 0},
      {0x7016, 0x0800, 0, 15, "7F22: Measurement missing: expected 1, found 0 after 1.5s", 0},
      // 10 s data, second timestamps: one measurement every 10 timestamps.
      {0x7015, 0x0C00, 1, 4, "7F22: Timestamp missing: 1 measurements found after 4s", 0},
      {0x7015, 0x0C00, 2, 10, "7F22: Measurement missing: expected 1, found 2 after 10s", 0},
      {0x7015, 0x0C00, 0, 9, "", 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " / " + std::to_string(c.dataHeader));
    TQV_ProcessState state;
    state.FFirstDataReceived = state.FFirstTimestampReceived = true;
    state.FFirstCheckDataPerSecondCounter = false;
    state.FHeader = c.header;
    state.FDataHeader = c.dataHeader;
    state.dataPerSecondCounter_copy = c.m;
    state.FTimestampCounter = c.t;
    EXPECT_EQ(state.CheckDataPerSecondCounter(), c.text);
    EXPECT_EQ(state.FTimestampCounter, c.tAfter);
  }
}

TEST(ProcessStateTest, MissingMeasurementsFromFailureTexts) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"7F22: Measurement missing: expected 100, found 99", 1},
      {"Measurement missing: expected 100, found 0", 100},
      {"7F22: Measurement missing: expected 1, found 0 after 1.5s", 1},
      {"7F22: Measurement missing: expected 1, found 2 after 10s", 0},
      {"7F22: Timestamp missing: expected 1, found 2", 0},
      {"7F22: Measurement missing: expected x, found 1", 0},
      {"7F22: Measurement missing: expected 5; found 1", 0},
      {"", 0},
  };
  for (const auto& [text, missing] : cases) EXPECT_EQ(MissingMeasurements(text), missing) << text;
}

TEST(ProcessStateTest, NoCheckWithoutDataTimestampOrValidHeader) {
  TLogCapture log;
  TQV_ProcessState state;
  state.FLogId = log.Id();
  state.FHeader = 0x7015;
  state.FFirstTimestampReceived = true;
  state.dataPerSecondCounter_copy = 7;
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "");
  EXPECT_TRUE(log.Contains("TSourceItem[0].CheckDataPerSecondCounter NO data/timestamp checks: FirstDataReceived=False, "
                           "FirstTimestampReceived=True, Header=7015"));
  state.FFirstDataReceived = true;
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "");
  EXPECT_TRUE(log.Contains("TSourceItem[0].CheckDataPerSecondCounter NO data/timestamp checks:  invalid DataHeader"));
}

TEST(ProcessStateTest, FirstCheckIsAGracePeriodUntilAMeasurementPrecedesTheTimestamp) {
  TLogCapture log;
  TQV_ProcessState state;
  state.FLogId = log.Id();
  state.FFirstDataReceived = state.FFirstTimestampReceived = true;
  state.FHeader = 0x7015;
  state.FDataHeader = 0x0900;
  state.dataPerSecondCounter_copy = 3;
  state.FLastZctHeader = 0x7015;  // no measurement before this timestamp: the grace goes on
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "");
  EXPECT_TRUE(state.FFirstCheckDataPerSecondCounter);
  EXPECT_TRUE(log.Contains("TSourceItem[0].CheckDataPerSecondCounter ignore error message"));

  state.FileDataLoopForEver = true;
  state.FLastZctHeader = 0x0900;
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "");
  EXPECT_TRUE(state.FFirstCheckDataPerSecondCounter);
  EXPECT_TRUE(log.Contains("TSourceItem[0].CheckDataPerSecondCounter: FileData with LoopForEver -> NO reset"));

  state.FileDataLoopForEver = false;
  state.FLastZctHeader = 0x0900;
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "");
  EXPECT_FALSE(state.FFirstCheckDataPerSecondCounter);
  EXPECT_EQ(state.FLastZctHeader, 0x7015);
  EXPECT_EQ(state.CheckDataPerSecondCounter(), "7F22: Timestamp missing: expected 1, found 3");
}

TEST(ProcessStateTest, TalliesAndResets) {
  TQV_ProcessState state;
  state.CountMeasurement("first");
  EXPECT_TRUE(state.FFirstDataReceived);
  EXPECT_EQ(state.dataPerSecondCounter, 0u);  // counting starts with the first timestamp
  state.TakeTimestamp(true, "ts");
  state.CountMeasurement("first");
  state.CountMeasurement("first");
  state.TakeTimestamp(true, "ts");
  EXPECT_EQ(state.dataPerSecondCounter_copy, 2u);
  EXPECT_EQ(state.dataPerSecondCounterReset, 2u);
  EXPECT_EQ(state.FTimestampCounter, 2u);
  state.TakeTimestamp(true, "ts");
  EXPECT_EQ(state.dataPerSecondCounter_copy, 0u);
  EXPECT_EQ(state.dataPerSecondCounterReset, 2u);

  state.FFirstCheckDataPerSecondCounter = false;
  state.ResetTimestampDataCounter();
  EXPECT_FALSE(state.FFirstDataReceived);
  EXPECT_FALSE(state.FFirstTimestampReceived);
  EXPECT_EQ(state.FTimestampCounter, 0u);
  EXPECT_TRUE(state.FFirstCheckDataPerSecondCounter);

  state.Channels[3].High = 5;
  state.Channels[3].PhaseDoubleOld = 2;
  state.ResetPhaseData();
  EXPECT_EQ(state.Channels[3].High, 0);
  EXPECT_EQ(state.Channels[3].PhaseDoubleOld, 0);
}

}  // namespace
