#include "platform/fake/RecordingSpreadsheet.h"

namespace marvena {

bool RecordingSpreadsheet::fail(SpreadsheetError* error, SpreadsheetFault fault,
                                const std::string& detail) {
  if (fault == SpreadsheetFault::Unreachable) connected = false;
  if (error) *error = {fault, detail, {}};
  return false;
}

bool RecordingSpreadsheet::connect(SpreadsheetError* error) {
  calls.push_back("connect");
  if (!reachable) return fail(error, SpreadsheetFault::Unreachable, "no office");
  connected = true;
  return true;
}

bool RecordingSpreadsheet::workbookState(const std::string& path, WorkbookState* s,
                                         SpreadsheetError* error) {
  calls.push_back("state " + path);
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  *s = state;
  return true;
}

bool RecordingSpreadsheet::closeWorkbook(const std::string& path, SpreadsheetError* error) {
  calls.push_back("close " + path);
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  state = WorkbookState::NotOpen;
  return true;
}

bool RecordingSpreadsheet::openWorkbook(const std::string& path, SpreadsheetError* error) {
  calls.push_back("open " + path);
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  if (openFails) return fail(error, SpreadsheetFault::Document, path + " is not a spreadsheet");
  return true;
}

bool RecordingSpreadsheet::activateSheet(const std::string& name, SpreadsheetError* error) {
  calls.push_back("sheet " + name);
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  if (!sheets.empty() && !sheets.count(name))
    return fail(error, SpreadsheetFault::Document, "the workbook has no sheet named " + name);
  active_ = name;
  return true;
}

bool RecordingSpreadsheet::setCellText(const std::string& cell, const std::string& utf8,
                                       SpreadsheetError* error) {
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  if (unreachableAfterCells >= 0 && static_cast<long>(order.size()) >= unreachableAfterCells)
    return fail(error, SpreadsheetFault::Unreachable, "the office died");
  cells[active_][cell] = utf8;
  order.push_back(active_ + "!" + cell);
  return true;
}

bool RecordingSpreadsheet::show(SpreadsheetError* error) {
  calls.push_back("show");
  if (!connected) return fail(error, SpreadsheetFault::Unreachable, "not connected");
  return true;
}

void RecordingSpreadsheet::disconnect() {
  if (connected) calls.push_back("disconnect");
  connected = false;
}

}  // namespace marvena
