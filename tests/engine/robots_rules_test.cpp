#include "engine/robots_rules.h"

#include <gtest/gtest.h>

namespace sg::test {
namespace {

struct RulesCase {
  const char* what;
  const char* file;
  const char* agent;
  const char* path;
  bool allowed;
};

// Today's robots files, case by case: groups, agents, patterns, precedence,
// encodings and line ends.
TEST(RobotsRules, AreReadAsTodaysCrawlersReadThem) {
  const char* groups =
      "allow: /foo/bar/\n\nuser-agent: FooBot\ndisallow: /\nallow: /x/\nuser-agent: BarBot\ndisallow: /\n"
      "allow: /y/\n\n\nallow: /w/\nuser-agent: BazBot\n\nuser-agent: FooBot\nallow: /z/\ndisallow: /\n";
  const RulesCase cases[] = {
      {"nothing to obey", "", "foobot", "/x", true},
      {"a group for this crawler", "user-agent: FooBot\ndisallow: /\n", "foobot", "/x/y", false},
      {"names without a colon", "user-agent FooBot\ndisallow /\n", "foobot", "/x/y", false},
      {"unknown names", "foo: FooBot\nbar: /\n", "foobot", "/x/y", true},
      {"groups: rules of the first", groups, "foobot", "/x/b", true},
      {"groups: rules of a later group of the same crawler", groups, "foobot", "/z/d", true},
      {"groups: another crawler's exception", groups, "foobot", "/y/c", false},
      {"groups: rules after blank lines stay in the group", groups, "barbot", "/w/a", true},
      {"groups: several agents share one group", groups, "bazbot", "/z/d", true},
      {"groups: rules before any group are nobody's", groups, "foobot", "/foo/bar/", false},
      {"names are case-insensitive", "USER-AGENT: FooBot\nALLOW: /x/\nDISALLOW: /\n", "foobot", "/x/y", true},
      {"agent values are case-insensitive", "User-Agent: FOO BAR\nAllow: /x/\nDisallow: /\n", "foo", "/a/b", false},
      {"an agent's version is no part of its name", "User-agent: SiteGleaner/6.4\nDisallow: /mine\n", "sitegleaner",
       "/mine/x", false},
      {"the product token is matched whole", "User-agent: SiteGleanerPro\nDisallow: /\n", "sitegleaner", "/x", true},
      {"a named group hides the * group", "user-agent: *\nallow: /\nuser-agent: FooBot\ndisallow: /\n", "foobot",
       "/x/y", false},
      {"others follow the * group", "user-agent: *\nallow: /\nuser-agent: FooBot\ndisallow: /\n", "barbot", "/x/y",
       true},
      {"User-agent:* without a blank", "User-agent:*\nDisallow:/private\n", "foobot", "/private/a", false},
      {"no group for anyone", "user-agent: FooBot\ndisallow: /\n", "quxbot", "/x/y", true},
      {"paths are case-sensitive", "user-agent: FooBot\ndisallow: /X/\n", "foobot", "/x/y", true},
      {"longest match: a longer Disallow", "user-agent: a\ndisallow: /x/page.html\nallow: /x/\n", "a",
       "/x/page.html", false},
      {"longest match: a longer Allow", "user-agent: a\nallow: /x/page.html\ndisallow: /x/\n", "a", "/x/page.html",
       true},
      {"longest match: the folder itself", "user-agent: a\nallow: /x/page.html\ndisallow: /x/\n", "a", "/x/", false},
      {"a tie goes to Allow", "user-agent: a\ndisallow: /\nallow: /\n", "a", "/x", true},
      {"empty values are no rules", "user-agent: a\ndisallow: \nallow: \n", "a", "/x", true},
      {"/x is not /x/", "user-agent: a\ndisallow: /x\nallow: /x/\n", "a", "/x", false},
      {"a pattern longer than a prefix", "user-agent: a\nallow: /page\ndisallow: /*.html\n", "a", "/page.html",
       false},
      {"a prefix longer than a pattern", "user-agent: a\nallow: /x/page.\ndisallow: /*.html\n", "a",
       "/x/page.html", true},
      {"* in the middle", "User-agent: a\nDisallow: /foo/bar/quz\nAllow: /foo/*/qux\n", "a", "/foo/bar/quz", false},
      {"$ anchors the end", "User-agent: a\nDisallow: /foo/bar$\nAllow: /foo/bar/qux\n", "a", "/foo/bar", false},
      {"$ anchors only the end", "User-agent: a\nDisallow: /foo/bar$\n", "a", "/foo/bar/", true},
      {"comments", "User-agent: a\n# Disallow: /\nDisallow: /foo/quz#qux\nAllow: /\n", "a", "/foo/bar", true},
      {"a rule cut by a comment", "User-agent: a\nDisallow: /foo/quz#qux\nAllow: /\n", "a", "/foo/quz", false},
      {"the query takes part", "user-agent: a\ndisallow: /\nallow: /*.php\n", "a", "/index?f=filename.php/", true},
      {"*.php$", "user-agent: a\ndisallow: /\nallow: /*.php$\n", "a", "/filename.php?parameters", false},
      {"/fish* is /fish", "user-agent: a\ndisallow: /\nallow: /fish*\n", "a", "/fishheads/yummy.html", true},
      {"/fish/ is not /fish", "user-agent: a\ndisallow: /\nallow: /fish/\n", "a", "/fish", false},
      {"/$ is the root alone", "user-agent: a\nallow: /$\ndisallow: /\n", "a", "/", true},
      {"/$ is not a page", "user-agent: a\nallow: /$\ndisallow: /\n", "a", "/page.html", false},
      {"a letter above 127 in a rule", "User-agent: a\nDisallow: /\nAllow: /foo/bar/\xE3\x83\x84\n", "a",
       "/foo/bar/%E3%83%84", true},
      {"escapes of either case", "User-agent: a\nDisallow: /\nAllow: /foo/%e3%83%84\n", "a", "/foo/%E3%83%84",
       true},
      {"an escaped letter is not the letter", "User-agent: a\nDisallow: /\nAllow: /foo/bar/%62%61%7A\n", "a",
       "/foo/bar/baz", false},
      {"Windows line ends", "User-agent: a\r\nDisallow: /private/\r\n", "a", "/private/x", false},
      {"old Mac line ends", "User-agent: a\rDisallow: /private/\r", "a", "/private/x", false},
      {"a last line without its end", "User-agent: a\nDisallow: /private/", "a", "/private/x", false},
      {"a byte-order mark", "\xEF\xBB\xBFUser-agent: a\nDisallow: /\n", "a", "/x", false},
  };
  for (const RulesCase& c : cases) {
    EXPECT_EQ(RobotsRules::parse(c.file, c.agent).allowed(c.path), c.allowed) << c.what << ": " << c.path;
  }
}

TEST(RobotsRules, ReadNoFurtherThanTheLimitAndKeepDelaysAndSitemaps) {
  // A rule past the limit is not read.
  std::string file = "User-agent: *\n#" + std::string(kMaxRobotsBytes, 'x') + "\nDisallow: /\n";
  EXPECT_TRUE(RobotsRules::parse(file, "a").allowed("/x"));

  RobotsRules rules = RobotsRules::parse(
      "User-agent: *\nCrawl-delay: 9\nUser-agent: a\nCrawl-delay: 2.5\nSitemap: http://h/s.xml\nDisallow: /p\n", "a");
  EXPECT_EQ(rules.crawlDelayMs(), 2500u);
  EXPECT_EQ(rules.sitemaps(), std::vector<std::string>{"http://h/s.xml"});
  EXPECT_FALSE(rules.allowed("/p"));
  EXPECT_EQ(RobotsRules::parse("User-agent: a\nCrawl-delay: 86400\n", "a").crawlDelayMs(), kMaxCrawlDelayMs);
  EXPECT_EQ(RobotsRules::parse("User-agent: a\nCrawl-delay: soon\n", "a").crawlDelayMs(), 0u);
  EXPECT_FALSE(RobotsRules::disallowAll().allowed("/"));
  // Patterns that would make matching slow are made small first.
  RobotsRules stars = RobotsRules::parse("User-agent: *\nDisallow: /" + std::string(400000, '*') + "a*b*c$\n", "a");
  EXPECT_TRUE(stars.allowed("/" + std::string(4000, 'a') + "b"));
  EXPECT_FALSE(stars.allowed("/abc"));
}

}  // namespace
}  // namespace sg::test
