#include "platform/fake/MaintenanceFakes.h"

#include <algorithm>

#include "platform/fake/Fakes.h"

namespace marvena {

bool FakeHttp::head(const std::string& url, const HttpOptions&, HttpHead* out, HttpError* error) {
  requests.push_back("HEAD " + url);
  const auto it = resources.find(url);
  const int status = it == resources.end() ? 404 : it->second.status;
  if (status / 100 != 2) {
    error->status = status;
    error->message = "HTTP " + std::to_string(status);
    return false;
  }
  out->lastModified = it->second.lastModified;
  out->contentLength =
      it->second.announceLength ? static_cast<std::int64_t>(it->second.body.size()) : -1;
  return true;
}

bool FakeHttp::get(const std::string& url, const HttpOptions&, const Sink& sink,
                   const Progress& progress, HttpError* error) {
  requests.push_back("GET " + url);
  const auto it = resources.find(url);
  int status = it == resources.end() ? 404 : it->second.status;
  if (it != resources.end() && it->second.getStatus != 0) status = it->second.getStatus;
  if (status / 100 != 2) {
    error->status = status;
    error->message = "HTTP " + std::to_string(status);
    return false;
  }
  const std::string& body = it->second.body;
  const auto total = static_cast<std::int64_t>(body.size());
  for (std::size_t at = 0; at < body.size(); at += piece) {
    if (!sink(std::string_view(body).substr(at, piece))) {
      error->sinkFailed = true;
      error->message = "the sink refused the data";
      return false;
    }
    if (progress &&
        !progress(static_cast<std::int64_t>(std::min(at + piece, body.size())), total)) {
      error->cancelled = true;
      error->message = "cancelled";
      return false;
    }
  }
  return true;
}

int FakeProcessRunner::runAndWait(const std::string& commandLine,
                                  const std::string& workingDirectory, const StopWaiting& stop) {
  runs.push_back(commandLine + " @ " + workingDirectory);
  if (stop && stop()) return kNotWaited;
  const auto it = results.find(commandLine);
  return it == results.end() ? 0 : it->second;
}

bool FakeUnpacker::unpack(const std::string& archive, const std::string& directory,
                          std::string* error) {
  unpacked.push_back(archive + " -> " + directory);
  if (fail && error) *error = "damaged archive";
  return !fail;
}

bool FakeFileTimes::setModified(const std::string& path, std::int64_t seconds) {
  if (!fs_.files.count(path)) return false;
  fs_.times[path] = seconds * 1000000000;
  return true;
}

}  // namespace marvena
