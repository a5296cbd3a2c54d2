// Installed font faces.
#pragma once

#include <string>
#include <vector>

namespace marvena {

class Fonts {
 public:
  virtual ~Fonts() = default;
  // Windows character-set numbers a face supports; empty when the face is missing.
  virtual std::vector<int> charsets(const std::string& face) = 0;
};

}  // namespace marvena
