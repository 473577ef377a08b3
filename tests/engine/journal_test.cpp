#include <gtest/gtest.h>

#include <filesystem>

#include "engine/crawl_journal.h"
#include "engine/download_controller.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

namespace sg::test {
namespace {

constexpr const char* kRoot = "http://127.0.0.1:9/";

// A journal that cannot be read, or that belongs to another root or
// another version, is never used: the reason is given and the file is left
// as it was.
TEST(CrawlJournal, RefusesWhatItCannotTrust) {
  struct Case {
    const char* name;
    void (*prepare)(const std::string& dir);
    const char* reason;
  };
  const Case cases[] = {
      {"not a database", [](const std::string& dir) { writeFile(dir + "/journal.db", std::string(4096, 'x')); },
       "not a database"},
      {"another root",
       [](const std::string& dir) {
         CrawlJournal other;
         std::string error;
         ASSERT_TRUE(other.open(dir, "http://example.com/", error)) << error;
       },
       "belongs to a download of http://example.com/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir save;
    const std::string dir = CrawlJournal::directoryFor(save.path(), kRoot);
    std::filesystem::create_directories(dir);
    c.prepare(dir);
    const auto before = std::filesystem::file_size(dir + "/journal.db");

    CrawlJournal journal;
    std::string error;
    EXPECT_FALSE(journal.open(dir, kRoot, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(dir + "/journal.db"), before);

    // The download says so once and goes on without a journal.
    DownloadController controller;
    controller.settings.saveFiles = true;
    controller.settings.saveDirectory = save.path();
    ASSERT_TRUE(controller.initialise(kRoot, nullptr, 0));
    drainLog();
    EXPECT_FALSE(controller.openJournal());
    EXPECT_FALSE(controller.openJournal());
    std::vector<std::string> lines = drainLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("The crawl journal " + dir + "/journal.db cannot be used ("), std::string::npos)
        << lines[0];
  }
}

// Roots of one host keep journals of their own, out of the mirror's way.
TEST(CrawlJournal, EachRootHasAHiddenFolderOfItsOwn) {
  const std::string a = CrawlJournal::directoryFor("/save", "http://example.com/a/");
  const std::string b = CrawlJournal::directoryFor("/save/", "http://example.com/b/");
  EXPECT_EQ(a.rfind("/save/.sitegleaner/example.com-", 0), 0u) << a;
  EXPECT_EQ(b.rfind("/save/.sitegleaner/example.com-", 0), 0u) << b;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace sg::test
