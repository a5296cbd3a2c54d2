#include "printing/PrintedText.h"

#include <gtest/gtest.h>

namespace marvena {
namespace {

TEST(PrintedTextTest, WhatJobBytesPrintAs) {
  const struct {
    unsigned char byte;
    bool toolFace;
    char32_t printed;
  } cases[] = {
      {'A', false, U'A'},       {0xDC, false, U'\u0104'}, {0xFD, false, U'\u017E'},
      {0xC4, false, U'\u2500'}, {0xB4, false, U'\u2524'}, {0xB5, false, U'\u2561'},
      {0xB5, true, U'\u2524'},  {0x00, false, U' '},      {0x09, false, U' '},
      {0x0C, false, U' '},      {0x7F, false, U' '},      {0xE1, false, U'\u00DF'},
  };
  for (const auto& c : cases)
    EXPECT_EQ(printedChar(c.byte, c.toolFace), c.printed) << static_cast<int>(c.byte);
}

}  // namespace
}  // namespace marvena
