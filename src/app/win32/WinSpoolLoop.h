// Drives the dispatcher on Windows without a GUI toolkit: a pass every
// second, at once when a watched directory reports a job's name, and when a
// settling file or a kept job's retry is due. Window messages are pumped
// meanwhile, as the thread's single-threaded apartment (Excel through COM)
// and the clipboard need.
#pragma once

#include <windows.h>

#include <memory>

namespace marvena {

class Dispatcher;
class DirectoryWatcher;

// Runs until `stop` is signalled (or WM_QUIT arrives); returns the exit status.
int runSpoolLoop(Dispatcher& dispatcher, std::unique_ptr<DirectoryWatcher> watcher, HANDLE stop);

}  // namespace marvena
