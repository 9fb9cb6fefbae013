#include <gtest/gtest.h>

#include <chrono>

#include "base/UtcTime.h"

TEST(UtcStamp, CalendarEdgesAndPartsOfASecond) {
  using std::chrono::milliseconds;
  const std::pair<milliseconds, const char*> cases[] = {
      {milliseconds(-1), "1969-12-31T23:59:59Z"}, {milliseconds(951782400000), "2000-02-29T00:00:00Z"},
      {milliseconds(4107542400000), "2100-03-01T00:00:00Z"}, {milliseconds(1796691723999), "2026-12-08T01:02:03Z"}};
  for (const auto& [sinceEpoch, stamp] : cases) {
    EXPECT_EQ(zorvex::UtcStamp(std::chrono::system_clock::time_point(sinceEpoch)), stamp) << stamp;
  }
}
