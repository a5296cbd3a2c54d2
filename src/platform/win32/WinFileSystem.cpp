#include "platform/win32/WinFileSystem.h"

#include <random>

#include "platform/win32/WinText.h"
#include "spool/TempNames.h"
#include "text/Paths.h"

namespace marvena {

namespace {

// FILETIME counts 100 ns from 1601; the tool counts nanoseconds from 1970.
std::int64_t timeNs(const FILETIME& t) {
  const std::int64_t ticks = (static_cast<std::int64_t>(t.dwHighDateTime) << 32) |
                             static_cast<std::int64_t>(t.dwLowDateTime);
  return (ticks - 116444736000000000LL) * 100;
}

// Hidden and system files are not the DOS programs' jobs.
bool isRegular(DWORD attributes) {
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                        FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) ==
         0;
}

DirEntry entryFromInfo(std::string name, const BY_HANDLE_FILE_INFORMATION& info) {
  DirEntry e;
  e.name = std::move(name);
  e.regular = isRegular(info.dwFileAttributes);
  e.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  e.mtimeNs = timeNs(info.ftLastWriteTime);
  e.device = info.dwVolumeSerialNumber;
  e.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return e;
}

// Reading shares everything: the tool never stands in a writer's way while
// it only reads (readiness is asked separately).
Handle openForReading(const std::string& path, DWORD flags = 0) {
  return Handle(CreateFileW(longPathOf(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
}

bool writeFully(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 24));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

std::uint32_t randomWord() {
  static thread_local std::mt19937 engine{std::random_device{}()};
  return static_cast<std::uint32_t>(engine());
}

// Opens a file for reading and checks it is a file on disk (not a
// directory, pipe or device).
Handle openRegularFile(const std::string& path, std::string* error) {
  Handle h = openForReading(path);
  if (!h.valid()) {
    if (error) *error = lastErrorText("cannot open", path);
    return h;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(h.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (error) *error = "not a regular file: " + path;
    return Handle();
  }
  return h;
}

class WinAtomicFile final : public AtomicFile {
 public:
  static std::unique_ptr<WinAtomicFile> create(const std::string& path, std::string* error) {
    const std::string dir = directoryOf(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
      const std::string tmp =
          dir + "/" + temporaryFileName(static_cast<long>(GetCurrentProcessId()), randomWord());
      HANDLE h = CreateFileW(longPathOf(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE)
        return std::unique_ptr<WinAtomicFile>(new WinAtomicFile(Handle(h), tmp, path));
      if (GetLastError() != ERROR_FILE_EXISTS) {
        if (error) *error = lastErrorText("cannot create", tmp);
        return nullptr;
      }
    }
    if (error) *error = "cannot create a temporary file in " + dir;
    return nullptr;
  }
  ~WinAtomicFile() override { drop(); }

  bool write(std::string_view bytes) override {
    if (!h_.valid() || failed_) return false;
    if (buffer_.size() + bytes.size() > kBuffer) {
      if (!flush()) return false;
      if (bytes.size() >= kBuffer) return writeAll(bytes);
    }
    buffer_.append(bytes);
    return true;
  }

  bool commit(std::string* error) override {
    if (!h_.valid()) {
      if (error) *error = "already committed: " + path_;
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!flush() || !FlushFileBuffers(h_.get()) || !GetFileInformationByHandle(h_.get(), &info)) {
      if (error) *error = failure_.empty() ? lastErrorText("cannot write", tmp_) : failure_;
      drop();
      return false;
    }
    const std::uint64_t index =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (!runBeforePublish(index, error)) {
      drop();
      return false;
    }
    h_.reset();
    if (!MoveFileExW(longPathOf(tmp_).c_str(), longPathOf(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      if (error) *error = lastErrorText("cannot replace", path_);
      DeleteFileW(longPathOf(tmp_).c_str());
      return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  WinAtomicFile(Handle h, std::string tmp, std::string path)
      : h_(std::move(h)), tmp_(std::move(tmp)), path_(std::move(path)) {
    buffer_.reserve(kBuffer);
  }
  bool writeAll(std::string_view bytes) {
    if (writeFully(h_.get(), bytes)) return true;
    failed_ = true;
    failure_ = lastErrorText("cannot write", tmp_);
    return false;
  }
  bool flush() {
    if (failed_) return false;
    const bool ok = writeAll(buffer_);
    buffer_.clear();
    return ok;
  }
  void drop() {
    if (!h_.valid()) return;
    h_.reset();
    DeleteFileW(longPathOf(tmp_).c_str());
  }

  Handle h_;
  std::string tmp_, path_, buffer_, failure_;
  bool failed_ = false;
};

std::optional<DirEntry> statWith(const std::string& path, DWORD flags) {
  // No access rights asked for: this open stands in nobody's way.
  Handle h(CreateFileW(longPathOf(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.valid() || !GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
  return entryFromInfo(baseNameOf(path), info);
}

}  // namespace

FsError classifyWinError(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return FsError::NotFound;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
      return FsError::Exists;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FsError::NotPermitted;
    // Another process has the file open (a writer back at it): not a lack
    // of rights, which would make the claim copy a file still being written.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FsError::Other;
    case ERROR_NOT_SAME_DEVICE:
      return FsError::CrossDevice;
    default:
      return FsError::Other;
  }
}

std::vector<DirEntry> WinFileSystem::list(const std::string& dir) {
  std::vector<DirEntry> out;
  for (const DirName& n : listNames(dir))
    if (std::optional<DirEntry> e = lstat(dir + "/" + n.name)) out.push_back(std::move(*e));
  return out;
}

std::vector<DirName> WinFileSystem::listNames(const std::string& dir) {
  std::vector<DirName> out;
  WIN32_FIND_DATAW data{};
  const std::wstring pattern = longPathOf(dir) + L"\\*";
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    EntryType type = EntryType::Other;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) type = EntryType::Directory;
    } else if (isRegular(data.dwFileAttributes)) {
      type = EntryType::Regular;
    }
    out.push_back({utf8From(name), type});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return out;
}

std::optional<DirEntry> WinFileSystem::stat(const std::string& path) {
  return statWith(path, 0);
}

std::optional<DirEntry> WinFileSystem::lstat(const std::string& path) {
  return statWith(path, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool WinFileSystem::isDirectory(const std::string& path) {
  const DWORD a = GetFileAttributesW(longPathOf(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> WinFileSystem::readFile(const std::string& path, std::string* error) {
  return readChunk(path, 0, static_cast<std::size_t>(-1), error);
}

std::optional<std::string> WinFileSystem::readChunk(const std::string& path, std::uint64_t offset,
                                                    std::size_t maxBytes, std::string* error) {
  Handle h = openRegularFile(path, error);
  if (!h.valid()) return std::nullopt;
  LARGE_INTEGER size{};
  GetFileSizeEx(h.get(), &size);
  const std::uint64_t total = static_cast<std::uint64_t>(size.QuadPart);
  std::string data;
  if (offset < total)
    data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(total - offset, maxBytes)));
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN)) {
    if (error) *error = lastErrorText("cannot read", path);
    return std::nullopt;
  }
  char buf[1 << 16];
  while (data.size() < maxBytes) {
    const DWORD want =
        static_cast<DWORD>(std::min<std::size_t>(sizeof buf, maxBytes - data.size()));
    DWORD got = 0;
    if (!ReadFile(h.get(), buf, want, &got, nullptr)) {
      if (error) *error = lastErrorText("cannot read", path);
      return std::nullopt;
    }
    if (got == 0) break;
    data.append(buf, got);
  }
  return data;
}

std::unique_ptr<AtomicFile> WinFileSystem::createAtomic(const std::string& path,
                                                        std::string* error) {
  return WinAtomicFile::create(path, error);
}

bool WinFileSystem::appendFile(const std::string& path, std::string_view bytes,
                               std::string* error) {
  Handle h(CreateFileW(longPathOf(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) {
    if (error) *error = lastErrorText("cannot open", path);
    return false;
  }
  // Appends are log lines and journal records: each is made durable.
  const bool ok = writeFully(h.get(), bytes) && FlushFileBuffers(h.get());
  if (!ok && error) *error = lastErrorText("cannot write", path);
  return ok;
}

bool WinFileSystem::remove(const std::string& path) {
  return DeleteFileW(longPathOf(path).c_str()) != 0;
}

FsError WinFileSystem::moveEntry(const std::string& from, const std::string& to,
                                 std::string* error) {
  if (MoveFileExW(longPathOf(from).c_str(), longPathOf(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return FsError::None;
  const DWORD code = GetLastError();
  if (error) *error = "cannot move " + from + ": " + winErrorText(code);
  return classifyWinError(code);
}

FsError WinFileSystem::copyIfSame(const std::string& from, const DirEntry& expected,
                                  const std::string& to, std::string* error) {
  // Read sharing only: while a writer has the job open, there is nothing to copy yet.
  Handle in(CreateFileW(longPathOf(from).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!in.valid()) {
    const DWORD code = GetLastError();
    if (error) *error = "cannot open " + from + ": " + winErrorText(code);
    return classifyWinError(code);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(in.get(), &info) || !isRegular(info.dwFileAttributes) ||
      info.dwVolumeSerialNumber != expected.device ||
      ((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) !=
          expected.inode) {
    if (error) *error = "no longer the same file: " + from;
    return FsError::NotFound;
  }
  Handle out(CreateFileW(longPathOf(to).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.valid()) {
    const DWORD code = GetLastError();
    if (error) *error = "cannot create " + to + ": " + winErrorText(code);
    return classifyWinError(code);
  }
  char buf[1 << 16];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!writeFully(out.get(), std::string_view(buf, got))) {
      ok = false;
      break;
    }
  }
  ok = ok && FlushFileBuffers(out.get());
  out.reset();
  if (!ok) {
    if (error) *error = lastErrorText("cannot copy", from);
    DeleteFileW(longPathOf(to).c_str());
    return FsError::Other;
  }
  return FsError::None;
}

bool WinFileSystem::syncDirectory(const std::string&) {
  return true;
}

bool WinFileSystem::removeDirectory(const std::string& path) {
  return RemoveDirectoryW(longPathOf(path).c_str()) != 0;
}

bool WinFileSystem::makeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) return false;
  // The first piece that can be made: past "X:/" or "//server/share/".
  std::size_t pos = 0;
  if (path.size() >= 2 && path[1] == ':') {
    pos = 2;
  } else if (path.rfind("//", 0) == 0 || path.rfind("\\\\", 0) == 0) {
    const std::size_t server = path.find_first_of("/\\", 2);
    pos = server == std::string::npos ? path.size() : path.find_first_of("/\\", server + 1);
    if (pos == std::string::npos) pos = path.size();
  }
  while (pos < path.size()) {
    pos = path.find_first_of("/\\", pos + 1);
    const std::string partial = path.substr(0, pos);
    if (!CreateDirectoryW(longPathOf(partial).c_str(), nullptr)) {
      const DWORD code = GetLastError();
      if (code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED) {
        if (error) *error = "cannot create " + partial + ": " + winErrorText(code);
        return false;
      }
    }
    if (pos == std::string::npos) break;
  }
  if (!isDirectory(path)) {
    if (error) *error = "not a directory: " + path;
    return false;
  }
  return true;
}

WriteState WinFileSystem::writeState(const std::string& path) {
  Handle h(CreateFileW(longPathOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (h.valid()) return WriteState::Idle;
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return WriteState::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return WriteState::Missing;
    default:
      return WriteState::Unknown;
  }
}

}  // namespace marvena
