#include "pipeline/html_scanner.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/download_controller.h"
#include "support/log_lines.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/string_utils.h"

namespace sg {
namespace {

constexpr const char* kPageUrl = "http://www.example.com/dir/page.html";

using Adjust = std::function<void(CrawlSettings&)>;

// A download whose root is the page being scanned, saving below "/S".
std::unique_ptr<DownloadController> makeController(const Adjust& adjust = {}) {
  auto controller = std::make_unique<DownloadController>();
  controller->settings = CrawlSettings::defaults("/home/user/Desktop");
  controller->settings.saveDirectory = "/S";
  if (adjust) adjust(controller->settings);
  EXPECT_TRUE(controller->initialise(kPageUrl, nullptr, 0)) << controller->information;
  controller->registerLink(*controller);
  return controller;
}

struct ScanResult {
  std::string output;
  std::string title;
  std::vector<std::string> children;  // URLs, " (inline)" added for inline links
  bool noFollow = false;
  std::string information;
  std::string baseLocalFile;

  bool operator==(const ScanResult&) const = default;
};

void PrintTo(const ScanResult& r, std::ostream* os) {
  *os << "{output \"" << r.output << "\", title \"" << r.title << "\", children {";
  for (const std::string& child : r.children) *os << " " << child;
  *os << " }, noFollow " << r.noFollow << ", information \"" << r.information << "\", base \"" << r.baseLocalFile
      << "\"}";
}

std::vector<std::string> childList(const LinkRecord& page) {
  std::vector<std::string> list;
  for (size_t i = 0; i < page.childCount(); ++i) {
    const LinkRecord* child = page.child(i);
    list.push_back(child->url() + (child->inlineLink ? " (inline)" : ""));
  }
  return list;
}

// Scans page as a body that arrives in blocks ending at the given cuts.
ScanResult scan(std::string_view page, const Adjust& adjust = {}, const std::vector<size_t>& cuts = {}) {
  auto controller = makeController(adjust);
  HtmlScanner scanner(*controller);
  ScanResult result;
  size_t from = 0;
  for (size_t cut : cuts) {
    scanner.scanBlock(page.substr(from, cut - from), result.output);
    from = cut;
  }
  scanner.scanBlock(page.substr(from), result.output);
  result.title = controller->title;
  result.children = childList(*controller);
  result.noFollow = scanner.noFollow();
  result.information = controller->information;
  result.baseLocalFile = scanner.baseLocalFile();
  return result;
}

struct AttributeCase {
  const char* tag;
  const char* name;
  std::optional<std::string> value;
  size_t start = 0;
  size_t end = 0;
};

TEST(FindAttribute, FindsTheFirstMentionOfANameThatIsNotPartOfAWord) {
  const AttributeCase cases[] = {
      // Quoting.
      {"a href=\"x.html\"", "href", "x.html", 8, 14},
      {"a href=x.html", "href", "x.html", 7, 13},
      {"a href='say \"hi\".html'", "href", "say \"hi\".html", 8, 21},
      // Case of tag and attribute names; the value keeps its own.
      {"A HREF=\"X.html\"", "href", "X.html", 8, 14},
      // The name must not continue a word.
      {"img dynsrc=\"v.avi\" src=\"a.gif\"", "src", std::nullopt},
      // A mention inside another quoted value is text; an unquoted one is not.
      {"a title=\"see href=y.html now\" href=\"x.html\"", "href", "x.html", 36, 42},
      {"meta http-equiv=\"refresh\" content=\"0; url=x.html\"", "url", std::nullopt},
      {"a title=see href=y.html", "href", "y.html", 17, 23},
      // Blanks around "=", and what is not a blank.
      {"a href = \"x.html\"", "href", "x.html", 10, 16},
      {"a href\t=\"x.html\"", "href", std::nullopt},
      {"a href=\t\"x.html\"", "href", "\t\"x.html\"", 7, 16},
      // Missing or empty values.
      {"a href=\"x.html", "href", std::nullopt},
  };
  for (const AttributeCase& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " / " + c.name);
    std::optional<AttributeValue> found = findAttribute(c.tag, c.name);
    std::optional<AttributeValue> prelowered = findAttribute(c.tag, toLowerAscii(c.tag), c.name);
    ASSERT_EQ(found.has_value(), c.value.has_value());
    ASSERT_EQ(prelowered.has_value(), c.value.has_value());
    if (!found) continue;
    EXPECT_EQ(found->value, *c.value);
    EXPECT_EQ(found->start, c.start);
    EXPECT_EQ(found->end, c.end);
    EXPECT_EQ(std::string_view(c.tag).substr(found->start, found->end - found->start), *c.value);
    EXPECT_EQ(prelowered->value, found->value);
    EXPECT_EQ(prelowered->start, found->start);
    EXPECT_EQ(prelowered->end, found->end);
  }
}

struct RewriteCase {
  const char* what;
  const char* page;
  const char* output;
  std::vector<std::string> children;
  int maxServerDepth = 0;
  bool createTree = true;
};

TEST(HtmlScanner, RewritesLinksRelativeToThePage) {
  const RewriteCase cases[] = {
      {"image in a sibling directory",
       "<img src=\"/img/a.gif\">",
       "<img src=\"../img/a.gif\">",
       {"http://www.example.com/img/a.gif (inline)"}},
      {"unquoted value",
       "<a href=/up.html title=x>",
       "<a href=../up.html title=x>",
       {"http://www.example.com/up.html"}},
      {"absolute URL, names in capitals",
       "<A HREF=\"http://www.example.com/img/b.png\">",
       "<A HREF=\"../img/b.png\">",
       {"http://www.example.com/img/b.png"}},
      {"fragment only", "<a href=\"#top\">top</a>", "<a href=\"#top\">top</a>", {}},
      {"mailto", "<a href=\"mailto:me@example.com\">", "<a href=\"mailto:me@example.com\">", {}},
      {"other server beyond the radius",
       "<a href=\"http://other.example.org/x.html\">",
       "<a href=\"http://other.example.org/x.html\">",
       {}},
      {"other server within the radius",
       "<a href=\"http://other.example.org/x.html\">",
       "<a href=\"../../other.example.org/x.html\">",
       {"http://other.example.org/x.html"},
       1},
      {"the page itself", "<a href=\"page.html#top\">", "<a href=\"page.html#top\">", {}},
      {"duplicate",
       "<a href=\"/x.html\">1</a><a href=\"../dir/../x.html\">2</a>",
       "<a href=\"../x.html\">1</a><a href=\"../x.html\">2</a>",
       {"http://www.example.com/x.html"}},
      {"form action",
       "<form action=\"/cgi-bin/find\" method=get>",
       "<form action=\"../cgi-bin/find.html\" method=get>",
       {"http://www.example.com/cgi-bin/find"}},
      {"archive before code",
       "<applet code=\"App.class\" archive=\"/lib/app.jar\">",
       "<applet code=\"App.class\" archive=\"../lib/app.jar\">",
       {"http://www.example.com/lib/app.jar", "http://www.example.com/dir/App.class"}},
      {"background",
       "<body background=\"/bg.jpg\" bgcolor=white>",
       "<body background=\"../bg.jpg\" bgcolor=white>",
       {"http://www.example.com/bg.jpg (inline)"}},
      {"later attribute after a longer replacement",
       "<img src=\"/i/a.gif\" usemap=\"/m.html\">",
       "<img src=\"../i/a.gif\" usemap=\"../m.html\">",
       {"http://www.example.com/i/a.gif (inline)", "http://www.example.com/m.html"}},
      {"BASE in capitals is no base element",
       "<BASE href=\"/other/index.html\"><a href=\"x.html\">",
       "<BASE href=\"../other/index.html\"><a href=\"x.html\">",
       {"http://www.example.com/other/index.html", "http://www.example.com/dir/x.html"}},
      {"tag open at the end is never written", "text <a href=\"x.html\"", "text ", {}},
      // A byte scanner: links in comments are followed, and ">" in a value
      // ends the tag.
      {"no comments or quoted brackets",
       "<!-- <a href=\"/old.html\"> --><a title=\"a>b\" href=\"/x.html\">",
       "<!-- <a href=\"../old.html\"> --><a title=\"a>b\" href=\"/x.html\">",
       {"http://www.example.com/old.html"}},
      // The references of today's pages.
      {"srcset before src",
       "<img srcset=\"/a.png 1x, /b.png 2x\" src=\"/a.png\">",
       "<img srcset=\"../a.png 1x, ../b.png 2x\" src=\"../a.png\">",
       {"http://www.example.com/a.png (inline)", "http://www.example.com/b.png (inline)"}},
      {"srcset with widths, a comma in a URL, no blank after commas",
       "<source srcset=\"s.jpg?a,b 300w,m.jpg 600w,l.jpg\">",
       "<source srcset=\"s.jpg_a,b.jpg 300w,m.jpg 600w,l.jpg\">",
       {"http://www.example.com/dir/s.jpg?a,b (inline)", "http://www.example.com/dir/m.jpg (inline)",
        "http://www.example.com/dir/l.jpg (inline)"}},
      {"lazy images",
       "<img data-src=\"/big.jpg\" data-srcset=\"/big2.jpg 2x\">",
       "<img data-src=\"../big.jpg\" data-srcset=\"../big2.jpg 2x\">",
       {"http://www.example.com/big.jpg (inline)", "http://www.example.com/big2.jpg (inline)"}},
      {"video poster and object data",
       "<video poster=\"/p.jpg\"></video><object data=\"/o.svg\">",
       "<video poster=\"../p.jpg\"></video><object data=\"../o.svg\">",
       {"http://www.example.com/p.jpg (inline)", "http://www.example.com/o.svg (inline)"}},
      {"SVG image and use",
       "<image href=\"/i.png\"/><use xlink:href=\"/s.svg#icon\"/>",
       "<image href=\"../i.png\"/><use xlink:href=\"../s.svg#icon\"/>",
       {"http://www.example.com/i.png (inline)", "http://www.example.com/s.svg (inline)"}},
      {"style sheet link",
       "<link rel=\"stylesheet\" href=\"/s.css\">",
       "<link rel=\"stylesheet\" href=\"../s.css\">",
       {"http://www.example.com/s.css (inline)"}},
      {"refresh to another page",
       "<meta http-equiv=\"refresh\" content=\"5; URL='/next.html'\">",
       "<meta http-equiv=\"refresh\" content=\"5; URL='../next.html'\">",
       {"http://www.example.com/next.html"}},
      {"no tree: up and over",
       "<img src=\"../img/a.gif\">",
       "<img src=\"a.gif\">",
       {"http://www.example.com/img/a.gif (inline)"},
       0,
       false},
      {"no tree: server root",
       "<a href=\"http://www.example.com/\">",
       "<a href=\"default.html\">",
       {"http://www.example.com/"},
       0,
       false},
      {"no tree: other server",
       "<a href=\"http://other.example.org/deep/y.html\">",
       "<a href=\"y.html\">",
       {"http://other.example.org/deep/y.html"},
       1,
       false},
  };
  for (const RewriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScanResult result = scan(c.page, [&](CrawlSettings& s) {
      s.maxServerDepth = c.maxServerDepth;
      s.createTree = c.createTree;
    });
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.children, c.children);
  }
}

