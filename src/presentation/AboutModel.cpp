#include "presentation/AboutModel.h"

#include <string_view>

namespace marvena {

namespace {

std::string upperCased(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string ntBase(int major, int minor) {
  if (major <= 4) return "Windows NT ";
  if (major == 5 && minor == 0) return "Windows 2000 ";
  if (major == 5 && minor == 1) return "Windows XP ";
  if (major == 6 && minor == 0) return "Windows Vista";
  // Versions the tool's first release did not know.
  if (major == 6 && minor == 1) return "Windows 7 ";
  if (major == 6 && minor == 2) return "Windows 8 ";
  if (major == 6 && minor == 3) return "Windows 8.1 ";
  if (major == 10) return "Windows 10 ";
  return "Error";
}

}  // namespace

std::string windowsDescription(const WindowsVersion& v) {
  if (!v.basicOk && !v.extendedOk) return "Error";
  switch (v.platform) {
    case 0:
      return "Microsoft Win32s";
    case 1: {
      const char sp = v.servicePack.size() > 1 ? v.servicePack[1] : '\0';
      if (v.major == 4 && v.minor == 0)
        return std::string("Windows 95 ") + (sp == 'C' ? "OSR2" : "");
      if (v.major == 4 && v.minor == 10)
        return std::string("Windows 98 ") + (sp == 'A' ? "SE" : "");
      if (v.major == 4 && v.minor == 90) return "Windows Me";
      return "Error";
    }
    case 2: {
      std::string text = ntBase(v.major, v.minor);
      if (!v.extendedOk) return text;
      if (v.productType == 1) {
        text += v.suiteMask == 0x200   ? "Personal"
                : v.suiteMask == 0x300 ? "Home Premium"
                                       : "Professional";
      } else if (v.productType == 3) {
        text += v.suiteMask == 0x80  ? "DataCenter Server"
                : v.suiteMask == 0x2 ? "Advanced Server"
                                     : "Server";
      } else if (v.registryProductType) {
        const std::string type = upperCased(*v.registryProductType);
        if (type == "WINNT") text += "Workstation";
        if (type == "SERVERNT") text += "Server";
      }
      return text;
    }
    default:
      return "Unknown";
  }
}

std::string memoryText(std::uint64_t bytes, char thousandsSeparator) {
  const std::uint64_t kb = bytes / 1024;
  // "#,###": no digit at all for zero.
  std::string digits = kb == 0 ? "" : std::to_string(kb);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && thousandsSeparator) grouped += thousandsSeparator;
    grouped += digits[i];
  }
  return grouped + " KB";
}

std::string linuxDescription(const std::string& osRelease, const std::string& kernelRelease) {
  std::string name = "Linux";
  std::size_t pos = 0;
  while (pos < osRelease.size()) {
    std::size_t end = osRelease.find('\n', pos);
    if (end == std::string::npos) end = osRelease.size();
    std::string_view line(osRelease.data() + pos, end - pos);
    if (line.substr(0, 12) == "PRETTY_NAME=") {
      std::string_view value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      if (!value.empty()) name = std::string(value);
    }
    pos = end + 1;
  }
  return kernelRelease.empty() ? name : name + ", Linux " + kernelRelease;
}

}  // namespace marvena
