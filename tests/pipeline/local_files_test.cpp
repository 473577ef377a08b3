#include "pipeline/local_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "engine/engine_fixture.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "util/log.h"

namespace sg::test {
namespace {

namespace fs = std::filesystem;

// Every "~.tmp" file below dir.
std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().string().ends_with("~.tmp")) found.push_back(entry.path().string());
  }
  return found;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

void setModificationTime(const std::string& path, FileTime time) {
  timespec ts = unixFromFileTime(time);
  const timespec times[2] = {ts, ts};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string readAll(BodySource& source) {
  std::string out;
  char buffer[5];  // small, so that the copy is read in several calls
  for (size_t n; (n = source.read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

bool logged(const std::string& line) { return containsLine(drainLog(), line); }

TEST(TempOutputFile, CommitReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  std::string target = dir.file("page.html");
  writeFile(target, "old copy, longer than the new one");
  // A leftover of a crashed run is reused, not appended to.
  writeFile(target + "~.tmp", "stale bytes of an earlier run, longer still");

  TempOutputFile out;
  ASSERT_TRUE(out.open(target));
  EXPECT_EQ(out.target(), target);
  EXPECT_TRUE(out.write("new ", 4));
  EXPECT_TRUE(out.write("copy", 4));
  EXPECT_EQ(readFile(target), "old copy, longer than the new one");  // untouched until commit
  EXPECT_TRUE(out.commit(true, 0));
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(readFile(target), "new copy");
  EXPECT_EQ(statOf(target).st_mode & 0777, 0644u);
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

// A failed commit is checked through openOutput below; here an output
// abandoned without commit, as when a read throws.
TEST(TempOutputFile, AbandonedOutputKeepsTheEarlierCopy) {
  TempDir dir;
  std::string target = dir.file("page.html");
  writeFile(target, "first copy");
  {
    TempOutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write("partial", 7);
  }
  EXPECT_EQ(readFile(target), "first copy");
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(TempOutputFile, TargetTakesTheGivenFileTime) {
  TempDir dir;
  const FileTime times[] = {
      fileTimeFromTimeT(1234567890), fileTimeFromUnix(timespec{1700000000, 123456700}),  // 100 ns steps survive
  };
  for (FileTime time : times) {
    std::string target = dir.file("dated.html");
    TempOutputFile out;
    ASSERT_TRUE(out.open(target));
    ASSERT_TRUE(out.write("x", 1));
    ASSERT_TRUE(out.commit(true, time));
    struct stat st = statOf(target);
    EXPECT_EQ(fileTimeFromUnix(st.st_mtim), time);
    EXPECT_EQ(fileTimeFromUnix(st.st_atim), time);
  }
}

TEST(TempOutputFile, OpenFailsWhereNoTemporaryCanBeMade) {
  TempDir dir;
  fs::create_directory(dir.file("blocked.html~.tmp"));
  for (const auto& [target, error] :
       {std::pair{dir.file("missing/page.html"), ENOENT}, std::pair{dir.file("blocked.html"), EISDIR}}) {
    TempOutputFile out;
    EXPECT_FALSE(out.open(target)) << target;
    EXPECT_EQ(out.error(), error) << target;
    EXPECT_FALSE(out.commit(true, 0));
  }
  EXPECT_TRUE(fs::is_directory(dir.file("blocked.html~.tmp")));
}

TEST(CreatePathDirectories, CreatesMissingDirectoriesOfThePath) {
  TempDir dir;
  writeFile(dir.file("plain.txt"), "a file, not a directory");
  // Paths below dir and whether a directory is made for each, in order:
  // each row sees what the rows before it made.
  const std::pair<const char*, bool> cases[] = {
      {"a/b/c/file.html", true},      {"a/b/c/other.html", false}, {"a/b/d/file.html", true},
      {"a//e/file.html", true},       {"top.html", false},         {"f/", true},
      {"plain.txt/file.html", false},
  };
  for (const auto& [path, created] : cases) EXPECT_EQ(createPathDirectories(dir.file(path)), created) << path;
  for (const char* made : {"a/b/c", "a/b/d", "a/e", "f"}) {
    EXPECT_TRUE(fs::is_directory(dir.file(made))) << made;
  }
  for (const char* absent : {"a/b/c/file.html", "a/b/d/file.html", "top.html"}) {
    EXPECT_FALSE(fs::exists(dir.file(absent))) << absent;
  }
}

class SavedCopies : public ControllerTest {
 protected:
  SavedCopies() {
    controller.settings.saveDirectory = dir.path();
    controller.settings.saveFiles = true;
    controller.settings.createTree = true;
    controller.settings.saveAll = true;
    controller.settings.ignoreSavedFiles = true;
    logQueue().clear();
  }

  TempDir dir;
};

TEST_F(SavedCopies, OpenOutputFollowsTheSaveSettings) {
  struct Case {
    bool saveFiles, saveAll;
    const char* saveFileTypes;
    const char* mimeType;
    bool localSource, opened;
  } const cases[] = {
      {true, true, "", "image/gif", false, true},
      {false, true, "", "text/html", false, false},
      {true, false, "text/html;image/gif", "image/gif", false, true},
      {true, false, "text/html", "image/gif", false, false},
      {true, false, "text/html", "text/htm", false, true},  // a plain substring search
      {true, true, "", "text/html", true, false},           // the body is the saved copy itself
  };
  setRoot("http://www.example.com/dir/page.html");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.saveFiles << c.saveAll << " " << c.saveFileTypes << " " << c.mimeType << " "
                                      << c.localSource);
    controller.settings.saveFiles = c.saveFiles;
    controller.settings.saveAll = c.saveAll;
    controller.settings.saveFileTypes = c.saveFileTypes;
    controller.mimeType = c.mimeType;
    controller.localSource = c.localSource;
    std::unique_ptr<TempOutputFile> out = openOutput(controller);
    EXPECT_EQ(out != nullptr, c.opened);
    // The record names its local file whether or not anything is saved.
    EXPECT_EQ(controller.localFile(), dir.file("www.example.com/dir/page.html"));
    if (out) {
      EXPECT_EQ(out->target(), controller.localFile());
      EXPECT_FALSE(out->commit(false, 0));
      fs::remove_all(dir.file("www.example.com"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

TEST_F(SavedCopies, SecondOutputForOneLocalFileIsRefusedAndReported) {
  setRoot("http://www.example.com/dir/page.html");
  std::unique_ptr<TempOutputFile> first = openOutput(controller);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->write("first", 5));
  logQueue().clear();
  EXPECT_EQ(openOutput(controller), nullptr);
  EXPECT_TRUE(logged("Failed to open output file " + controller.localFile() + "."));
  EXPECT_TRUE(first->commit(true, 0));
  EXPECT_EQ(readFile(controller.localFile()), "first");
}

TEST_F(SavedCopies, LocalCopyStartingWithTagIsReadAsHtml) {
  setRoot("http://www.example.com/notes.txt");
  std::string file = controller.localFile();
  createPathDirectories(file);
  const std::string content = "<p>plain text that looks like a page</p>";
  writeFile(file, content);
  const FileTime saved = fileTimeFromTimeT(1600000000);
  setModificationTime(file, saved);
  controller.mimeType = "text/plain";

  std::unique_ptr<BodySource> copy = openLocalCopy(controller);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(controller.contentKind, ContentKind::Html);
  EXPECT_EQ(controller.mimeType, "HTML File");
  EXPECT_EQ(controller.size, content.size());
  EXPECT_EQ(controller.lastModified, saved);
  EXPECT_EQ(controller.information, "Read local file " + file);
  EXPECT_TRUE(controller.localSource);
  EXPECT_EQ(readAll(*copy), content);
}

TEST_F(SavedCopies, NoLocalCopyIsOpenedUnlessOneCanBeRead) {
  setRoot("http://www.example.com/dir/page.html");
  std::string file = controller.localFile();
  struct Case {
    const char* name;
    bool ignoreSavedFiles, makeFile, makeDirectory;
  } const cases[] = {
      {"setting clear", false, true, false},
      {"no saved copy", true, false, false},
      {"a directory of that name", true, false, true},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir.file("www.example.com"));
    createPathDirectories(file);
    if (c.makeFile) writeFile(file, "<html></html>");
    if (c.makeDirectory) fs::create_directory(file);
    controller.settings.ignoreSavedFiles = c.ignoreSavedFiles;
    controller.information.clear();
    EXPECT_EQ(openLocalCopy(controller), nullptr) << c.name;
    EXPECT_FALSE(controller.localSource) << c.name;
    EXPECT_EQ(controller.information, "") << c.name;
  }
}

}  // namespace
}  // namespace sg::test
