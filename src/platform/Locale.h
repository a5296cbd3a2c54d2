// The user's regional settings and account, as far as the jobs need them.
#pragma once

#include <string>

#include "platform/Clock.h"

namespace marvena {

class Locale {
 public:
  virtual ~Locale() = default;
  virtual char decimalSeparator() = 0;
  virtual std::string shortDate(const LocalTime& t) = 0;
  virtual std::string longTime(const LocalTime& t) = 0;
  // Login name of the user running the tool; empty when unknown.
  virtual std::string userName() = 0;
};

}  // namespace marvena
