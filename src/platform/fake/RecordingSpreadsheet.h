// A spreadsheet application for unit tests: records every call and holds
// the cells written, per sheet; faults can be set up in advance.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Spreadsheet.h"

namespace marvena {

class RecordingSpreadsheet final : public Spreadsheet {
 public:
  // Set up by the test.
  bool reachable = true;
  WorkbookState state = WorkbookState::NotOpen;
  std::set<std::string> sheets;     // empty: every sheet name exists
  bool openFails = false;           // the workbook is no spreadsheet
  long unreachableAfterCells = -1;  // the office dies after so many cells

  // What happened.
  std::vector<std::string> calls;  // "connect", "open PATH", "sheet NAME", ...
  std::map<std::string, std::map<std::string, std::string>> cells;  // sheet -> cell -> text
  std::vector<std::string> order;  // "SHEET!CELL", in the order written
  bool connected = false;

  bool connect(SpreadsheetError* error) override;
  bool workbookState(const std::string& path, WorkbookState* state,
                     SpreadsheetError* error) override;
  bool closeWorkbook(const std::string& path, SpreadsheetError* error) override;
  bool openWorkbook(const std::string& path, SpreadsheetError* error) override;
  bool activateSheet(const std::string& name, SpreadsheetError* error) override;
  bool setCellText(const std::string& cell, const std::string& utf8,
                   SpreadsheetError* error) override;
  bool show(SpreadsheetError* error) override;
  void disconnect() override;

 private:
  bool fail(SpreadsheetError* error, SpreadsheetFault fault, const std::string& detail);
  std::string active_;
};

}  // namespace marvena
