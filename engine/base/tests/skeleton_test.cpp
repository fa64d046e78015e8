#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"

namespace {

using StartStopTest = zettest::EngineTest;

TEST_F(StartStopTest, FixtureStartsAndRestartsTheEngine) {
  EXPECT_TRUE(Units::EngineStarted());
  Units::StopEngine();
  EXPECT_FALSE(Units::EngineStarted());
  Units::StartEngine();
  EXPECT_TRUE(Units::EngineStarted());
}

}  // namespace
