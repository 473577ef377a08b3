#include "util/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace sg::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = "~.tmp";

std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  std::string target = dir.file("page.html");
  writeFile(target, "old copy, longer than the new one");
  // A leftover of a crashed run is reused, not appended to.
  writeFile(target + "~.tmp", "stale bytes of an earlier run, longer still");

  AtomicFile out;
  ASSERT_TRUE(out.openLocked(target, kSuffix));
  EXPECT_EQ(out.target(), target);
  EXPECT_TRUE(out.write("new "));
  EXPECT_TRUE(out.write("copy"));
  EXPECT_EQ(readFile(target), "old copy, longer than the new one");  // untouched until commit
  EXPECT_TRUE(out.commit());
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(readFile(target), "new copy");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"page.html"});
}

TEST(AtomicFile, TargetTakesTheGivenFileTime) {
  TempDir dir;
  const FileTime times[] = {
      fileTimeFromTimeT(1234567890), fileTimeFromUnix(timespec{1700000000, 123456700}),  // 100 ns steps survive
  };
  for (FileTime time : times) {
    std::string target = dir.file("dated.html");
    AtomicFile out;
    ASSERT_TRUE(out.openLocked(target, kSuffix));
    ASSERT_TRUE(out.write("x"));
    ASSERT_TRUE(out.commit(time));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(fileTimeFromUnix(st.st_mtim), time);
    EXPECT_EQ(fileTimeFromUnix(st.st_atim), time);
  }
}

TEST(AtomicFile, OpenFailsWhereNoTemporaryCanBeMade) {
  TempDir dir;
  fs::create_directory(dir.file("blocked.html~.tmp"));
  for (const auto& [target, error] :
       {std::pair{dir.file("missing/page.html"), ENOENT}, std::pair{dir.file("blocked.html"), EISDIR}}) {
    AtomicFile out;
    EXPECT_FALSE(out.openLocked(target, kSuffix)) << target;
    EXPECT_EQ(out.error(), error) << target;
    EXPECT_EQ(out.failedStep(), AtomicFile::Step::Create);
    EXPECT_FALSE(out.commit());
  }
  AtomicFile unique;
  EXPECT_FALSE(unique.create(dir.file("missing/page.html"), 0644));
  EXPECT_EQ(unique.error(), ENOENT);
  EXPECT_TRUE(fs::is_directory(dir.file("blocked.html~.tmp")));
}

// Whatever fails, and also when the file is dropped unfinished, the earlier
// copy stays and no temporary file is left.
TEST(AtomicFile, FailureAtAnyStepKeepsTheEarlierCopy) {
  using Fault = FaultyFileSystem::Fault;
  using Step = AtomicFile::Step;
  struct Case {
    Fault fault;
    int error;
    Step step;
  } const cases[] = {
      {Fault::Write, ENOSPC, Step::Write},
      {Fault::Sync, EIO, Step::Write},
      {Fault::Close, EIO, Step::Write},
      {Fault::Rename, EXDEV, Step::Replace},
  };
  TempDir dir;
  const std::string target = dir.file("page.html");
  writeFile(target, "earlier copy");
  for (bool locked : {false, true}) {
    for (const Case& c : cases) {
      if (locked && c.fault == Fault::Sync) continue;  // a saved copy is not flushed
      SCOPED_TRACE(::testing::Message() << "locked " << locked << ", error " << c.error);
      FaultyFileSystem faulty(c.fault, c.error, target, 4);
      AtomicFile out;
      ASSERT_TRUE(locked ? out.openLocked(target, kSuffix) : out.create(target, 0644, true));
      EXPECT_EQ(out.write("new contents"), c.fault != Fault::Write);
      EXPECT_FALSE(out.commit());
      EXPECT_EQ(out.error(), c.error);
      EXPECT_EQ(out.failedStep(), c.step);
      EXPECT_EQ(readFile(target), "earlier copy");
      EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"page.html"});
    }
    AtomicFile dropped;
    ASSERT_TRUE(locked ? dropped.openLocked(target, kSuffix) : dropped.create(target, 0644));
    dropped.write("partial");
  }
  EXPECT_EQ(readFile(target), "earlier copy");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"page.html"});
}

}  // namespace
}  // namespace sg::test
