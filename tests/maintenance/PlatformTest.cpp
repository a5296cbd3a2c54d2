// The maintenance's other platform parts with the real thing: programs run
// as children, archives unpacked onto disk, file times set.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "KitServer.h"
#include "platform/archive/LibarchiveUnpacker.h"
#include "platform/posix/PosixFileTimes.h"
#include "platform/posix/PosixProcess.h"

namespace marvena {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SplitCommandWordsTest, BlanksQuotesAndDosPaths) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"a b  c", {"a", "b", "c"}},
      {"dosemu -E \"CALL \\MARVENA\\INSTALL\\modify.bat\"",
       {"dosemu", "-E", "CALL \\MARVENA\\INSTALL\\modify.bat"}},
      {"sh -c 'echo \"x y\"'", {"sh", "-c", "echo \"x y\""}},
      {"a\"b c\"d", {"ab cd"}},
      {"x \"\"", {"x", ""}},
      {"  ", {}},
      {"open \"quote", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitCommandWords(c.line), c.words) << c.line;
}

TEST(PosixProcessTest, ExitCodesWorkingDirectoryAndCommandsThatCannotStart) {
  TempDir dir;
  PosixProcessRunner runner;
  EXPECT_EQ(runner.runAndWait("sh -c 'exit 7'", dir.path, {}), 7);
  EXPECT_EQ(runner.runAndWait("/bin/true", dir.path, {}), 0);
  EXPECT_EQ(runner.runAndWait("sh -c 'pwd > where'", dir.path, {}), 0);
  EXPECT_EQ(Read(dir.path + "/where"), dir.path + "\n");
  EXPECT_EQ(runner.runAndWait("sh -c 'kill -9 $$'", dir.path, {}), 128 + 9);
  // No shell in between: the words reach the program as they are.
  EXPECT_EQ(runner.runAndWait("sh -c 'printf %s \"$1\" > arg' x \"a;b $HOME\"", dir.path, {}), 0);
  EXPECT_EQ(Read(dir.path + "/arg"), "a;b $HOME");

  std::ofstream(dir.path + "/not-executable") << "#!/bin/sh\n";
  const int notStarted = ProcessRunner::kNotStarted;
  EXPECT_EQ(runner.runAndWait("no-such-program-here", dir.path, {}), notStarted);
  EXPECT_EQ(runner.runAndWait("./not-executable", dir.path, {}), notStarted);
  EXPECT_EQ(runner.runAndWait("/bin/true", dir.path + "/missing", {}), notStarted);
  EXPECT_EQ(runner.runAndWait("", dir.path, {}), notStarted);
  EXPECT_EQ(runner.runAndWait("sh -c 'unbalanced", dir.path, {}), notStarted);
}

