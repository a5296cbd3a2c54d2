#include "printing/BitmapFile.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace marvena {
namespace {

void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A bitmap file with a 40-byte info header, the given palette and pixel bytes.
std::string Bmp(int width, int height, int bpp, std::uint32_t compression,
                const std::vector<std::uint32_t>& palette, const std::string& pixels) {
  std::string s = "BM";
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(palette.size()) * 4;
  put32(s, offset + static_cast<std::uint32_t>(pixels.size()));
  put32(s, 0);
  put32(s, offset);
  put32(s, 40);
  put32(s, static_cast<std::uint32_t>(width));
  put32(s, static_cast<std::uint32_t>(height));
  Put16(s, 1);
  Put16(s, static_cast<std::uint32_t>(bpp));
  put32(s, compression);
  put32(s, static_cast<std::uint32_t>(pixels.size()));
  put32(s, 2835);
  put32(s, 2835);
  put32(s, static_cast<std::uint32_t>(palette.size()));
  put32(s, 0);
  for (std::uint32_t c : palette) put32(s, c);
  return s + pixels;
}

TEST(BitmapFileTest, TwentyFourBitRowsBottomUpWithPadding) {
  // 2 x 2: bottom row blue, red; top row green, white; rows padded to 8 bytes.
  const std::string pixels = std::string("\xFF\x00\x00\x00\x00\xFF\x00\x00", 8) +
                             std::string("\x00\xFF\x00\xFF\xFF\xFF\x00\x00", 8);
  const auto b = decodeBitmap(Bmp(2, 2, 24, 0, {}, pixels), nullptr);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->pixels,
            (std::vector<std::uint32_t>{0xFF00FF00, 0xFFFFFFFF, 0xFF0000FF, 0xFFFF0000}));
}

TEST(BitmapFileTest, PalettesTopDownAndRle) {
  const std::vector<std::uint32_t> palette{0x000000, 0xFFFFFF};
  // 1 bit, 3 x 1, top-down (negative height): 1 0 1.
  auto b = decodeBitmap(Bmp(3, -1, 1, 0, palette, std::string("\xA0\0\0\0", 4)), nullptr);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->pixels, (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));
  // 8 bit RLE, 4 x 2: bottom row 4 x index 1; top row absolute 0 1 1 0; end.
  const std::string rle("\x04\x01\x00\x00\x00\x04\x00\x01\x01\x00\x00\x01", 12);
  b = decodeBitmap(Bmp(4, 2, 8, 1, palette, rle), nullptr);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->pixels,
            (std::vector<std::uint32_t>{0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF,
                                        0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
}

TEST(BitmapFileTest, BadFilesAreRefusedWithAReason) {
  const std::string good = Bmp(2, 2, 24, 0, {}, std::string(16, '\0'));
  const struct {
    std::string bytes;
    const char* why;
  } cases[] = {
      {"", "empty"},
      {"GIF89a....................................", "not a bitmap"},
      {good.substr(0, good.size() - 1), "pixels cut short"},
      {good.substr(0, 30), "header cut short"},
      {Bmp(100000, 100000, 24, 0, {}, ""), "absurd size"},
      {Bmp(0, 5, 24, 0, {}, std::string(16, '\0')), "no width"},
      {Bmp(2, 2, 24, 4, {}, std::string(16, '\0')), "JPEG inside"},
      {Bmp(2, 2, 7, 0, {}, std::string(16, '\0')), "odd depth"},
      {Bmp(4, 2, 8, 1, {0, 0}, std::string("\x04\x01", 2)), "RLE without its end"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(decodeBitmap(c.bytes, &error)) << c.why;
    EXPECT_FALSE(error.empty()) << c.why;
  }
}

}  // namespace
}  // namespace marvena
