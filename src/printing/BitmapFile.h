// Windows bitmap files (.BMP), the only picture format a text job can name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PrintDevice.h"

namespace marvena {

// Larger pictures are refused rather than allocated (A4 at 600 dpi is 35 M).
inline constexpr long long kMaxBitmapPixels = 40'000'000;

// Decodes a bitmap file: the core and info headers (and the V4/V5
// extensions), 1/4/8-bit palettes, 16/24/32-bit pixels, bit fields, RLE4 and
// RLE8. Anything else, or a file cut short, gives nullopt and *error.
std::optional<Bitmap> decodeBitmap(std::string_view bytes, std::string* error);

}  // namespace marvena