TEST(HtmlScanner, BaseElementMovesRelativePathsButNotUrls) {
  const char* page =
      "<base href=\"http://www.example.com/other/index.html\">"
      "<a href=\"x.html\"><img src=\"/img/a.gif\"><a href=\"/other/y.html#p\">";
  ScanResult result = scan(page);
  EXPECT_EQ(result.output,
            "<base href=\"/S/www.example.com/other/index.html\">"
            "<a href=\"../dir/x.html\"><img src=\"../img/a.gif\"><a href=\"y.html#p\">");
  EXPECT_EQ(result.baseLocalFile, "/S/www.example.com/other/index.html");
  EXPECT_EQ(result.children, (std::vector<std::string>{
                                 "http://www.example.com/other/index.html",
                                 "http://www.example.com/dir/x.html",
                                 "http://www.example.com/img/a.gif (inline)",
                                 "http://www.example.com/other/y.html",
                             }));
}

TEST(HtmlScanner, WithoutFixLinksThePageIsSavedAsReadAndLinksAreStillFollowed) {
  const std::string page =
      "<html>\r\n<head><title>T</title>\r\n<base href=\"/other/\"></head>\r\n"
      "<body background=bg.gif><a href=\"/x.html#p\">x</a> <img dynsrc=\"v.avi\" src=\"a.gif\">\r\n"
      "<a href='#top'>top</a><a href=\"mailto:me@example.com\">m</a>\n"
      "<form action=\"find\"><applet archive=app.jar code=App.class></body>\r\n";
  ScanResult fixed = scan(page);
  ScanResult plain = scan(page, [](CrawlSettings& s) { s.fixLinks = false; });
  EXPECT_NE(fixed.output, page);
  EXPECT_EQ(plain.output, page);
  EXPECT_EQ(plain.baseLocalFile, "");  // the base element changes nothing either
  EXPECT_EQ(plain.title, "T");
  EXPECT_EQ(plain.children, fixed.children);
  EXPECT_EQ(plain.children, (std::vector<std::string>{
                                "http://www.example.com/other/",
                                "http://www.example.com/dir/bg.gif (inline)",
                                "http://www.example.com/x.html",
                                "http://www.example.com/dir/v.avi (inline)",
                                "http://www.example.com/dir/find",
                                "http://www.example.com/dir/app.jar",
                                "http://www.example.com/dir/App.class",
                            }));
}

