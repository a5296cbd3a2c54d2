#include "tax/DffJob.h"

#include <array>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "tax/FFDataTemplates.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr std::size_t kRowLineOffset = 4;  // row i is job line 4 + i
constexpr std::size_t kFirstRowLine = 5;
constexpr long long kCurrentLayoutFrom = 20080901;

bool isCapital(char c) {
  return c >= 'A' && c <= 'Z';
}

// Optional sign and up to 18 digits, blanks around allowed.
std::optional<long long> parseWhole(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long v = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return std::nullopt;
    v = v * 10 + (ch - '0');
  }
  return negative ? -v : v;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = text.find(from, at)) != std::string_view::npos;
       at = hit + from.size())
    out.append(text.substr(at, hit - at)).append(to);
  out.append(text.substr(at));
  return out;
}

// A row date YY.MM.DD as YYYY-MM-DD: years starting with 9 are 19xx.
std::string rowDate(std::string_view field) {
  if (field.empty()) return {};
  return jobDate(std::string(field[0] == '9' ? "19" : "20") + std::string(field));
}

std::string withoutLt(std::string_view s) {
  if (s.substr(0, 2) == "LT") s.remove_prefix(2);
  return rawValue(s);
}

struct FormRules {
  bool fr0671, fr0672;
};

class DffBuilder {
 public:
  DffBuilder(std::string_view formCode, const JobLines& job, const DocumentStamp& stamp,
             std::string formDefId)
      : job_(job),
        stamp_(stamp),
        formDefId_(std::move(formDefId)),
        code_(hostTextToXml(formCode)),
        rules_{formCode == "FR0671", formCode == "FR0672"},
        rows_(job.size() > kFirstRowLine ? job.size() - kFirstRowLine : 0),
        out_(FFDataWriter::LineEnd::CrLf, true, 8192 + rows_ * 700) {
    name_ = headerValue(job, 0, toXmlText);
    fillDate_ = headerValue(job, 2, jobDate);
    periodStart_ = headerValue(job, 3, jobDate);
    periodEnd_ = headerValue(job, 4, jobDate);
  }

  std::string current();
  std::string earlier();

 private:
  std::vector<std::string> rowFields(std::size_t i) const {
    if (i > rows_) return std::vector<std::string>(6);
    return splitJobRow(job_[kRowLineOffset + i], 6);
  }
  void currentSlot(std::size_t i, std::size_t slot);
  void earlierSlot(std::size_t i, std::size_t slot);
  std::string slotName(const char* base, std::size_t slot) const {
    return std::string(base) + "-" + std::to_string(slot);
  }

  const JobLines& job_;
  const DocumentStamp& stamp_;
  std::string formDefId_;
  std::string code_;  // the form code as XML text
  FormRules rules_;
  std::size_t rows_;
  FFDataWriter out_;
  std::optional<std::string> name_, fillDate_, periodStart_, periodEnd_;
};

