// The figures of the about box: the Windows description from a version
// record (the Windows build hands in what the system reports; here it is
// a pure rule), the memory line, the Linux description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace marvena {

struct WindowsVersion {
  bool basicOk = false;     // the basic version record could be read
  bool extendedOk = false;  // so could the extended one
  int platform = 2;         // 0 Win32s, 1 the 95 family, 2 the NT family
  int major = 0, minor = 0;
  std::string servicePack;  // the service-pack text of the basic record
  int productType = 0;      // extended: 1 workstation, 3 server
  unsigned suiteMask = 0;   // extended
  // "ProductType" under SYSTEM\CurrentControlSet\Control\ProductOptions, when readable.
  std::optional<std::string> registryProductType;
};

std::string windowsDescription(const WindowsVersion& v);

// "2,097,152 KB" for 2 GiB with ',' as the thousands separator.
std::string memoryText(std::uint64_t bytes, char thousandsSeparator);

// "Debian GNU/Linux 12 (bookworm), Linux 6.1.0" from /etc/os-release's text
// and the kernel release.
std::string linuxDescription(const std::string& osRelease, const std::string& kernelRelease);

}  // namespace marvena
