#include "office/BiffWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "BiffRecords.h"
#include "platform/fake/Fakes.h"
#include "settings/PrintSettings.h"

namespace marvena {
namespace {

using test::Bytes;
using test::Ids;
using test::splitRecords;
using ::testing::ElementsAre;

const std::string kBof5 = Bytes({0x09, 0x08, 6, 0, 0x00, 0x02, 0x10, 0x00, 0x00, 0x00});
const std::string kDim5 = Bytes({0x00, 0x02, 10, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0x00, 0x01, 0, 0});

class BiffWriterTest : public ::testing::Test {
 protected:
  FakeFileSystem fs;
  FakeLocale locale;
  BiffWriter w{fs, locale};

  std::vector<test::BiffRecord> Records() { return splitRecords(w.buffer()); }
  // The last record written.
  test::BiffRecord Last() { return Records().back(); }
};

TEST_F(BiffWriterTest, NewWriterHoldsBofAndDimensions) {
  EXPECT_EQ(w.buffer(), kBof5 + kDim5);
  EXPECT_EQ(w.buffer().size(), 24u);
  EXPECT_EQ(w.version(), "1.23");

  w.setBIFF(BiffVersion::BIFF2);
  EXPECT_EQ(w.buffer(), Bytes({0x09, 0x00, 4, 0, 0x00, 0x02, 0x10, 0x00,  //
                               0x00, 0x00, 8, 0, 0,    0,    0xFF, 0xFF, 0, 0, 0x00, 0x01}));
  EXPECT_THAT(Ids(splitRecords([&] {
                w.setBIFF(BiffVersion::BIFF3);
                return std::string(w.buffer());
              }())),
              ElementsAre(0x0209, 0x0200));
  w.setBIFF(BiffVersion::BIFF4);
  EXPECT_EQ(Records()[0].id, 0x0409);
}

TEST_F(BiffWriterTest, ChangingBiffDiscardsWhatWasWrittenButTheSameValueDoesNot) {
  w.writeBlank();
  w.setBIFF(BiffVersion::BIFF5);
  EXPECT_EQ(Records().size(), 3u);
  w.setBIFF(BiffVersion::BIFF2);
  EXPECT_EQ(Records().size(), 2u);
  // The cursor survives a restart.
  EXPECT_EQ(w.column(), 2);
}

TEST_F(BiffWriterTest, NumberAtRowThreeColumnTwo) {
  w.writeNumberAt(3, 2, 1.5);
  std::string expected = Bytes({0x03, 0x00, 0x0F, 0x00, 0x02, 0x00, 0x01, 0x00, 0x40, 0x00, 0x00});
  const double v = 1.5;
  expected.append(reinterpret_cast<const char*>(&v), 8);
  EXPECT_EQ(w.buffer().substr(24), expected);
  EXPECT_EQ(w.row(), 3);
  EXPECT_EQ(w.column(), 3);
}

TEST_F(BiffWriterTest, TextsAreCutTo255Characters) {
  w.writeLabel(std::string(300, 'x'));
  test::BiffRecord label = Last();
  EXPECT_EQ(label.id, 0x0004);
  EXPECT_EQ(label.body.size(), 263u);
  EXPECT_EQ(static_cast<unsigned char>(label.body[7]), 255);

  w.writeLabel(std::string("a\0b", 3));  // counted text keeps its NUL
  EXPECT_EQ(Last().body.substr(7), Bytes({3, 'a', 0, 'b'}));
  w.writeLabel("zero\0terminated");
  EXPECT_EQ(Last().body.substr(7), Bytes({4, 'z', 'e', 'r', 'o'}));
  w.writeLabel("");
  EXPECT_EQ(Last().body.size(), 8u);

  w.setHeader(std::string(256, 'h'));
  EXPECT_EQ(Last().id, 0x0014);
  EXPECT_EQ(Last().body.size(), 256u);
  w.setFooter("&N &P");
  EXPECT_EQ(Last().id, 0x0015);
  EXPECT_EQ(Last().body, Bytes({5, '&', 'N', ' ', '&', 'P'}));
}

struct MoveCase {
  BiffMoveAfterEnter move;
  std::uint16_t row, column, rowAfter, columnAfter;
};

TEST_F(BiffWriterTest, CursorMovesWithWrapAround) {
  const MoveCase cases[] = {
      {BiffMoveAfterEnter::None, 5, 5, 5, 5},
      {BiffMoveAfterEnter::Right, 5, 5, 5, 6},
      {BiffMoveAfterEnter::Right, 5, 256, 6, 1},
      {BiffMoveAfterEnter::Right, 65535, 256, 65535, 256},
      {BiffMoveAfterEnter::Left, 5, 5, 5, 4},
      {BiffMoveAfterEnter::Left, 5, 1, 4, 256},
      {BiffMoveAfterEnter::Left, 1, 1, 1, 1},
      {BiffMoveAfterEnter::Down, 5, 5, 6, 5},
      {BiffMoveAfterEnter::Down, 65535, 5, 1, 6},
      {BiffMoveAfterEnter::Down, 65535, 256, 65535, 256},
      {BiffMoveAfterEnter::Up, 5, 5, 4, 5},
      {BiffMoveAfterEnter::Up, 1, 5, 65535, 4},
      {BiffMoveAfterEnter::Up, 1, 1, 1, 1},
  };
  for (const MoveCase& c : cases) {
    w.setMoveAfterEnter(c.move);
    w.setRow(c.row);
    w.setColumn(c.column);
    w.writeBlank();
    EXPECT_EQ(w.row(), c.rowAfter)
        << static_cast<int>(c.move) << " from " << c.row << "," << c.column;
    EXPECT_EQ(w.column(), c.columnAfter)
        << static_cast<int>(c.move) << " from " << c.row << "," << c.column;
  }
}

TEST_F(BiffWriterTest, OutOfRangeCursorAssignmentsAreIgnored) {
  w.setRow(7);
  w.setColumn(9);
  w.setRow(0);
  w.setColumn(0);
  w.setColumn(300);
  w.setColumn(257);
  EXPECT_EQ(w.row(), 7);
  EXPECT_EQ(w.column(), 9);
  w.writeNumberAt(0, 300, 2.0);  // lands on the unchanged cursor
  EXPECT_EQ(test::le16(Last().body, 0), 6);
  EXPECT_EQ(test::le16(Last().body, 2), 8);
  w.setColumn(256);
  w.setRow(65535);
  w.writeBlank();
  EXPECT_EQ(test::le16(Last().body, 0), 65534);
  EXPECT_EQ(test::le16(Last().body, 2), 255);
}

TEST_F(BiffWriterTest, FileNameGetsTheXlsExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"report", "report.XLS"},
      {"report.txt", "report.XLS"},
      {"report.xls", "report.xls"},
      {"report.XlS", "report.XlS"},
      {"/spool/a.b/report", "/spool/a.b/report.XLS"},
      {"/spool/report.xlsx", "/spool/report.XLS"},
      {"report.", "report.XLS"},
  };
  for (const auto& [given, stored] : cases) {
    w.setFileName(given);
    EXPECT_EQ(w.fileName(), stored) << given;
  }
  w.setFileName("");
  EXPECT_EQ(w.fileName(), "");
}

