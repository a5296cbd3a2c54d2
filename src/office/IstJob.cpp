#include "office/IstJob.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Spreadsheet.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr char kSeparator = '\xB3';
constexpr int kMainSlots = 3;
constexpr int kSupplementarySlots = 6;
constexpr int kLastSheet = 100;

std::string_view trim(std::string_view s) {
  return trimBlanks(s);
}

char lowerChar(char c) {
  return asciiLower(c);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerChar(x) == lowerChar(y);
         });
}

std::string dirOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// One row of the cell table: where a value of a data line goes, as column
// and row offset from the line's first row (41 on the main sheet, 14 on a
// supplementary one). Value 0 is the running number, 2..13 the fields.
struct CellRule {
  int value;
  const char* column;
  int row;
};
constexpr CellRule kCellTable[] = {
    {0, "B", 0},  {2, "D", 0}, {13, "B", 2}, {3, "O", 2},  {4, "S", 2},  {5, "W", 2},  {6, "Z", 2},
    {7, "AD", 2}, {8, "L", 4}, {9, "V", 4},  {10, "Y", 4}, {11, "L", 6}, {12, "X", 6},
};
constexpr int kSlotRows = 9;

void addLine(IstSheet& sheet, int firstRow, int slot, int number, std::string_view line,
             int* cutFields) {
  const std::array<std::string, kIstFieldCount> fields = splitIstLine(line, cutFields);
  const int base = firstRow + kSlotRows * (slot - 1);
  for (const CellRule& rule : kCellTable) {
    std::string text =
        rule.value == 0 ? std::to_string(number) : istCellText(fields[rule.value - 1]);
    sheet.cells.push_back({rule.column + std::to_string(base + rule.row), std::move(text)});
  }
}

}  // namespace

std::vector<std::string_view> istLines(std::string_view content) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    lines.push_back(content.substr(start, end - start));
    start = end + 1;
    if (content[end] == '\r' && start < content.size() && content[start] == '\n') ++start;
  }
  return lines;
}

std::string istSizeCode(int n) {
  if (n < 1 || n > kIstMaxLines) return {};
  if (n <= 9) return "009";
  if (n <= 117) return "117";
  if (n <= 297) return "297";
  return "597";
}

std::string istTemplateName(const std::string& code) {
  return "ups_02_" + code + "_template.xls";
}

int istPageCount(int n) {
  if (n <= kMainSlots) return 1;
  return 1 + (n - kMainSlots + kSupplementarySlots - 1) / kSupplementarySlots;
}

std::string istSupplementarySheet(int k) {
  return std::to_string(k) + "-UPS-02-papildomas";
}

std::array<std::string, kIstFieldCount> splitIstLine(std::string_view line, int* cut) {
  std::array<std::string, kIstFieldCount> fields;
  std::size_t start = 0;
  for (int i = 0; i < kIstFieldCount && start <= line.size(); ++i) {
    std::size_t end = line.find(kSeparator, start);
    if (end == std::string_view::npos) end = line.size();  // the appended separator
    std::string_view field = trim(line.substr(start, end - start));
    if (field.size() > kIstMaxField) {
      field = trim(field.substr(0, kIstMaxField));
      if (cut) ++*cut;
    }
    fields[i] = std::string(field);
    start = end + 1;
  }
  return fields;
}

std::string istCellText(std::string_view field) {
  std::string text;
  text.reserve(field.size() + field.size() / 2);
  for (char c : field) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F)
      text += ' ';
    else
      appendUtf8(text, jobByteToUnicode(b));
  }
  return text;
}

