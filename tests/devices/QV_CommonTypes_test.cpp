#include "devices/QV_CommonTypes.h"

#include <gtest/gtest.h>

TEST(QV_Result, NamesLookAtTheLowSevenBits) {
  const struct {
    int value;
    const char* name;
  } cases[] = {{0, "QV_No_Err"},
               {1, "QV_No_Err"},
               {2, "QV_No_Err_Recovered"},
               {4, "QV_Err_BadFormat"},
               {24, "QV_FTDI_VCPError"},
               {46, "QV_Err_WatchErrorMsg"},
               {47, "kein QV_Result"},
               {127, "kein QV_Result"},
               {128 + 4, "QV_Err_BadFormat"}};
  for (const auto& c : cases) EXPECT_EQ(QV_ResultName(static_cast<TQV_Result>(c.value)), c.name) << c.value;
}