TEST_F(BiffWriterTest, CellAfterCloseStartsANewFile) {
  w.writeLabel("old");
  w.closeSheet();
  EXPECT_EQ(Last().id, 0x000A);
  w.writeNumber(1);
  EXPECT_THAT(Ids(Records()), ElementsAre(0x0809, 0x0200, 0x0003));
}

TEST_F(BiffWriterTest, FontsCountUpToFourAndBoundTheActiveFont) {
  const BiffFont arial{"Arial", 8, fsItalic};
  w.setActiveFont(1);
  EXPECT_EQ(w.activeFont(), 0);  // no font yet
  w.addFont(nullptr);
  w.addFont(&arial);
  EXPECT_EQ(Last().body, Bytes({160, 0, 0x02, 0, 5, 'A', 'r', 'i', 'a', 'l'}));
  w.setActiveFont(1);
  EXPECT_EQ(w.activeFont(), 1);
  w.setActiveFont(2);
  EXPECT_EQ(w.activeFont(), 1);

  const BiffFont all{"X", 12, fsBold | fsItalic | fsUnderline | fsStrikeOut};
  for (int i = 0; i < 4; ++i) w.addFont(&all);
  EXPECT_EQ(Records().size(), 6u);  // the fifth font wrote nothing
  EXPECT_EQ(Last().body, Bytes({240, 0, 0x0F, 0, 1, 'X'}));

  const BiffFont longName{std::string(256, 'n'), 8, 0};
  w.startSheet();
  EXPECT_THROW(w.addFont(&longName), BiffRangeError);
  EXPECT_EQ(Records().size(), 2u);
}

