#include "platform/qt/QtPrintDevice.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QStringDecoder>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/qt/CupsSubmit.h"
#include "platform/qt/QtPrinters.h"
#include "printing/PrintedText.h"
#include "settings/PrintSettings.h"
#include "spool/TempNames.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

QString qs(const std::string& s) {
  return QString::fromStdString(s);
}

QString upperCased(const QString& s) {
  return s.trimmed().toUpper();
}

// Qt's PDF engine builds every page in a buffer of its own and frees it when
// the page is done. With glibc's default thresholds each page's buffer goes
// back to the system and comes again, and the page faults cost a third of
// the printing time; keeping freed memory in the heap avoids that. It does
// not raise the peak.
void keepPageBuffersInTheHeap() {
#if defined(__GLIBC__)
  static const bool done = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    return true;
  }();
  (void)done;
#endif
}

// The job's base name as a file name: its bytes as they are (a name in the
// job code page stays that name), never a path, never hidden.
std::string safeFileBase(const std::string& name) {
  std::string out;
  for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  return out.empty() ? "Marvena" : out;
}

// `base` + `suffix` + ".pdf" within `nameMax` bytes: a long base loses its
// end, not inside a UTF-8 sequence.
std::string pdfName(std::string base, const std::string& suffix, long nameMax) {
  const long room = nameMax - static_cast<long>(suffix.size()) - 4;
  if (room > 0 && static_cast<long>(base.size()) > room) {
    std::size_t cut = static_cast<std::size_t>(room);
    while (cut > 1 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  return base + suffix + ".pdf";
}

// Text for titles: file names that are not UTF-8 came from the DOS side and
// are read in the job code page.
std::string titleText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  return utf8.hasError() ? jobTextToUtf8(bytes) : bytes;
}

std::string errnoText(int error) {
  return std::strerror(error);
}

// Gives the file `from` the name `to` in the same directory, never over
// an existing name and never through a symbolic link at it: a hard link
// where the file system has them, else a rename that refuses an existing
// name. 0 or the errno that stopped it; EXDEV stands for "the file system
// can do neither".
int publishNoReplace(int dirFd, const char* from, const char* to) {
  if (::linkat(dirFd, from, dirFd, to, 0) == 0) {
    ::unlinkat(dirFd, from, 0);
    return 0;
  }
  const int linkError = errno;
  if (linkError != EPERM && linkError != EOPNOTSUPP && linkError != ENOSYS && linkError != EMLINK)
    return linkError;
  if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0) return 0;
  const int renameError = errno;
  return renameError == EINVAL || renameError == ENOSYS ? EXDEV : renameError;
}

}  // namespace

// Glyph tables of one font: what each job byte prints as.
struct QtPrintDevice::Face {
  QFont font;
  QRawFont raw;
  bool toolFace = false;
  quint32 glyph[256] = {};
  qreal advance[256] = {};
  bool ink[256] = {};      // a visible glyph is emitted
  bool missing[256] = {};  // the face lacks it: the line is drawn with Qt's font fallback
  int ascent = 0, descent = 0, leading = 0;

  QString decodeJobText(std::string_view bytes) const {
    QString s;
    s.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) {
      const char32_t c = printedChar(b, toolFace);
      s += QString::fromUcs4(&c, 1);
    }
    return s;
  }
};

struct QtPrintDevice::MetricsCache {
  std::tuple<int, int, int, int, int> key;
  PrinterMetrics metrics;
};

QtPrintDevice::QtPrintDevice(QtPrinters& printers, std::string fallbackFace,
                             std::function<void(const std::string&)> log)
    : printers_(printers),
      fallback_(fallbackFace.empty() ? kDefaultFallbackFace : std::move(fallbackFace)),
      log_(std::move(log)) {
  keepPageBuffersInTheHeap();
}

QtPrintDevice::~QtPrintDevice() {
  abortDocument();
}

bool QtPrintDevice::metrics(PrinterMetrics* out, std::string* error) {
  const auto key =
      std::make_tuple(printers_.currentIndex(), printers_.paperSize(), printers_.paperLength(),
                      printers_.paperWidth(), static_cast<int>(printers_.orientation()));
  if (metricsCache_ && metricsCache_->key == key) {
    *out = metricsCache_->metrics;
    return true;
  }
  if (!printers_.metrics(out)) {
    *error = "Invalid Printer";
    return false;
  }
  metricsCache_ = std::make_unique<MetricsCache>(MetricsCache{key, *out});
  return true;
}

