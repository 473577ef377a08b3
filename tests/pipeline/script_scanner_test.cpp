#include "pipeline/script_scanner.h"

#include <gtest/gtest.h>

#include <vector>

namespace sg {
namespace {

struct ScriptCase {
  const char* name;
  const char* script;
  std::vector<std::string> assets;
};

TEST(ScriptScanner, FindsTheAssetsAScriptNames) {
  const ScriptCase cases[] = {
      {"switching style sheets", "link.setAttribute(\"href\", \"style/dark.css\");", {"style/dark.css"}},
      {"all three quotes, queries kept", "a('x.png?v=2'); b(`/f/font.woff2`); c(\"data.json#k\")",
       {"x.png?v=2", "/f/font.woff2", "data.json#k"}},
      {"absolute URLs are handed on for the caller to judge", "load('https://cdn.example/lib.js')",
       {"https://cdn.example/lib.js"}},
      {"not assets", "t('hello world.png'); u('page.html'); v('.png'); w('a/b'); x('<img src=a.png>')", {}},
      {"comments", "// don't load 'no.png'\n/* it's 'no2.png' */ y('yes.png')", {"yes.png"}},
      {"a quote that opens no string ends at the line", "r = /'/; s('ok.svg')\nt('also.ico')", {"also.ico"}},
      {"escapes make no plain URL", "e('a\\'b.png'); f('c.gif')", {"c.gif"}},
  };
  for (const ScriptCase& c : cases) {
    const std::string script = c.script;
    for (size_t blockSize : {size_t{1}, size_t{7}, script.size()}) {
      std::vector<std::string> found;
      ScriptScanner scanner([&](std::string_view url) { found.emplace_back(url); });
      for (size_t at = 0; at < script.size(); at += blockSize) scanner.scanBlock(script.substr(at, blockSize));
      EXPECT_EQ(found, c.assets) << c.name << ", blocks of " << blockSize;
    }
  }
}

}  // namespace
}  // namespace sg