TEST_F(BiffWriterTest, CodePageAndCellFormats) {
  w.setCodePage(1257);
  EXPECT_EQ(Last().id, 0x0042);
  EXPECT_EQ(Last().body, Bytes({0xE9, 0x04}));

  const BiffFont f{"Arial", 10, 0};
  w.addFont(&f);
  w.addFont(&f);
  w.addCellFormat();  // defaults: font 0, locked, general
  EXPECT_EQ(Last().id, 0x0043);
  EXPECT_EQ(Last().body, Bytes({0, 0, 0x40, 0x00}));
  w.setActiveFont(1);
  w.setAlignment(BiffAlignment::Right);
  w.setShading(true);
  w.setBorders(kBorderLeft | kBorderBottom);
  w.setLocked(false);
  w.setHidden(true);
  w.addCellFormat();
  EXPECT_EQ(Last().body, Bytes({1, 0, 0x80, 0x80 | 0x40 | 0x08 | 0x03}));
  // The cell records themselves stay as they were.
  w.writeNumber(1);
  EXPECT_EQ(Last().body.substr(4, 3), Bytes({0x80, 0x40, 0xCB}));

  // A cell names its format with 6 bits, and 63 means "see the next record".
  for (int i = 2; i < 63; ++i) w.addCellFormat();
  EXPECT_THROW(w.addCellFormat(), BiffRangeError);
  w.startSheet();  // a new sheet counts from 0 again
  EXPECT_NO_THROW(w.addCellFormat());
}

struct AttributeCase {
  bool hidden, locked, shading;
  std::uint8_t font;
  BiffAlignment alignment;
  BiffBorderSet borders;
  int a1, a2, a3;
};

TEST_F(BiffWriterTest, CellAttributesComeFromTheProperties) {
  const BiffFont f{"Arial", 10, 0};
  for (int i = 0; i < 4; ++i) w.addFont(&f);
  const AttributeCase cases[] = {
      {false, true, false, 0, BiffAlignment::General, 0, 0x40, 0x00, 0x00},
      {true, false, false, 1, BiffAlignment::Left, 0, 0x80, 0x40, 0x01},
      {true, true, true, 2, BiffAlignment::Center, kBorderLeft, 0xC0, 0x80, 0x8A},
      {false, false, false, 3, BiffAlignment::Right, kBorderRight, 0x00, 0xC0, 0x13},
      {false, false, false, 4, BiffAlignment::Fill, kBorderTop, 0x00, 0x00, 0x24},
      {false, false, true, 0, BiffAlignment::MultiPlan,
       kBorderBottom | kBorderTop | kBorderLeft | kBorderRight, 0, 0, 0xFF},
  };
  for (const AttributeCase& c : cases) {
    w.setHidden(c.hidden);
    w.setLocked(c.locked);
    w.setShading(c.shading);
    w.setActiveFont(c.font);
    w.setAlignment(c.alignment);
    w.setBorders(c.borders);
    w.writeBlank();
    const std::string body = Last().body;
    EXPECT_EQ(body.substr(4), Bytes({c.a1, c.a2, c.a3}))
        << int(c.font) << " " << static_cast<int>(c.alignment);
  }
}

