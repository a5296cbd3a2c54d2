#include "printing/BitmapFile.h"

#include <cstdint>
#include <vector>

namespace marvena {

namespace {

std::uint32_t u16(std::string_view b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
std::uint32_t u32(std::string_view b, std::size_t at) {
  return u16(b, at) | u16(b, at + 2) << 16;
}

// Scales a bit-field value to 0..255.
std::uint32_t fieldValue(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!(mask & (1u << shift))) ++shift;
  const std::uint32_t max = mask >> shift;
  return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255ull / max);
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

struct Header {
  long long width = 0, height = 0;
  bool topDown = false;
  int bpp = 0;
  std::uint32_t compression = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  std::vector<std::uint32_t> palette;
  std::size_t pixelOffset = 0;
};

bool readHeader(std::string_view b, Header* h, std::string* error) {
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return Fail(error, "not a Windows bitmap");
  h->pixelOffset = u32(b, 10);
  const std::uint32_t size = u32(b, 14);
  std::size_t paletteAt = 14 + size;
  int entryBytes = 4;
  std::uint32_t colours = 0;
  if (size == 12) {
    h->width = u16(b, 18);
    h->height = u16(b, 20);
    h->bpp = static_cast<int>(u16(b, 24));
    entryBytes = 3;
  } else if (size >= 40 && size <= 124) {
    if (b.size() < 14 + size) return Fail(error, "truncated bitmap header");
    h->width = static_cast<std::int32_t>(u32(b, 18));
    h->height = static_cast<std::int32_t>(u32(b, 22));
    h->bpp = static_cast<int>(u16(b, 28));
    h->compression = u32(b, 30);
    colours = u32(b, 46);
    if (h->compression == 3 || h->compression == 6) {
      const std::size_t at = 54;  // the masks follow the first 40 bytes of the header
      if (b.size() < at + 12) return Fail(error, "truncated bitmap header");
      for (int i = 0; i < 3; ++i) h->masks[i] = u32(b, at + 4 * static_cast<std::size_t>(i));
      if (size == 40) paletteAt += h->compression == 6 ? 16 : 12;
    }
  } else {
    return Fail(error, "unknown bitmap header");
  }
  if (h->height < 0) {
    h->topDown = true;
    h->height = -h->height;
  }
  if (h->width <= 0 || h->height <= 0 || h->width * h->height > kMaxBitmapPixels)
    return Fail(error, "bitmap size out of range");
  const bool rle = h->compression == 1 || h->compression == 2;
  if (!(h->compression == 0 || (h->compression == 1 && h->bpp == 8) ||
        (h->compression == 2 && h->bpp == 4) ||
        ((h->compression == 3 || h->compression == 6) && (h->bpp == 16 || h->bpp == 32))))
    return Fail(error, "unsupported bitmap compression");
  if (h->bpp != 1 && h->bpp != 4 && h->bpp != 8 && h->bpp != 16 && h->bpp != 24 && h->bpp != 32)
    return Fail(error, "unsupported bitmap depth");
  if (rle && h->topDown) return Fail(error, "unsupported bitmap compression");
  if (h->bpp <= 8) {
    const std::uint32_t max = 1u << h->bpp;
    if (colours == 0 || colours > max) colours = max;
    if (paletteAt + static_cast<std::size_t>(colours) * entryBytes > b.size())
      return Fail(error, "truncated bitmap palette");
    h->palette.resize(max, 0xFF000000u);
    for (std::uint32_t i = 0; i < colours; ++i) {
      const std::size_t at = paletteAt + i * static_cast<std::size_t>(entryBytes);
      h->palette[i] = 0xFF000000u | static_cast<unsigned char>(b[at + 2]) << 16 |
                      static_cast<unsigned char>(b[at + 1]) << 8 |
                      static_cast<unsigned char>(b[at]);
    }
  }
  if (h->compression == 0 && h->bpp == 16) {
    h->masks[0] = 0x7C00;
    h->masks[1] = 0x03E0;
    h->masks[2] = 0x001F;
  }
  if (h->compression == 0 && h->bpp == 32) {
    h->masks[0] = 0xFF0000;
    h->masks[1] = 0x00FF00;
    h->masks[2] = 0x0000FF;
  }
  if (h->pixelOffset >= b.size()) return Fail(error, "truncated bitmap");
  return true;
}

bool decodeRows(std::string_view b, const Header& h, Bitmap* out, std::string* error) {
  const std::size_t stride = static_cast<std::size_t>((h.width * h.bpp + 31) / 32 * 4);
  if (h.pixelOffset + stride * static_cast<std::size_t>(h.height) > b.size())
    return Fail(error, "truncated bitmap");
  const auto* data = reinterpret_cast<const unsigned char*>(b.data()) + h.pixelOffset;
  for (long long row = 0; row < h.height; ++row) {
    const unsigned char* src = data + stride * static_cast<std::size_t>(row);
    const long long y = h.topDown ? row : h.height - 1 - row;
    std::uint32_t* dst = out->pixels.data() + y * h.width;
    for (long long x = 0; x < h.width; ++x) {
      std::uint32_t p;
      switch (h.bpp) {
        case 1:
          p = h.palette[(src[x / 8] >> (7 - x % 8)) & 1];
          break;
        case 4:
          p = h.palette[(src[x / 2] >> (x % 2 ? 0 : 4)) & 15];
          break;
        case 8:
          p = h.palette[src[x]];
          break;
        case 24:
          p = 0xFF000000u | src[3 * x + 2] << 16 | src[3 * x + 1] << 8 | src[3 * x];
          break;
        default: {
          const std::uint32_t v =
              h.bpp == 16 ? static_cast<std::uint32_t>(src[2 * x] | src[2 * x + 1] << 8)
                          : static_cast<std::uint32_t>(src[4 * x] | src[4 * x + 1] << 8 |
                                                       src[4 * x + 2] << 16) |
                                static_cast<std::uint32_t>(src[4 * x + 3]) << 24;
          p = 0xFF000000u | fieldValue(v, h.masks[0]) << 16 | fieldValue(v, h.masks[1]) << 8 |
              fieldValue(v, h.masks[2]);
        }
      }
      dst[x] = p;
    }
  }
  return true;
}

bool decodeRle(std::string_view b, const Header& h, Bitmap* out, std::string* error) {
  const auto* p = reinterpret_cast<const unsigned char*>(b.data());
  std::size_t i = h.pixelOffset;
  const std::size_t end = b.size();
  long long x = 0, row = 0;  // row counts from the bottom
  const bool four = h.compression == 2;
  auto put = [&](unsigned index) {
    if (x < h.width && row < h.height)
      out->pixels[static_cast<std::size_t>((h.height - 1 - row) * h.width + x)] = h.palette[index];
    ++x;
  };
  while (i + 1 < end) {
    const unsigned count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (unsigned k = 0; k < count; ++k) put(four ? (k % 2 ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (i + 1 >= end) break;
      x += p[i];
      row += p[i + 1];
      i += 2;
    } else {
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      if (i + bytes > end) break;
      for (unsigned k = 0; k < value; ++k)
        put(four ? (k % 2 ? p[i + k / 2] & 15 : p[i + k / 2] >> 4) : p[i + k]);
      i += (bytes + 1) / 2 * 2;
    }
    if (row > h.height) return true;
  }
  return Fail(error, "truncated bitmap");
}

}  // namespace

std::optional<Bitmap> decodeBitmap(std::string_view bytes, std::string* error) {
  Header h;
  if (!readHeader(bytes, &h, error)) return std::nullopt;
  Bitmap out;
  out.width = static_cast<int>(h.width);
  out.height = static_cast<int>(h.height);
  out.pixels.assign(static_cast<std::size_t>(h.width * h.height),
                    h.palette.empty() ? 0xFFFFFFFFu : h.palette[0]);
  const bool ok = (h.compression == 1 || h.compression == 2) ? decodeRle(bytes, h, &out, error)
                                                             : decodeRows(bytes, h, &out, error);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace marvena
