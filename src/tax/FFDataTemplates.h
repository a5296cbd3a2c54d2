// The line templates of the FFData documents, one constant table per page
// kind. "??" marks where a job puts a value; lines are numbered from 1 (the
// jobs' fill rules refer to these numbers).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace marvena {

// *.DFF (FR0671/FR0672), current layout (periods from 2008-09-01).
extern const std::array<std::string_view, 33> kDffHead;
extern const std::array<std::string_view, 52> kDffAppendix;
// *.DFF, earlier layout.
extern const std::array<std::string_view, 60> kDffEarlierHead;
extern const std::array<std::string_view, 69> kDffEarlierContinuation;
// *.MFF (FR0572 with its appendix FR0572A).
extern const std::array<std::string_view, 48> kMffHead;
extern const std::array<std::string_view, 75> kMffAppendix;
// *.SAM (SAM with its appendix SAM3SD).
extern const std::array<std::string_view, 51> kSamHead;
extern const std::array<std::string_view, 76> kSamAppendix;
// The closing lines of every document.
extern const std::array<std::string_view, 3> kClosingLines;

// Line n (from 1) of a template.
template <std::size_t N>
constexpr std::string_view templateLineAt(const std::array<std::string_view, N>& t, std::size_t n) {
  return t[n - 1];
}

}  // namespace marvena