std::vector<IstSheet> istFill(const std::vector<std::string_view>& lines, int* cutFields) {
  const int n = static_cast<int>(lines.size());
  std::vector<IstSheet> sheets;
  IstSheet main{kIstMainSheet, {}};
  main.cells.push_back({"AB36", std::to_string(istPageCount(n))});
  for (int s = 1; s <= kMainSlots && s <= n; ++s) addLine(main, 41, s, s, lines[s - 1], cutFields);
  sheets.push_back(std::move(main));
  for (int k = 2; k <= kLastSheet; ++k) {
    const int first = kSupplementarySlots * (k - 2) + kMainSlots;  // lines before this sheet
    if (first >= n) break;
    IstSheet sheet{istSupplementarySheet(k), {}};
    for (int s = 1; s <= kSupplementarySlots && first + s <= n; ++s)
      addLine(sheet, 14, s, first + s, lines[first + s - 1], cutFields);
    sheets.push_back(std::move(sheet));
  }
  return sheets;
}

IstJob::IstJob(FileSystem& fs, Spreadsheet& spreadsheet) : fs_(fs), spreadsheet_(spreadsheet) {}

JobResult IstJob::run(const JobFile& job) {
  std::string error;
  const std::optional<std::string> content = fs_.readFile(job.path, &error);
  if (!content) return JobResult::notReady(error);

  std::vector<std::string_view> lines = istLines(*content);
  const int n = static_cast<int>(lines.size()) - 3;
  if (n < 1 || n > kIstMaxLines)
    return JobResult::failed("UPS-02 užduotyje " + job.name + " yra " +
                                 std::to_string(std::max(n, 0)) +
                                 " duomenų eilučių, o turi būti nuo 1 iki " +
                                 std::to_string(kIstMaxLines) + ". Forma neužpildyta.",
                             std::to_string(std::max(n, 0)) + " data lines; 1 to " +
                                 std::to_string(kIstMaxLines) + " are allowed");
  lines.erase(lines.begin(), lines.begin() + 3);

  // The template, in the spool directory; its name's case does not matter.
  const std::string dir = job.directory();
  const std::string wanted = istTemplateName(istSizeCode(n));
  std::string templatePath = dir + "/" + wanted;
  if (!fs_.stat(templatePath)) {
    templatePath.clear();
    for (const DirName& entry : fs_.listNames(dir))
      if (sameNameIgnoringCase(entry.name, wanted)) templatePath = dir + "/" + entry.name;
  }
  if (templatePath.empty())
    return JobResult::failed("Nerastas UPS-02 formos šablonas " + wanted + " aplanke " + dir +
                                 ". Įdėkite šabloną ir pakartokite užduotį.",
                             "template " + wanted + " is missing in " + dir);
  const std::string shownTemplate = templatePath.substr(dir.size() + 1);

  SpreadsheetError fault;
  const auto unreachable = [&](const std::string& what) {
    spreadsheet_.disconnect();
    return JobResult::kept("Nepavyko pasiekti skaičiuoklės (LibreOffice Calc): " + fault.detail +
                               ". UPS-02 forma " + job.name +
                               " bus užpildyta, kai skaičiuoklė veiks.",
                           what + ": " + fault.detail + "; the job waits");
  };
  if (!spreadsheet_.connect(&fault)) return unreachable("no spreadsheet application");

  // A workbook open in the application is never copied over: closed first
  // when it has no unsaved changes, else the job waits for the user.
  const std::string workbook = dir + "/" + kIstWorkbook;
  WorkbookState state = WorkbookState::NotOpen;
  if (!spreadsheet_.workbookState(workbook, &state, &fault))
    return unreachable("cannot ask the office about " + std::string(kIstWorkbook));
  if (state == WorkbookState::Modified) {
    spreadsheet_.disconnect();
    return JobResult::kept(
        "Pirma uždarykite ankstesnę UPS-02 darbo knygą " + std::string(kIstWorkbook) +
            " skaičiuoklėje (įrašykite ją kitu vardu, jei reikia). Jos neįrašyti pakeitimai "
            "nebus sunaikinti; forma " +
            job.name + " bus užpildyta po to.",
        std::string(kIstWorkbook) + " is open with unsaved changes; the job waits");
  }
  if (state == WorkbookState::Unmodified && !spreadsheet_.closeWorkbook(workbook, &fault)) {
    if (fault.fault == SpreadsheetFault::Unreachable)
      return unreachable("cannot close the open " + std::string(kIstWorkbook));
    spreadsheet_.disconnect();
    return JobResult::kept("Nepavyko uždaryti atidarytos darbo knygos " +
                               std::string(kIstWorkbook) + ": " + fault.detail,
                           "cannot close the open workbook: " + fault.detail);
  }

  // A fresh copy of the template over the working workbook.
  const std::optional<DirEntry> source = fs_.lstat(templatePath);
  const std::optional<DirEntry> old = fs_.lstat(workbook);
  const std::string copy = dirOf(job.path) + "/.ups_02.copy";
  fs_.remove(copy);
  std::string why;
  bool copied = false;
  if (!source || !source->regular) {
    why = shownTemplate + " is not a regular file";
  } else if (old && fs_.isDirectory(workbook)) {
    why = std::string(kIstWorkbook) + " is a directory";
  } else if (fs_.copyIfSame(templatePath, *source, copy, &why) != FsError::None) {
  } else if (old && !fs_.remove(workbook)) {
    why = "cannot replace " + workbook;
  } else if (!fs_.renameNoReplace(copy, workbook, &why)) {
  } else {
    copied = true;
    fs_.syncDirectory(dir);
  }
  if (!copied) {
    fs_.remove(copy);
    spreadsheet_.disconnect();
    return JobResult::failed("Nepavyko nukopijuoti šablono " + shownTemplate + " į " +
                                 std::string(kIstWorkbook) + ": " + why,
                             "cannot copy " + shownTemplate + " to " + kIstWorkbook + ": " + why);
  }

  if (!spreadsheet_.openWorkbook(workbook, &fault)) {
    if (fault.fault == SpreadsheetFault::Unreachable)
      return unreachable("cannot open the workbook");
    spreadsheet_.disconnect();
    return JobResult::failed(
        "Skaičiuoklė neatidarė darbo knygos " + std::string(kIstWorkbook) + " (šablonas " +
            shownTemplate + "): " + fault.detail,
        "cannot open the workbook made from " + shownTemplate + ": " + fault.detail);
  }

  int cut = 0;
  const std::vector<IstSheet> sheets = istFill(lines, &cut);
  std::size_t written = 0;
  bool ok = true;
  for (std::size_t k = 0; ok && k < sheets.size(); ++k) {
    const IstSheet& sheet = sheets[k];
    ok = spreadsheet_.activateSheet(sheet.name, &fault);
    if (!ok && fault.sheet.empty()) fault.sheet = sheet.name;
    for (std::size_t i = 0; ok && i < sheet.cells.size(); ++i, ++written)
      ok = spreadsheet_.setCellText(sheet.cells[i].address, sheet.cells[i].text, &fault);
    if (!ok && fault.sheet.empty()) fault.sheet = sheet.name;
  }
  if (ok) ok = spreadsheet_.show(&fault);
  if (!ok) {
    if (fault.fault == SpreadsheetFault::Unreachable) return unreachable("filling stopped");
    // What was written stays open for the user to see.
    SpreadsheetError ignored;
    spreadsheet_.show(&ignored);
    spreadsheet_.disconnect();
    if (fault.sheet.empty())
      return JobResult::failed(
          "Nepavyko parodyti darbo knygos " + std::string(kIstWorkbook) + ": " + fault.detail,
          "cannot show the workbook: " + fault.detail);
    return JobResult::failed("UPS-02 forma užpildyta ne visa: šablone " + shownTemplate +
                                 " nėra lapo „" + fault.sheet +
                                 "“ arba jo nepavyko pildyti. Kas įrašyta iki jo, liko atidaryta "
                                 "skaičiuoklėje.",
                             "filling stopped at sheet " + fault.sheet + ": " + fault.detail);
  }
  spreadsheet_.disconnect();
  std::string detail = "filled " + std::to_string(n) + " lines on " +
                       std::to_string(sheets.size()) + " sheets of " + kIstWorkbook + " from " +
                       shownTemplate + " (" + std::to_string(written) + " cells)";
  if (cut > 0) detail += "; " + std::to_string(cut) + " fields cut to 255 bytes";
  return JobResult::done(detail);
}

}  // namespace marvena
