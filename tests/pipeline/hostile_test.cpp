#include <gtest/gtest.h>

#include <filesystem>

#include "pipeline/pipeline_fixture.h"
#include "pipeline/placeholder.h"
#include "support/raw_server.h"

namespace sg::test {
namespace {

std::string httpHead(const std::string& status, const std::string& headers) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n";
}

std::string chunk(const std::string& data) {
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + data + "\r\n";
}

const std::string kChunkedHead = "Transfer-Encoding: chunked\r\nContent-Type: ";

// Every file below the save directory stays inside it, and no temporary
// file is left.
void expectInside(const std::string& directory) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    auto relative = std::filesystem::relative(entry.path(), directory);
    EXPECT_NE(*relative.begin(), "..") << entry.path();
    EXPECT_EQ(entry.path().filename().string().find("~.tmp"), std::string::npos) << entry.path();
  }
}

// A link, the state it must end in and the start of its information (not
// checked when null).
struct Outcome {
  const char* path;
  LinkStatus status;
  const char* information;
};

class Hostile : public PipelineTest {
 protected:
  Hostile() : raw([this](const std::string& path, const RawServer::Writer& write) { answer(path, write); }) {}

  // Answers that no proper server library would send.
  void answer(const std::string& path, const RawServer::Writer& write) {
    if (path == "/cut-head") {
      write("HTTP/1.1 200 OK\r\nContent-Ty");
    } else if (path == "/cut-body") {
      write(httpHead("200 OK", "Content-Type: application/octet-stream\r\nContent-Length: 5000\r\n") +
            std::string(1000, 'b'));
    } else if (path == "/huge-head") {
      std::string head = "HTTP/1.1 200 OK\r\n";
      for (int i = 0; head.size() < 1024 * 1024; ++i)
        head += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
      write(head + "Content-Length: 2\r\n\r\nok");
    } else if (path == "/bad-status") {
      write("HTTP/1.1 abc Whatever\r\nContent-Length: 2\r\n\r\nok");
    } else if (path == "/garbage") {
      static const char kGarbage[] = "\x00\xff\xfe garbage without any status line\r\n\r\n";
      write(std::string(kGarbage, sizeof kGarbage - 1));
    } else if (path == "/trailers") {
      write(httpHead("200 OK", kChunkedHead + "text/html\r\n") + chunk("<p>body</p>") + "0\r\n");
      const std::string filler(200, 't');
      for (int i = 0; !raw.stopping() && write("X-Trailer-" + std::to_string(i) + ": " + filler + "\r\n"); ++i) {
      }
    } else if (path == "/slow-head") {
      write("HTTP/1.1 200 OK\r\n");
      for (int i = 0; !raw.stopping() && write("X-Slow-" + std::to_string(i) + ": x\r\n"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    } else if (path == "/endless.html" || path == "/endless-links.html") {
      // The same link again and again, or ever new ones.
      write(httpHead("200 OK", kChunkedHead + "text/html\r\n"));
      for (int i = 0; !raw.stopping(); ++i) {
        std::string links;
        for (int k = 0; k < 100; ++k) {
          links += path == "/endless.html" ? "<p>more text, and a <a href=\"x.html\">link</a>\n"
                                           : "<a href=\"/u/" + std::to_string(i * 100 + k) + ".html\">u</a>\n";
        }
        if (!write(chunk(links))) break;
      }
    } else if (path == "/endless.bin") {
      write(httpHead("200 OK", kChunkedHead + "application/octet-stream\r\n"));
      while (!raw.stopping() && write(chunk(std::string(16000, 'e')))) {
      }
    } else {
      write(httpHead("404 Not Found", "Content-Type: text/html\r\nContent-Length: 9\r\n") + "not found");
    }
  }

  // Crawls a page that links to each raw path and checks how each ended.
  void crawlRawLinks(std::initializer_list<Outcome> outcomes) {
    std::string page;
    for (const Outcome& o : outcomes) page += "<a href=\"" + raw.url(o.path) + "\">x</a>\n";
    server.page("/", page + "<a href=\"fine.html\">fine</a>");
    server.page("/fine.html", "<html>fine</html>");
    server.start();
    controller.settings.maxServerDepth = 1;
    crawl("/");
    EXPECT_EQ(link("/fine.html")->status, LinkStatus::Complete);
    for (const Outcome& o : outcomes) {
      LinkRecord* record = controller.find(raw.url(o.path));
      ASSERT_NE(record, nullptr) << o.path;
      EXPECT_EQ(record->status, o.status) << o.path << ": " << record->information;
      if (o.information == nullptr) continue;
      EXPECT_EQ(record->information.rfind(o.information, 0), 0u) << o.path << ": " << record->information;
      EXPECT_FALSE(record->information.empty()) << o.path;
    }
    EXPECT_FALSE(controller.cancelled);  // none of these ends the download
    expectInside(controller.settings.saveDirectory);
  }

  RawServer raw;
};

// Broken, slow and endless answers end within their limits.
TEST_F(Hostile, BrokenResponsesEndTheirLinksAndTheDownloadGoesOn) {
  controller.timing.http.connectMs = 300;
  controller.timing.http.receiveMs = 300;
  controller.settings.threads = 3;
  crawlRawLinks({
      {"/cut-head", LinkStatus::Failed, ""},
      {"/cut-body", LinkStatus::Failed, "The connection with the server was terminated"},
      {"/huge-head", LinkStatus::Failed, ""},
      {"/bad-status", LinkStatus::Failed, ""},
      {"/garbage", LinkStatus::Failed, ""},
      {"/trailers", LinkStatus::Failed,
       "The server returned an invalid or unrecognized response (response head larger than 256 KB)"},
      {"/slow-head", LinkStatus::Failed,
       "The server returned an invalid or unrecognized response (no complete response head within 0.6 s)"},
  });
}

TEST_F(Hostile, EndlessBodiesEndAtTheirLimits) {
  // The file size limit ends the file; the page's links are found as it
  // streams, and the total time ends it.
  controller.settings.limitFlags = kLimitMaxSize | kLimitTotalTime;
  controller.settings.limitBinaries = kLimitOtherFiles;
  controller.settings.maxSize = 64;
  controller.settings.maxTotalTime = 2;
  crawlRawLinks({{"/endless.bin", LinkStatus::Failed, "File size ("}, {"/endless.html", LinkStatus::Failed, nullptr}});
  EXPECT_GE(controller.find(raw.url("/endless.html"))->childCount(), 1u);

  // The time limit ends a head that trickles in, though no time-out would.
  controller.timing.http.receiveMs = 30000;
  controller.settings.limitFlags = kLimitTotalTime;
  controller.settings.maxTotalTime = 1;
  crawlUrl(raw.url("/slow-head"));
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.information, "Time limit exceeded.");
  EXPECT_EQ(controller.cutBy, DownloadController::Cut::TimeLimit);

  // The download size limit ends a body that never ends.
  controller.settings.maxTotalTime = 1800;
  controller.settings.maxDownloadSize = 1;
  crawlUrl(raw.url("/endless.bin"));
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.cutBy, DownloadController::Cut::SizeLimit);
  EXPECT_GE(controller.bytesRead, 1024u * 1024u);
  EXPECT_LT(controller.bytesRead, 2u * 1024u * 1024u);
  EXPECT_FALSE(std::filesystem::exists(controller.localFile()));
}

