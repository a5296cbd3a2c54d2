#include "settings/SettingsStore.h"

#include "platform/Printers.h"
#include "settings/ProfileFile.h"

namespace marvena {

namespace {

constexpr const char* kSpool = "Spool";

std::string first255(std::string s) {
  if (s.size() > 255) s.resize(255);
  return s;
}

// Selects the default printer and records it; on any failure PrinterIndex
// becomes -1 and PrinterInUse goes.
void fixUpToDefault(ProfileFile& settings, Printers& printers) {
  bool ok = printers.select(-1) && printers.currentIndex() >= 0;
  if (ok) {
    ok = settings.writeInteger(kSpool, "PrinterIndex", printers.currentIndex()) &&
         settings.writeString(kSpool, "PrinterInUse", printers.currentName());
  }
  if (!ok) {
    settings.writeInteger(kSpool, "PrinterIndex", -1);
    settings.deleteKey(kSpool, "PrinterInUse");
  }
}

}  // namespace

std::string optionsWantedAtStart(ProfileFile* settings, Printers& printers) {
  if (!settings) return {};
  if (!settings->keyExists(kSpool, "PrinterIndex")) return "first run: no printer chosen yet";
  const std::string inUse = first255(settings->readString(kSpool, "PrinterInUse", ""));
  if (!inUse.empty() && printers.currentIndex() >= 0 && inUse != printers.currentName())
    return "the printer in use \"" + inUse + "\" is not the selected printer \"" +
           printers.currentName() + "\"";
  return {};
}

SpoolAndPrinter loadSpoolAndPrinter(ProfileFile* settings, Printers& printers,
                                    const OpenOptionsDialog& openOptions) {
  SpoolAndPrinter out;
  if (!settings) return out;
  if (settings->keyExists(kSpool, "Path"))
    out.spoolPath = settings->readString(kSpool, "Path", kDefaultSpoolPath);

  const int count = static_cast<int>(printers.names().size());
  if (settings->keyExists(kSpool, "PrinterIndex")) {
    const int index = settings->readInteger(kSpool, "PrinterIndex", -1);
    const bool valid = index <= count - 1 && index >= -1 && printers.select(index);
    if (!valid) fixUpToDefault(*settings, printers);
  } else {
    printers.select(-1);
    if (openOptions) openOptions("first run: no printer chosen yet");
  }

  const std::string inUse = first255(settings->readString(kSpool, "PrinterInUse", ""));
  if (!inUse.empty() && printers.currentIndex() >= 0 && inUse != printers.currentName()) {
    if (openOptions)
      openOptions("the printer in use \"" + inUse + "\" is not the selected printer \"" +
                  printers.currentName() + "\"");
  }

  writePrinterList(*settings, printers);

  const std::string orientation =
      first255(settings->readString(kSpool, "PrinterOrientation", "poPortrait"));
  if (count > 0)
    printers.setOrientation(orientation == "poLandscape" ? Orientation::Landscape
                                                         : Orientation::Portrait);
  return out;
}

void loadPaperAndMargins(ProfileFile* settings, PrintSettings& ps) {
  if (!settings) {
    ps.paperSize = 9;
    ps.paperLength = 297;
    ps.paperWidth = 210;
    return;
  }
  ps.paperSize = settings->readInteger(kSpool, "PaperSize", 9);
  ps.paperLength = settings->readInteger(kSpool, "mmPaperLength", 297);
  ps.paperWidth = settings->readInteger(kSpool, "mmPaperWidth", 210);
  ps.topMargin = static_cast<float>(settings->readDecimal(kSpool, "mmTopMargin", ps.topMargin));
  ps.bottomMargin =
      static_cast<float>(settings->readDecimal(kSpool, "mmBottomMargin", ps.bottomMargin));
  ps.leftMargin = static_cast<float>(settings->readDecimal(kSpool, "mmLeftMargin", ps.leftMargin));
  ps.rightMargin =
      static_cast<float>(settings->readDecimal(kSpool, "mmRightMargin", ps.rightMargin));
}

void writePrinterList(ProfileFile& settings, Printers& printers) {
  for (int i = 0; i <= 99; ++i) {
    const std::string key = "Printer" + std::to_string(i);
    if (!settings.readString(kSpool, key, "").empty()) settings.deleteKey(kSpool, key);
  }
  const auto names = printers.names();
  for (std::size_t i = 0; i < names.size() && i <= 99; ++i)
    settings.writeString(kSpool, "Printer" + std::to_string(i), names[i]);
}

void restorePrintDefaults(ProfileFile* settings, Printers& printers, PrintSettings& ps) {
  printers.select(-1);
  if (settings) {
    settings->writeInteger(kSpool, "PrinterIndex", printers.currentIndex());
    settings->writeString(kSpool, "PrinterInUse", printers.currentName());
    writePrinterList(*settings, printers);
    settings->writeString(kSpool, "PrinterOrientation", "poPortrait");
  }
  printers.setPaperSize(9);
  if (settings) {
    for (const std::string& name : printers.paperNames()) {
      if (name.compare(0, 2, "A4") == 0) {
        settings->writeInteger(kSpool, "PaperSize", 9);
        break;
      }
    }
  }
  ps.printerIndex = -1;
  ps.orientation = Orientation::Portrait;
  ps.paperSize = 9;
  ps.paperLength = 297;
  ps.paperWidth = 210;
}

bool storeAfterPageSetup(ProfileFile& settings, Printers& printers, const PrintSettings& ps,
                         std::string* error) {
  return settings.writeInteger(kSpool, "PrinterIndex", printers.currentIndex(), error) &&
         settings.writeString(kSpool, "PrinterInUse", printers.currentName(), error) &&
         settings.writeString(
             kSpool, "PrinterOrientation",
             printers.orientation() == Orientation::Portrait ? "poPortrait" : "poLandscape",
             error) &&
         settings.writeInteger(kSpool, "PaperSize", ps.paperSize, error) &&
         settings.writeInteger(kSpool, "mmPaperLength", ps.paperLength, error) &&
         settings.writeInteger(kSpool, "mmPaperWidth", ps.paperWidth, error) &&
         settings.writeDecimal(kSpool, "mmTopMargin", ps.topMargin, error) &&
         settings.writeDecimal(kSpool, "mmBottomMargin", ps.bottomMargin, error) &&
         settings.writeDecimal(kSpool, "mmLeftMargin", ps.leftMargin, error) &&
         settings.writeDecimal(kSpool, "mmRightMargin", ps.rightMargin, error);
}

std::pair<double, double> parsePsd(const std::string& text) {
  constexpr std::pair<double, double> kDefault{15.0, 0.0};
  // The decimal point of PSD is always ".".
  auto parse = [](std::string_view s) -> std::optional<double> {
    if (s.find(',') != std::string_view::npos) return std::nullopt;
    return parseProfileDecimal(s);
  };
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const auto first = parse(text);
    return {first.value_or(15.0), 0.0};
  }
  const auto first = parse(std::string_view(text).substr(0, slash));
  if (!first) return kDefault;
  const auto second = parse(std::string_view(text).substr(slash + 1));
  if (!second) return kDefault;
  return {*first, *second};
}

std::pair<double, double> readPsd(ProfileFile* settings) {
  if (!settings) return {15.0, 0.0};
  return parsePsd(settings->readString("FR0572", "PSD", ""));
}

ExportSettings readExportSettings(ProfileFile* settings) {
  ExportSettings e;
  if (!settings) return e;
  e.path = settings->readString("ESSVE", "Path", "");
  if (e.path.empty()) return e;
  e.ftp = settings->readString("ESSVE", "ftp", "");
  if (e.ftp.empty()) return e;
  e.user = settings->readString("ESSVE", "user", "");
  if (e.user.empty()) return e;
  e.password = settings->readString("ESSVE", "password", "");
  return e;
}

}  // namespace marvena
