// In-memory stand-ins for the outside world, for unit tests of the engine.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Fonts.h"
#include "platform/Locale.h"
#include "platform/MessageSink.h"
#include "platform/Printers.h"

namespace marvena {

class FakeFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::string> files;  // path -> bytes
  std::set<std::string> dirs;
  std::map<std::string, WriteState> writeStates;  // default Idle
  std::map<std::string, std::int64_t> times;
  std::set<std::string> unreadable;
  std::set<std::string> readOnlyDirs;        // nothing in them may be created, moved or removed
  std::map<std::string, std::string> links;  // symbolic links: path -> target
  std::map<std::string, std::uint64_t> inodes;
  bool failWrites = false;
  int writes = 0;
  int listings = 0, stats = 0;
  // What reached the disk, in order: "commit PATH", "sync DIR", "remove PATH".
  std::vector<std::string> ops;

  void put(const std::string& path, std::string bytes);
  // A symbolic link at `path` (to `target`, which may not exist).
  void link(const std::string& path, const std::string& target);
  // A directory's time changes with its names, as on a real file system.
  void touchDir(const std::string& dir) { times[dir] = ++tick_; }

  std::vector<DirEntry> list(const std::string& dir) override;
  std::vector<DirName> listNames(const std::string& dir) override;
  std::optional<DirEntry> stat(const std::string& path) override;
  std::optional<DirEntry> lstat(const std::string& path) override;
  bool isDirectory(const std::string& path) override { return dirs.count(path) > 0; }
  std::optional<std::string> readFile(const std::string& path, std::string* error) override;
  bool writeFileAtomic(const std::string& path, std::string_view bytes,
                       std::string* error) override;
  bool appendFile(const std::string& path, std::string_view bytes, std::string* error) override;
  std::unique_ptr<AtomicFile> createAtomic(const std::string& path, std::string* error) override;
  bool remove(const std::string& path) override;
  bool makeDirectories(const std::string& path, std::string* error) override;
  bool removeDirectory(const std::string& path) override;
  FsError moveEntry(const std::string& from, const std::string& to, std::string* error) override;
  FsError copyIfSame(const std::string& from, const DirEntry& expected, const std::string& to,
                     std::string* error) override;
  bool syncDirectory(const std::string& dir) override;
  WriteState writeState(const std::string& path) override;

  bool writable(const std::string& dir) const { return !readOnlyDirs.count(dir); }
  void commit(const std::string& path, std::string bytes, std::uint64_t inode);
  std::uint64_t newInode() { return ++nextInode_; }

 private:
  DirEntry entryOf(const std::string& path);
  std::int64_t tick_ = 1;
  std::uint64_t nextInode_ = 100;
};

class FakeClock final : public Clock {
 public:
  std::int64_t nowMs = 0;
  LocalTime local{2026, 12, 9, 10, 30, 5};
  std::int64_t monotonicMs() override { return nowMs; }
  LocalTime localNow() override { return local; }
};

class FakeLocale final : public Locale {
 public:
  char separator = ',';
  std::string user = "buhalteris";
  char decimalSeparator() override { return separator; }
  std::string shortDate(const LocalTime& t) override;
  std::string longTime(const LocalTime& t) override;
  std::string userName() override { return user; }
};

class RecordingMessages final : public MessageSink {
 public:
  std::vector<std::string> messages, errors, logs;
  void showMessage(const std::string& text) override { messages.push_back(text); }
  void showError(const std::string& text) override { errors.push_back(text); }
  void log(const std::string& line) override { logs.push_back(line); }
};

class FakePrinters final : public Printers {
 public:
  std::vector<std::string> printerNames;
  int defaultPrinter = 0;
  int selected = -1;
  std::set<int> unselectable;
  Orientation orient = Orientation::Portrait;
  int paper = 9, lengthTenths = 2970, widthTenths = 2100;
  std::vector<std::string> papers{"Letter", "A4 210 x 297 mm"};
  PrinterMetrics metricsValue{600, 600, 4960, 7016, 100, 99, 4760, 6818};
  std::vector<std::string> faces{"Courier"};

  std::vector<std::string> names() override { return printerNames; }
  int defaultIndex() override { return printerNames.empty() ? -1 : defaultPrinter; }
  bool select(int index) override;
  int currentIndex() override { return selected; }
  std::string currentName() override;
  Orientation orientation() override { return orient; }
  void setOrientation(Orientation o) override { orient = o; }
  int paperSize() override { return paper; }
  void setPaperSize(int code) override { paper = code; }
  int paperLength() override { return lengthTenths; }
  int paperWidth() override { return widthTenths; }
  void setPaperDimensions(int l, int w) override {
    lengthTenths = l;
    widthTenths = w;
  }
  std::vector<std::string> paperNames() override { return papers; }
  // Papers with sizes by printer index; a printer without an entry reports none.
  std::map<int, std::vector<PaperInfo>> paperSizes;
  // Metrics by printer index, where they differ from metricsValue.
  std::map<int, PrinterMetrics> metricsOf;
  std::vector<PaperInfo> paperList() override;
  bool metrics(PrinterMetrics* out) override;
  std::vector<std::string> fontFaces() override { return faces; }
};

class FakeFonts final : public Fonts {
 public:
  std::map<std::string, std::vector<int>> faces;
  std::vector<int> charsets(const std::string& face) override {
    auto it = faces.find(face);
    return it == faces.end() ? std::vector<int>{} : it->second;
  }
};

}  // namespace marvena
