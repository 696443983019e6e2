#include "acquisition/QV_SessionItem.h"

#include <gtest/gtest.h>

#include <iostream>

#include "QVSessionTestSupport.h"
#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"

namespace {

class QVSessionDemo : public ::testing::Test, public QVSessionFixture {};

TEST_F(QVSessionDemo, Explore) {
  OpenDemo();
  EXPECT_EQ(opened, "");
  RunSteps(40);
  for (auto& m : messages) std::cout << "MSG " << m.Code << " " << int(m.Type) << " " << m.Text << "\n";
  for (auto& n : TakeNotices()) std::cout << "SYNC " << n.ToString() << "\n";
  for (auto& l : log.Lines()) std::cout << "LOG " << l << "\n";
  std::cout << "ZCT count " << session->ZCT_DM().ChannelCount() << " IVC count " << session->IVC_DM().ChannelCount()
            << " x " << session->ZCT_DM().Count(hsNone) << " ivc x " << session->IVC_DM().Count(hsNone) << "\n";
}

}  // namespace
