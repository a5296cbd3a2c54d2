// Writes one worksheet as a binary Excel file in the BIFF record format,
// without any spreadsheet application. The whole file is built in memory,
// record by record, as the caller moves a cell cursor and writes values,
// and is saved in one piece.
//
// Cell records, fonts, header, footer and column widths always use the
// BIFF2 layout; only the BOF and DIMENSIONS records follow biff().
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "office/Variant.h"

namespace marvena {

class FileSystem;
class Locale;

enum class BiffAlignment : std::uint8_t { General, Left, Right, Center, Fill, MultiPlan };
enum class BiffVersion : std::uint8_t { BIFF2, BIFF3, BIFF4, BIFF5 };
enum class BiffMoveAfterEnter : std::uint8_t { None, Up, Down, Left, Right };
enum class BiffBoolErr : std::uint8_t { True, False, Null, Div0, Value, Ref, Name, Num, NA };
// A set of borders: any combination of these bits.
inline constexpr unsigned kBorderTop = 1u << 0;
inline constexpr unsigned kBorderBottom = 1u << 1;
inline constexpr unsigned kBorderLeft = 1u << 2;
inline constexpr unsigned kBorderRight = 1u << 3;
using BiffBorderSet = unsigned;

// A font as addFont records it. `style` holds FontStyleBits (fsBold, ...).
struct BiffFont {
  std::string name;
  int size = 10;  // points
  unsigned style = 0;
};

// Raised for arguments the record format cannot hold.
class BiffRangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Raised by SaveToFile with the file system's reason.
class BiffFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class BiffWriter {
 public:
  static constexpr std::uint16_t kLastRow = 0xFFFF;
  static constexpr std::uint16_t kLastColumn = 0x0100;

  // Starts a sheet at once: a new writer already holds BOF and DIMENSIONS.
  // `locale` formats date cells; `fs` is where SaveToFile writes.
  BiffWriter(FileSystem& fs, Locale& locale);
  virtual ~BiffWriter() = default;
  BiffWriter(const BiffWriter&) = delete;
  BiffWriter& operator=(const BiffWriter&) = delete;

  // --- Properties -------------------------------------------------------
  std::uint8_t activeFont() const { return activeFont_; }
  // Ignored when above the number of fonts added since the sheet started.
  void setActiveFont(std::uint8_t font);
  BiffAlignment alignment() const { return alignment_; }
  void setAlignment(BiffAlignment a) { alignment_ = a; }
  BiffVersion biff() const { return biff_; }
  // A different version restarts the sheet, discarding what was written.
  void setBIFF(BiffVersion v);
  BiffBorderSet borders() const { return borders_; }
  void setBorders(BiffBorderSet b) { borders_ = b; }
  const std::string& fileName() const { return fileName_; }
  // Any extension other than ".XLS" (in any letter case) becomes ".XLS".
  void setFileName(const std::string& name);
  std::uint16_t row() const { return row_; }
  void setRow(std::uint16_t row);  // ignored when 0
  std::uint16_t column() const { return column_; }
  void setColumn(std::uint16_t column);  // ignored when 0 or above kLastColumn
  BiffMoveAfterEnter moveAfterEnter() const { return moveAfterEnter_; }
  void setMoveAfterEnter(BiffMoveAfterEnter m) { moveAfterEnter_ = m; }
  bool shading() const { return shading_; }
  void setShading(bool on) { shading_ = on; }
  bool hidden() const { return hidden_; }
  void setHidden(bool on) { hidden_ = on; }
  bool locked() const { return locked_; }
  void setLocked(bool on) { locked_ = on; }
  std::string version() const;  // "1.23"

  // --- Sheet ------------------------------------------------------------
  // Empties the buffer and writes BOF and DIMENSIONS; keeps the cursor,
  // the cell properties and the file name.
  virtual void startSheet();
  virtual void finishSheet();  // writes EOF
  // StartSheet, then reserves room for `sizeHint` bytes (negative: range error).
  void newSheet(std::int64_t sizeHint);
  void closeSheet() { finishSheet(); }
  // Writes the buffer to FileName (temporary name, then renamed into place);
  // BiffFileError when that fails. The buffer is kept either way.
  void saveToFile();

  // --- Records ----------------------------------------------------------
  // Null or a fifth font since StartSheet: nothing. A name of more than 255
  // characters: range error.
  void addFont(const BiffFont* font);
  void setHeader(std::string_view text);  // first 255 characters
  void setFooter(std::string_view text);
  // Columns counted from 1 (1-256); width in characters (0-255).
  void setColumnWidth(std::uint16_t first, std::uint16_t last, std::int32_t width);
  // CODEPAGE: the code page of every text byte in the file (1257 = Windows
  // Baltic). Without it readers guess, each its own way.
  void setCodePage(std::uint16_t codePage);
  // XF: a cell format made of the current ActiveFont, Alignment, Borders,
  // Shading, Locked and Hidden. The first one added is format 0, which
  // every cell record refers to: readers that know formats (LibreOffice,
  // Gnumeric, xlrd) take a cell's font and alignment from it, not from the
  // attributes the cell carries. Up to 63 formats.
  void addCellFormat();

  // --- Cells at the cursor; each moves the cursor by MoveAfterEnter ------
  void writeBlank();
  void writeInteger(std::int32_t value);
  void writeNumber(double value);
  void writeLabel(std::string_view text);  // first 255 characters
  void writeLabel(const char* text) { writeLabel(std::string_view(text ? text : "")); }
  void writeBoolErr(BiffBoolErr value);
  void writeBoolean(bool value) { writeBoolErr(value ? BiffBoolErr::True : BiffBoolErr::False); }
  void writeVariant(const Variant& value);
  void writeNumberAt(std::uint16_t row, std::uint16_t column, double value);
  void writeVariantAt(std::uint16_t row, std::uint16_t column, const Variant& value);

  // The record stream written so far.
  std::string_view buffer() const { return buffer_; }
  std::size_t capacity() const { return buffer_.capacity(); }

 private:
  enum class SheetState { NotStarted, Open, Closed };

  void beginRecord(std::uint16_t id, std::uint16_t bodyLength);
  void beginCell(std::uint16_t id, std::uint16_t valueLength);
  void moveCursor();
  void writeText(std::uint16_t id, std::string_view text);  // HEADER, FOOTER
  void put8(std::uint8_t v) { buffer_.push_back(static_cast<char>(v)); }
  void put16(std::uint16_t v);
  void putBytes(const void* data, std::size_t n);
  std::string dateText(double days);
  std::uint8_t alignmentBits() const;

  FileSystem& fs_;
  Locale& locale_;
  std::string buffer_;
  SheetState state_ = SheetState::NotStarted;
  int fontCount_ = 0;
  int formatCount_ = 0;

  std::uint8_t activeFont_ = 0;
  BiffAlignment alignment_ = BiffAlignment::General;
  BiffVersion biff_ = BiffVersion::BIFF5;
  BiffBorderSet borders_ = 0;
  std::string fileName_;
  std::uint16_t row_ = 1;
  std::uint16_t column_ = 1;
  BiffMoveAfterEnter moveAfterEnter_ = BiffMoveAfterEnter::Right;
  bool shading_ = false;
  bool hidden_ = false;
  bool locked_ = true;
};

}  // namespace marvena
