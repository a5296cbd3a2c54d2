// Installed font faces through fontconfig (Qt). A face offers the Baltic
// character set when it has glyphs for all 18 Lithuanian letters.
#pragma once

#include "platform/Fonts.h"

namespace marvena {

class QtFonts final : public Fonts {
 public:
  std::vector<int> charsets(const std::string& face) override;
};

}  // namespace marvena