TEST_F(Hostile, EndlessPagesAndLinksAreBounded) {
  controller.settings.maxPageLinks = 1000;
  controller.settings.maxScanSize = 1;
  crawlUrl(raw.url("/endless-links.html"));
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.information.rfind("Page size (1.0Mb) was larger than the limit for pages scanned for links", 0),
            0u)
      << controller.information;
  EXPECT_EQ(controller.childCount(), 1000u);
  EXPECT_TRUE(containsLine(drainLog(), "Only the first 1000 links of " + raw.url("/endless-links.html") +
                                           " are followed (the limit of links taken from one page)"));

  // Fifty links beyond the crawl depth, ten placeholder pages at most.
  std::string page;
  for (int i = 0; i < 50; ++i) page += "<a href=\"p" + std::to_string(i) + ".html\">p</a>\n";
  server.page("/", page);
  server.start();
  controller.settings.maxCrawlDepth = 0;
  controller.settings.maxPlaceholders = 10;
  controller.settings.threads = 4;
  crawlUrl(server.url("/"));
  size_t placeholders = 0;
  for (int i = 0; i < 50; ++i) placeholders += isPlaceholderFile(localFileOf("/p" + std::to_string(i) + ".html"));
  EXPECT_EQ(placeholders, 10u);
  EXPECT_TRUE(containsLine(drainLog(),
                           "The limit of 10 placeholder pages was reached: links not saved from now on "
                           "get none"));
}

