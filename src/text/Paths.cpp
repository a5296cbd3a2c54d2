#include "text/Paths.h"

#include <algorithm>

namespace marvena {

std::string mapDosPath(const std::string& path, const std::string& driveRoot) {
  std::string rest;
  if (!path.empty() && path[0] == '\\') {
    rest = path;
  } else if (path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
             ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    // Without a drive root (on Windows, where DOS paths are this machine's
    // own) the drive letter stays.
    rest = driveRoot.empty() ? path : path.substr(2);
  } else {
    return path;
  }
  std::replace(rest.begin(), rest.end(), '\\', '/');
  std::string root = driveRoot;
  while (!root.empty() && root.back() == '/') root.pop_back();
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return root + rest;
}

std::string directoryOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

std::string baseNameOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace marvena
