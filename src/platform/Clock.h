// Wall clock and local calendar time.
#pragma once

#include <cstdint>

namespace marvena {

struct LocalTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t monotonicMs() = 0;
  virtual LocalTime localNow() = 0;
};

}  // namespace marvena
