#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <set>

#include "app/console_fixture.h"
#include "engine/crawl_journal.h"

namespace sg::test {
namespace {

namespace fs = std::filesystem;

// Every regular file below dir, by its path relative to dir, with its bytes.
std::map<std::string, std::string> tree(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = readFile(entry.path().string());
  }
  return files;
}

// A chain of pages, each with an image, one of which (the gate) holds its
// answer while the gate is closed.
class ChainSite {
 public:
  static constexpr int kPages = 16;

  explicit ChainSite(TestServer& server) {
    server.http().Get(R"(/p(\d+)\.html)", [this](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[1]);
      {
        std::unique_lock lock(mutex);
        if ("/p" + std::to_string(n) + ".html" == gate) {
          opened.wait_for(lock, std::chrono::seconds(30), [this] { return !closed; });
        }
      }
      std::string body =
          "<html><title>Page " + std::to_string(n) + "</title><img src=\"img/" + std::to_string(n) + ".gif\">";
      for (int next = n + 1; next <= std::min(n + 3, kPages); ++next) {
        body += "<a href=\"p" + std::to_string(next) + ".html\">next</a>";
      }
      res.set_content(body + "</html>", "text/html");
    });
    server.http().Get(R"(/img/(\d+)\.gif)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("GIF89a" + std::string(req.matches[1]), "image/gif");
    });
    server.page("/", "<html><title>Chain</title><a href=\"p1.html\">start</a></html>");
  }

  void close(const std::string& page) {
    std::lock_guard lock(mutex);
    gate = page;
    closed = true;
  }
  void open() {
    {
      std::lock_guard lock(mutex);
      closed = false;
    }
    opened.notify_all();
  }

 private:
  std::mutex mutex;
  std::condition_variable opened;
  std::string gate;     // guarded by mutex
  bool closed = false;  // guarded by mutex
};

bool gateInHand(const std::string& journalDir, const std::string& gateUrl) {
  if (!fs::exists(journalDir + "/journal.db")) return false;
  CrawlJournal journal;
  std::string error;
  if (!journal.open(journalDir, gateUrl.substr(0, gateUrl.find('/', 8) + 1), error)) return false;
  for (const CrawlJournal::Link& link : journal.links()) {
    if (link.url == gateUrl) return link.state == CrawlJournal::State::InHand;
  }
  return false;
}

// A crawl stopped with Ctrl+C, or killed outright, at some page, then
// continued with -resume: the mirror is the one an uninterrupted crawl
// makes, and nothing the journal had settled is asked for again.
TEST_F(Console, StoppedOrKilledCrawlResumesWhereItEnded) {
  struct Case {
    int signal;
    const char* gate;
  };
  for (const Case& c : {Case{SIGINT, "/p4.html"}, Case{SIGKILL, "/p4.html"}, Case{SIGKILL, "/p11.html"}}) {
    SCOPED_TRACE(std::string(c.signal == SIGKILL ? "SIGKILL at " : "SIGINT at ") + c.gate);
    TestServer server;
    ChainSite site(server);
    server.start();
    fs::remove_all(sites());
    ASSERT_EQ(run(saving({server.url("/")})).exitCode, 0);
    const std::map<std::string, std::string> whole = tree(hostDir(server));
    fs::remove_all(sites());

    site.close(c.gate);
    std::vector<std::string> arguments = saving({server.url("/")});
    arguments.insert(arguments.begin(), "-console");
    ChildProcess child(SITEGLEANER_BINARY, arguments, environment, home.path());
    // Killed once the journal on disk has the gate's page in hand: what
    // the writer had not committed yet would be fetched again, as it should.
    const std::string journalDir = CrawlJournal::directoryFor(sites(), server.url("/"));
    while (!gateInHand(journalDir, server.url(c.gate))) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    child.signal(c.signal);
    ProcessResult stopped = child.wait(20000);
    site.open();
    if (c.signal == SIGINT) {
      EXPECT_EQ(stopped.exitCode, 1) << stopped.out << stopped.err;
      EXPECT_NE(stopped.out.find("Download aborted."), std::string::npos);
    }

    std::set<std::string> settled;
    {
      CrawlJournal journal;
      std::string error;
      ASSERT_TRUE(journal.open(journalDir, server.url("/"), error)) << error;
      EXPECT_GT(journal.unsettledCount(), 0u);
      for (const CrawlJournal::Link& link : journal.links()) {
        if (link.state == CrawlJournal::State::Settled) settled.insert(link.url.substr(server.base().size()));
      }
    }
    EXPECT_EQ(settled.count(c.gate), 0u);
    std::map<std::string, size_t> asked;
    for (const std::string& path : settled) asked[path] = server.count(path);

    // Unattended, a stopped download is never thrown away on a guess.
    ProcessResult refused = run(saving({server.url("/")}));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("A stopped download of " + server.url("/") + " was found with "), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("Run again with -resume"), std::string::npos);

    ProcessResult resumed = run(saving({"-resume", server.url("/")}));
    EXPECT_EQ(resumed.exitCode, 0) << resumed.out << resumed.err;
    EXPECT_NE(resumed.out.find("Resuming the stopped download of " + server.url("/")), std::string::npos)
        << resumed.out;
    for (const auto& [path, count] : asked) EXPECT_EQ(server.count(path), count) << path << " was asked for again";
    EXPECT_EQ(tree(hostDir(server)), whole);
  }
}