struct InlineCase {
  const char* page;
  bool ignoreInline;
  std::vector<std::string> children;
};

TEST(HtmlScanner, InlineFlagsAndIgnoreInline) {
  const InlineCase cases[] = {
      {"<img src=\"a.gif\">", true, {}},
      {"<embed src=\"s.wav\">", true, {"http://www.example.com/dir/s.wav (inline)"}},
      {"<td background=\"bg.gif\">", true, {"http://www.example.com/dir/bg.gif (inline)"}},
      {"<a href=\"x.html\">", true, {"http://www.example.com/dir/x.html"}},
      {"<frame src=\"f.html\">", false, {"http://www.example.com/dir/f.html (inline)"}},
  };
  for (const InlineCase& c : cases) {
    SCOPED_TRACE(std::string(c.page) + (c.ignoreInline ? " ignoring inline" : ""));
    ScanResult result = scan(c.page, [&](CrawlSettings& s) { s.ignoreInline = c.ignoreInline; });
    EXPECT_EQ(result.children, c.children);
    if (c.children.empty()) {
      EXPECT_EQ(result.output, c.page);
    }
  }
}

TEST(HtmlScanner, RobotsNoFollowStopsLaterLinksUnlessStealthy) {
  const char* page =
      "<a href=\"/first.html\"><META NAME=\"ROBOTS\" CONTENT=\"NOINDEX,NOFOLLOW\">"
      "<a href=\"/second.html\"><img src=\"/a.gif\">";
  const std::string information =
      "'NoFollow' HTML tag prohibits Sitegleaner from gleaning links on page http://www.example.com/dir/page.html.";

  test::drainLog();
  ScanResult obeyed = scan(page);
  EXPECT_TRUE(obeyed.noFollow);
  EXPECT_EQ(obeyed.information, information);
  EXPECT_EQ(obeyed.output,
            "<a href=\"../first.html\"><META NAME=\"ROBOTS\" CONTENT=\"NOINDEX,NOFOLLOW\">"
            "<a href=\"/second.html\"><img src=\"/a.gif\">");
  EXPECT_EQ(obeyed.children, std::vector<std::string>{"http://www.example.com/first.html"});
  EXPECT_EQ(test::drainLog(), std::vector<std::string>{information});

  setStealthMode(true);
  ScanResult ignored = scan(page);
  setStealthMode(false);
  EXPECT_TRUE(ignored.noFollow);
  EXPECT_EQ(ignored.information, information);
  EXPECT_EQ(ignored.output,
            "<a href=\"../first.html\"><META NAME=\"ROBOTS\" CONTENT=\"NOINDEX,NOFOLLOW\">"
            "<a href=\"../second.html\"><img src=\"../a.gif\">");
  EXPECT_EQ(ignored.children,
            (std::vector<std::string>{"http://www.example.com/first.html", "http://www.example.com/second.html",
                                      "http://www.example.com/a.gif (inline)"}));
  EXPECT_EQ(test::drainLog(), std::vector<std::string>{information});
}

