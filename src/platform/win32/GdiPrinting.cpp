#include "platform/win32/GdiPrinting.h"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/WinDesktop.h"
#include "platform/win32/WinText.h"
#include "settings/PrintSettings.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

std::wstring jobTextUtf16(std::string_view jobBytes) {
  return utf16From(jobTextToUtf8(jobBytes));
}

}  // namespace

std::vector<std::string> GdiPrinters::names() {
  std::vector<std::string> out;
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
  if (needed == 0) return out;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) return out;
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (info[i].pPrinterName) out.push_back(utf8From(info[i].pPrinterName));
  return out;
}

int GdiPrinters::defaultIndex() {
  DWORD n = 0;
  GetDefaultPrinterW(nullptr, &n);
  if (n == 0) return -1;
  std::wstring name(n, L'\0');
  if (!GetDefaultPrinterW(name.data(), &n)) return -1;
  name.resize(n > 0 ? n - 1 : 0);
  const std::vector<std::string> all = names();
  const auto it = std::find(all.begin(), all.end(), utf8From(name));
  return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

bool GdiPrinters::select(int index) {
  const std::vector<std::string> all = names();
  if (index == -1) index = defaultIndex();
  if (index < 0 || index >= static_cast<int>(all.size())) return false;
  current_ = index;
  currentName_ = all[static_cast<std::size_t>(index)];
  return true;
}

void GdiPrinters::setPaperDimensions(int lengthTenthMm, int widthTenthMm) {
  lengthTenths_ = lengthTenthMm;
  widthTenths_ = widthTenthMm;
}

std::vector<char> GdiPrinters::deviceMode() {
  if (currentName_.empty()) return {};
  std::wstring name = utf16From(currentName_);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return {};
  std::vector<char> mode;
  const LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
  if (size > 0) {
    mode.resize(static_cast<std::size_t>(size));
    auto* dm = reinterpret_cast<DEVMODEW*>(mode.data());
    if (DocumentPropertiesW(nullptr, printer, name.data(), dm, nullptr, DM_OUT_BUFFER) != IDOK) {
      mode.clear();
    } else {
      dm->dmOrientation = static_cast<short>(
          orientation_ == Orientation::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
      dm->dmPaperSize = static_cast<short>(paperSize_);
      dm->dmFields |= DM_ORIENTATION | DM_PAPERSIZE;
      if (paperSize_ == DMPAPER_USER) {
        dm->dmPaperLength = static_cast<short>(lengthTenths_);
        dm->dmPaperWidth = static_cast<short>(widthTenths_);
        dm->dmFields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
      }
      // The driver merges our fields into a mode it can print.
      DocumentPropertiesW(nullptr, printer, name.data(), dm, dm, DM_IN_BUFFER | DM_OUT_BUFFER);
    }
  }
  ClosePrinter(printer);
  return mode;
}

HDC GdiPrinters::makeContext(bool infoOnly) {
  if (currentName_.empty()) return nullptr;
  const std::vector<char> mode = deviceMode();
  const auto* dm = mode.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(mode.data());
  const std::wstring name = utf16From(currentName_);
  return infoOnly ? CreateICW(L"WINSPOOL", name.c_str(), nullptr, dm)
                  : CreateDCW(L"WINSPOOL", name.c_str(), nullptr, dm);
}

PrinterMetrics contextMetrics(HDC dc) {
  PrinterMetrics m;
  m.dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  m.dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  m.physicalWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
  m.physicalHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
  m.offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
  m.offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
  m.printableWidth = GetDeviceCaps(dc, HORZRES);
  m.printableHeight = GetDeviceCaps(dc, VERTRES);
  return m;
}

bool GdiPrinters::metrics(PrinterMetrics* out) {
  HDC ic = makeContext(true);
  if (!ic) return false;
  *out = contextMetrics(ic);
  DeleteDC(ic);
  return out->dpiX > 0 && out->dpiY > 0;
}

std::vector<PaperInfo> GdiPrinters::paperList() {
  std::vector<PaperInfo> out;
  if (currentName_.empty()) return out;
  const std::wstring name = utf16From(currentName_);
  const int n = DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERS, nullptr, nullptr);
  if (n <= 0) return out;
  std::vector<WORD> codes(static_cast<std::size_t>(n));
  std::vector<POINT> sizes(static_cast<std::size_t>(n));
  std::vector<wchar_t> names(static_cast<std::size_t>(n) * 64);
  DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERS, reinterpret_cast<LPWSTR>(codes.data()),
                      nullptr);
  DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERSIZE, reinterpret_cast<LPWSTR>(sizes.data()),
                      nullptr);
  const int named =
      DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERNAMES, names.data(), nullptr);
  for (int i = 0; i < n; ++i) {
    PaperInfo p;
    if (i < named) {
      const wchar_t* text = names.data() + static_cast<std::size_t>(i) * 64;
      p.name = utf8From(std::wstring_view(text, wcsnlen(text, 64)));
    }
    p.code = codes[static_cast<std::size_t>(i)];
    p.widthTenthMm = sizes[static_cast<std::size_t>(i)].x;
    p.lengthTenthMm = sizes[static_cast<std::size_t>(i)].y;
    out.push_back(std::move(p));
  }
  return out;
}

