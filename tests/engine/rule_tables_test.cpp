#include <gtest/gtest.h>

#include "engine/path_rule_set.h"
#include "engine/server_rule_table.h"

namespace sg {
namespace {

struct RuleCase {
  const char* rule;
  const char* path;
  bool matches;
};

TEST(PathRules, RulesCoverWholeLeadingComponents) {
  const RuleCase cases[] = {
      {"/cgi-bin/", "/cgi-bin", true},
      {"/cgi-bin/", "/cgi-bin/search", true},
      {"/cgi-bin/", "/cgi-bin/a/b", true},
      {"/cgi-bin/", "/cgi-binary", false},
      {"/cgi-bin/", "/cgi-binaries/x", false},
      {"/cgi-bin", "/cgi-bin/search", true},
      {"/cgi-bin", "/cgi-bin", true},
      {"/help", "/help.html", false},
      {"/help", "/help/index.html", true},
      {"/", "/anything/at/all", true},
      {"", "/anything", true},
      {"*", "/anything", true},
      {"/a/*", "/a/b", false},
      {"/a/*", "/a/*/c", true},
      {"/private/", "/privateer.html", false},
      {"/private/", "/", false},
      {"/Mixed/", "/mixed/x", false},  // the set itself is case-sensitive
      {"\\win\\dir", "/win/dir/file", true},
  };
  for (const RuleCase& c : cases) {
    PathRuleSet rules;
    rules.add(c.rule);
    EXPECT_EQ(rules.matches(c.path), c.matches) << c.rule << " vs " << c.path;
  }
}

TEST(PathRules, VeryDeepRulesDoNotExhaustTheStack) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "/a";
  PathRuleSet rules;
  rules.add(deep);
  EXPECT_TRUE(rules.matches(deep + "/b"));
  EXPECT_FALSE(rules.matches("/a/a/b"));
}

TEST(ServerRules, ExclusionsByServerAndPath) {
  ServerRuleTable table;
  table.addPattern("http://www.example.com/private/");
  table.addPattern("http://Blocked.Example.com");
  table.addPattern("other.example.com/cgi-bin/");

  struct Case {
    const char* url;
    bool allowed;
  } cases[] = {
      {"http://www.example.com/private", false},
      {"http://www.example.com/private/a.html", false},
      {"http://WWW.EXAMPLE.COM/Private/A.html", false},
      {"http://www.example.com/privateer.html", true},
      {"http://www.example.com/public.html", true},
      {"http://blocked.example.com/", false},
      {"http://blocked.example.com/deep/page.html", false},
      {"https://other.example.com/cgi-bin/find?q=a", false},
      {"http://other.example.com/cgi-binary", true},
      {"http://unrelated.example.org/private/", true},
      {"mailto:x@example.com", false},  // does not split
  };
  for (const auto& c : cases) EXPECT_EQ(table.isAllowedUrl(c.url), c.allowed) << c.url;
  EXPECT_FALSE(table.isAllowed("WWW.Example.com", "/PRIVATE/x"));
}

TEST(ServerRules, SaveListsEveryTerminalNodeAndLoadRestores) {
  ServerRuleTable table;
  table.addPattern("http://b.example.com/z/");
  table.addPattern("http://a.example.com/x/y");
  table.addPattern("http://a.example.com/x");
  table.addPattern("http://c.example.com");
  std::vector<std::string> saved;
  table.save(saved);
  EXPECT_EQ(saved, (std::vector<std::string>{"a.example.com/x", "a.example.com/x/y", "b.example.com/z",
                                             "c.example.com"}));

  ServerRuleTable restored;
  restored.addPattern("http://gone.example.com/");
  restored.load(saved);
  std::vector<std::string> again;
  restored.save(again);
  EXPECT_EQ(again, saved);
  EXPECT_TRUE(restored.isAllowedUrl("http://gone.example.com/"));
  EXPECT_FALSE(restored.isAllowedUrl("http://c.example.com/anything"));

  restored.clear();
  EXPECT_TRUE(restored.isAllowedUrl("http://c.example.com/anything"));
}

TEST(ServerRules, KnownServersWithoutRulesAllowEverything) {
  ServerRuleTable cache;
  EXPECT_FALSE(cache.contains("Host.example.com"));
  cache.store("Host.example.com", nullptr);
  EXPECT_TRUE(cache.contains("host.example.com"));
  EXPECT_TRUE(cache.isAllowed("host.example.com", "/x"));

  auto rules = std::make_unique<PathRuleSet>();
  rules->add("/private/");
  cache.store("HOST.example.com", std::move(rules));
  EXPECT_FALSE(cache.isAllowed("host.example.com", "/Private/a.html"));
  EXPECT_TRUE(cache.isAllowed("host.example.com", "/public.html"));
}

}  // namespace
}  // namespace sg
