#include "platform/win32/WinFileTimes.h"

#include <limits>

#include "platform/win32/WinText.h"

namespace marvena {

namespace {

// FILETIME counts 100 ns from 1601.
constexpr std::int64_t kEpochTicks = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

FILETIME fileTimeOf(std::int64_t seconds) {
  const auto ticks = static_cast<std::uint64_t>(seconds * kTicksPerSecond + kEpochTicks);
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

}  // namespace

bool WinFileTimes::setModified(const std::string& path, std::int64_t seconds) {
  // A FILETIME holds 1601 to about 30828; a server claiming a time outside
  // that is not believed.
  constexpr std::int64_t kLatest =
      (std::numeric_limits<std::int64_t>::max() - kEpochTicks) / kTicksPerSecond;
  if (seconds < -kEpochTicks / kTicksPerSecond || seconds > kLatest) return false;
  // The reparse point itself is opened, never the file a link leads to.
  Handle file(CreateFileW(longPathOf(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
    return false;
  const FILETIME modified = fileTimeOf(seconds);
  return SetFileTime(file.get(), nullptr, nullptr, &modified) != FALSE;
}

std::optional<std::int64_t> winModifiedSeconds(const std::string& path) {
  Handle file(CreateFileW(longPathOf(path).c_str(), 0,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return std::nullopt;
  FILETIME modified{};
  if (!GetFileTime(file.get(), nullptr, nullptr, &modified)) return std::nullopt;
  const std::int64_t ticks = (static_cast<std::int64_t>(modified.dwHighDateTime) << 32) |
                             static_cast<std::int64_t>(modified.dwLowDateTime);
  // Whole seconds, rounded down also before 1970.
  const std::int64_t since = ticks - kEpochTicks;
  return since >= 0 ? since / kTicksPerSecond : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

}  // namespace marvena