TEST(HtmlScanner, OtherMetaTagsLeaveLinksFollowed) {
  const char* pages[] = {
      "<meta name=\"robots\" content=\"index,follow\"><a href=\"x.html\">",
      "<meta name=robots><a href=\"x.html\">",
  };
  test::drainLog();
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    ScanResult result = scan(page);
    EXPECT_FALSE(result.noFollow);
    EXPECT_EQ(result.information, "");
    EXPECT_EQ(result.children, std::vector<std::string>{"http://www.example.com/dir/x.html"});
  }
  EXPECT_EQ(test::drainLog(), std::vector<std::string>{});
}

TEST(HtmlScanner, TitleComesFromBareTitleTagsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"<html><head><title>My page</title></head>", "My page"},
      {"<title lang=en>My page</title>", ""},
      {"<title>My <b>bold</b> page</title>", "My bold page"},
  };
  for (const auto& [page, title] : cases) EXPECT_EQ(scan(page).title, title) << page;
}

TEST(HtmlScanner, StrippingKeepsTextTitleAndLinks) {
  const char* page =
      "<html><head><title>Stripped</title></head>\r\n"
      "<body><p>One <a href=\"/x.html\">link</a> and <img src=\"a.gif\" alt=\"pic\"> an image.\r</p></body></html>";
  ScanResult result = scan(page, [](CrawlSettings& s) { s.stripHtmlTags = true; });
  EXPECT_EQ(result.output, "Stripped\r\nOne link and  an image.\r");
  EXPECT_EQ(result.title, "Stripped");
  EXPECT_EQ(result.children,
            (std::vector<std::string>{"http://www.example.com/x.html", "http://www.example.com/dir/a.gif (inline)"}));
}

