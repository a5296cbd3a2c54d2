#include "app/win32/WinSpoolLoop.h"

#include <algorithm>
#include <vector>

#include "platform/win32/WinDirectoryWatcher.h"
#include "spool/Dispatcher.h"

namespace marvena {

int runSpoolLoop(Dispatcher& dispatcher, std::unique_ptr<DirectoryWatcher> watcher, HANDLE stop) {
  auto* winWatcher = dynamic_cast<WinDirectoryWatcher*>(watcher.get());
  ULONGLONG nextTick = 0;  // the one-second pass
  ULONGLONG wakeAt = 0;    // a settling file or a retry; 0: none
  bool passNow = true;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= nextTick) {
      // A directory that was removed and made again must be watched anew.
      if (watcher)
        for (const std::string& dir : dispatcher.directories()) watcher->watch(dir);
      nextTick = now + 1000;
      passNow = true;
    }
    if (wakeAt != 0 && now >= wakeAt) passNow = true;
    if (passNow) {
      passNow = false;
      wakeAt = 0;
      const PassReport r = dispatcher.runPass();
      if (r.moreReady) {
        passNow = true;
      } else {
        for (std::int64_t due : {r.settleWakeMs, r.retryWakeMs})
          if (due >= 0) {
            const ULONGLONG at =
                GetTickCount64() + static_cast<ULONGLONG>(std::max<std::int64_t>(due, 5));
            if (wakeAt == 0 || at < wakeAt) wakeAt = at;
          }
      }
    }

    const ULONGLONG after = GetTickCount64();
    ULONGLONG until = nextTick;
    if (wakeAt != 0) until = std::min(until, wakeAt);
    const DWORD waitMs = passNow ? 0 : static_cast<DWORD>(until > after ? until - after : 0);
    std::vector<HANDLE> handles{stop};
    if (winWatcher) handles.push_back(winWatcher->wakeEvent());
    const DWORD got = MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                FALSE, waitMs, QS_ALLINPUT);
    if (got == WAIT_OBJECT_0) return 0;
    if (got == WAIT_FAILED) Sleep(waitMs);  // never spin; the timer still drives passes
    if (got == WAIT_OBJECT_0 + 1 && winWatcher) {
      // Results, temporary files and other names are no reason for a pass.
      for (const DirectoryWatcher::Event& e : winWatcher->read())
        if (dispatcher.noteChange(e.dir, e.name)) passNow = true;
    } else if (got == WAIT_OBJECT_0 + handles.size()) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
}

}  // namespace marvena
