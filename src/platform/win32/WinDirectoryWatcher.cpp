#include "platform/win32/WinDirectoryWatcher.h"

#include <cstring>

namespace marvena {

struct WinDirectoryWatcher::Watch {
  std::string dir;
  Handle handle;
  OVERLAPPED overlapped{};
  // DWORD-aligned, as ReadDirectoryChangesW requires.
  alignas(DWORD) char buffer[32 * 1024];
  bool pending = false;
  // Which directory this is: one removed and made again is another.
  DWORD volume = 0, indexHigh = 0, indexLow = 0;
  FILETIME created{};
};

WinDirectoryWatcher::WinDirectoryWatcher() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WinDirectoryWatcher::~WinDirectoryWatcher() {
  for (auto& w : watches_) {
    if (w->pending) {
      CancelIoEx(w->handle.get(), &w->overlapped);
      DWORD ignored = 0;
      GetOverlappedResult(w->handle.get(), &w->overlapped, &ignored, TRUE);
    }
  }
}

bool WinDirectoryWatcher::issue(Watch& w) {
  w.overlapped = OVERLAPPED{};
  w.overlapped.hEvent = wake_.get();
  w.pending = ReadDirectoryChangesW(w.handle.get(), w.buffer, sizeof w.buffer, FALSE,
                                    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                        FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE,
                                    nullptr, &w.overlapped, nullptr);
  return w.pending;
}

namespace {

// Which directory a handle holds. File indexes may be reused at once (Wine
// takes them from the inode); the creation time tells those apart.
bool identify(HANDLE h, DWORD* volume, DWORD* high, DWORD* low, FILETIME* created) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return false;
  *volume = info.dwVolumeSerialNumber;
  *high = info.nFileIndexHigh;
  *low = info.nFileIndexLow;
  *created = info.ftCreationTime;
  return true;
}

}  // namespace

void WinDirectoryWatcher::drop(std::size_t i) {
  Watch& w = *watches_[i];
  if (w.pending) {
    CancelIoEx(w.handle.get(), &w.overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(w.handle.get(), &w.overlapped, &ignored, TRUE);
  }
  lost_.push_back(w.dir);
  watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(i));
  SetEvent(wake_.get());
}

bool WinDirectoryWatcher::watch(const std::string& dir) {
  for (std::size_t i = 0; i < watches_.size(); ++i) {
    if (watches_[i]->dir != dir) continue;
    // Not every system ends a pending read when its directory goes away:
    // the directory at the path must still be the one watched.
    Handle now(CreateFileW(longPathOf(dir).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    DWORD volume = 0, high = 0, low = 0;
    FILETIME created{};
    const Watch& w = *watches_[i];
    if (now.valid() && identify(now.get(), &volume, &high, &low, &created) && volume == w.volume &&
        high == w.indexHigh && low == w.indexLow && CompareFileTime(&created, &w.created) == 0)
      return true;
    drop(i);
    break;
  }
  auto w = std::make_unique<Watch>();
  w->dir = dir;
  // Sharing delete too: the watch must not keep the directory from being
  // removed or renamed.
  w->handle.reset(CreateFileW(longPathOf(dir).c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                              nullptr));
  if (!w->handle.valid() ||
      !identify(w->handle.get(), &w->volume, &w->indexHigh, &w->indexLow, &w->created) ||
      !issue(*w))
    return false;
  watches_.push_back(std::move(w));
  return true;
}

std::vector<DirectoryWatcher::Event> WinDirectoryWatcher::read() {
  std::vector<Event> events;
  ResetEvent(wake_.get());
  for (const std::string& dir : lost_) events.push_back({dir, ""});
  lost_.clear();
  for (std::size_t i = 0; i < watches_.size();) {
    Watch& w = *watches_[i];
    DWORD bytes = 0;
    if (!GetOverlappedResult(w.handle.get(), &w.overlapped, &bytes, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE) {
        ++i;
        continue;
      }
      // The directory went away (or its drive did): watched anew once it is back.
      events.push_back({w.dir, ""});
      watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (bytes == 0) {
      events.push_back({w.dir, ""});  // more changes than the buffer held
    } else {
      std::size_t offset = 0;
      for (;;) {
        FILE_NOTIFY_INFORMATION info;
        std::memcpy(&info, w.buffer + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        const wchar_t* name = reinterpret_cast<const wchar_t*>(
            w.buffer + offset + offsetof(FILE_NOTIFY_INFORMATION, FileName));
        events.push_back(
            {w.dir, utf8From(std::wstring_view(name, info.FileNameLength / sizeof(wchar_t)))});
        if (info.NextEntryOffset == 0 || offset + info.NextEntryOffset >= bytes) break;
        offset += info.NextEntryOffset;
      }
    }
    if (!issue(w)) {
      events.push_back({w.dir, ""});
      watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  return events;
}

}  // namespace marvena
