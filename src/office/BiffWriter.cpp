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

std::string_view Cut(std::string_view text) {
  return text.size() > kMaxText ? text.substr(0, kMaxText) : text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
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

std::uint8_t BoolErrValue(BiffBoolErr v) {
  static constexpr std::uint8_t kValues[] = {1, 0, 0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
  return kValues[v];
}

}  // namespace

BiffWriter::BiffWriter(FileSystem& fs, Locale& locale) : fs_(fs), locale_(locale) {
  StartSheet();
}

void BiffWriter::SetActiveFont(std::uint8_t font) {
  if (font <= fontCount_) activeFont_ = font;
}

void BiffWriter::SetBIFF(BiffVersion v) {
  if (v == biff_) return;
  biff_ = v;
  StartSheet();
}

void BiffWriter::SetFileName(const std::string& name) {
  if (name == fileName_) return;
  fileName_ = name;
  // An empty name means "nothing to save", not a file called ".XLS".
  if (fileName_.empty()) return;
  const std::size_t cut = fileName_.find_last_of("/\\");
  std::size_t dot = fileName_.rfind('.');
  if (dot != std::string::npos && cut != std::string::npos && dot < cut) dot = std::string::npos;
  const std::string ext = dot == std::string::npos ? "" : fileName_.substr(dot);
  bool isXls = ext.size() == 4;
  for (std::size_t i = 0; isXls && i < 4; ++i) isXls = AsciiUpper(ext[i]) == ".XLS"[i];
  if (isXls) return;
  if (dot != std::string::npos) fileName_.erase(dot);
  fileName_ += ".XLS";
}

void BiffWriter::SetRow(std::uint16_t row) {
  if (row != 0 && row <= kLastRow) row_ = row;
}

void BiffWriter::SetColumn(std::uint16_t column) {
  if (column != 0 && column <= kLastColumn) column_ = column;
}

std::string BiffWriter::Version() const {
  return std::to_string(kVersionNumber >> 8) + "." + std::to_string(kVersionNumber & 0xFF);
}

void BiffWriter::StartSheet() {
  state_ = SheetState::Open;
  fontCount_ = 0;
  formatCount_ = 0;
  buffer_.clear();
  static constexpr std::uint16_t kBofIds[] = {0x0009, 0x0209, 0x0409, 0x0809};
  const bool biff2 = biff_ == bvBIFF2;
  BeginRecord(kBofIds[biff_], biff2 ? 4 : 6);
  Put16(0x0200);
  Put16(0x0010);  // worksheet
  if (!biff2) Put16(0);
  BeginRecord(biff2 ? 0x0000 : 0x0200, biff2 ? 8 : 10);
  Put16(0);
  Put16(kLastRow);
  Put16(0);
  Put16(kLastColumn);
  if (!biff2) Put16(0);
}

void BiffWriter::FinishSheet() {
  BeginRecord(kIdEof, 0);
  state_ = SheetState::Closed;
}

void BiffWriter::NewSheet(std::int64_t sizeHint) {
  if (sizeHint < 0 || sizeHint > INT32_MAX) throw BiffRangeError("size hint out of range");
  StartSheet();
  buffer_.reserve(static_cast<std::size_t>(sizeHint));
}

void BiffWriter::SaveToFile() {
  std::string error;
  if (!fs_.writeFileAtomic(fileName_, buffer_, &error))
    throw BiffFileError(error.empty() ? "cannot write " + fileName_ : error);
}

void BiffWriter::AddFont(const BiffFont* font) {
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
  BeginRecord(kIdFont, static_cast<std::uint16_t>(5 + font->name.size()));
  Put16(static_cast<std::uint16_t>(height));
  Put16(flags);
  Put8(static_cast<std::uint8_t>(font->name.size()));
  PutBytes(font->name.data(), font->name.size());
}

void BiffWriter::WriteText(std::uint16_t id, std::string_view text) {
  text = Cut(text);
  BeginRecord(id, static_cast<std::uint16_t>(1 + text.size()));
  Put8(static_cast<std::uint8_t>(text.size()));
  PutBytes(text.data(), text.size());
}

void BiffWriter::SetHeader(std::string_view text) {
  WriteText(kIdHeader, text);
}

void BiffWriter::SetFooter(std::string_view text) {
  WriteText(kIdFooter, text);
}

void BiffWriter::SetColumnWidth(std::uint16_t first, std::uint16_t last, std::int32_t width) {
  if (first < 1 || first > kLastColumn || last < 1 || last > kLastColumn)
    throw BiffRangeError("column out of range");
  if (width < 0 || static_cast<std::int64_t>(width) * 256 > 0xFFFF)
    throw BiffRangeError("column width out of range");
  BeginRecord(kIdColWidth, 4);
  Put8(static_cast<std::uint8_t>(first - 1));
  Put8(static_cast<std::uint8_t>(last - 1));
  Put16(static_cast<std::uint16_t>(width * 256));
}

void BiffWriter::SetCodePage(std::uint16_t codePage) {
  BeginRecord(kIdCodePage, 2);
  Put16(codePage);
}

void BiffWriter::AddCellFormat() {
  if (formatCount_ >= kMaxFormats) throw BiffRangeError("more than 63 cell formats");
  ++formatCount_;
  BeginRecord(kIdFormat, 4);
  Put8(activeFont_ <= 3 ? activeFont_ : 0);
  Put8(0);
  Put8(static_cast<std::uint8_t>((hidden_ ? 0x80 : 0) | (locked_ ? 0x40 : 0)));  // format 0
  Put8(AlignmentBits());
}

std::uint8_t BiffWriter::AlignmentBits() const {
  static constexpr std::uint8_t kAlignCodes[] = {0, 1, 3, 2, 4, 7};  // by BiffAlignment
  std::uint8_t bits = kAlignCodes[alignment_];
  if (shading_) bits |= 0x80;
  if (borders_ & ebLeft) bits |= 0x08;
  if (borders_ & ebRight) bits |= 0x10;
  if (borders_ & ebTop) bits |= 0x20;
  if (borders_ & ebBottom) bits |= 0x40;
  return bits;
}

void BiffWriter::BeginRecord(std::uint16_t id, std::uint16_t bodyLength) {
  if (state_ == SheetState::Closed) StartSheet();
  Put16(id);
  Put16(bodyLength);
}

// Record header and cell header in one append: this is the hot path of
// large sheets.
void BiffWriter::BeginCell(std::uint16_t id, std::uint16_t valueLength) {
  if (state_ == SheetState::Closed) StartSheet();
  const std::uint16_t length = static_cast<std::uint16_t>(kCellHeader + valueLength);
  const std::uint16_t row = static_cast<std::uint16_t>(row_ - 1);
  const std::uint16_t column = static_cast<std::uint16_t>(column_ - 1);
  const std::uint8_t attr3 = AlignmentBits();
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
  MoveCursor();
}

void BiffWriter::MoveCursor() {
  switch (moveAfterEnter_) {
    case maNone:
      break;
    case maUp:
      if (row_ > 1) {
        --row_;
      } else if (column_ > 1) {
        row_ = kLastRow;
        --column_;
      }
      break;
    case maDown:
      if (row_ < kLastRow) {
        ++row_;
      } else if (column_ < kLastColumn) {
        row_ = 1;
        ++column_;
      }
      break;
    case maLeft:
      if (column_ > 1) {
        --column_;
      } else if (row_ > 1) {
        column_ = kLastColumn;
        --row_;
      }
      break;
    case maRight:
      if (column_ < kLastColumn) {
        ++column_;
      } else if (row_ < kLastRow) {
        column_ = 1;
        ++row_;
      }
      break;
  }
}

void BiffWriter::WriteBlank() {
  BeginCell(kIdBlank, 0);
}

void BiffWriter::WriteInteger(std::int32_t value) {
  // The INTEGER record holds 0..65535 only; cutting a larger value to its
  // low 16 bits would put a wrong figure in the sheet, so it goes as NUMBER.
  if (value < 0 || value > 0xFFFF) {
    WriteNumber(value);
    return;
  }
  BeginCell(kIdInteger, 2);
  Put16(static_cast<std::uint16_t>(value));
}

void BiffWriter::WriteNumber(double value) {
  BeginCell(kIdNumber, 8);
  PutBytes(&value, 8);
}

void BiffWriter::WriteLabel(std::string_view text) {
  text = Cut(text);
  BeginCell(kIdLabel, static_cast<std::uint16_t>(1 + text.size()));
  Put8(static_cast<std::uint8_t>(text.size()));
  PutBytes(text.data(), text.size());
}

void BiffWriter::WriteBoolErr(BiffBoolErr value) {
  BeginCell(kIdBoolErr, 2);
  Put8(BoolErrValue(value));
  Put8(value == beTrue || value == beFalse ? 0 : 1);
}

void BiffWriter::WriteVariant(const Variant& value) {
  switch (value.type()) {
    case VariantType::Empty:
      WriteBlank();
      break;
    case VariantType::Null:
      WriteBoolErr(beNull);
      break;
    case VariantType::SmallInt:
    case VariantType::Integer:
    case VariantType::Byte:
      WriteInteger(static_cast<std::int32_t>(value.intValue()));
      break;
    case VariantType::Single:
    case VariantType::Double:
      WriteNumber(value.realValue());
      break;
    case VariantType::Currency:
      WriteNumber(static_cast<double>(value.intValue()) / 10000.0);
      break;
    case VariantType::Date:
      WriteLabel(DateText(value.realValue()));
      break;
    case VariantType::OleStr:
    case VariantType::StrArg:
    case VariantType::String:
      WriteLabel(value.text());
      break;
    case VariantType::Dispatch:
    case VariantType::Error:
    case VariantType::Unknown:
    case VariantType::Any:
      WriteBoolErr(beNA);
      break;
    case VariantType::Boolean:
      WriteBoolean(value.intValue() != 0);
      break;
    case VariantType::Variant:
      WriteBoolErr(beValue);
      break;
    default:  // other integer widths, arrays: no cell, the cursor stays
      break;
  }
}

void BiffWriter::WriteNumberAt(std::uint16_t row, std::uint16_t column, double value) {
  SetRow(row);
  SetColumn(column);
  WriteNumber(value);
}

void BiffWriter::WriteVariantAt(std::uint16_t row, std::uint16_t column, const Variant& value) {
  SetRow(row);
  SetColumn(column);
  WriteVariant(value);
}

void BiffWriter::Put16(std::uint16_t v) {
  const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  buffer_.append(b, 2);
}

void BiffWriter::PutBytes(const void* data, std::size_t n) {
  buffer_.append(static_cast<const char*>(data), n);
}

std::string BiffWriter::DateText(double days) {
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
  CivilFromDays(day + kDateEpoch, t.year, t.month, t.day);
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