std::string QtPrintDevice::resolveFace(const std::string& face) {
  if (auto it = resolved_.find(face); it != resolved_.end()) return it->second;
  if (families_.empty()) {
    for (QString f : QFontDatabase::families()) {
      // A family that several foundries offer is listed as "Name [foundry]".
      if (const qsizetype at = f.indexOf(QStringLiteral(" [")); at > 0 && f.endsWith(']'))
        f.truncate(at);
      families_.emplace(upperCased(f).toStdString(), f.toStdString());
    }
  }
  auto find = [this](const std::string& name) -> std::optional<std::string> {
    auto it = families_.find(upperCased(qs(name)).toStdString());
    if (it == families_.end()) return std::nullopt;
    return it->second;
  };
  std::optional<std::string> family = find(face);
  if (!family) {
    family = find(fallback_);
    if (!family) family = find(kDefaultFallbackFace);
    if (!family)
      family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family().toStdString();
    if (log_) log_("font \"" + face + "\" is not installed; printing in \"" + *family + "\"");
  }
  resolved_.emplace(face, *family);
  return *family;
}

void QtPrintDevice::setFont(const FontSpec& font) {
  if (font == font_ && face_) return;
  font_ = font;
  face_ = nullptr;
}

QtPrintDevice::Face& QtPrintDevice::currentFace() {
  if (face_) return *face_;
  const int px = std::max(1, static_cast<int>(std::lround(font_.points * kPrinterDpi / 72.0)));
  const FaceKey key{resolveFace(font_.face), px, (font_.style & fsBold) != 0,
                    (font_.style & fsItalic) != 0, isToolFace(font_.face)};
  std::unique_ptr<Face>& slot = faces_[key];
  if (!slot) {
    auto f = std::make_unique<Face>();
    f->toolFace = std::get<4>(key);
    f->font = QFont(qs(std::get<0>(key)));
    f->font.setPixelSize(px);
    f->font.setBold(std::get<2>(key));
    f->font.setItalic(std::get<3>(key));
    f->font.setKerning(false);
    f->font.setHintingPreference(QFont::PreferNoHinting);
    f->raw = QRawFont::fromFont(f->font);
    const QFontMetricsF fm(f->font);
    for (int b = 0; b < 256; ++b) {
      const char32_t c = printedChar(static_cast<unsigned char>(b), f->toolFace);
      const QString s = QString::fromUcs4(&c, 1);
      const QList<quint32> g =
          f->raw.isValid() ? f->raw.glyphIndexesForString(s) : QList<quint32>();
      if (g.size() != 1 || g[0] == 0) {
        f->missing[b] = true;
        f->advance[b] = std::round(fm.horizontalAdvance(s));
        continue;
      }
      f->glyph[b] = g[0];
      // Whole printer dots, as a Windows printer places characters: a text's
      // width is then the sum its parts report, and the PDF's positions are
      // short integers.
      f->advance[b] =
          std::round(f->raw.advancesForGlyphIndexes(g, QRawFont::UseDesignMetrics)[0].x());
      f->ink[b] = c != U' ';
    }
    if (f->raw.isValid()) {
      f->ascent = static_cast<int>(std::lround(f->raw.ascent()));
      f->descent = static_cast<int>(std::lround(f->raw.descent()));
      f->leading = static_cast<int>(std::lround(f->raw.leading()));
    } else {
      f->ascent = static_cast<int>(std::lround(fm.ascent()));
      f->descent = static_cast<int>(std::lround(fm.descent()));
      f->leading = static_cast<int>(std::lround(fm.leading()));
    }
    slot = std::move(f);
  }
  face_ = slot.get();
  return *face_;
}

TextMetrics QtPrintDevice::textMetrics() {
  const Face& f = currentFace();
  return {f.ascent + f.descent, f.ascent, std::max(0, f.leading)};
}

