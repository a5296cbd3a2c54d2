// LibreOffice Calc through UNO. The UNO calls run in a small bridge process
// (Debian's python3 with python3-uno) that this class starts for each
// connection and speaks to over a socket, one request per line. Every answer
// is awaited for a bounded time; a bridge that does not answer in time (the
// office hangs) or dies (the office crashed) is killed and the call fails as
// Unreachable, so the office can never hang or crash the tool.
//
// Why a bridge process rather than C++ UNO in the tool: a UNO call that the
// office never answers cannot be cancelled inside the calling process, while
// a process can always be killed; a fault in the UNO runtime stays out of
// the tool; and no SDK or type generation enters the build. Speed does not
// suffer: the cells of a sheet are set by a Basic function run inside the
// office, one request per sheet.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Spreadsheet.h"

namespace marvena {

struct UnoOptions {
  // Where the office listens, as its --accept string: an office started with
  // it is reused; when none answers, soffice is started with it.
  std::string connection = "pipe,name=marvena-calc;urp;";
  bool headless = true;        // start the office headless and load workbooks hidden
  int startTimeoutMs = 60000;  // to reach or start the office
  int callTimeoutMs = 60000;   // for any other answer
  std::string python = "/usr/bin/python3";
  std::string bridgeScript;  // calc_bridge.py; empty: found beside the binary
  std::function<void(const std::string&)> log;
};

class ProfileFile;

// [Calc] Connect, StartTimeout and Timeout (seconds) from the settings file.
UnoOptions readUnoOptions(ProfileFile& settings, bool headless);

// The bridge script beside the running binary, else in the source tree.
std::string findCalcBridge();

class UnoSpreadsheet final : public Spreadsheet {
 public:
  explicit UnoSpreadsheet(UnoOptions options);
  ~UnoSpreadsheet() override;

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
  bool startBridge(SpreadsheetError* error);
  void killBridge();
  bool flushCells(SpreadsheetError* error);
  // Sends one request and waits for its answer; *value gets what follows "ok".
  bool call(const std::vector<std::string>& fields, int timeoutMs, std::string* value,
            SpreadsheetError* error);
  bool readLine(int timeoutMs, std::string* line);

  UnoOptions options_;
  pid_t pid_ = -1;
  int socket_ = -1;
  std::string input_;               // read but not yet taken
  std::string sheet_;               // the sheet the batched cells are for
  std::vector<std::string> cells_;  // address and text pairs not yet sent
};

}  // namespace marvena
