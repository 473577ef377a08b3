// Servers that misbehave on purpose: credentials stay with the server the
// user entered, earlier copies survive, every limit holds while a server
// keeps us waiting, and each link ends saying what happened to it.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

class Hostile : public PipelineTest {
 protected:
  Hostile() : raw([this](const std::string& path, const RawServer::Writer& write) { answer(path, write); }) {}

  // Answers that no proper server library would send.
  void answer(const std::string& path, const RawServer::Writer& write) {
    if (path == "/trailers") {
      write(httpHead("200 OK", "Content-Type: text/html\r\nTransfer-Encoding: chunked\r\n") + chunk("<p>body</p>") +
            "0\r\n");
      const std::string filler(200, 't');
      for (int i = 0; !raw.stopping() && write("X-Trailer-" + std::to_string(i) + ": " + filler + "\r\n"); ++i) {
      }
    } else if (path == "/slow-head") {
      write("HTTP/1.1 200 OK\r\n");
      for (int i = 0; !raw.stopping() && write("X-Slow-" + std::to_string(i) + ": x\r\n"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    } else if (path == "/endless-links.html") {
      write(httpHead("200 OK", "Content-Type: text/html\r\nTransfer-Encoding: chunked\r\n"));
      for (int i = 0; !raw.stopping(); ++i) {
        std::string links;
        for (int k = 0; k < 100; ++k) links += "<a href=\"/u/" + std::to_string(i * 100 + k) + ".html\">u</a>\n";
        if (!write(chunk(links))) break;
      }
    } else if (path == "/endless.bin") {
      write(httpHead("200 OK", "Content-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n"));
      while (!raw.stopping() && write(chunk(std::string(16000, 'e')))) {
      }
    } else {
      write(httpHead("404 Not Found", "Content-Type: text/html\r\nContent-Length: 9\r\n") + "not found");
    }
  }

  RawServer raw;
};

struct MoveCase {
  const char* name;
  const char* path;
  int radius;
  LinkStatus rootStatus;
  const char* information;  // start of the root's information
};

TEST_F(Hostile, CredentialsGoOnlyToTheEnteredServer) {
  TestServer other;
  other.page("/", "<html>elsewhere</html>");
  other.page("/adopted.html", "<html>the other server's own page</html>");
  other.start();
  server.http().Get("/to-port", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", other.url("/"));
  });
  // Another host name for the same loopback address: another server.
  const std::string otherHost = "http://localhost:" + std::to_string(other.port()) + "/";
  server.http().Get("/to-host", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", otherHost);
  });
  server.page("/adopting", "<html>adopting</html>", "text/html", {{"Content-Location", other.url("/adopted.html")}});
  server.page("/p.html", "<html>p</html>");
  server.start();
  // The other server's copy, saved by an earlier download.
  const std::string otherCopy =
      controller.settings.saveDirectory + "/127.0.0.1_" + std::to_string(other.port()) + "/adopted.html";
  std::filesystem::create_directories(std::filesystem::path(otherCopy).parent_path());
  writeFile(otherCopy, "earlier copy of the other server");
  controller.settings.password = "dXNlcjpwYXNz";
  controller.settings.threads = 1;