std::string DffBuilder::current() {
  const std::size_t pages = 1 + (rows_ + 3) / 4;
  const bool fr0672 = rules_.fr0672;
  std::optional<std::string> e1, pvm;
  if (job_.has(1)) {
    const std::string_view s = trimBlanks(job_[1]);
    const bool prefixed = s.size() >= 2 && isCapital(s[0]) && isCapital(s[1]);
    e1 = rawValue(prefixed ? s.substr(0, 2) : s);
    pvm = rawValue(prefixed && s.size() > 2 ? s.substr(2) : s);
  }
  for (std::size_t n = 1; n <= kDffHead.size(); ++n) {
    const std::string_view t = templateLineAt(kDffHead, n);
    switch (n) {
      case 2:
        out_.fill(t, stamp_.login, stamp_.createdOn);
        break;
      case 3:
        out_.fill(t, formDefId_);
        break;
      case 7:
      case 9:
      case 11:
      case 17:
        out_.fill(t, code_);
        break;
      case 16:
        out_.fill(t, std::to_string(pages));
        break;
      case 18:
        out_.fill(t, fr0672 ? "13" : "12");
        break;
      case 21:
        out_.fillIfPresent(t, e1);
        break;
      case 22:
        out_.fillIfPresent(t, pvm);
        break;
      case 23:
        out_.fillIfPresent(t, name_);
        break;
      case 24:
        out_.fillIfPresent(t, fillDate_);
        break;
      case 25:
        out_.fillIfPresent(t, periodStart_);
        break;
      case 26:
        out_.fillIfPresent(t, periodEnd_);
        break;
      case 28:
        out_.fill(t, fr0672 ? "21" : "19");
        break;
      case 29:
        out_.fill(t, fr0672 ? "22" : "20");
        break;
      case 30:
        if (!rules_.fr0671) out_.line(t);
        break;
      default:
        out_.line(t);
    }
  }
  for (std::size_t p = 2; p <= pages; ++p) {
    out_.fill(templateLineAt(kDffAppendix, 1), code_, std::to_string(p));
    out_.fill(templateLineAt(kDffAppendix, 2), fr0672 ? "48" : "43");
    for (std::size_t n = 3; n <= 10; ++n) {
      if (n == 7)
        out_.fill(templateLineAt(kDffAppendix, n), std::to_string(p - 1));
      else
        out_.line(templateLineAt(kDffAppendix, n));
    }
    for (std::size_t r = 1; r <= 4; ++r) currentSlot(4 * (p - 2) + r, r);
    out_.fill(templateLineAt(kDffAppendix, 47), fr0672 ? "18" : "17");
    out_.fill(templateLineAt(kDffAppendix, 48), fr0672 ? "19" : "18");
    if (!rules_.fr0671) out_.line(templateLineAt(kDffAppendix, 49));
    for (std::size_t n = 50; n <= kDffAppendix.size(); ++n)
      out_.line(templateLineAt(kDffAppendix, n));
  }
  for (std::string_view t : kClosingLines) out_.line(t);
  return out_.take();
}

void DffBuilder::currentSlot(std::size_t i, std::size_t slot) {
  const std::vector<std::string> f = rowFields(i);
  const bool dated = !f[0].empty();
  out_.field(slotName("P7", slot), dated ? std::to_string(i) : "");
  out_.field(slotName("P8", slot), rowDate(f[0]));
  out_.field(slotName("P9", slot), toXmlText(std::string_view(f[1]).substr(0, 17)));
  out_.field(slotName("P10", slot), currentDffAmount(f[4]));
  out_.field(slotName("P11", slot), currentDffAmount(f[5]));
  if (rules_.fr0672) {
    out_.field(slotName("P16", slot), dated ? "0,00" : "");
    out_.field(slotName("P17", slot), dated ? "1" : "0");
  } else if (rules_.fr0671) {
    out_.field(slotName("P16", slot), dated ? "1" : "0");
  }
  out_.field(slotName("P12", slot), toXmlText(f[2]));
  out_.field(slotName("P13", slot), toXmlText(std::string_view(f[3]).substr(0, 32)));
}

