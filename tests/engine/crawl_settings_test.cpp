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
      {"Max Scan Size", "64"},
      {"Max Page Links", "100000"},
      {"Max Placeholders", "100000"},
      {"Max Download Size", "0"},
      {"Scan Scripts", "1"},
      {"Max Connections Per Server", "8"},
      {"Crawl Journal", "1"},
      {"Compression", "1"},
      {"Cookie File", "\"\""},
      {"Skip Logout Links", "1"},
      {"(profile field 15)", "1"},
  };
  EXPECT_EQ(test::describe(CrawlSettings::defaults("/home/user/Work Desk")), expected);
  EXPECT_TRUE(std::string(kDefaultUserAgent).starts_with("Sitegleaner ["));
}

struct TextCase {
  const char* name;
  const char* value;
  bool accepted;
  const char* error;  // start of the refusal
};

// Every number comes through the ranges the options sheet accepts; a size
// or time may be given in the larger unit.
TEST(CrawlSettings, ValuesSetFromTextWithinTheirRanges) {
  const TextCase cases[] = {
      {"MaxCrawlDepth", "3", true, ""},
      {"save files", "1", true, ""},
      {"Save Directory", "/tmp/x y", true, ""},
      {"Max Size", "6000", true, ""},
      {"Max Size", "2000000", true, ""},  // 2000 "Mb"
      {"Max Time", "360000", true, ""},   // 6000 "Mins"
      {"Limit Binaries", "-1", true, ""},
      {"Save Files", "yes", false, "\"Save Files\" takes a whole number"},
      {"Save Files", "2", false, "\"Save Files\" must be 0 or 1"},
      {"Threads", "8x", false, "\"Threads\" takes a whole number"},
      {"Threads", "2147483647", false, "\"Threads\" must be between 1 and 30, not 2147483647"},
      {"Max Total Time", "3000000", false, "\"Max Total Time\" must be between 1 and 7200"},
      {"Link Pause", "2147483647", false, "\"Link Pause\" must be between 0 and 10000"},
      {"Max Size", "7001", false, "\"Max Size\" must be between 1 and 6000, or a multiple of 1000 up to 6000000"},
      {"Save Directory", " ", false, "\"Save Directory\" must not be empty"},
      {"No Such Setting", "1", false, "there is no setting called \"No Such Setting\""},
  };
  for (const TextCase& c : cases) {
    CrawlSettings s;
    std::string error;
    EXPECT_EQ(setSettingFromText(s, c.name, c.value, error), c.accepted) << c.name << "=" << c.value;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << "=" << c.value << ": " << error;
    if (!c.accepted) {
      EXPECT_EQ(s, CrawlSettings()) << c.name;
    }
  }
  CrawlSettings s;
  EXPECT_EQ(firstSettingRangeError(CrawlSettings::defaults("/home")), "");
  s.threads = 31;
  EXPECT_EQ(firstSettingRangeError(s), "\"Threads\" must be between 1 and 30, not 31");
}

}  // namespace
}  // namespace sg