  const std::string refused = "Redirected to " + otherHost + " (Server 'radius' reached)";
  const MoveCase cases[] = {
      // The server radius counts hosts; the credentials follow scheme, host
      // and port.
      {"moved to another port", "/to-port", 0, LinkStatus::Complete, "Saved as sites/127.0.0.1_"},
      {"moved to another host, radius 0", "/to-host", 0, LinkStatus::Failed, refused.c_str()},
      {"moved to another host, radius 1", "/to-host", 1, LinkStatus::Complete, "Saved as sites/localhost_"},
      {"another server named as the content's place", "/adopting", 1, LinkStatus::Complete,
       "Saved as sites/127.0.0.1_"},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    other.clearRequests();
    server.clearRequests();
    controller.settings.maxServerDepth = c.radius;
    crawlUrl(server.url(c.path));
    EXPECT_EQ(controller.status, c.rootStatus);
    EXPECT_EQ(controller.information.rfind(c.information, 0), 0u) << controller.information;
    for (const auto& request : other.requests()) EXPECT_FALSE(request.hasHeader("Authorization")) << request.path;
    for (const auto& request : server.requests()) {
      if (request.path != "/robots.txt") {
        EXPECT_EQ(request.header("Authorization"), "Basic dXNlcjpwYXNz");
      }
    }
  }
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

struct SlowCase {
  const char* name;
  const char* path;
  const char* information;  // start of the link's information
};

TEST_F(Hostile, SlowAndEndlessAnswersEndWithinTheirLimits) {
  controller.timing.http.connectMs = 300;
  controller.timing.http.receiveMs = 300;
  controller.settings.maxServerDepth = 1;
  const SlowCase cases[] = {
      {"endless trailers", "/trailers", "The server returned an invalid or unrecognized response (response head "
                                        "larger than 256 KB)"},
      {"a head that trickles for ever", "/slow-head",
       "The server returned an invalid or unrecognized response (no complete response head within 0.6 s)"},
  };
  std::string page;
  for (const SlowCase& c : cases) page += "<a href=\"" + raw.url(c.path) + "\">x</a>\n";
  server.page("/", page);
  server.start();
  crawl("/");
  for (const SlowCase& c : cases) {
    LinkRecord* record = controller.find(raw.url(c.path));
    ASSERT_NE(record, nullptr) << c.name;
    EXPECT_EQ(record->status, LinkStatus::Failed) << c.name;
    EXPECT_EQ(record->information.rfind(c.information, 0), 0u) << c.name << ": " << record->information;
  }

  // A robots file that trickles for ever holds a worker no longer than a
  // stalled one would; the lines read by then apply.
  RawServer slowRobots([&](const std::string& path, const RawServer::Writer& write) {
    if (path != "/robots.txt") {
      write(httpHead("200 OK", "Content-Type: text/html\r\nContent-Length: 13\r\n") + "<html></html>");
      return;
    }
    write(httpHead("200 OK", "Content-Type: text/plain\r\n") + "User-agent: *\nDisallow: /refused\n");
    for (int i = 0; !slowRobots.stopping() && write("# line " + std::to_string(i) + "\n"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  crawlUrl(slowRobots.url("/"));
  EXPECT_EQ(controller.status, LinkStatus::Complete);
  EXPECT_TRUE(robotsCache().isAllowed(robotsKey("127.0.0.1", static_cast<uint16_t>(slowRobots.port()), false), "/"));
  EXPECT_FALSE(
      robotsCache().isAllowed(robotsKey("127.0.0.1", static_cast<uint16_t>(slowRobots.port()), false), "/refused"));
}

TEST_F(Hostile, DownloadLimitsEndWaitsAndEndlessBodies) {
  // The time limit ends a head that trickles in, though no time-out would.
  controller.timing.http.receiveMs = 30000;
  controller.settings.maxTotalTime = 1;
  crawlUrl(raw.url("/slow-head"));
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.information, "Time limit exceeded.");
  EXPECT_EQ(controller.cutBy, DownloadController::Cut::TimeLimit);

  // The size limit ends a body that never ends.
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
  auto lines = drainLog();
  EXPECT_TRUE(containsLine(lines, "Only the first 1000 links of " + raw.url("/endless-links.html") +
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
  EXPECT_TRUE(containsLine(drainLog(), "The limit of 10 placeholder pages was reached: links not saved from now on "
                                       "get none"));
}

struct UnsavedCase {
  const char* path;
  LinkStatus status;
  const char* information;  // start of it
  bool placeholder;         // at the link's local file; else no file there
};

TEST_F(Hostile, LinksThatEndUnsavedGetAPlaceholderOnlyWhereAPageBelongs) {
  server.http().Get("/cut.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(100000, "text/html", [](size_t offset, size_t, httplib::DataSink& sink) {
      if (offset > 0) return false;  // drops the connection after the first block
      const std::string start = "<html>" + std::string(8000, 'c');
      sink.write(start.data(), start.size());
      return true;
    });
  });
  server.http().Get("/busy.html", [](const httplib::Request&, httplib::Response& res) { res.status = 503; });
  server.http().Get("/e404.gif", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>no such image</html>", "text/html");
  });
  const std::string dead = "http://127.0.0.1:" + std::to_string(refusedPort()) + "/x.html";
  server.page("/", "<a href=\"cut.html\">c</a><a href=\"busy.html\">b</a><img src=\"e404.gif\"><a href=\"" + dead +
                       "\">d</a>");
  server.start();
  controller.settings.maxServerDepth = 1;
  crawl("/");
  const UnsavedCase cases[] = {
      {"/cut.html", LinkStatus::Failed, "The connection with the server was terminated abnormally", true},
      {"/busy.html", LinkStatus::Skipped, "Gave up after 15 attempts: Status: HTTP_STATUS_SERVICE_UNAVAIL - ", true},
      {"/e404.gif", LinkStatus::Failed, "Status: HTTP_STATUS_NOT_FOUND", false},
  };
  for (const UnsavedCase& c : cases) {
    LinkRecord* record = link(c.path);
    ASSERT_NE(record, nullptr) << c.path;
    EXPECT_EQ(record->status, c.status) << c.path;
    EXPECT_EQ(record->information.rfind(c.information, 0), 0u) << c.path << ": " << record->information;
    EXPECT_EQ(isPlaceholderFile(record->localFile()), c.placeholder) << c.path;
    if (!c.placeholder) {
      EXPECT_FALSE(std::filesystem::exists(record->localFile())) << c.path;
    }
  }
  EXPECT_EQ(server.count("/busy.html"), 15u);
  LinkRecord* unreachable = controller.find(dead);
  ASSERT_NE(unreachable, nullptr);
  EXPECT_EQ(unreachable->status, LinkStatus::Failed);
  EXPECT_NE(readFile(unreachable->localFile()).find("could not be established"), std::string::npos);
  EXPECT_FALSE(controller.cancelled);
}

TEST_F(Hostile, PlaceholdersAreNeverTakenForSavedCopies) {
  server.page("/", "<a href=\"child.html\">c</a><a href=\"gone.html\">g</a>");
  server.page("/child.html", "<html>the child</html>");
  server.http().Get("/gone.html", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>gone</html>", "text/html");
  });
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
      if (request.path == "/gone.html") {
        EXPECT_FALSE(request.hasHeader("If-Modified-Since"));
      }
    }
  }

  // Without saving, nothing at all reaches the disk.
  std::filesystem::remove_all(controller.settings.saveDirectory);
  controller.settings.saveFiles = false;
  controller.settings.ignoreSavedFiles = false;
  controller.settings.maxCrawlDepth = 0;
  crawlUrl(server.url("/"));
  EXPECT_FALSE(std::filesystem::exists(controller.settings.saveDirectory));
}

