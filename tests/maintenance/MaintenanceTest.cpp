// The maintenance procedure against a stand-in server, file system and
// programs: the order of the steps, when files are fetched, how failures
// stop it, and what the digest list guards.
#include <gtest/gtest.h>

#include "maintenance/Maintenance.h"
#include "maintenance/Sha256.h"
#include "platform/fake/Fakes.h"
#include "platform/fake/MaintenanceFakes.h"

namespace marvena {
namespace {

constexpr std::int64_t kServerTime = 1'765'000'000;
constexpr std::int64_t kNs = 1'000'000'000;
const char* const kProgramCommand = "dosemu -E \"CALL \\MARVENA\\INSTALL\\modify.bat\"";

class RecordingObserver final : public MaintenanceObserver {
 public:
  std::vector<std::string> events;  // "status ...", "error ...", "done program|spool"
  std::vector<std::string> logs;
  int progressCalls = 0;
  std::int64_t lastTotal = -1;
  std::function<void()> onProgress;

  void status(const std::string& text) override { events.push_back("status " + text); }
  void progress(std::int64_t, std::int64_t total) override {
    ++progressCalls;
    lastTotal = total;
    if (onProgress) onProgress();
  }
  void error(const std::string& text) override { events.push_back("error " + text); }
  void log(const std::string& line) override { logs.push_back(line); }
  void kitDone(Kit kit) override {
    events.push_back(kit == Kit::Program ? "done program" : "done spool");
  }
  std::vector<std::string> errors() const {
    std::vector<std::string> out;
    for (const std::string& e : events)
      if (e.rfind("error ", 0) == 0) out.push_back(e.substr(6));
    return out;
  }
};

struct Rig {
  FakeFileSystem fs;
  FakeHttp http;
  FakeFileTimes times{fs};
  FakeProcessRunner processes;
  FakeUnpacker unpacker;
  RecordingObserver observer;
  MaintenanceConfig config{"https://kits.test",
                           "/drive",
                           hostKitCommands("dosemu -E \"CALL {bat}\"", "/bin/sh SETUP.SH"),
                           {}};
  std::string digests;
  std::unique_ptr<MaintenanceProcedure> procedure;

