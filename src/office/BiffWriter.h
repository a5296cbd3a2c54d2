// Writes one worksheet as a binary Excel file in the BIFF record format,
// without any spreadsheet application. The whole file is built in memory,
// record by record, as the caller moves a cell cursor and writes values,
// and is saved in one piece.
//
// Cell records, fonts, header, footer and column widths always use the
// BIFF2 layout; only the BOF and DIMENSIONS records follow BIFF().
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "office/Variant.h"

namespace marvena {

class FileSystem;
class Locale;

enum BiffAlignment : std::uint8_t { eaGeneral, eaLeft, eaRight, eaCenter, eaFill, eaMultiPlan };
enum BiffVersion : std::uint8_t { bvBIFF2, bvBIFF3, bvBIFF4, bvBIFF5 };
enum BiffMoveAfterEnter : std::uint8_t { maNone, maUp, maDown, maLeft, maRight };
enum BiffBoolErr : std::uint8_t {
  beTrue,
  beFalse,
  beNull,
  beDiv0,
  beValue,
  beRef,
  beName,
  beNum,
  beNA
};
// A set of borders: any combination of these bits.
enum BiffBorders : unsigned {
  ebTop = 1u << 0,
  ebBottom = 1u << 1,
  ebLeft = 1u << 2,
  ebRight = 1u << 3
};
using BiffBorderSet = unsigned;

// A font as AddFont records it. `style` holds FontStyleBits (fsBold, ...).
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
  std::uint8_t ActiveFont() const { return activeFont_; }
  // Ignored when above the number of fonts added since the sheet started.
  void SetActiveFont(std::uint8_t font);
  BiffAlignment Alignment() const { return alignment_; }
  void SetAlignment(BiffAlignment a) { alignment_ = a; }
  BiffVersion BIFF() const { return biff_; }
  // A different version restarts the sheet, discarding what was written.
  void SetBIFF(BiffVersion v);
  BiffBorderSet Borders() const { return borders_; }
  void SetBorders(BiffBorderSet b) { borders_ = b; }
  const std::string& FileName() const { return fileName_; }
  // Any extension other than ".XLS" (in any letter case) becomes ".XLS".
  void SetFileName(const std::string& name);
  std::uint16_t Row() const { return row_; }
  void SetRow(std::uint16_t row);  // ignored when 0
  std::uint16_t Column() const { return column_; }
  void SetColumn(std::uint16_t column);  // ignored when 0 or above kLastColumn
  BiffMoveAfterEnter MoveAfterEnter() const { return moveAfterEnter_; }
  void SetMoveAfterEnter(BiffMoveAfterEnter m) { moveAfterEnter_ = m; }
  bool Shading() const { return shading_; }
  void SetShading(bool on) { shading_ = on; }
  bool Hidden() const { return hidden_; }
  void SetHidden(bool on) { hidden_ = on; }
  bool Locked() const { return locked_; }
  void SetLocked(bool on) { locked_ = on; }
  std::string Version() const;  // "1.23"

  // --- Sheet ------------------------------------------------------------
  // Empties the buffer and writes BOF and DIMENSIONS; keeps the cursor,
  // the cell properties and the file name.
  virtual void StartSheet();
  virtual void FinishSheet();  // writes EOF
  // StartSheet, then reserves room for `sizeHint` bytes (negative: range error).
  void NewSheet(std::int64_t sizeHint);
  void CloseSheet() { FinishSheet(); }
  // Writes the buffer to FileName (temporary name, then renamed into place);
  // BiffFileError when that fails. The buffer is kept either way.
  void SaveToFile();

  // --- Records ----------------------------------------------------------
  // Null or a fifth font since StartSheet: nothing. A name of more than 255
  // characters: range error.
  void AddFont(const BiffFont* font);
  void SetHeader(std::string_view text);  // first 255 characters
  void SetFooter(std::string_view text);
  // Columns counted from 1 (1-256); width in characters (0-255).
  void SetColumnWidth(std::uint16_t first, std::uint16_t last, std::int32_t width);
  // CODEPAGE: the code page of every text byte in the file (1257 = Windows
  // Baltic). Without it readers guess, each its own way.
  void SetCodePage(std::uint16_t codePage);
  // XF: a cell format made of the current ActiveFont, Alignment, Borders,
  // Shading, Locked and Hidden. The first one added is format 0, which
  // every cell record refers to: readers that know formats (LibreOffice,
  // Gnumeric, xlrd) take a cell's font and alignment from it, not from the
  // attributes the cell carries. Up to 63 formats.
  void AddCellFormat();

  // --- Cells at the cursor; each moves the cursor by MoveAfterEnter ------
  void WriteBlank();
  void WriteInteger(std::int32_t value);
  void WriteNumber(double value);
  void WriteLabel(std::string_view text);  // first 255 characters
  void WriteLabel(const char* text) { WriteLabel(std::string_view(text ? text : "")); }
  void WriteBoolErr(BiffBoolErr value);
  void WriteBoolean(bool value) { WriteBoolErr(value ? beTrue : beFalse); }
  void WriteVariant(const Variant& value);
  void WriteNumberAt(std::uint16_t row, std::uint16_t column, double value);
  void WriteVariantAt(std::uint16_t row, std::uint16_t column, const Variant& value);

  // The record stream written so far.
  std::string_view Buffer() const { return buffer_; }
  std::size_t Capacity() const { return buffer_.capacity(); }

 private:
  enum class SheetState { NotStarted, Open, Closed };

  void BeginRecord(std::uint16_t id, std::uint16_t bodyLength);
  void BeginCell(std::uint16_t id, std::uint16_t valueLength);
  void MoveCursor();
  void WriteText(std::uint16_t id, std::string_view text);  // HEADER, FOOTER
  void Put8(std::uint8_t v) { buffer_.push_back(static_cast<char>(v)); }
  void Put16(std::uint16_t v);
  void PutBytes(const void* data, std::size_t n);
  std::string DateText(double days);
  std::uint8_t AlignmentBits() const;

  FileSystem& fs_;
  Locale& locale_;
  std::string buffer_;
  SheetState state_ = SheetState::NotStarted;
  int fontCount_ = 0;
  int formatCount_ = 0;

  std::uint8_t activeFont_ = 0;
  BiffAlignment alignment_ = eaGeneral;
  BiffVersion biff_ = bvBIFF5;
  BiffBorderSet borders_ = 0;
  std::string fileName_;
  std::uint16_t row_ = 1;
  std::uint16_t column_ = 1;
  BiffMoveAfterEnter moveAfterEnter_ = maRight;
  bool shading_ = false;
  bool hidden_ = false;
  bool locked_ = true;
};

}  // namespace marvena
