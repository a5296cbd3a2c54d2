// The clipboard, the browser and the installed fonts on Windows.
#pragma once

#include "platform/Desktop.h"
#include "platform/Fonts.h"

namespace marvena {

// CF_UNICODETEXT, and CF_OEMTEXT for the old programs that read only that.
class WinClipboard final : public Clipboard {
 public:
  bool setText(const std::string& utf8, std::string* error) override;
  bool offersOemText() const override { return true; }
  bool setOemText(const std::string& bytes, std::string* error) override;
};

// The default browser, through ShellExecuteExW.
class WinUrlOpener final : public UrlOpener {
 public:
  bool open(const std::string& url, std::string* error) override;
};

// Character sets of the installed faces (EnumFontFamiliesExW on the screen).
class WinFonts final : public Fonts {
 public:
  std::vector<int> charsets(const std::string& face) override;
};

// The character sets a face offers on a device context.
std::vector<int> faceCharsets(void* dc, const std::string& face);

}  // namespace marvena