TEST_F(Hostile, RedirectsToOtherSchemesAndPortsAndInLoops) {
  TestServer other;
  other.page("/there.html", "<html>there</html>");
  other.start();
  server.redirect("/to-other-port", other.url("/there.html"));
  // A TLS connection to a server that speaks plain HTTP fails its handshake.
  server.http().Get("/to-https", [this](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", "https://127.0.0.1:" + std::to_string(server.port()) + "/secure.html");
  });
  server.redirect("/a", "/b");
  server.redirect("/b", "/a");
  server.page("/", "<a href=\"to-other-port\">o</a><a href=\"to-https\">s</a><a href=\"a\">loop</a>");
  server.start();
  controller.settings.maxServerDepth = 1;
  crawl("/");
  LinkRecord* moved = link("/to-other-port");
  EXPECT_EQ(moved->status, LinkStatus::Complete);
  EXPECT_EQ(moved->url(), other.url("/there.html"));
  EXPECT_TRUE(std::filesystem::exists(controller.settings.saveDirectory + "/127.0.0.1_" + std::to_string(other.port()) +
                                      "/there.html"));
  LinkRecord* secure = link("/to-https");
  EXPECT_EQ(secure->status, LinkStatus::Failed);
  EXPECT_EQ(secure->information.rfind("An error occurred in the secure channel support", 0), 0u) << secure->information;
  EXPECT_EQ(link("/a")->status, LinkStatus::Failed);
  EXPECT_EQ(link("/a")->information, "Maximum number of redirections reached.");
}

TEST_F(Hostile, HostileBytesInUrlsAndTitles) {
  static const char kTitle[] = "Bad \x00title\xff\xfe";
  std::string title(kTitle, sizeof kTitle - 1);
  server.page("/", "<html><title>" + title +
                       "</title><a href=\"a%00b.html\">nul</a><a href=\"\xff\xfe.html\">bytes</a>"
                       "<a href=\"%2e%2e/%2e%2e/escape.html\">up</a></html>");
  server.start();
  crawl("/");
  EXPECT_EQ(controller.status, LinkStatus::Complete);
  // The title names the desktop link too: its controls become blanks.
  EXPECT_EQ(controller.title, "Bad  title\xff\xfe");
  for (size_t i = 0; i < controller.childCount(); ++i) {
    std::string name = controller.child(i)->localName();
    EXPECT_EQ(name.find('\0'), std::string::npos);
    EXPECT_EQ(name.find("/../"), std::string::npos) << name;
  }
  expectInside(controller.settings.saveDirectory);
}

