// SHA-256, fed in pieces, so that a kit of any size is checked while it
// streams past instead of being held in memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace marvena {

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::string hexDigest();

 private:
  void block(const unsigned char* p);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;
};

// The digest of `bytes` in one call.
std::string sha256Hex(std::string_view bytes);

}  // namespace marvena
