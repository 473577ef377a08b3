#include "pipeline/local_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine_fixture.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "util/log.h"

namespace sg::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(BodySource& source) {
  std::string out;
  char buffer[5];  // small, so that the copy is read in several calls
  for (size_t n; (n = source.read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
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
    std::unique_ptr<AtomicFile> out = openOutput(controller);
    EXPECT_EQ(out != nullptr, c.opened);
    // The record names its local file whether or not anything is saved.
    EXPECT_EQ(controller.localFile(), dir.file("www.example.com/dir/page.html"));
    if (out) {
      EXPECT_EQ(out->target(), controller.localFile());
      out->discard();
      fs::remove_all(dir.file("www.example.com"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

TEST_F(SavedCopies, SecondOutputForOneLocalFileIsRefusedAndReported) {
  setRoot("http://www.example.com/dir/page.html");
  std::unique_ptr<AtomicFile> first = openOutput(controller);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->write("first"));
  logQueue().clear();
  EXPECT_EQ(openOutput(controller), nullptr);
  EXPECT_TRUE(containsLine(drainLog(), "Failed to open output file " + controller.localFile() + "."));
  EXPECT_TRUE(first->commit());
  EXPECT_EQ(readFile(controller.localFile()), "first");
}

TEST_F(SavedCopies, LocalCopyStartingWithTagIsReadAsHtml) {
  setRoot("http://www.example.com/notes.txt");
  std::string file = controller.localFile();
  createPathDirectories(file);
  const std::string content = "<p>plain text that looks like a page</p>";
  const FileTime saved = fileTimeFromTimeT(1600000000);
  AtomicFile out;
  ASSERT_TRUE(out.openLocked(file, kSavedCopySuffix) && out.write(content) && out.commit(saved));
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
