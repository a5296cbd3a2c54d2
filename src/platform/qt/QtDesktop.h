// Clipboard and browser through Qt. Jobs call these on the job thread; the
// work itself is done on the GUI thread, where Qt wants it.
#pragma once

#include <functional>
#include <string>

#include "platform/Desktop.h"

namespace marvena {

// Runs `work` on the GUI thread and waits for it: directly when already
// there, otherwise as a queued call. False (and *error) when there is no
// application or the GUI thread has not taken the call within `timeoutMs`;
// `work` then never runs.
bool runOnGuiThread(const std::function<void()>& work, int timeoutMs, std::string* error);

// No clipboard can be reached without a display (the offscreen and minimal
// platforms keep the text inside this process).
class QtClipboard final : public Clipboard {
 public:
  bool setText(const std::string& utf8, std::string* error) override;
};

// The default browser; without a display, xdg-open or the programs in $BROWSER.
class QtUrlOpener final : public UrlOpener {
 public:
  bool open(const std::string& url, std::string* error) override;
};

}  // namespace marvena
