#include "util/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace sg::test {
namespace {

constexpr std::string_view kSuffix = "~.tmp";

TEST(AtomicFile, CommitReplacesTheTargetWithTheFileTime) {
  TempDir dir;
  std::string target = dir.file("page.html");
  writeFile(target, "old copy, longer than the new one");
  // A leftover of a crashed run is reused, not appended to.
  writeFile(target + "~.tmp", "stale bytes of an earlier run, longer still");

  AtomicFile out;
  ASSERT_TRUE(out.openLocked(target, kSuffix));
  EXPECT_TRUE(out.write("new "));
  EXPECT_TRUE(out.write("copy"));
  EXPECT_EQ(readFile(target), "old copy, longer than the new one");         // untouched until commit
  const FileTime time = fileTimeFromUnix(timespec{1700000000, 123456700});  // 100 ns steps survive
  EXPECT_TRUE(out.commit(time));
  struct stat st {};  // before the file is read, which changes its access time
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(fileTimeFromUnix(st.st_mtim), time);
  EXPECT_EQ(fileTimeFromUnix(st.st_atim), time);
  EXPECT_EQ(readFile(target), "new copy");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"page.html"});
}

TEST(AtomicFile, OpenFailsWhereNoTemporaryCanBeMade) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("blocked.html~.tmp"));
  AtomicFile locked;
  EXPECT_FALSE(locked.openLocked(dir.file("blocked.html"), kSuffix));
  EXPECT_EQ(locked.error(), EISDIR);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("blocked.html~.tmp")));
  AtomicFile unique;
  EXPECT_FALSE(unique.create(dir.file("missing/page.html"), 0644));
  EXPECT_EQ(unique.error(), ENOENT);
  EXPECT_EQ(unique.failedStep(), AtomicFile::Step::Create);
  EXPECT_FALSE(unique.commit());
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
