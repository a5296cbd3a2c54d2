#include "office/WebPageJob.h"

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "settings/ProfileFile.h"

namespace marvena {

std::string readHomePage(ProfileFile* settings) {
  const std::string page = settings ? settings->readString("Spool", "HomePage", "") : "";
  return page.empty() ? kDefaultHomePage : page;
}

WebPageJob::WebPageJob(FileSystem& fs, UrlOpener& opener, std::string homePage)
    : fs_(fs), opener_(opener), homePage_(std::move(homePage)) {}

JobResult WebPageJob::run(const JobFile& job) {
  // The file carries nothing; opening it only proves the DOS side is done
  // with it. A trigger that cannot be opened is dropped without the page.
  std::string error;
  if (!fs_.readFile(job.path, &error))
    return JobResult::done("could not be opened (" + error + "); dropped without opening the page");
  if (!opener_.open(homePage_, &error))
    return JobResult::done("the browser could not be started for " + homePage_ + ": " + error);
  return JobResult::done("opened " + homePage_);
}

}  // namespace marvena
