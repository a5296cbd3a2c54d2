// The Win32 file system as the dispatcher relies on it: claims that never
// replace, results that appear whole, readiness from share modes, names and
// paths beyond 260 characters with Lithuanian letters, a drive that vanishes.
#include <gtest/gtest.h>

#include <algorithm>

#include "WinTestDir.h"
#include "platform/win32/WinFileSystem.h"
#include "platform/win32/WinText.h"

namespace marvena::test {
namespace {

std::vector<std::string> Names(FileSystem& fs, const std::string& dir) {
  std::vector<std::string> out;
  for (const DirName& d : fs.listNames(dir)) out.push_back(d.name);
  std::sort(out.begin(), out.end());
  return out;
}

class WinFileSystemTest : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string p = dir_.path() + "/" + name;
    std::string error;
    EXPECT_TRUE(fs_.writeFileAtomic(p, bytes, &error)) << error;
    return p;
  }
  WinTestDir dir_;
  WinFileSystem fs_;
};

TEST_F(WinFileSystemTest, LongPathsWithLithuanianLettersWorkThroughout) {
  std::string deep = dir_.path();
  while (deep.size() < 400) deep += "/katalogas-ąčęėįšųūž";
  std::string error;
  ASSERT_TRUE(fs_.makeDirectories(deep, &error)) << error;
  ASSERT_TRUE(fs_.isDirectory(deep));
  const std::string job = deep + "/SĄSKAITA.txt";
  ASSERT_TRUE(fs_.writeFileAtomic(job, "žodis", &error)) << error;
  EXPECT_EQ(fs_.readFile(job, &error).value_or("?"), "žodis");
  EXPECT_EQ(Names(fs_, deep), std::vector<std::string>{"SĄSKAITA.txt"});
  const std::optional<DirEntry> e = fs_.lstat(job);
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->regular);
  EXPECT_EQ(e->size, std::string("žodis").size());
  EXPECT_EQ(e->name, "SĄSKAITA.txt");
  ASSERT_EQ(fs_.moveEntry(job, deep + "/darbas.txt", &error), FsError::None) << error;
  EXPECT_EQ(fs_.writeState(deep + "/darbas.txt"), WriteState::Idle);
  EXPECT_TRUE(fs_.appendFile(deep + "/darbas.txt", "!", &error)) << error;
  EXPECT_EQ(fs_.readChunk(deep + "/darbas.txt", 2, 100, &error).value_or("?"), "odis!");
  EXPECT_EQ(fs_.readChunk(deep + "/darbas.txt", 99, 100, &error).value_or("?"), "");
}

TEST_F(WinFileSystemTest, MovingNeverReplacesAndSaysWhy) {
  const std::string a = put("A.slx", "first");
  const std::string b = put("B.slx", "second");
  std::string error;
  EXPECT_EQ(fs_.moveEntry(a, b, &error), FsError::Exists);
  EXPECT_EQ(fs_.readFile(b, &error).value_or(""), "second");
  EXPECT_EQ(fs_.readFile(a, &error).value_or(""), "first");
  EXPECT_EQ(fs_.moveEntry(dir_.path() + "/none", dir_.path() + "/x", &error), FsError::NotFound);
  EXPECT_EQ(fs_.moveEntry(a, dir_.path() + "/no/such/dir/A", &error), FsError::NotFound);
  // A directory moves too (the work area's claim of a whole job folder).
  ASSERT_TRUE(fs_.makeDirectories(dir_.path() + "/d1", &error));
  EXPECT_EQ(fs_.moveEntry(dir_.path() + "/d1", dir_.path() + "/d2", &error), FsError::None);
  EXPECT_TRUE(fs_.isDirectory(dir_.path() + "/d2"));
}

