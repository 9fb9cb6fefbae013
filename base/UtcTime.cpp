#include "base/UtcTime.h"

#include <cstddef>

namespace zorvex {

namespace {

struct CivilDate {
  long long year;
  unsigned month, day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01; eras of 400 years repeat exactly,
// which keeps the arithmetic in whole numbers.
CivilDate DateOfDay(long long day) {
  constexpr long long kDaysPerEra = 146097;
  day += 719468;  // counted from 0000-03-01, so that the leap day ends a year
  const long long era = (day >= 0 ? day : day - (kDaysPerEra - 1)) / kDaysPerEra;
  const auto dayOfEra = static_cast<unsigned>(day - era * kDaysPerEra);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
  const unsigned dayOfMonth = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const unsigned month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const long long year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, dayOfMonth};
}

// value in decimal, zeros in front up to width digits.
std::string Padded(long long value, std::size_t width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

}  // namespace

std::string UtcStamp(std::chrono::system_clock::time_point time) {
  constexpr long long kSecondsPerDay = 24 * 60 * 60;
  const long long seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
  long long day = seconds / kSecondsPerDay;
  long long second = seconds % kSecondsPerDay;
  if (second < 0) {
    second += kSecondsPerDay;
    --day;
  }
  const CivilDate date = DateOfDay(day);
  return Padded(date.year, 4) + "-" + Padded(date.month, 2) + "-" + Padded(date.day, 2) + "T" +
         Padded(second / 3600, 2) + ":" + Padded(second / 60 % 60, 2) + ":" + Padded(second % 60, 2) + "Z";
}

}  // namespace zorvex
