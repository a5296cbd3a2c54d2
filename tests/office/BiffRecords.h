// Splits a BIFF record stream into its records, for assertions on what a
// writer produced.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace marvena::test {

struct BiffRecord {
  std::uint16_t id;
  std::string body;
};

inline std::uint16_t le16(std::string_view s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    static_cast<unsigned char>(s[at + 1]) << 8);
}

inline double leDouble(std::string_view s, std::size_t at) {
  double d;
  std::memcpy(&d, s.data() + at, 8);
  return d;
}

// Records in order; a truncated tail ends the list with id 0xFFFF.
inline std::vector<BiffRecord> splitRecords(std::string_view s) {
  std::vector<BiffRecord> out;
  std::size_t at = 0;
  while (at + 4 <= s.size()) {
    const std::uint16_t id = le16(s, at), length = le16(s, at + 2);
    if (at + 4 + length > s.size()) break;
    out.push_back({id, std::string(s.substr(at + 4, length))});
    at += 4 + length;
  }
  if (at != s.size()) out.push_back({0xFFFF, std::string(s.substr(at))});
  return out;
}

inline std::vector<std::uint16_t> Ids(const std::vector<BiffRecord>& records) {
  std::vector<std::uint16_t> ids;
  for (const BiffRecord& r : records) ids.push_back(r.id);
  return ids;
}

inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

}  // namespace marvena::test