TEST(HtmlScanner, LoneCarriageReturnGetsALineFeed) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\rb", "a\r\nb"},
      {"a\r", "a\r"},  // nothing follows the last byte
      // The line feed goes in before the next byte that is copied along
      // with the carriage return; "<" and ">" are not.
      {"a\r<b>", "a\r<b>"},
  };
  for (const auto& [page, output] : cases) EXPECT_EQ(scan(page).output, output) << page;
}

struct SplitPage {
  const char* what;
  std::string page;
  Adjust adjust;
};

std::vector<SplitPage> splitPages() {
  const std::string site =
      "\r\n<html><head>\r\n<TITLE>Split\rtitle &amp; more</TITLE>\r\n"
      "<base href=\"/other/index.html\">\n</head>\r<body background='bg.gif'>\r\n"
      "<p>Text\r\rmore</p><a\r\nhref=\"page2.html#part\">two</a>\r"
      "<img dynsrc=\"v.avi\" src=\"a.gif\"><a href = /x.html>x</a>\r\n"
      "<a href=\"#top\">top</a>\r<a href=\"mailto:me@example.com\">mail</a>\r"
      "<IMG SRC='http://www.example.com/img/logo.png' ALT=\"logo\">\r\n</body></html>\r";
  const std::string robots =
      "<title>Robots</title><a href=\"/first.html\">\r"
      "<meta name=\"Robots\" content=\"noindex, nofollow\">\r\n<a href=\"/second.html\">second</a>\r";
  return {
      {"site", site, {}},
      {"site, stripped, ignoring inline", site,
       [](CrawlSettings& s) {
         s.stripHtmlTags = true;
         s.ignoreInline = true;
       }},
      {"robots", robots, {}},
  };
}

TEST(HtmlScanner, SplittingTheBodyAnywhereChangesNothing) {
  for (const SplitPage& p : splitPages()) {
    SCOPED_TRACE(p.what);
    const ScanResult whole = scan(p.page, p.adjust);
    ASSERT_FALSE(whole.children.empty());
    const size_t n = p.page.size();
    for (size_t i = 0; i <= n; ++i) {
      ASSERT_EQ(scan(p.page, p.adjust, {i}), whole) << "cut at " << i;
    }
    for (size_t i = 1; i < n; i += 3) {
      for (size_t j = i + 1; j < n; j += 7) {
        ASSERT_EQ(scan(p.page, p.adjust, {i, j}), whole) << "cuts at " << i << " and " << j;
      }
    }
    std::vector<size_t> everyByte(n - 1);
    std::iota(everyByte.begin(), everyByte.end(), 1);
    ASSERT_EQ(scan(p.page, p.adjust, everyByte), whole) << "one byte at a time";
  }
}

}  // namespace
}  // namespace sg
