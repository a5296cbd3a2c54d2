// Clock, regional settings, the machine and the one-instance locks on Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Locale.h"
#include "platform/win32/WinText.h"

namespace marvena {

class WinClock final : public Clock {
 public:
  std::int64_t monotonicMs() override;
  LocalTime localNow() override;
};

// The user's regional settings (GetLocaleInfoEx, GetDateFormatEx) and account.
class WinLocale final : public Locale {
 public:
  char decimalSeparator() override;
  std::string shortDate(const LocalTime& t) override;
  std::string longTime(const LocalTime& t) override;
  std::string userName() override;
};

std::string winHostName();
bool winProcessRunning(unsigned long pid);
// `path` absolute, links resolved where it exists (its directory for a file
// not made yet), with "/" separators.
std::string winRealPath(const std::string& path);

// The name of the mutex held for `key`: "Marvena Spool" and a digest of the
// key, which names a settings file or a spool directory (case does not
// matter in Windows paths, so neither does it here).
std::wstring instanceMutexName(const std::string& key);

// A named mutex: a second holder of the same name fails.
class NamedMutex {
 public:
  explicit NamedMutex(const std::wstring& name);
  bool acquired() const { return acquired_; }

 private:
  Handle h_;
  bool acquired_ = false;
};

// A lock file of our own held open without write sharing; another process
// (also on another machine, through the file server) cannot open it while
// this one lives.
class WinFileLock {
 public:
  explicit WinFileLock(const std::string& path);
  bool made() const { return made_; }
  bool acquired() const { return h_.valid(); }

 private:
  Handle h_;
  bool made_ = false;
};

}  // namespace marvena

namespace marvena {

// The installed Word's major version as text ("16"), from the version its
// automation class names in the registry (CurVer of "Word.Application"
// under HKEY_CLASSES_ROOT); empty without Word. Reading it starts no Word.
std::string wordVersionFromRegistry();

}  // namespace marvena