TEST_F(BiffWriterTest, BoolErrValues) {
  const std::pair<BiffBoolErr, std::string> cases[] = {
      {BiffBoolErr::True, Bytes({1, 0})},     {BiffBoolErr::False, Bytes({0, 0})},
      {BiffBoolErr::Null, Bytes({0x00, 1})},  {BiffBoolErr::Div0, Bytes({0x07, 1})},
      {BiffBoolErr::Value, Bytes({0x0F, 1})}, {BiffBoolErr::Ref, Bytes({0x17, 1})},
      {BiffBoolErr::Name, Bytes({0x1D, 1})},  {BiffBoolErr::Num, Bytes({0x24, 1})},
      {BiffBoolErr::NA, Bytes({0x2A, 1})},
  };
  for (const auto& [kind, bytes] : cases) {
    w.writeBoolErr(kind);
    EXPECT_EQ(Last().id, 0x0005);
    EXPECT_EQ(Last().body.substr(7), bytes) << static_cast<int>(kind);
  }
  w.writeBoolean(true);
  EXPECT_EQ(Last().body.substr(7), Bytes({1, 0}));
}

struct VariantCase {
  const char* what;
  Variant value;
  int id;  // -1: no cell
  std::string valueBytes;
};

TEST_F(BiffWriterTest, WriteVariantByType) {
  const double d = 2.5;
  const std::string twoAndHalf(reinterpret_cast<const char*>(&d), 8);
  const VariantCase cases[] = {
      {"empty", Variant(), 0x0001, ""},
      {"null", Variant::Null(), 0x0005, Bytes({0, 1})},
      {"smallint", Variant::SmallInt(7), 0x0002, Bytes({7, 0})},
      {"integer", Variant::Integer(513), 0x0002, Bytes({1, 2})},
      {"byte", Variant::Byte(255), 0x0002, Bytes({255, 0})},
      {"single", Variant::Single(2.5f), 0x0003, twoAndHalf},
      {"double", Variant::Double(2.5), 0x0003, twoAndHalf},
      {"currency", Variant::Currency(25000), 0x0003, twoAndHalf},
      {"olestr", Variant::OleStr("ab"), 0x0004, Bytes({2, 'a', 'b'})},
      {"strarg", Variant::StrArg("ab"), 0x0004, Bytes({2, 'a', 'b'})},
      {"string", Variant::String("ab"), 0x0004, Bytes({2, 'a', 'b'})},
      {"dispatch", Variant::Dispatch(), 0x0005, Bytes({0x2A, 1})},
      {"error", Variant::Error(5), 0x0005, Bytes({0x2A, 1})},
      {"unknown", Variant::Unknown(), 0x0005, Bytes({0x2A, 1})},
      {"any", Variant::Any(), 0x0005, Bytes({0x2A, 1})},
      {"boolean", Variant::Boolean(false), 0x0005, Bytes({0, 0})},
      {"variant", Variant::Nested(Variant::Integer(1)), 0x0005, Bytes({0x0F, 1})},
      {"shortint", Variant::ShortInt(1), -1, ""},
      {"word", Variant::Word(1), -1, ""},
      {"longword", Variant::LongWord(1), -1, ""},
      {"int64", Variant::Int64(1), -1, ""},
      {"array", Variant::Array({Variant::Integer(1)}), -1, ""},
  };
  for (const VariantCase& c : cases) {
    const std::size_t before = Records().size();
    const std::uint16_t column = w.column();
    w.writeVariant(c.value);
    if (c.id < 0) {
      EXPECT_EQ(Records().size(), before) << c.what;
      EXPECT_EQ(w.column(), column) << c.what;
      continue;
    }
    ASSERT_EQ(Records().size(), before + 1) << c.what;
    EXPECT_EQ(Last().id, c.id) << c.what;
    EXPECT_EQ(Last().body.substr(7), c.valueBytes) << c.what;
    EXPECT_EQ(w.column(), column + 1) << c.what;
  }
}

