#include <gtest/gtest.h>

#include "NestedWaitScenario.h"
#include "platform/sim/SimHost.h"

namespace {

TEST(NestedWait, ATickDuringAWaitIsDispatchedBeforeTheWaitingHandlerResumes) {
  platform::sim::SimHost host(0xFFFFFF80u);  // the wait crosses the tick wrap
  testing_support::NestedWaitScenario scenario(host);
  EXPECT_EQ(scenario.Run(), testing_support::ExpectedNestedTrace());
  EXPECT_EQ(scenario.ElapsedAtTick(), 100u);
  EXPECT_EQ(scenario.ElapsedAtResume(), 300u);
}

TEST(NestedWait, IsDeterministic) {
  for (int i = 0; i < 3; ++i) {
    platform::sim::SimHost host;
    testing_support::NestedWaitScenario scenario(host);
    scenario.Run();
    EXPECT_EQ(scenario.ElapsedAtTick(), 100u);
    EXPECT_EQ(host.Time().NowMicros(), 300'000u);
  }
}

}  // namespace
