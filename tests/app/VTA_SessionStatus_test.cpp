#include "app/VTA_SessionStatus.h"

#include <gtest/gtest.h>

namespace {

TEST(SessionStatus, CounterAndSensorFieldsAndTheLine) {
  TSessionStatus status;
  status.Name = "Source A: lab";
  status.Open = true;
  EXPECT_EQ(StatusLine(status), "Source A: lab | open");

  TCounterStatusValues values;
  values.ZctChannels = 8;
  values.IvcChannels = 4;
  values.UserId = 3;
  values.Lost = 2;
  values.LastSync = "1700000000";
  SetCounterStatus(status, values);
  EXPECT_EQ(StatusLine(status), "Source A: lab | open | ZCT: 8, IVC: 4 | User: 3 | Lost: 2 | Sync: 1700000000");

  values = {};
  values.DgiCards = 2;
  values.IvcOnly = true;
  SetCounterStatus(status, values);
  EXPECT_EQ(status.Channels, "DGI: 2");
  EXPECT_EQ(status.User, "User: -");
  EXPECT_EQ(status.Lost, "-");
  EXPECT_EQ(status.Sync, "-");

  TSessionStatus sensor;
  sensor.Name = "Source B";
  SetSensorStatus(sensor, 0);
  EXPECT_EQ(StatusLine(sensor), "Source B | closed | -");
  SetSensorStatus(sensor, 3);
  EXPECT_EQ(sensor.Channels, "Sensor: 3");
}

}  // namespace
