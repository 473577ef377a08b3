// A copy that browses offline as the live site does: style sheets and what
// they name, the references of today's pages, and bodies that are not
// pages saved as the server sent them.
#include <gtest/gtest.h>

#include <filesystem>

#include "pipeline/pipeline_fixture.h"
#include "pipeline/placeholder.h"

namespace sg::test {
namespace {

class Fidelity : public PipelineTest {
 protected:
  void SetUp() override {
    server.page("/",
                "<html><head><link rel=\"stylesheet\" href=\" style/main.css \">\n"
                "<style>@import \"style/extra.css\"; body{background:url('img/bg.png')}</style></head>\n"
                "<body><div style=\"background-image:url(&quot;/img/div.png&quot;)\">x</div>\n"
                "<a href=\"page.html?x=1&amp;y=2\">page</a><script src=\"js/app.js\"></script>\n"
                "<script>var i = new Image(); i.src = \"img/inline.png\";</script>\n"
                "<a href=\"notes.txt\">notes</a></body></html>\n");
    server.page("/style/main.css",
                "@import url(base.css) screen;\nh1{background:url(../img/h1.png)}\n"
                "@font-face{font-family:f;src:url(\"../fonts/f.woff2\") format(\"woff2\")}\n",
                "text/css");
    server.page("/style/base.css", "p{background:url(p.png)} /* url(not-this.png) */", "text/css");
    server.page("/style/extra.css", "em{background:url(\"../img/em.png\")}", "text/css");
    for (const char* image : {"/img/bg.png", "/img/div.png", "/img/h1.png", "/style/p.png", "/img/em.png"}) {
      server.page(image, std::string("PNG of ") + image, "image/png");
    }
    server.page("/fonts/f.woff2", "wOF2-font", "font/woff2");
    server.page("/img/inline.png", "PNG inline", "image/png");
    server.page("/style/dark.css", "body{color:white}", "text/css");
    server.page("/page.html", "<html>page</html>");
    server.page("/js/app.js", kScript, "text/javascript");
    server.page("/notes.txt", kNotes, "text/plain");
    server.start();
  }

