#include "office/BiffWriter.h"

#include <cmath>
#include <cstring>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "settings/PrintSettings.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

constexpr std::uint16_t kVersionNumber = 0x0117;

constexpr std::uint16_t kIdBlank = 0x0001;
constexpr std::uint16_t kIdInteger = 0x0002;
constexpr std::uint16_t kIdNumber = 0x0003;
constexpr std::uint16_t kIdLabel = 0x0004;
constexpr std::uint16_t kIdBoolErr = 0x0005;
constexpr std::uint16_t kIdEof = 0x000A;
constexpr std::uint16_t kIdHeader = 0x0014;
constexpr std::uint16_t kIdFooter = 0x0015;
constexpr std::uint16_t kIdColWidth = 0x0024;
constexpr std::uint16_t kIdFont = 0x0031;
constexpr std::uint16_t kIdCodePage = 0x0042;
constexpr std::uint16_t kIdFormat = 0x0043;  // XF
constexpr int kMaxFormats = 63;              // the cell's 6-bit index; 63 itself means "see IXFE"

constexpr std::size_t kMaxText = 255;
constexpr std::size_t kCellHeader = 7;

std::string_view cutToCellLimit(std::string_view text) {
  return text.size() > kMaxText ? text.substr(0, kMaxText) : text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

// 1899-12-30, day 0 of the automation date, counted from 1970-01-01.
constexpr std::int64_t kDateEpoch = -25569;

std::uint8_t boolErrValue(BiffBoolErr v) {
  static constexpr std::uint8_t kValues[] = {1, 0, 0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
  return kValues[static_cast<std::size_t>(v)];
}

}  // namespace

BiffWriter::BiffWriter(FileSystem& fs, Locale& locale) : fs_(fs), locale_(locale) {
  startSheet();
}

void BiffWriter::setActiveFont(std::uint8_t font) {
  if (font <= fontCount_) activeFont_ = font;
}

void BiffWriter::setBIFF(BiffVersion v) {
  if (v == biff_) return;
  biff_ = v;
  startSheet();
}

void BiffWriter::setFileName(const std::string& name) {
  if (name == fileName_) return;
  fileName_ = name;
  // An empty name means "nothing to save", not a file called ".XLS".
  if (fileName_.empty()) return;
  const std::size_t cut = fileName_.find_last_of("/\\");
  std::size_t dot = fileName_.rfind('.');
  if (dot != std::string::npos && cut != std::string::npos && dot < cut) dot = std::string::npos;
  const std::string ext = dot == std::string::npos ? "" : fileName_.substr(dot);
  bool isXls = ext.size() == 4;
  for (std::size_t i = 0; isXls && i < 4; ++i) isXls = asciiUpper(ext[i]) == ".XLS"[i];
  if (isXls) return;
  if (dot != std::string::npos) fileName_.erase(dot);
  fileName_ += ".XLS";
}

void BiffWriter::setRow(std::uint16_t row) {
  if (row != 0 && row <= kLastRow) row_ = row;
}

void BiffWriter::setColumn(std::uint16_t column) {
  if (column != 0 && column <= kLastColumn) column_ = column;
}

std::string BiffWriter::version() const {
  return std::to_string(kVersionNumber >> 8) + "." + std::to_string(kVersionNumber & 0xFF);
}

void BiffWriter::startSheet() {
  state_ = SheetState::Open;
  fontCount_ = 0;
  formatCount_ = 0;
  buffer_.clear();
  static constexpr std::uint16_t kBofIds[] = {0x0009, 0x0209, 0x0409, 0x0809};
  const bool biff2 = biff_ == BiffVersion::BIFF2;
  beginRecord(kBofIds[static_cast<std::size_t>(biff_)], biff2 ? 4 : 6);
  put16(0x0200);
  put16(0x0010);  // worksheet
  if (!biff2) put16(0);
  beginRecord(biff2 ? 0x0000 : 0x0200, biff2 ? 8 : 10);
  put16(0);
  put16(kLastRow);
  put16(0);
  put16(kLastColumn);
  if (!biff2) put16(0);
}

void BiffWriter::finishSheet() {
  beginRecord(kIdEof, 0);
  state_ = SheetState::Closed;
}

void BiffWriter::newSheet(std::int64_t sizeHint) {
  if (sizeHint < 0 || sizeHint > INT32_MAX) throw BiffRangeError("size hint out of range");
  startSheet();
  buffer_.reserve(static_cast<std::size_t>(sizeHint));
}

void BiffWriter::saveToFile() {
  std::string error;
  if (!fs_.writeFileAtomic(fileName_, buffer_, &error))
    throw BiffFileError(error.empty() ? "cannot write " + fileName_ : error);
}

void BiffWriter::addFont(const BiffFont* font) {
  if (!font || fontCount_ >= 4) return;
  if (font->name.size() > kMaxText) throw BiffRangeError("font name longer than 255 characters");
  const long height = static_cast<long>(font->size) * 20;
  if (height < 0 || height > 0xFFFF) throw BiffRangeError("font size out of range");
  ++fontCount_;
  std::uint16_t flags = 0;
  if (font->style & fsBold) flags |= 0x0001;
  if (font->style & fsItalic) flags |= 0x0002;
  if (font->style & fsUnderline) flags |= 0x0004;
  if (font->style & fsStrikeOut) flags |= 0x0008;
  beginRecord(kIdFont, static_cast<std::uint16_t>(5 + font->name.size()));
  put16(static_cast<std::uint16_t>(height));
  put16(flags);
  put8(static_cast<std::uint8_t>(font->name.size()));
  putBytes(font->name.data(), font->name.size());
}

void BiffWriter::writeText(std::uint16_t id, std::string_view text) {
  text = cutToCellLimit(text);
  beginRecord(id, static_cast<std::uint16_t>(1 + text.size()));
  put8(static_cast<std::uint8_t>(text.size()));
  putBytes(text.data(), text.size());
}

void BiffWriter::setHeader(std::string_view text) {
  writeText(kIdHeader, text);
}

void BiffWriter::setFooter(std::string_view text) {
  writeText(kIdFooter, text);
}

void BiffWriter::setColumnWidth(std::uint16_t first, std::uint16_t last, std::int32_t width) {
  if (first < 1 || first > kLastColumn || last < 1 || last > kLastColumn)
    throw BiffRangeError("column out of range");
  if (width < 0 || static_cast<std::int64_t>(width) * 256 > 0xFFFF)
    throw BiffRangeError("column width out of range");
  beginRecord(kIdColWidth, 4);
  put8(static_cast<std::uint8_t>(first - 1));
  put8(static_cast<std::uint8_t>(last - 1));
  put16(static_cast<std::uint16_t>(width * 256));
}

void BiffWriter::setCodePage(std::uint16_t codePage) {
  beginRecord(kIdCodePage, 2);
  put16(codePage);
}

void BiffWriter::addCellFormat() {
  if (formatCount_ >= kMaxFormats) throw BiffRangeError("more than 63 cell formats");
  ++formatCount_;
  beginRecord(kIdFormat, 4);
  put8(activeFont_ <= 3 ? activeFont_ : 0);
  put8(0);
  put8(static_cast<std::uint8_t>((hidden_ ? 0x80 : 0) | (locked_ ? 0x40 : 0)));  // format 0
  put8(alignmentBits());
}

std::uint8_t BiffWriter::alignmentBits() const {
  static constexpr std::uint8_t kAlignCodes[] = {0, 1, 3, 2, 4, 7};  // by BiffAlignment
  std::uint8_t bits = kAlignCodes[static_cast<std::size_t>(alignment_)];
  if (shading_) bits |= 0x80;
  if (borders_ & kBorderLeft) bits |= 0x08;
  if (borders_ & kBorderRight) bits |= 0x10;
  if (borders_ & kBorderTop) bits |= 0x20;
  if (borders_ & kBorderBottom) bits |= 0x40;
  return bits;
}

void BiffWriter::beginRecord(std::uint16_t id, std::uint16_t bodyLength) {
  if (state_ == SheetState::Closed) startSheet();
  put16(id);
  put16(bodyLength);
}

// Record header and cell header in one append: this is the hot path of
// large sheets.
void BiffWriter::beginCell(std::uint16_t id, std::uint16_t valueLength) {
  if (state_ == SheetState::Closed) startSheet();
  const std::uint16_t length = static_cast<std::uint16_t>(kCellHeader + valueLength);
  const std::uint16_t row = static_cast<std::uint16_t>(row_ - 1);
  const std::uint16_t column = static_cast<std::uint16_t>(column_ - 1);
  const std::uint8_t attr3 = alignmentBits();
  const char head[11] = {
      static_cast<char>(id & 0xFF),
      static_cast<char>(id >> 8),
      static_cast<char>(length & 0xFF),
      static_cast<char>(length >> 8),
      static_cast<char>(row & 0xFF),
      static_cast<char>(row >> 8),
      static_cast<char>(column & 0xFF),
      static_cast<char>(column >> 8),
      static_cast<char>((hidden_ ? 0x80 : 0) | (locked_ ? 0x40 : 0)),
      static_cast<char>(activeFont_ <= 3 ? activeFont_ << 6 : 0),
      static_cast<char>(attr3),
  };
  buffer_.append(head, sizeof head);
  moveCursor();
}

void BiffWriter::moveCursor() {
  switch (moveAfterEnter_) {
    case BiffMoveAfterEnter::None:
      break;
    case BiffMoveAfterEnter::Up:
      if (row_ > 1) {
        --row_;
      } else if (column_ > 1) {
        row_ = kLastRow;
        --column_;
      }
      break;
    case BiffMoveAfterEnter::Down:
      if (row_ < kLastRow) {
        ++row_;
      } else if (column_ < kLastColumn) {
        row_ = 1;
        ++column_;
      }
      break;
    case BiffMoveAfterEnter::Left:
      if (column_ > 1) {
        --column_;
      } else if (row_ > 1) {
        column_ = kLastColumn;
        --row_;
      }
      break;
    case BiffMoveAfterEnter::Right:
      if (column_ < kLastColumn) {
        ++column_;
      } else if (row_ < kLastRow) {
        column_ = 1;
        ++row_;
      }
      break;
  }
}

void BiffWriter::writeBlank() {
  beginCell(kIdBlank, 0);
}

void BiffWriter::writeInteger(std::int32_t value) {
  // The INTEGER record holds 0..65535 only; cutting a larger value to its
  // low 16 bits would put a wrong figure in the sheet, so it goes as NUMBER.
  if (value < 0 || value > 0xFFFF) {
    writeNumber(value);
    return;
  }
  beginCell(kIdInteger, 2);
  put16(static_cast<std::uint16_t>(value));
}

void BiffWriter::writeNumber(double value) {
  beginCell(kIdNumber, 8);
  putBytes(&value, 8);
}

void BiffWriter::writeLabel(std::string_view text) {
  text = cutToCellLimit(text);
  beginCell(kIdLabel, static_cast<std::uint16_t>(1 + text.size()));
  put8(static_cast<std::uint8_t>(text.size()));
  putBytes(text.data(), text.size());
}

void BiffWriter::writeBoolErr(BiffBoolErr value) {
  beginCell(kIdBoolErr, 2);
  put8(boolErrValue(value));
  put8(value == BiffBoolErr::True || value == BiffBoolErr::False ? 0 : 1);
}

void BiffWriter::writeVariant(const Variant& value) {
  switch (value.type()) {
    case VariantType::Empty:
      writeBlank();
      break;
    case VariantType::Null:
      writeBoolErr(BiffBoolErr::Null);
      break;
    case VariantType::SmallInt:
    case VariantType::Integer:
    case VariantType::Byte:
      writeInteger(static_cast<std::int32_t>(value.intValue()));
      break;
    case VariantType::Single:
    case VariantType::Double:
      writeNumber(value.realValue());
      break;
    case VariantType::Currency:
      writeNumber(static_cast<double>(value.intValue()) / 10000.0);
      break;
    case VariantType::Date:
      writeLabel(dateText(value.realValue()));
      break;
    case VariantType::OleStr:
    case VariantType::StrArg:
    case VariantType::String:
      writeLabel(value.text());
      break;
    case VariantType::Dispatch:
    case VariantType::Error:
    case VariantType::Unknown:
    case VariantType::Any:
      writeBoolErr(BiffBoolErr::NA);
      break;
    case VariantType::Boolean:
      writeBoolean(value.intValue() != 0);
      break;
    case VariantType::Variant:
      writeBoolErr(BiffBoolErr::Value);
      break;
    default:  // other integer widths, arrays: no cell, the cursor stays
      break;
  }
}

void BiffWriter::writeNumberAt(std::uint16_t row, std::uint16_t column, double value) {
  setRow(row);
  setColumn(column);
  writeNumber(value);
}

void BiffWriter::writeVariantAt(std::uint16_t row, std::uint16_t column, const Variant& value) {
  setRow(row);
  setColumn(column);
  writeVariant(value);
}

void BiffWriter::put16(std::uint16_t v) {
  const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  buffer_.append(b, 2);
}

void BiffWriter::putBytes(const void* data, std::size_t n) {
  buffer_.append(static_cast<const char*>(data), n);
}

std::string BiffWriter::dateText(double days) {
  // Dates outside the years 1 to 9999 have no calendar form.
  if (!std::isfinite(days) || days < -693593.0 || days >= 2958466.0)
    throw BiffRangeError("date out of range");
  std::int64_t day = static_cast<std::int64_t>(days);  // toward zero: the date part
  // The time of day is the fraction's magnitude, also before 1899-12-30.
  std::int64_t ms = std::llround(std::fabs(days - static_cast<double>(day)) * 86400000.0);
  if (ms >= 86400000) {
    ms = 0;
    ++day;
  }
  LocalTime t;
  civilFromDays(day + kDateEpoch, t.year, t.month, t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  std::string text = locale_.shortDate(t);
  if (ms != 0) {
    text += ' ';
    text += locale_.longTime(t);
  }
  return text;
}

}  // namespace marvena