TEST_F(WinFileSystemTest, AtomicResultsReplaceWholeAndLeaveNoTemporaryFile) {
  const std::string out = put("OUT.XLS", "old");
  std::string error;
  {
    std::unique_ptr<AtomicFile> f = fs_.createAtomic(out, &error);
    ASSERT_TRUE(f) << error;
    ASSERT_TRUE(f->write("new "));
    ASSERT_TRUE(f->write(std::string(3 << 20, 'x')));  // beyond the buffer
    // Before it is committed the old result is still there, whole.
    EXPECT_EQ(fs_.readFile(out, &error).value_or(""), "old");
    std::uint64_t seenIndex = 0;
    f->setBeforePublish([&](std::uint64_t index, std::string*) {
      seenIndex = index;
      return true;
    });
    ASSERT_TRUE(f->commit(&error)) << error;
    EXPECT_NE(seenIndex, 0u);
    EXPECT_EQ(fs_.lstat(out)->inode, seenIndex);  // the published file is the one written
  }
  EXPECT_EQ(fs_.readFile(out, &error).value_or("").size(), 4u + (3u << 20));
  {
    std::unique_ptr<AtomicFile> dropped = fs_.createAtomic(out, &error);
    ASSERT_TRUE(dropped);
    dropped->write("never");
  }
  {
    std::unique_ptr<AtomicFile> refused = fs_.createAtomic(out, &error);
    refused->write("refused");
    refused->setBeforePublish([](std::uint64_t, std::string* why) {
      *why = "journal full";
      return false;
    });
    EXPECT_FALSE(refused->commit(&error));
    EXPECT_EQ(error, "journal full");
  }
  EXPECT_EQ(Names(fs_, dir_.path()), std::vector<std::string>{"OUT.XLS"});
}

