#include "document/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/settings_records.h"
#include "engine/server_rule_table.h"
#include "support/posix_scopes.h"
#include "support/settings_text.h"
#include "support/temp_dir.h"

namespace sg {
namespace {

using test::changedRecord;
using test::describe;
using test::fileMode;
using test::TempDir;

std::vector<std::string> savedPatterns(const ServerRuleTable& table) {
  std::vector<std::string> out;
  table.save(out);
  return out;
}

struct Loaded {
  CrawlSettings settings;               // construction values, as at the first load
  std::vector<std::string> exclusions;  // as saved
  ViewOptions view;
  std::vector<std::string> unreadable;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string path() const { return m_dir.file("Sitegleaner.conf"); }
  QString qpath() const { return QString::fromStdString(path()); }
  // What a fresh store of the file loads.
  Loaded load(const std::string& file = {}) {
    Loaded out;
    ServerRuleTable exclusions;
    SettingsStore store(QString::fromStdString(file.empty() ? path() : file));
    out.unreadable = store.load(out.settings, exclusions, out.view, kDesktop);
    out.exclusions = savedPatterns(exclusions);
    return out;
  }
  // A file of its own per case: QSettings keeps a parsed file per name and
  // may not notice a rewrite of the same size within its clock tick.
  std::string caseFile(const std::string& content) {
    const std::string file = m_dir.file("case" + std::to_string(++m_cases) + ".conf");
    test::writeFile(file, content);
    return file;
  }
  const std::string kDesktop = "/home/user/Work Desk";

