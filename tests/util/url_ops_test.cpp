#include "util/url_ops.h"

#include <gtest/gtest.h>

#include <tuple>

namespace sg {
namespace {

struct ParseCase {
  const char* input;
  bool accepted;
  const char* url;  // the caller's text afterwards
  const char *server, *object;
  uint16_t port;
};

TEST(UrlOps, ParseHttpUrlSplitsWebUrls) {
  const ParseCase cases[] = {
      {"http://www.example.com/dir/page.html", true, "http://www.example.com/dir/page.html", "www.example.com",
       "/dir/page.html", 80},
      {"www.example.com/dir/page.html", true, "http://www.example.com/dir/page.html", "www.example.com",
       "/dir/page.html", 80},
      {"localhost:8080/a", true, "http://localhost:8080/a", "localhost", "/a", 8080},
      {"https://secure.example.com/", true, "https://secure.example.com/", "secure.example.com", "/", 443},
      {"https://secure.example.com:8443/x", true, "https://secure.example.com:8443/x", "secure.example.com", "/x",
       8443},
      {"http://example.com", true, "http://example.com", "example.com", "/", 80},
      {"http://example.com:8080/find?q=a#top", true, "http://example.com:8080/find?q=a#top", "example.com",
       "/find?q=a#top", 8080},
      {"HTTP://Example.COM/Dir", true, "HTTP://Example.COM/Dir", "Example.COM", "/Dir", 80},
      {"http://example.com/a b.html", true, "http://example.com/a b.html", "example.com", "/a%20b.html", 80},
      {"ftp://ftp.example.com/pub/file", false, "ftp://ftp.example.com/pub/file", "ftp.example.com", "/pub/file", 21},
      {"mailto:someone@example.com", false, "mailto:someone@example.com", "", "", 0},
      {"javascript:void(0)", false, "javascript:void(0)", "", "", 0},
      {"http://", false, "http://", "", "", 0},
      {"/tmp/urls.txt", false, "/tmp/urls.txt", "", "", 0},  // a file name, not a server
      {"http:///tmp/urls.txt", false, "http:///tmp/urls.txt", "", "", 0},
      {"http://%36/x", true, "http://%36/x", "0.0.0.6", "/x", 80},                     // found by fuzzing
      {"http://www.example.com:0/x", false, "http://www.example.com:0/x", "", "", 0},  // found by fuzzing
      {"", false, "", "", "", 0},
  };
  for (const ParseCase& c : cases) {
    std::string url = c.input;
    std::string server, object;
    uint16_t port = 0;
    EXPECT_EQ(parseHttpUrl(url, server, object, &port), c.accepted) << c.input;
    EXPECT_EQ(url, c.url) << c.input;
    if (c.server[0] != '\0') {
      EXPECT_EQ(server, c.server) << c.input;
      EXPECT_EQ(object, c.object) << c.input;
      EXPECT_EQ(port, c.port) << c.input;
    }
  }
}

TEST(UrlOps, SameUrlIgnoresCaseButNotPorts) {
  EXPECT_TRUE(sameUrl("http://Example.com/Dir/Page.html", "http://example.COM/dir/page.HTML"));
  EXPECT_TRUE(sameUrl("example.com/a", "http://example.com/a"));
  EXPECT_TRUE(sameUrl("http://example.com:80/a", "http://example.com/a"));
  EXPECT_FALSE(sameUrl("http://example.com:8080/a", "http://example.com/a"));
  EXPECT_FALSE(sameUrl("http://example.com/a", "http://example.com/b"));
  EXPECT_FALSE(sameUrl("mailto:a@b.c", "mailto:a@b.c"));
}

struct CombineCase {
  const char *base, *link, *url;
  const char* fragment;  // null: no "#" in the result
};

TEST(UrlOps, CombineResolvesReferencesAsRfc3986AndDecodes) {
  const char* base = "http://a/b/c/d;p?q";
  const CombineCase cases[] = {
      {base, "g", "http://a/b/c/g", nullptr},
      {base, "./g", "http://a/b/c/g", nullptr},
      {base, "g/", "http://a/b/c/g/", nullptr},
      {base, "/g", "http://a/g", nullptr},
      {base, "?y", "http://a/b/c/d;p?y", nullptr},
      {base, "g?y", "http://a/b/c/g?y", nullptr},
      {base, "#s", "http://a/b/c/d;p?q", "s"},
      {base, "g#s", "http://a/b/c/g", "s"},
      {base, ";x", "http://a/b/c/;x", nullptr},
      {base, ".", "http://a/b/c/", nullptr},
      {base, "..", "http://a/b/", nullptr},
      {base, "../g", "http://a/b/g", nullptr},
      {base, "../../g", "http://a/g", nullptr},
      {base, "../../../g", "http://a/g", nullptr},
      {base, "/./g", "http://a/g", nullptr},
      {base, "g/../h", "http://a/b/c/h", nullptr},
      {base, "g?y/../x", "http://a/b/c/g?y/../x", nullptr},
      {base, "//g/x", "http://g/x", nullptr},
      // A fragment-only link names the page itself.
      {"http://h/dir/page.html", "#part", "http://h/dir/page.html", "part"},
      {"http://h/dir/page.html", "#", "http://h/dir/page.html", ""},
      {"http://h/dir/page.html", "other.html#", "http://h/dir/other.html", ""},
      {"http://h/dir/page.html", "http://other.example/x.html", "http://other.example/x.html", nullptr},
      {"https://h:8443/dir/page.html", "img/a.gif", "https://h:8443/dir/img/a.gif", nullptr},
      {"http://h:8080/dir/", "../up.html", "http://h:8080/up.html", nullptr},
      // The result is percent-decoded.
      {"http://h/dir/page.html", "a%20b.html", "http://h/dir/a b.html", nullptr},
      {"http://h/dir/page.html", "caf%C3%A9.html", "http://h/dir/caf\xC3\xA9.html", nullptr},
      {"http://h/dir/page.html", "x%23y", "http://h/dir/x", "y"},
      // Links that cannot be resolved are used as written.
      {"http://h/dir/page.html", "mailto:a@example.com", "mailto:a@example.com", nullptr},
      {"http://h/dir/page.html", "javascript:go()", "javascript:go()", nullptr},
      {"http://h/dir/page.html", "ftp://f.example/pub", "ftp://f.example/pub", nullptr},
  };
  for (const CombineCase& c : cases) {
    CombinedUrl out = combineUrl(c.base, c.link);
    EXPECT_EQ(out.url, c.url) << c.link;
    EXPECT_EQ(out.hasFragment, c.fragment != nullptr) << c.link;
    if (c.fragment) {
      EXPECT_EQ(out.fragment, c.fragment) << c.link;
    }
  }
}

auto partsOf(const HttpUrlParts& parts) { return std::tuple(parts.server, parts.object, parts.port, parts.https); }

TEST(UrlOps, ShortcutForPlainLinksAgreesWithLibcurl) {
  // clang-format off
  const char* bases[] = {"http://www.example.com/dir/page.html", "https://Example.COM:8443/a/b/", "http://h/a?x=/y/z",
                         "http://h:80/index", "http://h/", "HTTP://h/x/y", "http://user@h/x/y", "http://h/a b/c",
                         "http://h/s/sw.ee.c/..?", "http://h/a/./b/c", "http://h/a/..",
                         "http://h//A000", "http://h/a//b/c",
                         "http://8/mm", "http://127.1/a/b", "http://127.0.0.1:8080/a/b", "http://0x7f.0.0.1/a",
                         "http://10.0.0.256/a", "http://010.0.0.1/a", "http://h.2x/a", "http://1.2.3.4.5/a",
                         "http://ww:080/", "http://com:00007/0!/:"};
  const char* links[] = {"page2.html", "sub/dir/img.gif", "x.html?q=1&r=2", "a:b/c", "x/a:b", "./x", "../x",
                         "x/../y", "x/./y", "?q", "/abs", "//other/x", "with space.html", "%41.html", "x#frag",
                         "a.html?", "dir/", "~user/page", "a'b(c)*.html", "mailto:x@y", "c:d", "0", "x//y", "//8:00/8",
                         "//%36/x", "//%31%32%37.1/", "//%3%33.8?", "//%2541/"};  // escaped numeric hosts, found by fuzzing
  // clang-format on
  for (const char* base : bases) {
    for (const char* link : links) {
      CombinedUrl fast = combineUrl(base, link);
      CombinedUrl slow = combineUrl(base, link, false);
      EXPECT_EQ(fast.url, slow.url) << base << " + " << link;
      EXPECT_EQ(fast.hasFragment, slow.hasFragment) << base << " + " << link;
      EXPECT_EQ(fast.fragment, slow.fragment) << base << " + " << link;
      if (fast.partsValid && slow.partsValid) {
        EXPECT_EQ(partsOf(fast.parts), partsOf(slow.parts)) << base << " + " << link;
      }
      // Parts handed on with a URL are those a fresh parse gives.
      if (fast.partsValid) {
        std::string again = fast.url;
        HttpUrlParts reparsed;
        EXPECT_TRUE(parseHttpUrl(again, reparsed)) << fast.url;
        EXPECT_EQ(partsOf(reparsed), partsOf(fast.parts)) << fast.url;
      }
    }
  }
}

// A NUL byte once passed for a plain URL byte, so the parts of the combined
// URL disagreed with what the URL text parses to.
TEST(UrlOps, NulBytesNeverTakeTheShortcut) {
  using namespace std::string_literals;
  const std::string bases[] = {"http://a/b/c/d;p?q\0../g"s, "http://h/dir/page.html"s, "http://h/x\0y/z"s};
  const std::string links[] = {"'2?q\0../gttp://A/B"s, "a\0b.html"s, "page.html"s};
  for (const std::string& base : bases) {
    for (const std::string& link : links) {
      CombinedUrl out = combineUrl(base, link);
      if (!out.partsValid) continue;
      std::string again = out.url;
      HttpUrlParts reparsed;
      ASSERT_TRUE(parseHttpUrl(again, reparsed)) << out.url;
      EXPECT_EQ(reparsed.object, out.parts.object) << out.url;
    }
  }
}

TEST(UrlOps, DisplayPathCutsQueryFragmentAndAt) {
  EXPECT_EQ(displayPath("/cgi-bin/find?q=a"), "/cgi-bin/find");
  EXPECT_EQ(displayPath("/a@b/c"), "/a");
  EXPECT_EQ(displayPath("/page.html#top"), "/page.html");
}

struct RelativeCase {
  const char *base, *target, *result;
};

TEST(UrlOps, MakeRelativePath) {
  const RelativeCase cases[] = {
      {"/S/host/dir/page.html", "/S/host/img/a.gif", "../img/a.gif"},
      {"/S/host/dir/page.html", "/S/host/dir/b.html", "b.html"},
      {"/S/host/a/b/page.html", "/S/host/x.html", "../../x.html"},
      {"/S/host/dir/page.html", "/S/host/dir/page.html#part", "page.html#part"},
      {"/S/ab/p.html", "/S/a/x.html", "../a/x.html"},
      // Linux file names are case-sensitive: Host and host are two directories.
      {"/S/Host/dir/page.html", "/S/host/dir/b.html", "../../host/dir/b.html"},
      {"page.html", "image.gif", "image.gif"},
  };
  for (const RelativeCase& c : cases) {
    std::string target = c.target;
    makeRelativePath(c.base, target);
    EXPECT_EQ(target, c.result) << c.base << " -> " << c.target;
  }
  std::string target = "/S/host/dir/b.html";
  makeRelativePath("/S/host/dir/page.html", target, true);
  EXPECT_EQ(target, "./b.html");
}

}  // namespace
}  // namespace sg
