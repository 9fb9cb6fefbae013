#include <gtest/gtest.h>

#include <chrono>

#include "base/UtcTime.h"

using namespace zorvex;

TEST(UtcStamp, CalendarEdgesAndFractionsOfASecond) {
  using std::chrono::seconds;
  const struct Case {
    long long seconds;  // since 1970-01-01T00:00:00Z
    const char* stamp;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},    // a leap day in a year of hundreds
      {4107542399, "2100-02-28T23:59:59Z"},   // and none in 2100: next comes March
      {4107542400, "2100-03-01T00:00:00Z"},
      {1796691723, "2026-12-08T01:02:03Z"},
      {-2208988800, "1900-01-01T00:00:00Z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UtcStamp(std::chrono::system_clock::time_point(seconds(c.seconds))), c.stamp) << c.seconds;
  }
  // Parts of a second never round up into the next one, on either side of 1970.
  const auto base = std::chrono::system_clock::time_point(seconds(1796691723));
  EXPECT_EQ(UtcStamp(base + std::chrono::milliseconds(999)), "2026-12-08T01:02:03Z");
  EXPECT_EQ(UtcStamp(std::chrono::system_clock::time_point(std::chrono::milliseconds(-1))), "1969-12-31T23:59:59Z");
}