  std::string url(const std::string& name) const { return config.server + "/FILES/" + name; }
  // A kit file on the server, listed in the digest list.
  void serve(const std::string& name, const std::string& body, std::int64_t time = kServerTime) {
    http.resources[url(name)] = {body, time};
    digests += sha256Hex(body) + "  " + name + "\n";
    http.resources[url("SHA256SUMS")] = {digests, time};
  }
  void serveAll() {
    for (const char* name : {"MODIFY", "PKUNZIP", "MARVENA1.ZIP", "MARVENA2.ZIP", "SPOOL.ZIP"})
      serve(name, std::string("contents of ") + name);
  }
  bool run(bool program, bool spool) {
    procedure = std::make_unique<MaintenanceProcedure>(
        MaintenanceServices{http, fs, times, processes, unpacker, {}}, config, observer);
    return procedure->run(program, spool);
  }
  std::vector<std::string> gets() const {
    std::vector<std::string> out;
    for (const std::string& r : http.requests)
      if (r.rfind("GET ", 0) == 0) out.push_back(r.substr(4 + url("").size()));
    return out;
  }
};

TEST(MaintenanceTest, BothKitsProgramFirstThenSpool) {
  Rig rig;
  rig.serveAll();
  ASSERT_TRUE(rig.run(true, true));
  EXPECT_EQ(rig.observer.events,
            (std::vector<std::string>{
                "status Kopijuojam MODIFY", "status Kopijuojam PKUNZIP",
                "status Kopijuojam MARVENA1.ZIP", "status Kopijuojam MARVENA2.ZIP",
                "status Modifikuojam Marvena ...", "done program", "status Kopijuojam SPOOL.ZIP",
                "status Kopijuojam PKUNZIP", "status Instaliuojam Spool ...",
                "status Instaliuojam Spool ...", "done spool", "status "}));
  EXPECT_EQ(rig.processes.runs,
            (std::vector<std::string>{std::string(kProgramCommand) + " @ /drive/MARVENA/INSTALL",
                                      "/bin/sh SETUP.SH @ /drive/MARVENA/INSTALL/SPOOL"}));
  EXPECT_EQ(rig.unpacker.unpacked,
            (std::vector<std::string>{"/drive/MARVENA/INSTALL/SPOOL/SPOOL.ZIP -> "
                                      "/drive/MARVENA/INSTALL/SPOOL"}));
  EXPECT_EQ(rig.processes.installerWaits, 1);
  // The digest list is fetched once, before the first kit file.
  EXPECT_EQ(rig.gets(), (std::vector<std::string>{"SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP",
                                                  "MARVENA2.ZIP", "SPOOL.ZIP", "PKUNZIP"}));
  EXPECT_EQ(rig.fs.files["/drive/MARVENA/INSTALL/MODIFY.BAT"], "contents of MODIFY");
  EXPECT_EQ(rig.fs.files["/drive/MARVENA/INSTALL/SPOOL/PKUNZIP.EXE"], "contents of PKUNZIP");
  // The saved file carries the server's time.
  EXPECT_EQ(rig.fs.times["/drive/MARVENA/INSTALL/MARVENA2.ZIP"], kServerTime * kNs);
  EXPECT_GT(rig.observer.progressCalls, 0);
  EXPECT_EQ(rig.observer.lastTotal, 0);  // the panel is empty again
}

TEST(MaintenanceTest, TenMinutesOlderIsCurrentTwentyMinutesOlderIsFetched) {
  Rig rig;
  rig.serveAll();
  const auto put = [&](const char* path, const char* name, std::int64_t age) {
    rig.fs.put(path, std::string("contents of ") + name);
    rig.fs.times[path] = (kServerTime - age) * kNs;
  };
  put("/drive/MARVENA/INSTALL/MODIFY.BAT", "MODIFY", 600);
  put("/drive/MARVENA/INSTALL/PKUNZIP.EXE", "PKUNZIP", 1200);
  put("/drive/MARVENA/INSTALL/MARVENA1.ZIP", "MARVENA1.ZIP", 0);
  // MARVENA2.ZIP is missing.
  ASSERT_TRUE(rig.run(true, false));
  EXPECT_EQ(rig.gets(), (std::vector<std::string>{"SHA256SUMS", "PKUNZIP", "MARVENA2.ZIP"}));
  EXPECT_EQ(rig.fs.times["/drive/MARVENA/INSTALL/PKUNZIP.EXE"], kServerTime * kNs);
  EXPECT_EQ(rig.fs.times["/drive/MARVENA/INSTALL/MODIFY.BAT"], (kServerTime - 600) * kNs);
}

TEST(MaintenanceTest, HeadErrorOnModifyStopsBeforeAnythingRuns) {
  Rig rig;
  rig.serveAll();
  rig.http.resources[rig.url("MODIFY")].status = 500;
  EXPECT_FALSE(rig.run(true, true));
  EXPECT_TRUE(rig.processes.runs.empty());
  EXPECT_TRUE(rig.unpacker.unpacked.empty());
  ASSERT_EQ(rig.observer.errors().size(), 1u);
  EXPECT_NE(rig.observer.errors()[0].find("MODIFY"), std::string::npos);
  EXPECT_NE(rig.observer.errors()[0].find("HTTP 500"), std::string::npos);
  EXPECT_EQ(rig.observer.events.back(), "status ");  // the closing step ran
  EXPECT_EQ(rig.http.requests, (std::vector<std::string>{"HEAD " + rig.url("MODIFY")}));
}

TEST(MaintenanceTest, FailedGetStopsTheRemainingStepsAndKeepsTheLocalCopy) {
  Rig rig;
  rig.serveAll();
  rig.fs.put("/drive/MARVENA/INSTALL/MARVENA1.ZIP", "an older good copy");
  rig.http.resources[rig.url("MARVENA1.ZIP")].getStatus = 503;
  EXPECT_FALSE(rig.run(true, true));
  EXPECT_EQ(rig.gets(),
            (std::vector<std::string>{"SHA256SUMS", "MODIFY", "PKUNZIP", "MARVENA1.ZIP"}));
  EXPECT_TRUE(rig.processes.runs.empty());
  EXPECT_EQ(rig.observer.errors().size(), 1u);
  EXPECT_EQ(rig.fs.files["/drive/MARVENA/INSTALL/MARVENA1.ZIP"], "an older good copy");
  EXPECT_EQ(std::count(rig.observer.events.begin(), rig.observer.events.end(), "done program"), 0);
}

TEST(MaintenanceTest, WrongDigestStopsBeforeAnythingRunsAndKeepsTheLocalCopy) {
  Rig rig;
  rig.serveAll();
  rig.fs.put("/drive/MARVENA/INSTALL/MARVENA2.ZIP", "an older good copy");
  rig.http.resources[rig.url("MARVENA2.ZIP")].body = "tampered with";
  EXPECT_FALSE(rig.run(true, false));
  EXPECT_TRUE(rig.processes.runs.empty());
  ASSERT_EQ(rig.observer.errors().size(), 1u);
  EXPECT_NE(rig.observer.errors()[0].find("MARVENA2.ZIP kontrolin\u0117 suma nesutampa"),
            std::string::npos);
  EXPECT_EQ(rig.fs.files["/drive/MARVENA/INSTALL/MARVENA2.ZIP"], "an older good copy");
}

TEST(MaintenanceTest, DigestListGuardsCurrentCopiesAndUnlistedFiles) {
  {
    // A local copy that looks current by time and size but differs from
    // the list is fetched anew.
    Rig rig;
    rig.serveAll();
    const std::string path = "/drive/MARVENA/INSTALL/MODIFY.BAT";
    rig.fs.put(path, std::string("contents of MODIFX"));
    rig.fs.times[path] = kServerTime * kNs;
    ASSERT_TRUE(rig.run(true, false));
    EXPECT_EQ(rig.fs.files[path], "contents of MODIFY");
  }
  {
    Rig rig;
    rig.serve("MODIFY", "m");
    rig.http.resources[rig.url("PKUNZIP")] = {"p", kServerTime};  // not listed
    EXPECT_FALSE(rig.run(true, false));
    EXPECT_TRUE(rig.processes.runs.empty());
    ASSERT_EQ(rig.observer.errors().size(), 1u);
    EXPECT_NE(rig.observer.errors()[0].find("PKUNZIP n\u0117ra"), std::string::npos);
  }
  {
    Rig rig;
    rig.serveAll();
    rig.http.resources[rig.url("SHA256SUMS")].body = "<html>moved</html>";
    EXPECT_FALSE(rig.run(true, false));
    EXPECT_EQ(rig.gets(), std::vector<std::string>{"SHA256SUMS"});
    EXPECT_EQ(rig.observer.errors().size(), 1u);
  }
}

TEST(MaintenanceTest, PlainHttpNeedsTheDigestListHttpsDoesNot) {
  {
    Rig rig;
    rig.config.server = "http://kits.test";
    rig.serveAll();
    rig.http.resources.erase(rig.url("SHA256SUMS"));
    EXPECT_FALSE(rig.run(true, false));
    EXPECT_EQ(rig.gets(), std::vector<std::string>{"SHA256SUMS"});
    EXPECT_TRUE(rig.processes.runs.empty());
    ASSERT_EQ(rig.observer.errors().size(), 1u);
    EXPECT_NE(rig.observer.errors()[0].find("SHA256SUMS"), std::string::npos);
  }
  {
    Rig rig;
    rig.config.server = "http://kits.test";
    rig.serveAll();
    EXPECT_TRUE(rig.run(true, false));
  }
  {
    Rig rig;
    rig.serveAll();
    rig.http.resources.erase(rig.url("SHA256SUMS"));
    EXPECT_TRUE(rig.run(true, false));
    EXPECT_EQ(rig.processes.runs.size(), 1u);
  }
  {
    // The list exists but cannot be fetched: that is a failed GET.
    Rig rig;
    rig.serveAll();
    rig.http.resources[rig.url("SHA256SUMS")].status = 502;
    EXPECT_FALSE(rig.run(true, false));
    EXPECT_TRUE(rig.processes.runs.empty());
  }
}

TEST(MaintenanceTest, MissingSettingsAreExplainedBeforeAnythingIsFetched) {
  struct Case {
    std::string server, dos, setup;
    bool program, spool;
    const char* mentions;
  };
  const Case cases[] = {
      {"https://kits.test", "", "/bin/sh SETUP.SH", true, false, "DosCommand"},
      {"https://kits.test", "", "/bin/sh SETUP.SH", false, true, nullptr},
      {"https://kits.test", "dos", "", false, true, "SpoolSetup"},
      {"ftp://kits.test", "dos", "/bin/sh SETUP.SH", true, false, "[Modify] Server"},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.config.server = c.server;
    rig.config.commands = hostKitCommands(c.dos, c.setup);
    rig.serveAll();
    const bool ok = rig.run(c.program, c.spool);
    if (!c.mentions) {
      EXPECT_TRUE(ok);
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(rig.http.requests.empty()) << c.mentions;
    ASSERT_EQ(rig.observer.errors().size(), 1u);
    EXPECT_NE(rig.observer.errors()[0].find(c.mentions), std::string::npos);
  }
}

TEST(MaintenanceTest, CommandsThatFailAreReported) {
  {
    // The batch file cannot start: reported, and the spool kit still runs.
    Rig rig;
    rig.serveAll();
    rig.processes.results[kProgramCommand] = ProcessRunner::kNotStarted;
    EXPECT_FALSE(rig.run(true, true));
    EXPECT_EQ(rig.processes.runs.size(), 2u);
    EXPECT_EQ(rig.observer.errors().size(), 1u);
  }
  {
    // Its exit code, like the unpacker's, is not examined.
    Rig rig;
    rig.serveAll();
    rig.processes.results[kProgramCommand] = 3;
    EXPECT_TRUE(rig.run(true, false));
  }
  {
    Rig rig;
    rig.serveAll();
    rig.processes.results["/bin/sh SETUP.SH"] = ProcessRunner::kNotStarted;
    EXPECT_FALSE(rig.run(false, true));
    EXPECT_EQ(rig.processes.installerWaits, 0);
    EXPECT_EQ(rig.observer.errors().size(), 1u);
  }
  {
    Rig rig;
    rig.serveAll();
    rig.processes.results["/bin/sh SETUP.SH"] = 1;
    EXPECT_FALSE(rig.run(false, true));
    EXPECT_EQ(std::count(rig.observer.events.begin(), rig.observer.events.end(), "done spool"), 0);
  }
  {
    // A damaged archive is not half installed.
    Rig rig;
    rig.serveAll();
    rig.unpacker.fail = true;
    EXPECT_FALSE(rig.run(false, true));
    EXPECT_TRUE(rig.processes.runs.empty());
    EXPECT_EQ(rig.observer.errors().size(), 1u);
  }
}

TEST(MaintenanceTest, AFileThatCannotBeSavedStopsTheProcedure) {
  Rig rig;
  rig.serveAll();
  rig.fs.dirs.insert("/drive/MARVENA/INSTALL");
  rig.fs.readOnlyDirs.insert("/drive/MARVENA/INSTALL");
  EXPECT_FALSE(rig.run(true, false));
  EXPECT_EQ(rig.gets(), (std::vector<std::string>{"SHA256SUMS", "MODIFY"}));
  EXPECT_TRUE(rig.processes.runs.empty());
  ASSERT_EQ(rig.observer.errors().size(), 1u);
  EXPECT_NE(rig.observer.errors()[0].find("\u012Fra\u0161yti"), std::string::npos);
}

TEST(MaintenanceTest, StoppingEndsQuietly) {
  Rig rig;
  rig.serve("MODIFY", std::string(100000, 'm'));
  rig.http.piece = 1000;
  rig.observer.onProgress = [&] {
    if (rig.procedure && rig.observer.progressCalls > 5) rig.procedure->stop();
  };
  EXPECT_FALSE(rig.run(true, true));
  EXPECT_TRUE(rig.observer.errors().empty());
  EXPECT_TRUE(rig.processes.runs.empty());
  EXPECT_FALSE(rig.fs.files.count("/drive/MARVENA/INSTALL/MODIFY.BAT"));
  EXPECT_EQ(rig.observer.events.back(), "status ");
}

}  // namespace
}  // namespace marvena
