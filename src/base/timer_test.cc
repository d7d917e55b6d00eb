#include "base/timer.h"

#include <gtest/gtest.h>

#include "base/logging.h"
#include "base/platform/fake_platform_for_testing.h"

namespace base {
namespace {

TEST(TimerTest, FormatDuration) {
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {3725.9, "01:02:05"},  {59.999, "00:00:59"}, {0, "00:00:00"},
      {360000, "100:00:00"}, {-5, "00:00:00"},     {1e300, "596523:14:07"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(format_duration(c.seconds), c.text);
    EXPECT_EQ(format_duration_wide(c.seconds), std::wstring(c.text, c.text + strlen(c.text)));
  }
}

TEST(TimerTest, ElapsedFollowsTheCounter) {
  platform::FakeClock clock;
  clock.frequency = 1000;
  clock.counter = 5000;
  Timer timer;
  EXPECT_EQ(timer.elapsed(), 0.0);
  timer.start();  // reads 5000
  clock.counter = 7500;
  EXPECT_DOUBLE_EQ(timer.elapsed(), 2.5);
  clock.counter = 9000;
  EXPECT_DOUBLE_EQ(timer.elapsed(), 4.0);  // grows while running
  timer.stop();                            // reads 9000
  clock.counter = 20000;
  EXPECT_DOUBLE_EQ(timer.elapsed(), 4.0);
  EXPECT_EQ(timer.elapsed_string(), "00:00:04");
  EXPECT_EQ(timer.elapsed_wstring(), L"00:00:04");
  timer.start();  // new start at 20000, stop stays until the next stop()
  clock.counter = 23000;
  EXPECT_DOUBLE_EQ(timer.elapsed(), 3.0);
  timer.reset();
  EXPECT_EQ(timer.elapsed(), 0.0);
}

TEST(TimerTest, CounterFailuresAreChecks) {
  set_min_severity(kLogFatal + 1);
  platform::FakeClock clock;
  clock.counter.reset();
  try {
    (void)Timer::now();
    FAIL();
  } catch (const CheckException& e) {
    EXPECT_NE(std::string(e.what()).find(" QueryPerformanceCounter(&tv) check failed"),
              std::string::npos);
  }
  clock.counter = 1;
  clock.frequency.reset();
  try {
    (void)Timer::ticks_to_seconds(5);
    FAIL();
  } catch (const CheckException& e) {
    EXPECT_NE(std::string(e.what()).find(" QueryPerformanceFrequency(&freq) check failed"),
              std::string::npos);
  }
  set_min_severity(kLogInfo);
}

TEST(TimerTest, RealClockIsMonotonic) {
  Timer timer;
  timer.start();
  const double first = timer.elapsed();
  const double second = timer.elapsed();
  EXPECT_GE(second, first);
  EXPECT_GE(first, 0.0);
}

}  // namespace
}  // namespace base