TEST_F(Hostile, CredentialsGoOnlyToTheEnteredServer) {
  TestServer other;
  other.page("/", "<html>elsewhere</html>");
  other.page("/adopted.html", "<html>the other server's own page</html>");
  other.start();
  server.redirect("/to-port", other.url("/"));
  // Another host name for the same loopback address: another server.
  const std::string otherHost = "http://localhost:" + std::to_string(other.port()) + "/";
  server.redirect("/to-host", otherHost);
  server.page("/adopting", "<html>adopting</html>", "text/html", {{"Content-Location", other.url("/adopted.html")}});
  server.page("/links-out", "<a href=\"" + other.url("/") + "\">o</a><a href=\"p.html\">p</a>");
  server.page("/p.html", "<html>p</html>");
  server.start();
  // The other server's copy, saved by an earlier download.
  const std::string otherCopy =
      controller.settings.saveDirectory + "/127.0.0.1_" + std::to_string(other.port()) + "/adopted.html";
  std::filesystem::create_directories(std::filesystem::path(otherCopy).parent_path());
  writeFile(otherCopy, "earlier copy of the other server");
  controller.settings.password = "dXNlcjpwYXNz";
  controller.settings.proxyPassword = "cHJveHk6cHc=";  // no proxy: sent nowhere
  controller.settings.threads = 1;

  const std::string refused = "Redirected to " + otherHost + " (Server 'radius' reached)";
  struct Move {
    const char* path;
    int radius;  // counts hosts; the credentials follow scheme, host and port
    LinkStatus rootStatus;
    const char* information;  // start of the root's information
  } cases[] = {
      {"/to-port", 0, LinkStatus::Complete, "Saved as sites/127.0.0.1_"},
      {"/to-host", 0, LinkStatus::Failed, refused.c_str()},
      {"/to-host", 1, LinkStatus::Complete, "Saved as sites/localhost_"},
      {"/links-out", 1, LinkStatus::Complete, "Saved as sites/127.0.0.1_"},
      {"/adopting", 1, LinkStatus::Complete, "Saved as sites/127.0.0.1_"},  // another server named as its place
  };
  for (const Move& c : cases) {
    SCOPED_TRACE(c.path);
    other.clearRequests();
    server.clearRequests();
    controller.settings.maxServerDepth = c.radius;
    crawlUrl(server.url(c.path));
    EXPECT_EQ(controller.status, c.rootStatus);
    EXPECT_EQ(controller.information.rfind(c.information, 0), 0u) << controller.information;
    if (std::string(c.path) == "/links-out") {  // both links were followed
      EXPECT_EQ(server.count("/p.html") + other.count("/"), 2u);
    }
    for (const auto& request : other.requests()) {
      EXPECT_FALSE(request.hasHeader("Authorization")) << request.path;
      EXPECT_FALSE(request.hasHeader("Proxy-Authorization")) << request.path;
    }
    for (const auto& request : server.requests()) {
      if (request.path != "/robots.txt") {
        EXPECT_EQ(request.header("Authorization"), "Basic dXNlcjpwYXNz");
      }
      EXPECT_FALSE(request.hasHeader("Proxy-Authorization")) << request.path;
    }
  }
  EXPECT_EQ(server.requests().back().header("User-Agent"), kDefaultUserAgent);
  // A refused move leaves the root where it was, and nothing at the other
  // server's place; the server's claim never puts its body there either.
  EXPECT_EQ(readFile(otherCopy), "earlier copy of the other server");
  EXPECT_EQ(controller.url(), server.url("/adopting"));
  EXPECT_EQ(readFile(hostDir() + "/adopting.html"), "<html>adopting</html>");

  // A credential in the root URL is sent as one, and shown nowhere.
  drainLog();
  std::string withCredential = server.url("/p.html");
  withCredential.insert(std::string("http://").size(), "user:secret@");
  crawlUrl(withCredential);
  EXPECT_EQ(controller.url(), server.url("/p.html"));
  EXPECT_EQ(server.requests().back().header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  for (const std::string& line : drainLog()) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST_F(Hostile, EmptyAnswerNeverReplacesASavedCopy) {
  std::atomic<int> calls{0};
  const std::string page = "<html>" + std::string(9000, 'p') + "</html>";
  server.http().Get("/", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(++calls == 1 ? page : std::string(), "text/html");
  });
  server.start();
  crawl("/");
  ASSERT_EQ(readFile(controller.localFile()), page);
  crawl("/");
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.information, "The server sent an empty page; the saved copy was kept");
  EXPECT_EQ(readFile(controller.localFile()), page);
}

