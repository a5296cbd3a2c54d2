// One kind of job: the dispatcher finds its files, the handler does the work.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace marvena {

struct JobFile {
  JobFile() = default;
  JobFile(std::string path, std::string name, DirEntry entry, std::string dir = {})
      : path(std::move(path)),
        name(std::move(name)),
        entry(std::move(entry)),
        dir(std::move(dir)) {}

  std::string path;  // where the job is read from: the file the dispatcher claimed
  std::string name;  // bare name, as the DOS program wrote it
  DirEntry entry;    // the claimed file
  std::string dir;   // where the job was dropped; results go here (empty: beside `path`)

  std::string directory() const {
    if (!dir.empty()) return dir;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
  }
  // The name the job had in its directory; results are named after it.
  std::string droppedPath() const { return directory() + "/" + name; }
};

struct JobResult {
  enum class Kind {
    Done,       // finished; the dispatcher deletes the job file if it is still there
    NotReady,   // could not be opened or read yet; stays silently for a later pass
    Failed,     // given up; the job file goes to the FAILED folder and the error is shown
    Kept,       // failed but the file stays (e.g. the server is down); shown once per version
    Untouched,  // this kind of job is not handled yet; the file stays
  };
  Kind kind = Kind::Done;
  std::string message;  // for the user (Lithuanian), with Failed and Kept
  std::string detail;   // for the log (English)

  static JobResult done(std::string detail = {}) { return {Kind::Done, {}, std::move(detail)}; }
  static JobResult notReady(std::string detail) { return {Kind::NotReady, {}, std::move(detail)}; }
  static JobResult failed(std::string message, std::string detail) {
    return {Kind::Failed, std::move(message), std::move(detail)};
  }
  static JobResult kept(std::string message, std::string detail) {
    return {Kind::Kept, std::move(message), std::move(detail)};
  }
};

class JobHandler {
 public:
  virtual ~JobHandler() = default;
  // Extension without the dot, e.g. "txt"; matched without regard to case.
  virtual std::string extension() const = 0;
  // The text print job takes every pending file in one pass; the others one.
  virtual bool takesAll() const { return false; }
  // A kind whose work is not built yet: its files are never taken.
  virtual bool pending() const { return false; }
  virtual JobResult run(const JobFile& job) = 0;
};

// A job kind whose work is not built yet: its files are left alone.
class PendingHandler final : public JobHandler {
 public:
  explicit PendingHandler(std::string extension) : extension_(std::move(extension)) {}
  std::string extension() const override { return extension_; }
  bool pending() const override { return true; }
  JobResult run(const JobFile&) override {
    return {JobResult::Kind::Untouched, {}, "this job kind is not handled yet; file left in place"};
  }

 private:
  std::string extension_;
};

}  // namespace marvena
