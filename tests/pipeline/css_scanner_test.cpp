#include "pipeline/css_scanner.h"

#include <gtest/gtest.h>

#include <vector>

namespace sg {
namespace {

struct SheetCase {
  const char* name;
  const char* sheet;
  std::vector<std::string> references;  // as handed on, decoded; "@" before an import
  const char* written;                  // every reference but "keep*" and "same*" rewritten to "R/<url>"
};

// Scans a sheet cut into blocks of every size from 1 byte up: where a
// block ends must change nothing.
void expectScan(const SheetCase& c) {
  const std::string sheet = c.sheet;
  for (size_t blockSize = 1; blockSize <= sheet.size() + 1; ++blockSize) {
    std::vector<std::string> seen;
    CssScanner scanner([&](std::string_view url, bool import) -> std::optional<std::string> {
      seen.push_back((import ? "@" : "") + std::string(url));
      if (url.starts_with("keep")) return std::nullopt;
      if (url.starts_with("same")) return std::string(url);
      return "R/" + std::string(url);
    });
    std::string out;
    for (size_t at = 0; at < sheet.size(); at += blockSize) scanner.scanBlock(sheet.substr(at, blockSize), out);
    scanner.finish(out);
    EXPECT_EQ(seen, c.references) << c.name << ", blocks of " << blockSize;
    EXPECT_EQ(out, c.written) << c.name << ", blocks of " << blockSize;
  }
}

TEST(CssScanner, FindsAndRewritesEveryFormOfReference) {
  const SheetCase cases[] = {
      {"unquoted url", "a{background:url(img/a.png)}", {"img/a.png"}, "a{background:url(\"R/img/a.png\")}"},
      {"quoted urls, blanks inside the parentheses", "b{x:url( 'b.png' ) y:URL(\"c d.gif\")}", {"b.png", "c d.gif"},
       "b{x:url(\"R/b.png\") y:url(\"R/c d.gif\")}"},
      {"import string and import url with media",
       "@import \"base.css\";\n@import url(print.css) print;\n@IMPORT 'keep.css' screen;",
       {"@base.css", "@print.css", "@keep.css"},
       "@import \"R/base.css\";\n@import url(\"R/print.css\") print;\n@IMPORT 'keep.css' screen;"},
      {"escapes are decoded", "c{x:url(a\\ b\\28 1\\29.png) y:url(\"q\\\"uote.png\")}", {"a b(1).png", "q\"uote.png"},
       "c{x:url(\"R/a b(1).png\") y:url(\"R/q\\\"uote.png\")}"},
      {"a hex escape for a non-ASCII letter", "d{x:url(caf\\e9.png)}", {"caf\xc3\xa9.png"},
       "d{x:url(\"R/caf\xc3\xa9.png\")}"},
      {"comments and plain strings are not references",
       "/* url(no.png) @import 'no.css'; */ e{content:\"url(no.png)\"} f{x:url(yes.png)}", {"yes.png"},
       "/* url(no.png) @import 'no.css'; */ e{content:\"url(no.png)\"} f{x:url(\"R/yes.png\")}"},
      {"other functions and names", "g{x:myurl(a.png) y:image-set(url(i.png) 1x) z:--url(b)}", {"i.png"},
       "g{x:myurl(a.png) y:image-set(url(\"R/i.png\") 1x) z:--url(b)}"},
      {"data URLs and empty references stay", "h{x:url(data:image/png;base64,AAAA) y:url() z:url('')}", {},
       "h{x:url(data:image/png;base64,AAAA) y:url() z:url('')}"},
      {"a kept reference is copied as written", "i{x:url(  keep.png  )}", {"keep.png"}, "i{x:url(  keep.png  )}"},
      {"a bad URL is copied", "j{x:url(a\"b.png) y:url(c.png}", {}, "j{x:url(a\"b.png) y:url(c.png}"},
      {"unfinished comment and string lose nothing", "k{x:url(k.png)} /* open \"", {"k.png"},
       "k{x:url(\"R/k.png\")} /* open \""},
      {"a string cut by a line end", "l{content:\"open\nm{x:url(m.png)}", {"m.png"},
       "l{content:\"open\nm{x:url(\"R/m.png\")}"},
      {"an escaped name", "n{\\75rl(x.png)}", {}, "n{\\75rl(x.png)}"},
      {"a sheet cut inside url(", "o{x:url(o.pn", {}, "o{x:url(o.pn"},
      {"a reference rewritten to itself keeps its text", "@import 'same.css'; p{x:url( same.png ) y:url(\"same2.png\")}",
       {"@same.css", "same.png", "same2.png"}, "@import 'same.css'; p{x:url( same.png ) y:url(\"same2.png\")}"},
  };
  for (const SheetCase& c : cases) expectScan(c);
}

TEST(CssScanner, QuotesRewrittenReferencesForWhereTheyStand) {
  std::string out;
  CssScanner scanner([](std::string_view, bool) { return std::optional<std::string>("it's \"here\".png"); }, '\'');
  scanner.scanBlock("background:url(x.png)", out);
  scanner.finish(out);
  EXPECT_EQ(out, "background:url('it\\'s \"here\".png')");
  EXPECT_EQ(CssScanner::quoted("a\nb\\", '"'), "a\\a b\\\\");
}

}  // namespace
}  // namespace sg
