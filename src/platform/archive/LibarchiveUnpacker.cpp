#include "platform/archive/LibarchiveUnpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace marvena {

namespace {

struct ReaderDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;
using Writer = std::unique_ptr<archive, WriterDeleter>;

Reader openArchive(const std::string& path, std::string* error) {
  Reader r(archive_read_new());
  archive_read_support_format_all(r.get());
  archive_read_support_filter_all(r.get());
  if (archive_read_open_filename(r.get(), path.c_str(), 1 << 16) != ARCHIVE_OK) {
    if (error) *error = "cannot open " + path + ": " + archive_error_string(r.get());
    return nullptr;
  }
  return r;
}

// A name that stays inside the target: relative, no "..", no empty name.
bool safeName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos)
    return false;
  while (!name.empty()) {
    const std::size_t slash = name.find('/');
    const std::string_view part = name.substr(0, slash);
    if (part == "..") return false;
    name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
  }
  return true;
}

// Every entry is looked at first, so a hostile archive writes nothing.
bool checkEntries(const std::string& path, std::string* error) {
  Reader r = openArchive(path, error);
  if (!r) return false;
  archive_entry* entry = nullptr;
  int rc;
  int count = 0;
  while ((rc = archive_read_next_header(r.get(), &entry)) == ARCHIVE_OK) {
    ++count;
    const char* name = archive_entry_pathname(entry);
    const auto type = archive_entry_filetype(entry);
    if (!name || !safeName(name)) {
      if (error) *error = std::string("unsafe entry name: ") + (name ? name : "(none)");
      return false;
    }
    if (type != AE_IFREG && type != AE_IFDIR) {
      if (error) *error = std::string("entry is neither a file nor a directory: ") + name;
      return false;
    }
    if (archive_entry_hardlink(entry)) {
      if (error) *error = std::string("entry is a link: ") + name;
      return false;
    }
    if (archive_read_data_skip(r.get()) != ARCHIVE_OK) break;
  }
  if (rc != ARCHIVE_EOF) {
    if (error) *error = "damaged archive " + path + ": " + archive_error_string(r.get());
    return false;
  }
  if (count == 0) {
    if (error) *error = "empty or unreadable archive " + path;
    return false;
  }
  return true;
}

}  // namespace

bool LibarchiveUnpacker::unpack(const std::string& path, const std::string& directory,
                                std::string* error) {
  if (!checkEntries(path, error)) return false;
  Reader r = openArchive(path, error);
  if (!r) return false;
  Writer w(archive_write_disk_new());
  archive_write_disk_set_options(w.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                              ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                              ARCHIVE_EXTRACT_SECURE_SYMLINKS);
  archive_write_disk_set_standard_lookup(w.get());
  // The names checked above are relative; they are put under the real
  // directory, whose own links are the user's choice, so that the link check
  // looks only at what the archive would make.
  char* real = ::realpath(directory.c_str(), nullptr);
  if (!real) {
    if (error) *error = "no directory " + directory;
    return false;
  }
  const std::string base = real;
  std::free(real);
  archive_entry* entry = nullptr;
  int rc;
  while ((rc = archive_read_next_header(r.get(), &entry)) == ARCHIVE_OK) {
    const std::string name = archive_entry_pathname(entry);
    archive_entry_set_pathname(entry, (base + "/" + name).c_str());
    const bool dir = archive_entry_filetype(entry) == AE_IFDIR;
    const mode_t exec = archive_entry_perm(entry) & 0100;
    archive_entry_set_perm(entry, dir ? 0755 : (exec ? 0755 : 0644));
    if (archive_write_header(w.get(), entry) < ARCHIVE_WARN) {
      if (error) *error = "cannot write " + name + ": " + archive_error_string(w.get());
      return false;
    }
    if (!dir) {
      const void* block = nullptr;
      std::size_t size = 0;
      la_int64_t offset = 0;
      int d;
      while ((d = archive_read_data_block(r.get(), &block, &size, &offset)) == ARCHIVE_OK) {
        if (archive_write_data_block(w.get(), block, size, offset) < ARCHIVE_WARN) {
          if (error) *error = "cannot write " + name + ": " + archive_error_string(w.get());
          return false;
        }
      }
      if (d != ARCHIVE_EOF) {
        if (error) *error = "damaged entry " + name + ": " + archive_error_string(r.get());
        return false;
      }
    }
    if (archive_write_finish_entry(w.get()) < ARCHIVE_WARN) {
      if (error) *error = "cannot finish " + name + ": " + archive_error_string(w.get());
      return false;
    }
  }
  if (rc != ARCHIVE_EOF) {
    if (error) *error = "damaged archive " + path + ": " + archive_error_string(r.get());
    return false;
  }
  if (archive_write_close(w.get()) != ARCHIVE_OK) {
    if (error) *error = std::string("cannot finish unpacking: ") + archive_error_string(w.get());
    return false;
  }
  return true;
}

}  // namespace marvena
