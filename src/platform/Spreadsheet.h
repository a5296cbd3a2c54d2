// A spreadsheet application driven from outside: LibreOffice Calc through
// UNO on Linux, Excel through COM on Windows. One connection serves one job:
// connect, open the workbook, fill sheet by sheet, show it, disconnect. The
// workbook stays open in the application, unsaved, for the user.
#pragma once

#include <string>

namespace marvena {

// What a failed call means for the job.
enum class SpreadsheetFault {
  None,
  Unreachable,  // no application could be reached or started, or it stopped answering
  Document,     // the application answered but refused: not a workbook, no such sheet, ...
};

struct SpreadsheetError {
  SpreadsheetFault fault = SpreadsheetFault::None;
  std::string detail;  // English, for the log
  std::string sheet;   // the sheet being filled, when the fault is about one
};

// Whether a workbook is open in the application.
enum class WorkbookState { NotOpen, Unmodified, Modified };

class Spreadsheet {
 public:
  virtual ~Spreadsheet() = default;

  // Reaches the application, starting it when none is running.
  virtual bool connect(SpreadsheetError* error) = 0;
  // Whether the workbook at `path` is open there, and with unsaved changes.
  virtual bool workbookState(const std::string& path, WorkbookState* state,
                             SpreadsheetError* error) = 0;
  // Closes the workbook at `path` without saving (the caller checked it has
  // no unsaved changes).
  virtual bool closeWorkbook(const std::string& path, SpreadsheetError* error) = 0;
  virtual bool openWorkbook(const std::string& path, SpreadsheetError* error) = 0;
  // Selects and activates a sheet of the open workbook by its name. An
  // implementation that batches may report a missing sheet only at the next
  // call; the error then names the sheet.
  virtual bool activateSheet(const std::string& name, SpreadsheetError* error) = 0;
  // Sets the text of a cell ("AB36") of the active sheet, as text, never
  // read as a number or a formula. An implementation may send cells in
  // batches; an error then shows at the next call.
  virtual bool setCellText(const std::string& cell, const std::string& utf8,
                           SpreadsheetError* error) = 0;
  // Sends what is batched and makes the window visible.
  virtual bool show(SpreadsheetError* error) = 0;
  // Lets go of the application; the workbook stays open in it.
  virtual void disconnect() = 0;
};

}  // namespace marvena
