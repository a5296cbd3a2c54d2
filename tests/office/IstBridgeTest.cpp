// The Calc automation's watchdog against stand-in bridge scripts: an office
// that hangs, a bridge that dies, and the answers it passes on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/uno/UnoSpreadsheet.h"

namespace marvena {
namespace {

using ::testing::HasSubstr;

// A stand-in bridge in a temporary directory: answers "connect", then
// behaves as `after` says. Removed with the test.
class Bridge {
 public:
  explicit Bridge(const std::string& after) {
    char dir[] = "/tmp/marvena-bridge-XXXXXX";
    if (!::mkdtemp(dir)) return;
    dir_ = dir;
    std::ofstream(path()) << "import sys, time\n"
                             "for line in sys.stdin:\n"
                             "    op = line.rstrip('\\n').split('\\t')\n"
                             "    if op[0] == 'connect':\n"
                             "        print('ok\\tstarted 42', flush=True)\n"
                             "        continue\n"
                          << after;
  }
  ~Bridge() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string path() const { return dir_ + "/bridge.py"; }

 private:
  std::string dir_;
};

UnoOptions Options(const std::string& script, std::vector<std::string>* log) {
  UnoOptions o;
  o.bridgeScript = script;
  o.callTimeoutMs = 500;
  o.log = [log](const std::string& line) { log->push_back(line); };
  return o;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST(CalcBridge, AnOfficeThatHangsIsCutOffAtTheTimeOut) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
  std::vector<std::string> log;
  Bridge bridge("    time.sleep(100)\n");
  UnoSpreadsheet calc(Options(bridge.path(), &log));
  SpreadsheetError e;
  ASSERT_TRUE(calc.connect(&e)) << e.detail;
  EXPECT_THAT(log.at(0), HasSubstr("started LibreOffice (pid 42"));
  const auto start = std::chrono::steady_clock::now();
  WorkbookState state;
  EXPECT_FALSE(calc.workbookState("/x/ups_02.xls", &state, &e));
  EXPECT_LT(Seconds(start), 3.0);
  EXPECT_EQ(e.fault, SpreadsheetFault::Unreachable);
  EXPECT_THAT(e.detail, HasSubstr("did not answer"));
  // The bridge is gone; later calls fail at once.
  EXPECT_FALSE(calc.openWorkbook("/x/ups_02.xls", &e));
  EXPECT_EQ(e.fault, SpreadsheetFault::Unreachable);
}

TEST(CalcBridge, ABridgeThatDiesIsUnreachable) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
  std::vector<std::string> log;
  Bridge bridge("    sys.exit(3)\n");
  UnoSpreadsheet calc(Options(bridge.path(), &log));
  SpreadsheetError e;
  ASSERT_TRUE(calc.connect(&e)) << e.detail;
  EXPECT_FALSE(calc.openWorkbook("/x/ups_02.xls", &e));
  EXPECT_EQ(e.fault, SpreadsheetFault::Unreachable);
}

TEST(CalcBridge, AnswersAndBatchedCellsWithTheSheetNamed) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
  std::vector<std::string> log;
  Bridge bridge(
      "    if op[0] == 'state': print('ok\\tmodified', flush=True)\n"
      "    elif op[0] == 'fill' and op[1] == 'missing':\n"
      "        print('err\\tdocument\\tno sheet named missing', flush=True)\n"
      "    elif op[0] == 'fill' and op[3] != 'tab\\\\there':\n"
      "        print('err\\tdocument\\tbad text ' + op[3], flush=True)\n"
      "    else: print('ok', flush=True)\n");
  UnoSpreadsheet calc(Options(bridge.path(), &log));
  SpreadsheetError e;
  ASSERT_TRUE(calc.connect(&e)) << e.detail;
  WorkbookState state = WorkbookState::NotOpen;
  ASSERT_TRUE(calc.workbookState("/x/ups_02.xls", &state, &e));
  EXPECT_EQ(state, WorkbookState::Modified);
  ASSERT_TRUE(calc.openWorkbook("/x/ups_02.xls", &e));
  ASSERT_TRUE(calc.activateSheet("first", &e));
  ASSERT_TRUE(calc.setCellText("B41", "tab\there", &e));  // escaped on the way
  ASSERT_TRUE(calc.activateSheet("missing", &e)) << e.detail;
  ASSERT_TRUE(calc.setCellText("B14", "x", &e));
  // The missing sheet shows when its cells are sent, and is named.
  EXPECT_FALSE(calc.show(&e));
  EXPECT_EQ(e.fault, SpreadsheetFault::Document);
  EXPECT_EQ(e.sheet, "missing");
  calc.disconnect();
}

TEST(CalcBridge, NoPythonIsUnreachable) {
  UnoOptions o;
  o.python = "/nonexistent/python3";
  o.bridgeScript = "/nonexistent/bridge.py";
  UnoSpreadsheet calc(o);
  SpreadsheetError e;
  EXPECT_FALSE(calc.connect(&e));
  EXPECT_EQ(e.fault, SpreadsheetFault::Unreachable);
}

}  // namespace
}  // namespace marvena