TEST_F(BiffWriterTest, DatesAreWrittenInTheLocaleForm) {
  const std::pair<double, std::string> cases[] = {
      {46365.0, "2026.12.09"},              // midnight: the date alone
      {46365.4375, "2026.12.09 10:30:00"},  // 10:30
      {0.0, "1899.12.30"},
      {-1.25, "1899.12.29 06:00:00"},     // before the epoch the fraction still counts forward
      {36526.99999999999, "2000.01.02"},  // rounds up to the next midnight
      {2.0, "1900.01.01"},
  };
  for (const auto& [days, text] : cases) {
    w.writeVariant(Variant::Date(days));
    const std::string body = Last().body;
    EXPECT_EQ(body.substr(8), text) << days;
  }
  const std::size_t before = Records().size();
  EXPECT_THROW(w.writeVariant(Variant::Date(1e12)), BiffRangeError);
  EXPECT_THROW(w.writeVariant(Variant::Date(std::nan(""))), BiffRangeError);
  EXPECT_EQ(Records().size(), before);
}

TEST_F(BiffWriterTest, IntegersBeyondSixteenBitsStayWhole) {
  const std::pair<std::int32_t, int> cases[] = {
      {0, 0x0002}, {65535, 0x0002}, {65536, 0x0003}, {70000, 0x0003}, {-1, 0x0003}};
  for (const auto& [value, id] : cases) {
    w.writeInteger(value);
    EXPECT_EQ(Last().id, id) << value;
    if (id == 0x0003) {
      EXPECT_EQ(test::leDouble(Last().body, 7), value);
    } else {
      EXPECT_EQ(test::le16(Last().body, 7), value);
    }
  }
}

TEST_F(BiffWriterTest, ColumnWidthsAndTheirRanges) {
  w.setColumnWidth(1, 256, 13);
  EXPECT_EQ(Last().id, 0x0024);
  EXPECT_EQ(Last().body, Bytes({0, 255, 0x00, 0x0D}));
  w.setColumnWidth(3, 3, 0);
  EXPECT_EQ(Last().body, Bytes({2, 2, 0, 0}));
  w.setColumnWidth(2, 2, 255);
  EXPECT_EQ(Last().body, Bytes({1, 1, 0x00, 0xFF}));

  EXPECT_THROW(w.setColumnWidth(0, 1, 1), BiffRangeError);
  EXPECT_THROW(w.setColumnWidth(1, 257, 1), BiffRangeError);
  EXPECT_THROW(w.setColumnWidth(1, 1, 256), BiffRangeError);
  EXPECT_THROW(w.setColumnWidth(1, 1, -1), BiffRangeError);
}

TEST_F(BiffWriterTest, NewSheetReservesWithoutChangingTheContent) {
  w.writeBlank();
  w.newSheet(1 << 20);
  EXPECT_EQ(w.buffer(), kBof5 + kDim5);
  EXPECT_GE(w.capacity(), std::size_t{1} << 20);
  EXPECT_THROW(w.newSheet(-1), BiffRangeError);
}

TEST_F(BiffWriterTest, SaveWritesTheBufferOrRaisesTheFileError) {
  fs.dirs.insert("/spool");
  w.setFileName("/spool/out");
  w.writeLabel("x");
  w.saveToFile();  // without EOF: the caller did not close
  EXPECT_EQ(fs.files["/spool/out.XLS"], std::string(w.buffer()));

  fs.failWrites = true;
  w.closeSheet();
  EXPECT_THROW(w.saveToFile(), BiffFileError);
  EXPECT_EQ(Last().id, 0x000A);  // the buffer is kept
}

}  // namespace
}  // namespace marvena