  static constexpr const char* kScript =
      "function f(a,b){ if (a < b) return '<p>'; return 2; }\r\n"
      "function dark(){ document.querySelector('link').setAttribute(\"href\", \"style/dark.css\"); }\n";
  static constexpr const char* kNotes = "Plain text <a href=\"x.html\">not a link</a> stays as it is.\r\n";
};

TEST_F(Fidelity, StyleSheetsAndWhatTheyNameBrowseOffline) {
  crawl("/");
  for (const char* path : {"/style/main.css", "/style/base.css", "/style/extra.css", "/img/bg.png", "/img/div.png",
                           "/img/h1.png", "/style/p.png", "/img/em.png", "/fonts/f.woff2"}) {
    EXPECT_EQ(server.count(path), 1u) << path;
    LinkRecord* record = link(path);
    ASSERT_NE(record, nullptr) << path;
    EXPECT_EQ(record->status, LinkStatus::Complete) << path;
    EXPECT_TRUE(record->inlineLink) << path;
  }
  EXPECT_EQ(server.count("/style/not-this.png"), 0u);
  // A style sheet is part of its page: it counts no crawl level.
  EXPECT_EQ(link("/style/main.css")->depth, 0);
  EXPECT_EQ(link("/style/base.css")->depth, 0);
  EXPECT_EQ(link("/img/h1.png")->depth, 1);

  // Every local reference of every saved page and sheet leads to a file.
  size_t checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(hostDir())) {
    std::string name = entry.path().string();
    if (!entry.is_regular_file() || !(name.ends_with(".css") || name.ends_with("default.html"))) continue;
    for (const std::string& reference : localReferences(readFile(name))) {
      ++checked;
      EXPECT_TRUE(std::filesystem::is_regular_file(entry.path().parent_path() / reference))
          << name << " names " << reference;
    }
  }
  EXPECT_EQ(checked, 13u);
  EXPECT_NE(saved("/").find("style=\"background-image:url('img/div.png')\""), std::string::npos) << saved("/");
  EXPECT_NE(saved("/").find("href=\"page.html_x=1&amp;y=2.html\""), std::string::npos) << saved("/");
  EXPECT_NE(saved("/style/base.css").find("/* url(not-this.png) */"), std::string::npos);
}

TEST_F(Fidelity, BodiesThatAreNotPagesAreSavedByteForByte) {
  crawl("/");
  // What scripts name is fetched, the scripts themselves left as they are.
  EXPECT_EQ(server.count("/img/inline.png"), 1u);
  // A script file's relative addresses are the page's that runs it.
  EXPECT_EQ(server.count("/style/dark.css"), 1u);
  EXPECT_EQ(server.count("/js/style/dark.css"), 0u);
  EXPECT_EQ(saved("/js/app.js"), kScript);
  EXPECT_EQ(saved("/notes.txt"), kNotes);
  EXPECT_EQ(controller.find(server.url("/x.html")), nullptr);
}

TEST(AttributeValues, AreTakenAsBrowsersTakeThem) {
  const std::pair<const char*, const char*> cases[] = {
      // value, the URL a browser takes
      {" https://other.example/x/ ", "https://other.example/x/"},
      {"\tpage\n.html\r", "page.html"},
      {"a.html?x=1&amp;y=2", "a.html?x=1&y=2"},
      {"caf&#xE9;.html", "caf\xC3\xA9.html"},
      {"a&copy=2", "a&copy=2"},  // no ";", no reference
  };
  for (const auto& [value, url] : cases) EXPECT_EQ(urlFromAttribute(value), url) << value;
  EXPECT_EQ(fileReference("sp ace/caf\xC3\xA9 100%.html#Part 2"), "sp%20ace/caf%C3%A9%20100%25.html#Part 2");
  EXPECT_EQ(attributeText("a&b\"c'd", '"'), "a&amp;b&quot;c'd");
}

TEST(CandidateLists, SplitAsBrowsersSplitThem) {
  struct Case {
    const char* list;
    std::vector<std::string> urls;
  };
  const Case cases[] = {
      {"s.jpg?a,b 300w,m.jpg 600w,l.jpg", {"s.jpg?a,b", "m.jpg", "l.jpg"}},
      {" ,, a.png,, b.png", {"a.png", "b.png"}},  // commas at a URL's end end the candidate
      {"a.png,b.png 2x", {"a.png,b.png"}},
      {"a.png (max-width: 1px, 2px) 1x, b.png", {"a.png", "b.png"}},
      {"data:image/png;base64,iVBO 1x", {"data:image/png;base64,iVBO"}},
      {" \t\n", {}},
  };
  for (const Case& c : cases) {
    std::string_view list(c.list);
    std::vector<std::string> urls;
    for (const TextSpan& span : candidateUrls(list)) urls.emplace_back(list.substr(span.start, span.end - span.start));
    EXPECT_EQ(urls, c.urls) << c.list;
  }
}

TEST(RequestTargets, KeepAPercentSignOfTheName) {
  EXPECT_EQ(encodeRequestTarget("/100%.html"), "/100%25.html");
  EXPECT_EQ(encodeRequestTarget("/a%20b%"), "/a%20b%25");
  EXPECT_EQ(encodeRequestTarget("/sp ace/caf\xC3\xA9"), "/sp%20ace/caf%C3%A9");
}

using Names = PipelineTest;

TEST_F(Names, ReadableNamesAndBothSidesOfAClashBrowse) {
  server.page("/",
              "<a href=\"sp%20ace.html\">s</a><a href=\"caf%C3%A9.html\">c</a><a href=\"100%25.html\">p</a>"
              "<a href=\"about\">a</a><a href=\"about/x.html\">x</a>");
  const char* pages[] = {"/sp ace.html", "/caf\xC3\xA9.html", "/100%.html", "/about", "/about/x.html"};
  for (const char* path : pages) server.page(path, std::string("<html>") + path + "</html>");
  server.start();
  crawl("/");
  // Asked for as the page wrote them, escapes kept.
  for (const char* sent : {"/sp%20ace.html", "/caf%C3%A9.html", "/100%25.html", "/about", "/about/x.html"}) {
    EXPECT_EQ(server.count(sent), 1u) << sent;
  }
  for (const char* file : {"sp ace.html", "caf\xC3\xA9.html", "100%.html", "about.html", "about/x.html"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(hostDir() + "/" + file)) << file;
  }
  std::string home = saved("/");
  for (const std::string& reference : localReferences(home)) {
    EXPECT_TRUE(std::filesystem::is_regular_file(hostDir() + "/" + reference)) << reference;
  }
  EXPECT_NE(home.find("href=\"sp%20ace.html\""), std::string::npos) << home;
  EXPECT_NE(home.find("href=\"caf%C3%A9.html\""), std::string::npos) << home;
  EXPECT_NE(home.find("href=\"100%25.html\""), std::string::npos) << home;
}

TEST_F(Names, RedirectedLinksLeadToTheSavedTarget) {
  server.page("/", "<img src=\"old.png\"><a href=\"old.html\">o</a><a href=\"later.html\">l</a>");
  server.redirect("/old.png", "/img/new.png");
  server.redirect("/old.html", "/pages/new.html");
  server.page("/img/new.png", "PNG-new", "image/png");
  server.page("/pages/new.html", "<html>new page</html>");
  // Scanned after the moves were met: its links name the new places.
  server.page("/later.html", "<img src=\"old.png\"><a href=\"old.html\">o</a>");
  server.start();
  controller.settings.threads = 1;
  crawl("/");
  EXPECT_EQ(readFile(hostDir() + "/old.png"), "PNG-new");
  EXPECT_EQ(saved("/img/new.png"), "PNG-new");
  std::string oldPage = readFile(hostDir() + "/old.html");
  EXPECT_TRUE(isPlaceholderFile(hostDir() + "/old.html"));
  EXPECT_NE(oldPage.find("<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL=pages/new.html\">"), std::string::npos)
      << oldPage;
  EXPECT_NE(oldPage.find("<A HREF=\"pages/new.html\">"), std::string::npos) << oldPage;
  for (const std::string& reference : localReferences(saved("/"))) {
    EXPECT_TRUE(std::filesystem::is_regular_file(hostDir() + "/" + reference)) << reference;
  }
  std::string later = readFile(hostDir() + "/later.html");
  EXPECT_NE(later.find("src=\"img/new.png\""), std::string::npos) << later;
  EXPECT_NE(later.find("href=\"pages/new.html\""), std::string::npos) << later;
}

}  // namespace
}  // namespace sg::test