std::string DffBuilder::earlier() {
  const std::size_t pages = rows_ == 0 ? 0 : rows_ <= 6 ? 1 : 2 + (rows_ - 7) / 8;
  const std::optional<std::string> pvmTrimmed =
      job_.has(1) ? std::optional(withoutLt(trimBlanks(job_[1]))) : std::nullopt;
  const std::optional<std::string> pvmUntrimmed =
      job_.has(1) ? std::optional(withoutLt(job_[1])) : std::nullopt;

  for (std::size_t n = 1; n <= 11; ++n) {
    const std::string_view t = templateLineAt(kDffEarlierHead, n);
    switch (n) {
      case 2:
        out_.fill(t, stamp_.login, stamp_.createdOn);
        break;
      case 3:
        out_.fill(t, formDefId_);
        break;
      case 4:
        out_.fill(t, std::to_string(pages));
        break;
      case 5:
        out_.fill(t, code_);
        break;
      case 7:
        out_.fillIfPresent(t, name_);
        break;
      case 8:
        out_.fillIfPresent(t, pvmTrimmed);
        break;
      case 9:
        out_.fillIfPresent(t, fillDate_);
        break;
      case 10:
        out_.fillIfPresent(t, periodStart_);
        break;
      case 11:
        out_.fillIfPresent(t, periodEnd_);
        break;
      default:
        out_.line(t);
    }
  }
  for (std::size_t k = 1; k <= 6; ++k) earlierSlot(k, k);
  out_.fill(templateLineAt(kDffEarlierHead, 54), "0");
  for (std::size_t n = 55; n <= kDffEarlierHead.size(); ++n)
    out_.line(templateLineAt(kDffEarlierHead, n));

  const std::string_view textField = rules_.fr0671 ? "Text4" : rules_.fr0672 ? "Text6" : "";
  for (std::size_t p = 2; p <= pages; ++p) {
    out_.fill(templateLineAt(kDffEarlierContinuation, 1), code_, std::to_string(p));
    out_.fill(templateLineAt(kDffEarlierContinuation, 2), "65");
    for (std::size_t k = 1; k <= 8; ++k) earlierSlot(6 + 8 * (p - 2) + k, k);
    for (std::size_t n = 59; n <= kDffEarlierContinuation.size(); ++n) {
      const std::string_view t = templateLineAt(kDffEarlierContinuation, n);
      switch (n) {
        case 59:
          out_.fillIfPresent(t, pvmUntrimmed);
          break;
        case 60:
          out_.fill(t, std::to_string(p - 1));
          break;
        case 61:
          out_.fillIfPresent(t, fillDate_);
          break;
        case 62:
          out_.fillIfPresent(t, periodStart_);
          break;
        case 63:
          out_.fillIfPresent(t, periodEnd_);
          break;
        case 66:
          out_.fill(t, textField);
          break;
        default:
          out_.line(t);
      }
    }
  }
  for (std::string_view t : kClosingLines) out_.line(t);
  return out_.take();
}

void DffBuilder::earlierSlot(std::size_t i, std::size_t slot) {
  const std::vector<std::string> f = rowFields(i);
  auto amount = [&](const std::string& field) -> std::string {
    if (field.empty()) return {};
    const std::optional<long long> units = earlierDffAmount(field);
    if (!units)
      throw BadJobValue(kRowLineOffset + i, "neteisinga suma", "amount is not a number", field);
    return std::to_string(*units);
  };
  out_.field(slotName("E7", slot), f[0].empty() ? "" : std::to_string(i));
  out_.field(slotName("E8", slot), rowDate(f[0]));
  out_.field(slotName("E9", slot), toXmlText(std::string_view(f[1]).substr(0, 17)));
  out_.field(slotName("E10", slot), amount(f[4]));
  out_.field(slotName("E11", slot), amount(f[5]));
  out_.field(slotName("E12", slot), toXmlText(f[2]));
  out_.field(slotName("E13", slot), toXmlText(std::string_view(f[3]).substr(0, 36)));
}

}  // namespace

std::string dffFormCode(std::string_view jobName) {
  std::string code(jobName.substr(0, jobName.find('.')));
  for (char& c : code) c = asciiUpper(c);
  return code;
}

DffLayout chooseDffLayout(const JobLines& job) {
  if (job.size() < 4) return DffLayout::Earlier;
  std::string digits;
  for (char ch : job[3])
    if (ch != '.') digits.push_back(ch);
  const std::optional<long long> start = parseWhole(digits);
  if (!start)
    throw BadJobValue(3, "neteisinga laikotarpio pradžios data", "period start is not a date",
                      job[3]);
  return *start >= kCurrentLayoutFrom ? DffLayout::Current : DffLayout::Earlier;
}

