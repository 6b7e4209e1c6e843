// A broken-down time from its calendar fields, for the date and time tests.
#pragma once

#include <ctime>

namespace kvpal::test {

inline tm makeTm(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int isdst = -1) {
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = isdst;
  return t;
}

}  // namespace kvpal::test