  TempDir m_dir;
  int m_cases = 0;
};

TEST_F(SettingsStoreTest, FreshStoreYieldsTheDefaults) {
  // The defaults themselves are listed in the crawl settings' own test.
  CrawlSettings settings;
  ServerRuleTable exclusions;
  exclusions.addPattern("http://old.example/rule");
  ViewOptions view{false, false};
  EXPECT_TRUE(SettingsStore(qpath()).load(settings, exclusions, view, kDesktop).empty());
  EXPECT_EQ(describe(settings), describe(CrawlSettings::defaults(kDesktop)));
  EXPECT_TRUE(savedPatterns(exclusions).empty());
  EXPECT_TRUE(view.autoExpand);
  EXPECT_TRUE(view.showAll);
  EXPECT_FALSE(test::fileExists(path()));  // reading alone leaves no file behind
}

TEST_F(SettingsStoreTest, SaveThenLoadRestoresEveryValue) {
  const CrawlSettings saved = changedRecord();
  // Every value differs from its default, so a value that is not written
  // cannot come back by accident.
  auto changed = describe(saved);
  auto defaults = describe(CrawlSettings::defaults(kDesktop));
  for (size_t i = 0; i + 1 < changed.size(); ++i) EXPECT_NE(changed[i].second, defaults[i].second) << changed[i].first;

  ServerRuleTable exclusions;
  for (const char* rule : {"http://www.a.example/private/", "http://b.example:8080/x y/z", "c.example"}) {
    exclusions.addPattern(rule);
  }
  // Both combinations of the view values.
  for (const ViewOptions view : {ViewOptions{false, true}, ViewOptions{true, false}}) {
    SettingsStore(qpath()).save(saved, exclusions, view);
    Loaded loaded = load();
    EXPECT_TRUE(loaded.unreadable.empty());
    EXPECT_EQ(describe(loaded.settings), describe(saved));
    EXPECT_EQ(loaded.exclusions, savedPatterns(exclusions));
    EXPECT_EQ(loaded.exclusions.size(), 3u);
    EXPECT_EQ(loaded.view.autoExpand, view.autoExpand);
    EXPECT_EQ(loaded.view.showAll, view.showAll);
  }
}

TEST_F(SettingsStoreTest, TextsComeBackByteForByte) {
  const std::string texts[] = {
      "",
      "  leading and trailing  ",
      "\"quoted\" and \\backslash\\",
      "\xFF\xFE\x80 not UTF-8",
      std::string("nul\0inside", 10),
      "line\nfeed\r\nand\ttab",
      "@ByteArray(looks special)",
      std::string(5000, 'x'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(testing::PrintToString(text));
    CrawlSettings settings = CrawlSettings::defaults(kDesktop);
    settings.userAgent = text;
    // An empty save directory is never taken (it would mean the current one).
    settings.saveDirectory = text.empty() ? "/d" : text;
    SettingsStore(qpath()).save(settings, ServerRuleTable{}, ViewOptions{});
    Loaded loaded = load();
    EXPECT_TRUE(loaded.unreadable.empty());
    EXPECT_EQ(loaded.settings.userAgent, text);
    EXPECT_EQ(loaded.settings.saveDirectory, settings.saveDirectory);
  }
}

TEST_F(SettingsStoreTest, GeneralValuesFormTheGeneralSectionOfTheFile) {
  {
    SettingsStore store(qpath());
    store.save(CrawlSettings::defaults(kDesktop), ServerRuleTable{}, ViewOptions{});
    store.writeInt("General", "Extra Value", 77);
  }
  const std::string text = test::readFile(path());
  ASSERT_TRUE(text.starts_with("[General]\n")) << text;
  EXPECT_EQ(text.find("[%General]"), std::string::npos) << text;
  // The section runs to the next header; the values are in it.
  const std::string general = text.substr(0, text.find("\n[", 1));
  for (const char* line : {"\nMaxCrawlDepth=10\n", "\nLimit%20Flags=4\n", "\nLink%20Pause=500\n",
                           "\nExtra%20Value=77\n", "\nExclusions=\n"}) {
    EXPECT_NE(general.find(line), std::string::npos) << line << " in\n" << text;
  }
  EXPECT_NE(text.find("\n[View]\n"), std::string::npos) << text;
}

// A hand-written file: blanks in names and around "=", an unquoted list.
TEST_F(SettingsStoreTest, UnreadableValueTakesItsDefaultAlone) {
  const std::string text =
      "[General]\nLimit%20Binaries=three\nMaxCrawlDepth=7\nSave Directory=/srv/my sites\nUsername=alice\n"
      "Password=YWxpY2U6cHc=\nSave%20Files=1\nThreads=2147483647\nLink Pause = 100\nLog%20File=\n"
      "Known File Types=text/html, image/png\nFix Links=0\n"
      "Exclusions=http://x.example/a\n[View]\nAutoExpand=0\nShow All=0\n";
  test::writeFile(path(), text);
  Loaded loaded = load();
  // Named with what the file holds; out of range counts as unreadable.
  EXPECT_EQ(loaded.unreadable, (std::vector<std::string>{"Limit Binaries (three)", "Threads (2147483647)"}));
  CrawlSettings expected = CrawlSettings::defaults(kDesktop);
  expected.maxCrawlDepth = 7;
  expected.saveDirectory = "/srv/my sites";
  expected.knownFileTypes = "text/html,image/png";  // the list joined again
  expected.fixLinks = false;
  expected.username = "alice";
  expected.password = "YWxpY2U6cHc=";
  expected.saveFiles = true;
  expected.linkPause = 100;
  expected.logFile = "";
  EXPECT_EQ(describe(loaded.settings), describe(expected));
  EXPECT_EQ(loaded.exclusions, std::vector<std::string>{"x.example/a"});
  EXPECT_FALSE(loaded.view.autoExpand);
  EXPECT_FALSE(loaded.view.showAll);
  EXPECT_EQ(test::readFile(path()), text);  // reading never writes

  // An empty save directory would mean the current directory.
  loaded = load(caseFile("[General]\nSave%20Directory=\n"));
  EXPECT_EQ(loaded.unreadable, std::vector<std::string>{"Save Directory ()"});
  EXPECT_EQ(loaded.settings.saveDirectory, CrawlSettings::defaultSaveDirectory(kDesktop));
}

TEST_F(SettingsStoreTest, AFileThatIsNoRegularFileIsNeitherWaitedOnNorReplaced) {
  ASSERT_EQ(mkfifo(path().c_str(), 0600), 0);
  CrawlSettings settings;
  ServerRuleTable exclusions;
  ViewOptions view;
  {
    SettingsStore store(qpath());
    EXPECT_NE(store.problem().find("is not a regular file"), std::string::npos);
    EXPECT_TRUE(store.load(settings, exclusions, view, kDesktop).empty());
    store.save(settings, exclusions, view);
  }
  EXPECT_EQ(describe(settings), describe(CrawlSettings::defaults(kDesktop)));
  struct stat info {};
  ASSERT_EQ(stat(path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(SettingsStoreExclusions, SplitAtEveryLineFeedAndJoinedWithLineFeedsBetween) {
  struct Case {
    std::string text;
    std::vector<std::string> entries;
    bool joinsBack;  // joining the entries gives the text again
  } cases[] = {
      {"", {}, true},
      {"a", {"a"}, true},
      {"a\n", {"a"}, false},
      {"a\n\nb", {"a", "", "b"}, true},
      {"a\n\n", {"a", ""}, false},
      {"\n", {""}, false},
      {"a b\r\nc", {"a b\r", "c"}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SettingsStore::splitExclusions(c.text), c.entries) << testing::PrintToString(c.text);
    if (c.joinsBack) {
      EXPECT_EQ(SettingsStore::joinExclusions(c.entries), c.text) << testing::PrintToString(c.text);
    }
  }
}

TEST_F(SettingsStoreTest, StoredExclusionsReplaceTheRules) {
  SettingsStore(qpath()).writeText("General", "Exclusions", "http://a.example/x\n\nhttp://b.example/y");
  CrawlSettings settings;
  ServerRuleTable exclusions;
  exclusions.addPattern("http://old.example/");
  ViewOptions view;
  SettingsStore store(qpath());
  EXPECT_TRUE(store.load(settings, exclusions, view, kDesktop).empty());
  // The empty middle entry names no server and makes no rule.
  EXPECT_EQ(savedPatterns(exclusions), (std::vector<std::string>{"a.example/x", "b.example/y"}));
  EXPECT_TRUE(exclusions.isAllowedUrl("http://old.example/"));
  EXPECT_FALSE(exclusions.isAllowedUrl("http://a.example/x/page.html"));

  // Saving writes the entries as the table lists them.
  store.save(settings, exclusions, view);
  EXPECT_EQ(store.readText("General", "Exclusions"), QString("a.example/x\nb.example/y"));
}

TEST_F(SettingsStoreTest, FileIsOwnerOnlyWhateverTheUmask) {
  for (mode_t mask : {mode_t(022), mode_t(0), mode_t(077)}) {
    SCOPED_TRACE(mask);
    test::UmaskScope scope(mask);
    const std::string file = m_dir.file("umask" + std::to_string(mask) + "/Corvalin/Sitegleaner.conf");
    SettingsStore(QString::fromStdString(file)).save(changedRecord(), ServerRuleTable{}, ViewOptions{});
    ASSERT_TRUE(test::fileExists(file));
    EXPECT_EQ(fileMode(file), 0600u);
    EXPECT_NE(test::readFile(file).find("cHJveHk6cGFzcw=="), std::string::npos);
  }
}

// Made, or narrowed, before QSettings writes, so no wider mode is ever seen.
TEST_F(SettingsStoreTest, FileIsOwnerOnlyBeforeAnythingIsWrittenEvenWhenItWasWider) {
  test::UmaskScope scope(0);
  for (const char* earlier : {"", "[View]\nThreads=5\n"}) {
    std::filesystem::remove(path());
    if (*earlier != '\0') test::writeFile(path(), earlier);
    SettingsStore store(qpath());
    store.writeText("General", "Password", "c2VjcmV0");
    ASSERT_TRUE(test::fileExists(path()));
    EXPECT_EQ(fileMode(path()), 0600u);
    store.sync();
    EXPECT_EQ(fileMode(path()), 0600u);
    EXPECT_NE(test::readFile(path()).find("c2VjcmV0"), std::string::npos);
    EXPECT_NE(test::readFile(path()).find(earlier), std::string::npos);
  }
}

// QSettings fixes its search paths the first time any store is made in a
// process, so this runs in a fresh process of its own.
int checkStandardPlace() {
  TempDir config;
  test::EnvScope scope("XDG_CONFIG_HOME", config.path());
  const std::string expected = config.path() + "/Corvalin/Sitegleaner.conf";
  {
    SettingsStore store;
    if (store.fileName().toStdString() != expected) return 1;
    store.writeInt("Legal", "Shown Disclaimer", 640);
    store.sync();
  }
  if (fileMode(expected) != 0600) return 2;
  if (test::readFile(expected).find("[Legal]\nShown%20Disclaimer=640") == std::string::npos) return 3;
  return 0;
}

TEST(SettingsStoreDeathTest, StandardPlaceFollowsXdgConfigHome) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(checkStandardPlace()), testing::ExitedWithCode(0), "");
}

TEST(SettingsStoreDesktop, DesktopFolderIsTheXdgDesktopDirectory) {
  TempDir dir;
  test::EnvScope home("HOME", dir.path());
  test::EnvScope config("XDG_CONFIG_HOME", dir.path() + "/config");
  std::filesystem::create_directories(dir.path() + "/config");
  test::writeFile(dir.path() + "/config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau partagé\"\n");
  EXPECT_EQ(desktopFolder(), dir.path() + "/Bureau partagé");
  EXPECT_EQ(CrawlSettings::defaults(desktopFolder()).saveDirectory, dir.path() + "/Bureau partagé/Gleaned Sites");

  std::filesystem::remove(dir.path() + "/config/user-dirs.dirs");
  EXPECT_EQ(desktopFolder(), dir.path() + "/Desktop");
}

}  // namespace
}  // namespace sg
