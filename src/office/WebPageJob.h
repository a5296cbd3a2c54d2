// The *.www job: a trigger file that opens the maker's home page in the
// default browser.
#pragma once

#include <string>

#include "spool/JobHandler.h"

namespace marvena {

class FileSystem;
class ProfileFile;
class UrlOpener;

inline constexpr const char* kDefaultHomePage = "http://www.marvena.lt/index.html";

// [Spool] HomePage, or the default when it is missing or empty.
std::string readHomePage(ProfileFile* settings);

class WebPageJob final : public JobHandler {
 public:
  WebPageJob(FileSystem& fs, UrlOpener& opener, std::string homePage);

  std::string extension() const override { return "www"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  UrlOpener& opener_;
  std::string homePage_;
};

}  // namespace marvena