TEST_F(WinFileSystemTest, AJobHeldByItsWriterIsBusyUntilClosed) {
  const std::string job = put("KVITAS.txt", "...");
  const std::wstring w = longPathOf(job);
  {
    // The DOS side: open for writing, others may only read.
    Handle writer(
        CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    EXPECT_EQ(fs_.writeState(job), WriteState::Busy);
    // Looking at it does not disturb the writer.
    const std::optional<DirEntry> seen = fs_.lstat(job);
    ASSERT_TRUE(seen);
    // A writer back at a job between the look and the claim: neither moved
    // nor copied (a copy would take half a job), only tried again later.
    std::string error;
    EXPECT_EQ(fs_.moveEntry(job, dir_.path() + "/claimed", &error), FsError::Other);
    EXPECT_NE(fs_.copyIfSame(job, *seen, dir_.path() + "/copied", &error), FsError::None);
    EXPECT_FALSE(fs_.lstat(dir_.path() + "/copied"));
  }
  {
    // A writer that lets nobody else in at all.
    Handle exclusive(CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    ASSERT_TRUE(exclusive.valid());
    EXPECT_EQ(fs_.writeState(job), WriteState::Busy);
    std::string error;
    EXPECT_FALSE(fs_.readFile(job, &error));
  }
  {
    // Another reader is no writer.
    Handle reader(
        CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(fs_.writeState(job), WriteState::Idle);
  }
  EXPECT_EQ(fs_.writeState(job), WriteState::Idle);
  EXPECT_EQ(fs_.writeState(dir_.path() + "/gone.txt"), WriteState::Missing);
}

TEST_F(WinFileSystemTest, IdentityFollowsTheFileNotTheName) {
  const std::string job = put("A.MFF", "one");
  const DirEntry first = *fs_.lstat(job);
  EXPECT_NE(first.inode, 0u);
  std::string error;
  ASSERT_EQ(fs_.moveEntry(job, dir_.path() + "/moved", &error), FsError::None);
  EXPECT_EQ(fs_.lstat(dir_.path() + "/moved")->inode, first.inode);
  put("A.MFF", "one");
  EXPECT_FALSE(sameVersion(*fs_.lstat(job), first));
  // Copy only the file that was seen.
  EXPECT_EQ(fs_.copyIfSame(job, first, dir_.path() + "/copy", &error), FsError::NotFound);
  EXPECT_EQ(fs_.copyIfSame(dir_.path() + "/moved", first, dir_.path() + "/copy", &error),
            FsError::None);
  EXPECT_EQ(fs_.readFile(dir_.path() + "/copy", &error).value_or(""), "one");
  EXPECT_EQ(fs_.copyIfSame(dir_.path() + "/moved", first, dir_.path() + "/copy", &error),
            FsError::Exists);
}

TEST_F(WinFileSystemTest, HiddenAndSystemFilesAndDirectoriesAreNoJobs) {
  const std::string hidden = put("H.txt", "x");
  SetFileAttributesW(longPathOf(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
  const std::string system = put("S.txt", "x");
  SetFileAttributesW(longPathOf(system).c_str(), FILE_ATTRIBUTE_SYSTEM);
  put("J.txt", "x");
  std::string error;
  fs_.makeDirectories(dir_.path() + "/D.txt", &error);
  std::vector<std::string> regular;
  for (const DirName& d : fs_.listNames(dir_.path()))
    if (d.type == EntryType::Regular) regular.push_back(d.name);
  EXPECT_EQ(regular, std::vector<std::string>{"J.txt"});
  EXPECT_FALSE(fs_.lstat(hidden)->regular);
  EXPECT_FALSE(fs_.lstat(dir_.path() + "/D.txt")->regular);
  EXPECT_FALSE(fs_.readFile(dir_.path() + "/D.txt", &error));
}

// Everything a pass does on a spool whose drive is not there fails plainly.
void expectDriveGone(FileSystem& fs, const std::string& spool) {
  std::string error;
  EXPECT_TRUE(fs.listNames(spool).empty());
  EXPECT_FALSE(fs.isDirectory(spool));
  EXPECT_FALSE(fs.lstat(spool + "/A.slx"));
  EXPECT_NE(fs.writeState(spool + "/A.slx"), WriteState::Idle);
  EXPECT_FALSE(fs.makeDirectories(spool + "/.marvena", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs.writeFileAtomic(spool + "/OUT.XLS", "x", &error));
  EXPECT_NE(fs.moveEntry(spool + "/A.slx", spool + "/B.slx", &error), FsError::None);
}

TEST_F(WinFileSystemTest, ASpoolOnADriveThatVanishesReadsAsEmptyAndCannotBeMade) {
  // A free drive letter: first as a drive that is not there at all.
  wchar_t letter = 0;
  const DWORD used = GetLogicalDrives();
  for (wchar_t c = L'Q'; c <= L'Y' && !letter; ++c)
    if (!(used & (1u << (c - L'A')))) letter = c;
  ASSERT_NE(letter, 0);
  const std::wstring drive = std::wstring(1, letter) + L":";
  const std::string spool = utf8From(drive) + "/SPOOL";
  expectDriveGone(fs_, spool);

  // Then mapped onto a directory, as a network drive would be, and unmapped.
  const std::string target = dir_.path() + "/drive";
  std::string error;
  ASSERT_TRUE(fs_.makeDirectories(target + "/SPOOL", &error));
  put("drive/SPOOL/A.slx", "x");
  const std::wstring targetW = longPathOf(target).substr(4);
  if (!DefineDosDeviceW(0, drive.c_str(), targetW.c_str()) || !fs_.isDirectory(spool)) {
    DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive.c_str(),
                     targetW.c_str());
    GTEST_SKIP() << "drive letters defined with DefineDosDeviceW do not reach files here (Wine); "
                    "the end-to-end test unmaps a Wine drive instead";
  }
  EXPECT_EQ(Names(fs_, spool), std::vector<std::string>{"A.slx"});
  ASSERT_TRUE(DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive.c_str(),
                               targetW.c_str()));
  expectDriveGone(fs_, spool);
}

}  // namespace
}  // namespace marvena::test
