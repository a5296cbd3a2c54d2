// Excel through COM automation (late bound, every call by name through
// IDispatch): the running "Excel.Application" or a new one. Built by the
// Windows build only. Calls to an out-of-process Excel are made on the job
// thread, which has entered its own single-threaded apartment.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

#include "platform/Spreadsheet.h"

namespace marvena {

class ExcelSpreadsheet final : public Spreadsheet {
 public:
  ExcelSpreadsheet() = default;
  ~ExcelSpreadsheet() override;

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
  // Finds the open workbook whose full name is `path` (a new reference), or null.
  IDispatch* findWorkbook(const std::string& path, SpreadsheetError* error);

  IDispatch* excel_ = nullptr;
  IDispatch* workbook_ = nullptr;
  IDispatch* sheet_ = nullptr;
};

}  // namespace marvena
