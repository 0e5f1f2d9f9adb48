// The clock of the test build of the program: always Mon Dec 07 00:05:26 2026.
#include "clock.h"

namespace hdfe {

std::tm local_now() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 0;
  t.tm_min = 5;
  t.tm_sec = 26;
  t.tm_wday = 1;
  t.tm_yday = 340;
  return t;
}

}  // namespace hdfe
