#include "maintenance/Maintenance.h"

#include "maintenance/Sha256.h"
#include "spool/TempNames.h"
#include "text/Paths.h"

namespace marvena {

namespace {

constexpr std::size_t kDigestListLimit = 1 << 20;
constexpr std::size_t kReadPiece = 1 << 20;
constexpr const char* kStopped = "Modifikavimas nutrauktas.";

}  // namespace

MaintenanceProcedure::MaintenanceProcedure(MaintenanceServices services, MaintenanceConfig config,
                                           MaintenanceObserver& observer)
    : s_(std::move(services)), config_(std::move(config)), observer_(observer) {}

bool MaintenanceProcedure::run(bool program, bool spool) {
  anyFailure_ = false;
  try {
    check(program, spool);
    if (program) runProgramKit();
    if (program && spool && stopped_) throw Failed{};
    if (spool) runSpoolKit();
  } catch (const Failed&) {
    anyFailure_ = true;
  }
  observer_.progress(0, 0);
  observer_.status("");
  observer_.log(anyFailure_ || stopped_ ? "maintenance ended early" : "maintenance done");
  return !anyFailure_ && !stopped_;
}

void MaintenanceProcedure::fail(const std::string& userText, const std::string& logLine) {
  observer_.log(logLine);
  if (!stopped_) observer_.error(userText);
  throw Failed{};
}

std::string MaintenanceProcedure::hostPath(const std::string& dosPath) const {
  return mapDosPath(dosPath, config_.driveRoot);
}

// Everything the settings must say is checked before anything is fetched.
void MaintenanceProcedure::check(bool program, bool spool) {
  std::string why;
  const std::optional<ServerAddress> server = parseServerAddress(config_.server, &why);
  if (!server)
    fail("Netinkamas serverio adresas \"" + config_.server +
             "\" (MARVENA.INI, [Modify] Server): jis turi b\u016Bti https:// arba http:// "
             "adresas, pvz. " +
             kDefaultServer + ".",
         "maintenance: unusable [Modify] Server \"" + config_.server + "\": " + why);
  server_ = *server;
  if (program && config_.commands.program.empty())
    fail(
        "Program\u0105 modifikuoti negalima: nenurodyta DOS komanda. Faile MARVENA.INI "
        "skyriuje [Modify] \u012Fra\u0161ykite rakt\u0105 DosCommand, pvz.\n"
        "DosCommand=dosemu -dumb -E \"CALL {bat}\"",
        "maintenance: no [Modify] DosCommand; the program kit cannot run");
  if (spool && config_.commands.spoolSetup.empty())
    fail(
        "Spool diegti negalima: nenurodyta diegimo komanda. Faile MARVENA.INI skyriuje "
        "[Modify] \u012Fra\u0161ykite rakt\u0105 SpoolSetup, pvz.\nSpoolSetup=" +
            std::string(kDefaultSpoolSetup),
        "maintenance: no [Modify] SpoolSetup; the spool kit cannot run");
  observer_.log("maintenance from " + server_.base + (program ? " (program kit)" : "") +
                (spool ? " (spool kit)" : ""));
}

void MaintenanceProcedure::prepareDirectory(Kit kit) {
  const std::string dir = hostPath(kitDirectory(kit));
  std::string error;
  if (!s_.fs.makeDirectories(dir, &error))
    fail("Nepavyko sukurti katalogo " + dir + ": " + error,
         "maintenance: cannot make " + dir + ": " + error);
  if (s_.processRunning) removeStaleTemporaryFiles(s_.fs, dir, s_.processRunning);
}

std::string MaintenanceProcedure::describe(const HttpError& e) const {
  if (e.status > 0) return "serveris atsak\u0117 HTTP " + std::to_string(e.status);
  if (e.timedOut) return "serveris neatsako (baig\u0117si laukimo laikas)";
  return "ry\u0161io klaida (" + e.message + ")";
}

// The list is fetched once per run, before the first kit file. Over https a
// server without one is trusted as it is; over plain http it is required.
void MaintenanceProcedure::loadDigests() {
  if (digestsLoaded_) return;
  const std::string url = kitFileUrl(server_, kDigestListName);
  std::string text;
  bool tooLong = false;
  HttpError error;
  const bool got = s_.http.get(
      url, config_.http,
      [&](std::string_view bytes) {
        if (text.size() + bytes.size() > kDigestListLimit) {
          tooLong = true;
          return false;
        }
        text.append(bytes);
        return true;
      },
      [this](std::int64_t, std::int64_t) { return !stopped_; }, &error);
  if (!got && stopped_) fail(kStopped, "maintenance stopped");
  if (!got && tooLong)
    fail(
        "Serverio kontrolini\u0173 sum\u0173 s\u0105ra\u0161as SHA256SUMS per didelis. "
        "Modifikavimas nutrauktas.",
        "maintenance: " + url + " is longer than " + std::to_string(kDigestListLimit) + " bytes");
  if (!got && error.status != 404 && error.status != 410)
    fail("Nepavyko parsisi\u0173sti kontrolini\u0173 sum\u0173 s\u0105ra\u0161o " + url + ": " +
             describe(error),
         "maintenance: GET " + url + " failed: " + error.message);
  digestsLoaded_ = true;
  if (!got) {
    if (server_.plainHttp)
      fail("Serveris " + server_.base +
               " pasiekiamas ne\u0161ifruotu ry\u0161iu (http), bet jame n\u0117ra "
               "kontrolini\u0173 sum\u0173 s\u0105ra\u0161o SHA256SUMS. Be jo atsi\u0173sti "
               "failai nepaleid\u017Eiami: modifikavimas nutrauktas.",
           "maintenance: plain http without " + url + "; refused");
    observer_.log("maintenance: the server publishes no digest list; files are not checked");
    return;
  }
  std::string why;
  digests_ = DigestList::parse(text, &why);
  if (!digests_)
    fail(
        "Serverio kontrolini\u0173 sum\u0173 s\u0105ra\u0161as SHA256SUMS neperskaitomas. "
        "Modifikavimas nutrauktas.",
        "maintenance: " + url + " is not a digest list: " + why);
  observer_.log("maintenance: digest list with " + std::to_string(digests_->size()) + " file(s)");
}

bool MaintenanceProcedure::verifyLocal(const KitFile& file, const std::string& path,
                                       const std::string& digest) {
  Sha256 hash;
  for (std::uint64_t offset = 0;;) {
    if (stopped_) fail(kStopped, "maintenance stopped");
    std::string error;
    const std::optional<std::string> piece = s_.fs.readChunk(path, offset, kReadPiece, &error);
    if (!piece) {
      observer_.log("maintenance: cannot read " + path + ": " + error);
      return false;
    }
    hash.update(*piece);
    offset += piece->size();
    if (piece->size() < kReadPiece) break;
  }
  const bool same = hash.hexDigest() == digest;
  if (!same) observer_.log("maintenance: local " + file.remoteName + " differs from the list");
  return same;
}

void MaintenanceProcedure::downloadIfNewer(const KitFile& file) {
  if (stopped_) fail(kStopped, "maintenance stopped");
  const std::string path = hostPath(file.localPath);
  const std::string url = kitFileUrl(server_, file.remoteName);
  LocalCopy local;
  if (const std::optional<DirEntry> e = s_.fs.stat(path); e && e->regular) {
    local.exists = true;
    local.modifiedSeconds = e->mtimeNs / 1000000000;
    local.size = static_cast<std::int64_t>(e->size);
  }

  HttpHead head;
  HttpError error;
  if (!s_.http.head(url, config_.http, &head, &error))
    fail("Nepavyko gauti failo " + file.remoteName + " duomen\u0173 i\u0161 serverio (" + url +
             "): " + describe(error),
         "maintenance: HEAD " + url + " failed: " + error.message);
  loadDigests();
  const std::string* digest = nullptr;
  if (digests_) {
    digest = digests_->find(file.remoteName);
    if (!digest)
      fail("Failo " + file.remoteName +
               " n\u0117ra serverio kontrolini\u0173 sum\u0173 s\u0105ra\u0161e SHA256SUMS. "
               "Modifikavimas nutrauktas, niekas nepaleista.",
           "maintenance: " + file.remoteName + " is not in the digest list");
  }
  if (localCopyCurrent(local, head) && (!digest || verifyLocal(file, path, *digest))) {
    observer_.log("maintenance: " + path + " is current");
    return;
  }

  observer_.status(copyingStatus(file.remoteName));
  observer_.progress(0, 0);
  std::string saveError;
  std::unique_ptr<AtomicFile> out = s_.fs.createAtomic(path, &saveError);
  if (!out)
    fail("Nepavyko \u012Fra\u0161yti failo " + path + ": " + saveError,
         "maintenance: cannot save " + path + ": " + saveError);
  Sha256 hash;
  std::int64_t received = 0;
  const bool got = s_.http.get(
      url, config_.http,
      [&](std::string_view bytes) {
        hash.update(bytes);
        received += static_cast<std::int64_t>(bytes.size());
        return out->write(bytes);
      },
      [this](std::int64_t done, std::int64_t total) {
        observer_.progress(done, total < 0 ? 0 : total);
        return !stopped_;
      },
      &error);
  observer_.progress(0, 0);
  if (!got && stopped_) fail(kStopped, "maintenance stopped");
  if (!got && error.sinkFailed) {
    out->commit(&saveError);  // says why the write failed; the file is dropped
    fail("Nepavyko \u012Fra\u0161yti failo " + path + ": " + saveError,
         "maintenance: cannot save " + path + ": " + saveError);
  }
  if (!got)
    fail(
        "Nepavyko parsisi\u0173sti failo " + file.remoteName + " (" + url + "): " + describe(error),
        "maintenance: GET " + url + " failed: " + error.message);
  if (digest && hash.hexDigest() != *digest)
    fail("Failo " + file.remoteName +
             " kontrolin\u0117 suma nesutampa su nurodyta serverio s\u0105ra\u0161e SHA256SUMS. "
             "Failas gali b\u016Bti sugadintas ar pakeistas, tod\u0117l modifikavimas "
             "nutrauktas ir niekas nepaleista.",
         "maintenance: " + file.remoteName + " does not match its digest; not saved");
  if (!out->commit(&saveError))
    fail("Nepavyko \u012Fra\u0161yti failo " + path + ": " + saveError,
         "maintenance: cannot save " + path + ": " + saveError);
  if (head.lastModified >= 0 && !s_.fileTimes.setModified(path, head.lastModified))
    observer_.log("maintenance: cannot set the time of " + path);
  observer_.log("maintenance: fetched " + url + " (" + std::to_string(received) + " bytes)");
}

void MaintenanceProcedure::runProgramKit() {
  prepareDirectory(Kit::Program);
  for (const KitFile& f : kitFiles(Kit::Program)) downloadIfNewer(f);
  observer_.status(kModifyingStatus);
  const std::string dir = hostPath(kitDirectory(Kit::Program));
  const int code =
      s_.processes.runAndWait(config_.commands.program, dir, [this] { return bool(stopped_); });
  if (code == ProcessRunner::kNotWaited) fail(kStopped, "maintenance stopped");
  if (code == ProcessRunner::kNotStarted) {
    // The spool kit may still be wanted; the failure is reported, not hidden.
    anyFailure_ = true;
    observer_.log("maintenance: cannot start " + config_.commands.program);
    observer_.error("Nepavyko paleisti komandos " + config_.commands.program +
                    " (MARVENA.INI, [Modify] DosCommand).");
  } else {
    observer_.log("maintenance: the modification batch ended with code " + std::to_string(code));
  }
  observer_.kitDone(Kit::Program);
}

void MaintenanceProcedure::runSpoolKit() {
  prepareDirectory(Kit::Spool);
  for (const KitFile& f : kitFiles(Kit::Spool)) downloadIfNewer(f);
  const std::string dir = hostPath(kitDirectory(Kit::Spool));
  const auto stop = [this] { return bool(stopped_); };
  observer_.status(kInstallingStatus);
  if (config_.commands.spoolUnpack.empty()) {
    const std::string archive = hostPath(kitFiles(Kit::Spool).front().localPath);
    std::string error;
    // A half-unpacked kit is not installed.
    if (!s_.unpacker.unpack(archive, dir, &error))
      fail("Nepavyko i\u0161pakuoti SPOOL.ZIP: " + error,
           "maintenance: cannot unpack " + archive + ": " + error);
  } else {
    const int code = s_.processes.runAndWait(config_.commands.spoolUnpack, dir, stop);
    if (code == ProcessRunner::kNotWaited) fail(kStopped, "maintenance stopped");
    observer_.log("maintenance: the unpacker ended with code " + std::to_string(code));
  }
  observer_.status(kInstallingStatus);
  const int code = s_.processes.runAndWait(config_.commands.spoolSetup, dir, stop);
  if (code == ProcessRunner::kNotWaited) fail(kStopped, "maintenance stopped");
  if (code == ProcessRunner::kNotStarted)
    fail("Nepavyko paleisti Spool diegimo programos " + config_.commands.spoolSetup + ".",
         "maintenance: cannot start " + config_.commands.spoolSetup);
  s_.processes.waitForLeftInstaller(stop);
  if (code != 0)
    fail("Spool diegimo programa baig\u0117 darb\u0105 su klaidos kodu " + std::to_string(code) +
             ".",
         "maintenance: the spool setup ended with code " + std::to_string(code));
  observer_.log("maintenance: the spool setup ended with code 0");
  observer_.kitDone(Kit::Spool);
}

}  // namespace marvena
