#include "engine/crawl_settings.h"

#include <gtest/gtest.h>

#include "support/settings_text.h"

namespace sg {
namespace {

TEST(CrawlSettings, DefaultsOfAFreshStoreInFieldOrder) {
  // Every default, written down from the settings' own description, in the
  // order the store reads them: a load that stops at a bad value keeps
  // those after it, so the order is part of the behaviour.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Limit Binaries", "0"},
      {"MaxCrawlDepth", "10"},
      {"MaxServerDepth", "0"},
      {"Save Directory", "\"/home/user/Work Desk/Gleaned Sites\""},
      {"Fix Links", "1"},
      {"AutoDial", "1"},
      {"AutoDisconnect", "1"},
      {"File Extensions", "\"\""},
      {"Download File Types", "\"text/html\""},
      {"User Agent", "\"" + std::string(kDefaultUserAgent) + "\""},
      {"Known File Types",
       "\"text/html;text/plain;image/jpeg;image/gif;audio/wav;application/zip;video/mpeg;audio/midi\""},
      {"Download Unknown", "1"},
      {"Ignore Saved Files", "0"},
      {"Create Tree", "1"},
      {"Save Files", "0"},
      {"Save All", "1"},
      {"Save File Types", "\"\""},
      {"Stay Below Root", "0"},
      {"Ignore Inline", "0"},
      {"Show Warnings", "1"},
      {"No Cache", "0"},
      {"Threads", "8"},
      {"Max Time", "1800"},
      {"Max Days", "30"},
      {"Object Delay", "0"},
      {"Max Size", "30"},
      {"Min Size", "5"},
      {"Max Total Time", "1800"},
      {"Limit Flags", "4"},
      {"Username", "\"\""},
      {"Password", "\"\""},
      {"Proxy Username", "\"\""},
      {"Proxy Password", "\"\""},
      {"Download All", "1"},
      {"Check For Changes", "1"},
      {"Strip HTML Tags", "0"},
      {"Prompt For Password", "1"},
      {"Log File", "\"sitegleaner.log\""},
      {"Link Pause", "500"},
      {"(profile field 15)", "1"},
  };
  EXPECT_EQ(test::describe(CrawlSettings::defaults("/home/user/Work Desk")), expected);
  EXPECT_TRUE(std::string(kDefaultUserAgent).starts_with("Sitegleaner ["));
}

TEST(CrawlSettings, ConstructionValuesDifferWhereTheLoadMustFillIn) {
  CrawlSettings s;
  EXPECT_FALSE(s.showWarnings);
  EXPECT_FALSE(s.createTree);
  EXPECT_EQ(s.maxServerDepth, 1);
  EXPECT_EQ(s.threads, 4);
  EXPECT_EQ(s.maxSize, 20);
  EXPECT_TRUE(s.saveDirectory.empty() && s.knownFileTypes.empty() && s.downloadFileTypes.empty() &&
              s.userAgent.empty() && s.logFile.empty());
  EXPECT_EQ(s.maxCrawlDepth, 10);
  EXPECT_EQ(s.limitFlags, 4);
  EXPECT_EQ(s.profileReserved, 1);
}

TEST(CrawlSettings, ValuesSetFromText) {
  CrawlSettings s;
  EXPECT_TRUE(setSettingFromText(s, "MaxCrawlDepth", "3"));
  EXPECT_EQ(s.maxCrawlDepth, 3);
  EXPECT_TRUE(setSettingFromText(s, "save files", "1"));
  EXPECT_TRUE(s.saveFiles);
  EXPECT_TRUE(setSettingFromText(s, "Save Directory", "/tmp/x y"));
  EXPECT_EQ(s.saveDirectory, "/tmp/x y");
  EXPECT_TRUE(setSettingFromText(s, "Link Pause", "0"));
  EXPECT_EQ(s.linkPause, 0);
  EXPECT_FALSE(setSettingFromText(s, "Save Files", "yes"));
  EXPECT_FALSE(setSettingFromText(s, "Save Files", "2"));
  EXPECT_FALSE(setSettingFromText(s, "Threads", "8x"));
  EXPECT_FALSE(setSettingFromText(s, "No Such Setting", "1"));
  EXPECT_EQ(s.threads, 4);
}

}  // namespace
}  // namespace sg
