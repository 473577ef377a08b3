#include "engine/local_naming.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine_fixture.h"

namespace sg::test {
namespace {

struct NameCase {
  const char* server;
  uint16_t port;
  bool https;
  const char* object;
  bool createTree;
  const char* name;
  bool pageLink = false;
};

TEST(LocalNaming, MapsUrlsToNamesBelowTheSaveDirectory) {
  const NameCase cases[] = {
      {"server", 80, false, "/dir/page.html", true, "server/dir/page.html"},
      {"server", 80, false, "/dir/page.html", false, "page.html"},
      {"server", 80, false, "/dir/", true, "server/dir/default.html"},
      {"server", 80, false, "/dir/", false, "default.html"},
      {"server", 80, false, "/", true, "server/default.html"},
      {"server", 80, false, "/find?q=a", true, "server/find_q=a"},
      {"server", 80, false, "/find?q=a/b", false, "b"},
      {"server", 80, false, "/a*b?c'd\"e<f>g|h.html", true, "server/a_b_c_d_e_f_g_h.html"},
      {"server", 80, false, "/a:b.html", true, "server/a:b.html"},
      // Names that browse: escapes decoded, UTF-8 kept, broken bytes and
      // controls made "_", never a separator from an escape.
      {"server", 80, false, "/sp%20ace/caf%C3%A9.html", true, "server/sp ace/caf\xc3\xa9.html"},
      {"server", 80, false, "/a%20b\x01\x7f\xc3\xa9\xff%ff.html", true, "server/a b__\xc3\xa9__.html"},
      {"server", 80, false, "/100%25/a%2Fb%5Cc%00d%2.html", true, "server/100%/a_b_c_d%2.html"},
      {"server", 80, false, "/%2e%2e/x.html", true, "server/__/x.html"},
      // The type's extension stays last, whatever the query.
      {"server", 80, false, "/style/x.css?2022.1", true, "server/style/x.css_2022.1.css"},
      {"server", 80, false, "/app.js?v=3", false, "app.js_v=3.js"},
      {"server", 80, false, "/find?q=a", true, "server/find_q=a", true},
      // A page without an extension does not fight its directory for a name.
      {"server", 80, false, "/about", true, "server/about.html", true},
      {"server", 80, false, "/about", true, "server/about"},
      {"server", 80, false, "/v1.2", true, "server/v1.2", true},
      {"server", 8080, false, "/x.html", true, "server_8080/x.html"},
      {"server", 443, true, "/x.html", true, "server/x.html"},
      {"server", 80, true, "/x.html", true, "server_80/x.html"},
      {"server", 8443, true, "/", true, "server_8443/default.html"},
      {"server", 80, false, "/dir\\sub\\file.html", true, "server/dir/sub/file.html"},
      // An international host's directory is named as the host is written.
      {"xn--bcher-kva.example", 8080, false, "/", true, "b\xc3\xbc" "cher.example_8080/default.html"},
      {"xn--zz.example", 80, false, "/x.html", true, "xn--zz.example/x.html"},
      // Found by fuzzing: a name must never start with "/", whatever it is made of.
      {"", 80, false, "/x.html", true, "x.html"},
      {"/", 80, false, "//x.html", true, "x.html"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(localNameFor(c.server, c.port, c.https, c.object, c.createTree, c.pageLink), c.name) << c.object;
  }
}

TEST(LocalNaming, LongComponentsAreShortenedAndStayDistinct) {
  std::string a = "/" + std::string(400, 'a') + "1.html";
  std::string b = "/" + std::string(400, 'a') + "2.html";
  std::string nameA = localNameFor("h", 80, false, a, true);
  std::string nameB = localNameFor("h", 80, false, b, true);
  EXPECT_NE(nameA, nameB);
  for (const std::string& name : {nameA, nameB}) {
    std::string file = name.substr(name.find('/') + 1);
    EXPECT_LE(file.size(), kMaxNameComponent);
    EXPECT_EQ(file.substr(file.size() - 5), ".html");
    EXPECT_EQ(file.substr(0, 10), "aaaaaaaaaa");
  }
}

using HostileUrls = ControllerTest;

// Does the path stay inside the directory once "." and ".." are resolved?
bool staysInside(const std::string& directory, const std::string& path) {
  auto base = std::filesystem::path(directory).lexically_normal();
  auto normal = std::filesystem::path(path).lexically_normal();
  auto rel = normal.lexically_relative(base);
  return !rel.empty() && *rel.begin() != ".." && rel != ".";
}

TEST_F(HostileUrls, NeverClimbOutOfTheSaveDirectory) {
  const char* hrefs[] = {
      "../../../../etc/passwd",
      "/../../etc/passwd",
      "%2e%2e/%2e%2e/%2e%2e/etc/passwd",
      "%2E%2E%2F%2E%2E%2Fetc%2Fpasswd",
      "..%2f..%2f..%2fetc%2fpasswd",
      "x/..%5c..%5c..%5cetc%5cpasswd",
      "%2e%2e",
      "%2e",
      "./%2e%2e/",
      "http://../secret",
      "http://%2e%2e/secret",
      "http://h/..\\..\\..\\x",
      "http://h/a/%2e%2e%2f%2e%2e%2f%2e%2e%2fx?y=/../../z",
      "x?/../../../../etc/passwd",
      "%00/../x",
  };
  for (bool createTree : {true, false}) {
    controller.settings.createTree = createTree;
    setRoot("http://www.example.com/dir/page.html");
    for (const char* href : hrefs) {
      std::string rewritten;
      controller.addChild(href, &rewritten, false);
      if (rewritten.empty()) continue;
      EXPECT_TRUE(staysInside("/S", rewritten)) << href << " -> " << rewritten;
      for (const auto& part : std::filesystem::path(rewritten)) {
        EXPECT_NE(part, "..") << href << " -> " << rewritten;
        EXPECT_LE(part.string().size(), kMaxNameComponent);
      }
    }
  }
}

TEST_F(HostileUrls, EightKilobyteUrlsAreAdmitted) {
  setRoot("http://www.example.com/");
  std::string href = "/" + std::string(8192, 'x') + "/" + std::string(300, 'y') + ".html";
  std::string rewritten;
  ASSERT_TRUE(controller.addChild(href, &rewritten, false));
  EXPECT_EQ(controller.child(0)->url(), "http://www.example.com" + href);
  for (const auto& part : std::filesystem::path(rewritten)) EXPECT_LE(part.string().size(), kMaxNameComponent);
}

}  // namespace
}  // namespace sg::test
