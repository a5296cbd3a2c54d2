// A private directory for one test, under the temporary directory, with
// Lithuanian letters in its name; removed with everything in it afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace marvena::test {

class WinTestDir {
 public:
  WinTestDir();
  ~WinTestDir();
  WinTestDir(const WinTestDir&) = delete;
  WinTestDir& operator=(const WinTestDir&) = delete;
  // The directory, "/" separated, UTF-8.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Removes a directory tree (long paths allowed).
void removeTree(const std::string& path);

}  // namespace marvena::test