TEST(PosixProcessTest, ChildGetsNoOtherDescriptorAndTheWaitCanBeGivenUp) {
  TempDir dir;
  const int inherited = ::open("/dev/null", O_RDONLY);  // without close-on-exec
  ASSERT_GE(inherited, 3);
  PosixProcessRunner runner;
  EXPECT_EQ(runner.runAndWait("sh -c 'ls /proc/$$/fd > fds'", dir.path, {}), 0);
  std::istringstream fds(Read(dir.path + "/fds"));
  for (std::string fd; fds >> fd;) EXPECT_NE(fd, std::to_string(inherited));
  ::close(inherited);

  const auto start = std::chrono::steady_clock::now();
  int asked = 0;
  // The child keeps no stream of the test's, so nothing waits for it after.
  EXPECT_EQ(runner.runAndWait("sh -c 'exec sleep 30 >/dev/null 2>&1 </dev/null'", dir.path,
                              [&] { return ++asked > 3; }),
            ProcessRunner::kNotWaited);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A zip of `entries` (name -> contents; a name ending in "/" is a
// directory, "@target" as contents makes a symbolic link).
void makeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& entries,
             bool executable = false) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  archive_write_open_filename(a, path.c_str());
  for (const auto& [name, bytes] : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    if (!name.empty() && name.back() == '/') {
      archive_entry_set_filetype(e, AE_IFDIR);
      archive_entry_set_perm(e, 0755);
      archive_write_header(a, e);
    } else if (!bytes.empty() && bytes[0] == '@') {
      archive_entry_set_filetype(e, AE_IFLNK);
      archive_entry_set_symlink(e, bytes.c_str() + 1);
      archive_entry_set_perm(e, 0777);
      archive_write_header(a, e);
    } else {
      archive_entry_set_filetype(e, AE_IFREG);
      archive_entry_set_perm(e, executable ? 04755 : 0644);
      archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
      archive_write_header(a, e);
      archive_write_data(a, bytes.data(), bytes.size());
    }
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
}

TEST(LibarchiveUnpackerTest, UnpacksReplacingWhatIsThere) {
  TempDir dir;
  const std::string target = dir.path + "/SPOOL";
  std::filesystem::create_directories(target);
  std::ofstream(target + "/SETUP.SH") << "old";
  makeZip(dir.path + "/SPOOL.ZIP", {{"bin/", ""}, {"bin/tool", "binary"}, {"SETUP.SH", "new"}},
          true);
  LibarchiveUnpacker unpacker;
  std::string error;
  ASSERT_TRUE(unpacker.unpack(dir.path + "/SPOOL.ZIP", target, &error)) << error;
  EXPECT_EQ(Read(target + "/SETUP.SH"), "new");
  EXPECT_EQ(Read(target + "/bin/tool"), "binary");
  struct stat st {};
  ASSERT_EQ(::stat((target + "/bin/tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);  // executable kept, set-id bits dropped
}

TEST(LibarchiveUnpackerTest, HostileArchivesWriteNothing) {
  TempDir dir;
  const std::string target = dir.path + "/SPOOL";
  const std::string outside = dir.path + "/outside";
  std::filesystem::create_directories(target);
  std::filesystem::create_directories(outside);
  std::filesystem::create_directory_symlink(outside, target + "/escape");
  const std::vector<std::vector<std::pair<std::string, std::string>>> archives = {
      {{"first", "x"}, {"../evil", "x"}},
      {{"first", "x"}, {outside + "/evil", "x"}},
      {{"first", "x"}, {"link", "@/etc/passwd"}},
      {{"first", "x"}, {"a/../../evil", "x"}},
      {{"escape/evil", "x"}},  // through a link already in the target
  };
  LibarchiveUnpacker unpacker;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    const std::string zip = dir.path + "/bad" + std::to_string(i) + ".zip";
    makeZip(zip, archives[i]);
    std::string error;
    EXPECT_FALSE(unpacker.unpack(zip, target, &error)) << i;
    EXPECT_FALSE(error.empty()) << i;
    EXPECT_FALSE(std::filesystem::exists(target + "/first")) << i;
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/evil")) << i;
    EXPECT_FALSE(std::filesystem::exists(outside + "/evil")) << i;
  }
  // A link where a file of the kit goes is not written through.
  std::ofstream(outside + "/victim") << "keep";
  std::filesystem::create_symlink(outside + "/victim", target + "/SETUP.SH");
  makeZip(dir.path + "/kit.zip", {{"SETUP.SH", "new"}});
  std::string linkError;
  unpacker.unpack(dir.path + "/kit.zip", target, &linkError);
  EXPECT_EQ(Read(outside + "/victim"), "keep");

  std::ofstream(dir.path + "/garbage.zip") << "this is not an archive";
  std::string error;
  EXPECT_FALSE(unpacker.unpack(dir.path + "/garbage.zip", target, &error));
  EXPECT_FALSE(unpacker.unpack(dir.path + "/missing.zip", target, &error));
}

TEST(PosixFileTimesTest, SetsTheTimeOfRegularFilesOnly) {
  TempDir dir;
  std::ofstream(dir.path + "/f") << "x";
  PosixFileTimes times;
  ASSERT_TRUE(times.setModified(dir.path + "/f", 1'600'000'000));
  struct stat st {};
  ::stat((dir.path + "/f").c_str(), &st);
  EXPECT_EQ(st.st_mtime, 1'600'000'000);
  std::filesystem::create_symlink(dir.path + "/f", dir.path + "/link");
  EXPECT_FALSE(times.setModified(dir.path + "/link", 1));
  EXPECT_FALSE(times.setModified(dir.path + "/missing", 1));
  EXPECT_FALSE(times.setModified(dir.path, 1));
}

}  // namespace
}  // namespace marvena