TEST_F(Hostile, LinksThatEndUnsavedGetAPlaceholderOnlyWhereAPageBelongs) {
  server.http().Get("/cut.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(100000, "text/html", [](size_t offset, size_t, httplib::DataSink& sink) {
      if (offset > 0) return false;  // drops the connection after the first block
      const std::string start = "<html>" + std::string(8000, 'c');
      sink.write(start.data(), start.size());
      return true;
    });
  });
  server.status("/busy.html", 503);
  server.status("/e404.gif", 404, "<html>no such image</html>");
  const std::string dead = "http://127.0.0.1:" + std::to_string(refusedPort()) + "/x.html";
  server.page(
      "/", "<a href=\"cut.html\">c</a><a href=\"busy.html\">b</a><img src=\"e404.gif\"><a href=\"" + dead + "\">d</a>");
  server.start();
  controller.settings.maxServerDepth = 1;
  crawl("/");
  struct Unsaved {
    std::string url;
    LinkStatus status;
    const char* information;  // start of it, also in the placeholder
    bool placeholder;         // at the link's local file; else no file there
  } cases[] = {
      {server.url("/cut.html"), LinkStatus::Failed, "The connection with the server was terminated abnormally", true},
      {server.url("/busy.html"), LinkStatus::Skipped, "Gave up after 15 attempts: Status: HTTP_STATUS_SERVICE_UNAVAIL",
       true},
      {server.url("/e404.gif"), LinkStatus::Failed, "Status: HTTP_STATUS_NOT_FOUND", false},
      {dead, LinkStatus::Failed, "A connection with the server could not be established", true},
  };
  for (const Unsaved& c : cases) {
    LinkRecord* record = controller.find(c.url);
    ASSERT_NE(record, nullptr) << c.url;
    EXPECT_EQ(record->status, c.status) << c.url;
    EXPECT_EQ(record->information.rfind(c.information, 0), 0u) << c.url << ": " << record->information;
    EXPECT_EQ(isPlaceholderFile(record->localFile()), c.placeholder) << c.url;
    EXPECT_TRUE(!c.placeholder || readFile(record->localFile()).find(c.information) != std::string::npos) << c.url;
    EXPECT_EQ(std::filesystem::exists(record->localFile()), c.placeholder) << c.url;
  }
  EXPECT_EQ(server.count("/busy.html"), 15u);
  EXPECT_FALSE(controller.cancelled);
}

TEST_F(Hostile, PlaceholdersAreNeverTakenForSavedCopies) {
  server.page("/", "<a href=\"child.html\">c</a><a href=\"gone.html\">g</a>");
  server.page("/child.html", "<html>the child</html>");
  server.status("/gone.html", 404, "<html>gone</html>");
  server.start();
  // Deeper, reading saved copies with and without asking for changes: the
  // placeholder is no copy of the child, and the 404's is no date to ask
  // the server about.
  for (bool checkForChanges : {false, true}) {
    SCOPED_TRACE(checkForChanges ? "checking for changes" : "not checking for changes");
    std::filesystem::remove_all(controller.settings.saveDirectory);
    server.clearRequests();
    controller.settings.maxCrawlDepth = 0;
    controller.settings.ignoreSavedFiles = false;
    crawlUrl(server.url("/"));
    ASSERT_TRUE(isPlaceholderFile(localFileOf("/child.html")));
    EXPECT_EQ(server.count("/child.html"), 0u);

    controller.settings.maxCrawlDepth = 1;
    controller.settings.ignoreSavedFiles = true;
    controller.settings.checkForChanges = checkForChanges;
    crawlUrl(server.url("/"));
    EXPECT_EQ(server.count("/child.html"), 1u);
    EXPECT_EQ(saved("/child.html"), "<html>the child</html>");
    EXPECT_EQ(link("/gone.html")->status, LinkStatus::Failed);
    for (const auto& request : server.requests()) {
      EXPECT_FALSE(request.path == "/gone.html" && request.hasHeader("If-Modified-Since"));
    }
  }
}

// Read, its links followed, but not saved: a failure, not a success.
TEST_F(Hostile, PagesThatCannotBeSavedFailAndNothingLeavesTheCopy) {
  server.page("/",
              "<html><head><base href=\"http://elsewhere.example/\"></head><a href=\"sub/page.html\">s</a>"
              "<a href=\"dir/page.html\">d</a>");
  server.page("/sub/page.html", "<html>below a link</html>");
  server.page("/dir/page.html", "<html>below a file</html>");
  server.start();
  TempDir outside;
  std::filesystem::create_directories(hostDir());
  std::filesystem::create_directory_symlink(outside.path(), hostDir() + "/sub");
  writeFile(hostDir() + "/dir", "a file, not a directory");
  crawl("/");
  // The live site's base would take every rewritten link back online.
  EXPECT_NE(saved("/").find("<base href=\"\">"), std::string::npos) << saved("/");
  EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
  for (const char* path : {"/sub/page.html", "/dir/page.html"}) {
    EXPECT_EQ(link(path)->status, LinkStatus::Failed);
    EXPECT_EQ(link(path)->information, "Failed to open output file " + hostDir() + path + ".");
  }
  EXPECT_EQ(readFile(hostDir() + "/dir"), "a file, not a directory");
  EXPECT_EQ(controller.unsavedFiles, 2);
  bool reported = false;
  for (const auto& line : drainLog()) reported |= line.rfind("Failed to open output file ", 0) == 0;
  EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace sg::test
