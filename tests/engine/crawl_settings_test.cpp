#include "engine/crawl_settings.h"

#include <gtest/gtest.h>

#include <set>

namespace sg {
namespace {

TEST(CrawlSettings, DefaultsOfAFreshStore) {
  CrawlSettings s = CrawlSettings::defaults("/home/user/Desktop");
  EXPECT_FALSE(s.stayBelowRoot);
  EXPECT_EQ(s.maxServerDepth, 0);
  EXPECT_EQ(s.maxCrawlDepth, 10);
  EXPECT_TRUE(s.autoDial);
  EXPECT_TRUE(s.autoDisconnect);
  EXPECT_EQ(s.userAgent, kDefaultUserAgent);
  EXPECT_EQ(s.userAgent.rfind("Sitegleaner [", 0), 0u);
  EXPECT_TRUE(s.username.empty() && s.password.empty() && s.proxyUsername.empty() && s.proxyPassword.empty());
  EXPECT_TRUE(s.promptForPassword);
  EXPECT_FALSE(s.noCache);
  EXPECT_EQ(s.knownFileTypes,
            "text/html;text/plain;image/jpeg;image/gif;audio/wav;application/zip;video/mpeg;audio/midi");
  EXPECT_EQ(s.downloadFileTypes, "text/html");
  EXPECT_TRUE(s.downloadAll);
  EXPECT_TRUE(s.downloadUnknown);
  EXPECT_TRUE(s.fileExtensions.empty());
  EXPECT_FALSE(s.ignoreInline);
  EXPECT_FALSE(s.saveFiles);
  EXPECT_EQ(s.saveDirectory, "/home/user/Desktop/Gleaned Sites");
  EXPECT_TRUE(s.createTree);
  EXPECT_TRUE(s.saveAll);
  EXPECT_TRUE(s.saveFileTypes.empty());
  EXPECT_FALSE(s.ignoreSavedFiles);
  EXPECT_TRUE(s.checkForChanges);
  EXPECT_TRUE(s.fixLinks);
  EXPECT_FALSE(s.stripHtmlTags);
  EXPECT_EQ(s.threads, 8);
  EXPECT_EQ(s.objectDelay, 0);
  EXPECT_EQ(s.maxSize, 30);
  EXPECT_EQ(s.minSize, 5);
  EXPECT_EQ(s.maxTime, 1800);
  EXPECT_EQ(s.maxTotalTime, 1800);
  EXPECT_EQ(s.maxDays, 30);
  EXPECT_EQ(s.limitFlags, kLimitTotalTime);
  EXPECT_EQ(s.limitBinaries, 0);
  EXPECT_EQ(s.linkPause, 500);
  EXPECT_EQ(s.logFile, "sitegleaner.log");
  EXPECT_TRUE(s.showWarnings);
  EXPECT_EQ(s.profileReserved, 1);
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

TEST(CrawlSettings, EveryStoredValueHasOneField) {
  std::set<std::string> names;
  for (const SettingField& field : generalSettingFields()) EXPECT_TRUE(names.insert(field.name).second) << field.name;
  EXPECT_EQ(names.size(), 39u);
  EXPECT_EQ(std::string(generalSettingFields().front().name), "Limit Binaries");
  EXPECT_EQ(std::string(generalSettingFields()[37].name), "Log File");
  EXPECT_EQ(std::string(generalSettingFields().back().name), "Link Pause");
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