// Serves a page with the validators given, answering conditional requests
// as a server does, and counts the bodies it sends.
struct Versioned {
  std::string body;
  std::string etag;          // none when empty
  std::string lastModified;  // none when empty
  int status = 200;
};

class UpdateSite {
 public:
  explicit UpdateSite(TestServer& server) {
    server.http().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex);
      auto it = pages.find(req.path);
      if (it == pages.end() || it->second.status != 200) {
        res.status = it == pages.end() ? 404 : it->second.status;
        return;
      }
      const Versioned& page = it->second;
      if (!page.etag.empty()) res.set_header("ETag", page.etag);
      if (!page.lastModified.empty()) res.set_header("Last-Modified", page.lastModified);
      const bool sameTag = !page.etag.empty() && req.get_header_value("If-None-Match") == page.etag;
      const bool sameDate = page.etag.empty() && !page.lastModified.empty() &&
                            req.get_header_value("If-Modified-Since") == page.lastModified;
      if (sameTag || sameDate) {
        res.status = 304;
        return;
      }
      ++bodies[req.path];
      res.set_content(page.body, req.path.ends_with(".gif") ? "image/gif" : "text/html");
    });
  }

  void set(const std::string& path, std::string body, std::string etag, std::string lastModified = "",
           int status = 200) {
    std::lock_guard lock(mutex);
    pages[path] = Versioned{std::move(body), std::move(etag), std::move(lastModified), status};
  }
  int bodiesSent() {
    std::lock_guard lock(mutex);
    int total = 0;
    for (const auto& [path, count] : bodies) total += count;
    bodies.clear();
    return total;
  }

 private:
  std::mutex mutex;
  std::map<std::string, Versioned> pages;  // guarded by mutex
  std::map<std::string, int> bodies;       // guarded by mutex
};

// A re-run over a mirror asks with the validators the server gave (an entity
// tag alone is enough), fetches only what changed, and says what it found.
TEST_F(Console, ReRunAsksForChangesOnlyAndSumsThemUp) {
  TestServer server;
  UpdateSite site(server);
  const char* kDate = "Tue, 01 Dec 2026 10:00:00 GMT";
  // A folder's page is saved as "sub/default.html", a name that reads back as another address.
  site.set("/",
           "<html><a href=\"a.html\">a</a><a href=\"b.html\">b</a><a href=\"old.html\">o</a>"
           "<a href=\"sub/\">s</a><img src=\"c.gif\"></html>",
           "\"root1\"");
  site.set("/a.html", "<html>first a</html>", "\"a1\"");
  site.set("/b.html", "<html>b</html>", "", kDate);
  site.set("/c.gif", "GIF89a", "\"c1\"");
  site.set("/old.html", "<html>old</html>", "\"o1\"");
  site.set("/sub/", "<html><a href=\"../a.html\">up</a></html>", "\"s1\"");
  server.start();
  const std::vector<std::string> update = saving({"-set", "Ignore Saved Files=1", server.url("/")});

  ASSERT_EQ(run(saving({server.url("/")})).exitCode, 0);
  EXPECT_EQ(site.bodiesSent(), 6);
  const size_t requests = server.requests().size();

  ProcessResult unchanged = run(update);
  EXPECT_EQ(unchanged.exitCode, 0) << unchanged.out << unchanged.err;
  EXPECT_EQ(site.bodiesSent(), 0);
  EXPECT_EQ(server.requests().size(), 2 * requests);  // the same questions, nothing more
  EXPECT_NE(unchanged.out.find("Update: 0 new, 0 changed, 6 unchanged, 0 gone, 0 failed."), std::string::npos)
      << unchanged.out;

  site.set("/",
           "<html><a href=\"a.html\">a</a><a href=\"b.html\">b</a><a href=\"old.html\">o</a>"
           "<a href=\"sub/\">s</a><a href=\"new.html\">n</a><img src=\"c.gif\"></html>",
           "\"root2\"");
  site.set("/a.html", "<html>second a</html>", "\"a2\"");
  site.set("/new.html", "<html>new</html>", "\"n1\"");
  site.set("/old.html", "", "", "", 410);
  ProcessResult changed = run(update);
  EXPECT_EQ(changed.exitCode, 0) << changed.out << changed.err;
  EXPECT_EQ(site.bodiesSent(), 3);  // the root, a.html and new.html
  EXPECT_NE(changed.out.find("Update: 1 new, 2 changed, 3 unchanged, 1 gone, 0 failed."), std::string::npos)
      << changed.out;
  EXPECT_EQ(readFile(hostDir(server) + "/a.html"), "<html>second a</html>");
}

}  // namespace
}  // namespace sg::test