std::vector<std::string> GdiPrinters::paperNames() {
  std::vector<std::string> out;
  for (const PaperInfo& p : paperList()) out.push_back(p.name);
  return out;
}

namespace {

int CALLBACK collectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM out) {
  auto* faces = reinterpret_cast<std::vector<std::string>*>(out);
  std::string face = utf8From(font->lfFaceName);
  if (std::find(faces->begin(), faces->end(), face) == faces->end())
    faces->push_back(std::move(face));
  return 1;
}

}  // namespace

std::vector<std::string> GdiPrinters::fontFaces() {
  std::vector<std::string> faces;
  HDC ic = makeContext(true);
  if (!ic) return faces;
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(ic, &query, collectFace, reinterpret_cast<LPARAM>(&faces), 0);
  DeleteDC(ic);
  return faces;
}

GdiPrintDevice::GdiPrintDevice(GdiPrinters& printers, std::string fallbackFont,
                               std::function<void(const std::string&)> log)
    : printers_(printers), fallbackFont_(std::move(fallbackFont)), log_(std::move(log)) {}

GdiPrintDevice::~GdiPrintDevice() {
  if (printing_) abortDocument();
  release();
}

void GdiPrintDevice::release() {
  if (dc_ && oldFont_) SelectObject(dc_, oldFont_);
  oldFont_ = nullptr;
  if (font_) DeleteObject(font_);
  font_ = nullptr;
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
  fontDirty_ = true;
}

HDC GdiPrintDevice::context() {
  if (!dc_) {
    dc_ = printers_.makeContext(true);
    dcIsInfo_ = true;
    fontDirty_ = true;
  }
  if (dc_ && fontDirty_) selectFont();
  return dc_;
}

bool GdiPrintDevice::metrics(PrinterMetrics* out, std::string* error) {
  HDC dc = context();
  if (!dc) {
    if (error) *error = "cannot reach the printer " + printers_.currentName();
    return false;
  }
  *out = contextMetrics(dc);
  return true;
}

void GdiPrintDevice::setFont(const FontSpec& font) {
  if (font == spec_ && !fontDirty_) return;
  spec_ = font;
  fontDirty_ = true;
}

void GdiPrintDevice::selectFont() {
  fontDirty_ = false;
  std::string face = spec_.face;
  // A face the printer does not have: the configured stand-in, else a
  // monospaced face every Windows has.
  if (faceCharsets(dc_, face).empty()) {
    const std::string stand = fallbackFont_.empty() ? "Courier New" : fallbackFont_;
    if (log_ && !face.empty() && reportedMissing_.insert(face).second)
      log_("font " + face + " missing; printing with " + stand);
    face = stand;
  }
  const int height = -MulDiv(std::max(1, spec_.points), GetDeviceCaps(dc_, LOGPIXELSY), 72);
  HFONT font = CreateFontW(height, 0, 0, 0, (spec_.style & fsBold) ? FW_BOLD : FW_NORMAL,
                           (spec_.style & fsItalic) != 0, (spec_.style & fsUnderline) != 0,
                           (spec_.style & fsStrikeOut) != 0, static_cast<BYTE>(spec_.charset),
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                           utf16From(face).c_str());
  if (!font) return;
  HGDIOBJ old = SelectObject(dc_, font);
  if (!oldFont_) oldFont_ = old;
  if (font_) DeleteObject(font_);
  font_ = font;
}

