// Clock, locale and the one-instance lock on a POSIX system.
#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/Locale.h"

namespace marvena {

class PosixClock final : public Clock {
 public:
  std::int64_t monotonicMs() override;
  LocalTime localNow() override;
};

// Regional settings from the C library's locale (LC_NUMERIC, LC_TIME).
class PosixLocale final : public Locale {
 public:
  char decimalSeparator() override;
  std::string shortDate(const LocalTime& t) override;
  std::string longTime(const LocalTime& t) override;
  std::string userName() override;
};

// Held for the process's life; a second holder of the same key fails.
class InstanceLock {
 public:
  // `key` names what must run once (the settings file's path).
  explicit InstanceLock(const std::string& key);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  bool acquired() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace marvena