int QtPrintDevice::textWidth(std::string_view jobBytes) {
  const Face& f = currentFace();
  qreal width = 0;
  for (unsigned char b : jobBytes) width += f.advance[b];
  return static_cast<int>(std::lround(width));
}

void QtPrintDevice::setDocumentName(const std::string& title, const std::string& outputName) {
  title_ = title;
  outputName_ = outputName;
}

bool QtPrintDevice::beginDocument(std::string* error) {
  if (painter_) return true;
  PrinterMetrics m;
  if (!metrics(&m, error)) return false;
  doc_ = m;
  toPdfDir_ = printers_.isPdfPrinter();
  printerName_ = printers_.currentName();
  pdfDir_ = printers_.pdfDir();
  const int code = printers_.paperSize();
  const double lengthMm = printers_.paperLength() / 10.0, widthMm = printers_.paperWidth() / 10.0;
  const QPageSize size = pageSizeFromWindowsCode(code, lengthMm, widthMm);
  media_ = code == 256 ? "Custom." + std::to_string(std::lround(widthMm)) + "x" +
                             std::to_string(std::lround(lengthMm)) + "mm"
                       : size.key().toStdString();

  if (!openTemporary(toPdfDir_ ? pdfDir_ : QDir::tempPath().toStdString(), error)) return false;
  writer_ = std::make_unique<QPdfWriter>(file_.get());
  writer_->setResolution(kPrinterDpi);
  writer_->setTitle(qs(titleText(title_)));
  writer_->setCreator(QStringLiteral("Marvena Spool"));
  QPageLayout layout(size,
                     printers_.orientation() == Orientation::Landscape ? QPageLayout::Landscape
                                                                       : QPageLayout::Portrait,
                     QMarginsF(0, 0, 0, 0));
  layout.setMode(QPageLayout::FullPageMode);
  writer_->setPageLayout(layout);
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(writer_.get())) {
    *error = "cannot start a PDF document in " + tempDir_;
    abortDocument();
    return false;
  }
  page_ = 1;
  return true;
}

bool QtPrintDevice::newPage(std::string* error) {
  if (!painter_) {
    *error = "no document is running";
    return false;
  }
  if (!writer_->newPage()) {
    *error = "the PDF writer refused a new page";
    return false;
  }
  ++page_;
  return true;
}

bool QtPrintDevice::openTemporary(const std::string& dir, std::string* error) {
  dropTemporary();
  tempDir_ = dir;
  dirFd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0) {
    *error = "cannot open the directory " + dir + ": " + errnoText(errno);
    return false;
  }
  if (nameSeed_ == 0) nameSeed_ = std::random_device()() | 1u;
  // The tool's temporary name: short whatever the job is called, and
  // telling a later start whose leftover it is.
  for (int attempt = 0; attempt < 64; ++attempt) {
    nameSeed_ = nameSeed_ * 1664525u + 1013904223u;
    const std::string name = temporaryFileName(static_cast<long>(::getpid()), nameSeed_);
    fileFd_ =
        ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fileFd_ >= 0) {
      tempName_ = name;
      break;
    }
    if (errno != EEXIST) break;
  }
  if (fileFd_ < 0) {
    *error = "cannot create a file in " + dir + ": " + errnoText(errno);
    dropTemporary();
    return false;
  }
  file_ = std::make_unique<QFile>();
  if (!file_->open(fileFd_, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
    *error = "cannot write a file in " + dir + ": " + file_->errorString().toStdString();
    dropTemporary();
    return false;
  }
  return true;
}

void QtPrintDevice::dropTemporary() {
  file_.reset();
  if (fileFd_ >= 0) ::close(fileFd_);
  fileFd_ = -1;
  if (dirFd_ >= 0) {
    if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    ::close(dirFd_);
  }
  dirFd_ = -1;
  tempName_.clear();
}

void QtPrintDevice::closeDocument() {
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
  writer_.reset();
  if (file_) file_->close();
}

