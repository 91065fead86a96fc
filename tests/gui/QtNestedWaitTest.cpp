#include <gtest/gtest.h>

#include <thread>

#include "NestedWaitScenario.h"
#include "platform/qt/QtHost.h"

namespace {

// The nested case on the real event loop: the same order as in virtual
// time, with the times within a scheduling tolerance.
TEST(QtPlatform, ATickDuringAWaitIsDispatchedBeforeTheWaitingHandlerResumes) {
  platform::qt::QtHost host;
  testing_support::NestedWaitScenario scenario(host);
  EXPECT_EQ(scenario.Run(), testing_support::ExpectedNestedTrace());
  EXPECT_GE(scenario.ElapsedAtTick(), 99u);
  EXPECT_LT(scenario.ElapsedAtTick(), 250u);
  EXPECT_GE(scenario.ElapsedAtResume(), 300u);
  EXPECT_LT(scenario.ElapsedAtResume(), 600u);
}

TEST(QtPlatform, PostFromAWorkerThreadWakesAWaitingPump) {
  platform::qt::QtHost host;
  int delivered = 0;
  std::thread worker([&] { host.Pump().Post([&] { ++delivered; }); });
  const uint32_t start = host.GetClock().TickCount();
  while (delivered == 0 && host.GetClock().TickCount() - start < 5000) host.Pump().WaitForMessages();
  worker.join();
  EXPECT_EQ(delivered, 1);
}

TEST(QtPlatform, SleepDoesNotDeliver) {
  platform::qt::QtHost host;
  int delivered = 0;
  host.Pump().Post([&] { ++delivered; });
  host.Pump().Sleep(30);
  EXPECT_EQ(delivered, 0);
  host.Pump().ProcessMessages();
  EXPECT_EQ(delivered, 1);
}

}  // namespace