std::string identifierFromFile(std::string_view bytes) {
  bytes = bytes.substr(0, 32768);
  const std::size_t open = bytes.find('{');
  if (open == std::string_view::npos) return {};
  const std::size_t close = bytes.find('}', open);
  if (close == std::string_view::npos || close - open + 1 > 255) return {};
  return std::string(bytes.substr(open, close - open + 1));
}

std::string_view defaultDffIdentifier(std::string_view formCode, DffLayout layout) {
  const bool current = layout == DffLayout::Current;
  if (formCode == "FR0671")
    return current ? "{92F661B8-2B7B-44D3-BCAE-F6E34514BE99}"
                   : "{3630791B-7A09-4B1F-9E0D-EEB11CB5156C}";
  if (formCode == "FR0672")
    return current ? "{46AF970D-E1CD-46F3-B776-846DF86AFCB7}"
                   : "{AE191E03-940C-42B9-8484-86E519971110}";
  return {};
}

std::string currentDffAmount(std::string_view field) {
  return rawValue(replaceAll(replaceAll(field, ",-", ",00"), ".", ","));
}

std::optional<long long> earlierDffAmount(std::string_view field) {
  std::string digits;
  for (char ch : replaceAll(field, ",-", ",00"))
    if (ch != '.' && ch != ',') digits.push_back(ch);
  const std::optional<long long> hundredths = parseWhole(digits);
  if (!hundredths) return std::nullopt;
  // Half up, also below zero: -12,34 is -12 and -12,51 is -13.
  const long long c = *hundredths + 50;
  return c >= 0 ? c / 100 : -((-c + 99) / 100);
}

std::string buildDffDocument(std::string_view formCode, const JobLines& job,
                             const std::optional<std::string>& identifierFile,
                             const DocumentStamp& stamp) {
  const DffLayout layout = chooseDffLayout(job);
  std::string id;
  if (!defaultDffIdentifier(formCode, layout).empty()) {
    if (identifierFile) id = identifierFromFile(*identifierFile);
    if (id.empty()) id = defaultDffIdentifier(formCode, layout);
  }
  DffBuilder builder(formCode, job, stamp, rawValue(id));
  return layout == DffLayout::Current ? builder.current() : builder.earlier();
}

std::optional<std::string> DffJob::readIdentifierFile(const std::string& dir,
                                                      const std::string& formCode) {
  const std::string wanted = formCode + ".mxfd";
  std::string found;
  for (const DirEntry& e : fs_.list(dir)) {
    if (!e.regular || e.name.size() != wanted.size()) continue;
    if (e.name == wanted) {
      found = e.name;
      break;
    }
    bool same = true;
    for (std::size_t i = 0; i < wanted.size() && same; ++i)
      same = asciiUpper(e.name[i]) == asciiUpper(wanted[i]);
    if (same && found.empty()) found = e.name;
  }
  if (found.empty()) return std::nullopt;
  std::string error;
  return fs_.readFile(dir + "/" + found, &error);
}

JobResult DffJob::run(const JobFile& job) {
  std::string error;
  std::optional<std::string> bytes = fs_.readFile(job.path, &error);
  if (!bytes) return JobResult::notReady(error);
  const JobLines lines(std::move(*bytes));
  const std::string code = dffFormCode(job.name);
  std::optional<std::string> identifierFile;
  if (code == "FR0671" || code == "FR0672")
    identifierFile = readIdentifierFile(job.directory(), code);
  const DocumentStamp stamp{creatorLogin(locale_.userName()), createdOnDate(clock_.localNow())};
  std::string document;
  try {
    document = buildDffDocument(code, lines, identifierFile, stamp);
  } catch (const BadJobValue& bad) {
    return badValueResult(job, bad);
  }
  return writeDocument(fs_, job, hostTextToXml(code), document);
}

}  // namespace marvena