bool QtPrintDevice::endDocument(std::string* error) {
  if (!painter_) return true;
  const bool painted = painter_->end();
  const bool flushed = file_ && file_->flush() && file_->error() == QFile::NoError;
  const std::string why = file_ ? file_->errorString().toStdString() : std::string();
  closeDocument();
  if (!painted || !flushed) {
    *error = "cannot write the PDF document: " + why;
    dropTemporary();
    return false;
  }
  // The contents are on the disk before the name points at them.
  if (::fsync(fileFd_) != 0) {
    *error = "cannot write the PDF document: " + errnoText(errno);
    dropTemporary();
    return false;
  }
  if (toPdfDir_) {
    const bool ok = publishFile(error);
    dropTemporary();
    return ok;
  }
  const std::string temp = tempDir_ + "/" + tempName_;
#if defined(MARVENA_HAVE_CUPS)
  const bool ok = submitPdfToCups(printerName_, temp, titleText(title_), media_, error);
#else
  const bool ok = false;
  *error = "printing on \"" + printerName_ + "\" is not built for this system";
#endif
  dropTemporary();
  return ok;
}

bool QtPrintDevice::publishFile(std::string* error) {
  // A temporary file is private to its owner; a printout is not.
  ::fchmod(fileFd_, 0644);
  long nameMax = ::fpathconf(dirFd_, _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = NAME_MAX;
  // The job's name, never over an existing file: REPORT.pdf, REPORT-2.pdf, ...
  const std::string base = safeFileBase(outputName_);
  for (int n = 1; n < 100000; ++n) {
    const std::string target = pdfName(base, n == 1 ? "" : "-" + std::to_string(n), nameMax);
    const int result = publishNoReplace(dirFd_, tempName_.c_str(), target.c_str());
    if (result == EEXIST) continue;
    if (result == EXDEV) {
      *error = "the file system of " + pdfDir_ +
               " can neither link nor rename a file without replacing another";
      return false;
    }
    if (result != 0) {
      *error = "cannot name the PDF document " + pdfDir_ + "/" + target + ": " + errnoText(result);
      return false;
    }
    tempName_.clear();  // it is the printout now
    lastOutput_ = pdfDir_ + "/" + target;
    if (::fsync(dirFd_) != 0 && log_)
      log_("cannot sync the directory " + pdfDir_ + ": " + errnoText(errno));
    return true;
  }
  *error = "no free file name for " + pdfDir_ + "/" + base + ".pdf";
  return false;
}

void QtPrintDevice::abortDocument() {
  closeDocument();
  dropTemporary();
}

void QtPrintDevice::drawText(int x, int y, std::string_view jobBytes) {
  if (!painter_ || jobBytes.empty()) return;
  const Face& f = currentFace();
  const QPointF origin(x + doc_.offsetX, y + doc_.offsetY + f.ascent);
  // Glyphs that would start beyond the sheet's right edge are not drawn.
  const qreal room = doc_.physicalWidth - origin.x();
  glyphs_.clear();
  positions_.clear();
  qreal pen = 0;
  std::size_t used = 0;
  bool fallback = false;
  for (unsigned char b : jobBytes) {
    if (pen > room) break;
    ++used;
    if (f.missing[b]) fallback = true;
    if (f.ink[b]) {
      glyphs_.push_back(f.glyph[b]);
      positions_.emplace_back(pen, 0);
    }
    pen += f.advance[b];
  }
  const bool underline = (font_.style & fsUnderline) != 0;
  const bool strikeOut = (font_.style & fsStrikeOut) != 0;
  if (fallback) {
    QFont font = f.font;
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    painter_->setFont(font);
    painter_->drawText(origin, f.decodeJobText(jobBytes.substr(0, used)));
    return;
  }
  if (glyphs_.empty()) return;
  QGlyphRun run;
  run.setRawFont(f.raw);
  run.setRawData(glyphs_.data(), positions_.data(), static_cast<int>(glyphs_.size()));
  run.setUnderline(underline);
  run.setStrikeOut(strikeOut);
  painter_->drawGlyphRun(origin, run);
}

void QtPrintDevice::drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) {
  if (!painter_ || bitmap.width <= 0 || bitmap.height <= 0) return;
  const QImage image(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width,
                     bitmap.height, bitmap.width * 4, QImage::Format_RGB32);
  painter_->drawImage(QRectF(x + doc_.offsetX, y + doc_.offsetY, width, height), image);
}

}  // namespace marvena