TextMetrics GdiPrintDevice::textMetrics() {
  TextMetrics out;
  TEXTMETRICW tm{};
  if (HDC dc = context(); dc && GetTextMetricsW(dc, &tm)) {
    out.height = tm.tmHeight;
    out.ascent = tm.tmAscent;
    out.externalLeading = tm.tmExternalLeading;
  }
  return out;
}

int GdiPrintDevice::textWidth(std::string_view jobBytes) {
  HDC dc = context();
  if (!dc || jobBytes.empty()) return 0;
  const std::wstring text = jobTextUtf16(jobBytes);
  SIZE size{};
  if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) return 0;
  return size.cx;
}

void GdiPrintDevice::setDocumentName(const std::string& title, const std::string&) {
  // Titles from the DOS side may be in the job code page.
  title_ = title;
}

bool GdiPrintDevice::beginDocument(std::string* error) {
  release();
  dc_ = printers_.makeContext(false);
  dcIsInfo_ = false;
  if (!dc_) {
    if (error)
      *error = "cannot open the printer " + printers_.currentName() + ": " +
               winErrorText(GetLastError());
    return false;
  }
  const std::wstring title = utf16From(title_.empty() ? "Marvena" : title_);
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = title.c_str();
  if (StartDocW(dc_, &doc) <= 0 || StartPage(dc_) <= 0) {
    if (error)
      *error = "the printer " + printers_.currentName() +
               " refused the document: " + winErrorText(GetLastError());
    AbortDoc(dc_);
    release();
    return false;
  }
  SetBkMode(dc_, TRANSPARENT);
  SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  fontDirty_ = true;
  printing_ = true;
  page_ = 1;
  return true;
}

bool GdiPrintDevice::newPage(std::string* error) {
  if (!printing_) return false;
  if (EndPage(dc_) <= 0 || StartPage(dc_) <= 0) {
    if (error)
      *error = "the printer " + printers_.currentName() +
               " refused a page: " + winErrorText(GetLastError());
    return false;
  }
  // Some drivers reset the context with each page.
  SetBkMode(dc_, TRANSPARENT);
  SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  fontDirty_ = true;
  ++page_;
  return true;
}

bool GdiPrintDevice::endDocument(std::string* error) {
  if (!printing_) return false;
  printing_ = false;
  const bool ok = EndPage(dc_) > 0 && EndDoc(dc_) > 0;
  if (!ok && error)
    *error = "the printer " + printers_.currentName() +
             " did not take the document: " + winErrorText(GetLastError());
  if (!ok) AbortDoc(dc_);
  release();
  page_ = 0;
  return ok;
}

void GdiPrintDevice::abortDocument() {
  if (printing_ && dc_) AbortDoc(dc_);
  printing_ = false;
  page_ = 0;
  release();
}

void GdiPrintDevice::drawText(int x, int y, std::string_view jobBytes) {
  HDC dc = context();
  if (!dc || jobBytes.empty()) return;
  const std::wstring text = jobTextUtf16(jobBytes);
  ExtTextOutW(dc, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

void GdiPrintDevice::drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) {
  HDC dc = context();
  if (!dc || bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.pixels.size() < static_cast<std::size_t>(bitmap.width) * bitmap.height)
    return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = bitmap.width;
  info.bmiHeader.biHeight = -bitmap.height;  // rows top first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, HALFTONE);
  StretchDIBits(dc, x, y, width, height, 0, 0, bitmap.width, bitmap.height, bitmap.pixels.data(),
                &info, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace marvena