TEST_F(Hostile, RobotsFileWithoutAFinalLineFeedCountsWhole) {
  server.page("/robots.txt", "User-agent: *\nDisallow: /private", "text/plain");
  server.page("/", "<a href=\"private/x.html\">p</a><a href=\"open.html\">o</a>");
  server.page("/private/x.html", "secret");
  server.page("/open.html", "open");
  server.start();
  crawl("/");
  EXPECT_EQ(server.count("/private/x.html"), 0u);
  EXPECT_EQ(link("/open.html")->status, LinkStatus::Complete);
}

TEST_F(Hostile, SavedPagesNeverLeadOrWriteOutsideTheCopy) {
  server.page("/", "<html><head><base href=\"http://elsewhere.example/\"></head><a href=\"sub/page.html\">s</a>");
  server.page("/sub/page.html", "<html>below a link</html>");
  server.start();
  TempDir outside;
  std::filesystem::create_directories(hostDir());
  std::filesystem::create_directory_symlink(outside.path(), hostDir() + "/sub");
  crawl("/");
  // The live site's base would take every rewritten link back online.
  EXPECT_NE(saved("/").find("<base href=\"\">"), std::string::npos) << saved("/");
  EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
  LinkRecord* page = link("/sub/page.html");
  EXPECT_EQ(page->status, LinkStatus::Failed);
  EXPECT_EQ(page->information, "Failed to open output file " + hostDir() + "/sub/page.html.");
  EXPECT_EQ(controller.unsavedFiles, 1);
}

}  // namespace
}  // namespace sg::test
