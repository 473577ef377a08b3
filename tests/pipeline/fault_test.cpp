// Servers and disks that misbehave: the download must end, report what
// went wrong, keep earlier files and never write outside its directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "pipeline/pipeline_fixture.h"
#include "pipeline/placeholder.h"
#include "support/process.h"
#include "support/raw_server.h"

namespace sg::test {
namespace {

struct FaultCase {
  const char* name;
  const char* path;
  LinkStatus status;
  const char* information;  // start of the expected information text
};

std::string httpHead(const std::string& status, const std::string& headers) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n";
}

// Every file below the save directory stays inside it.
void expectInside(const std::string& directory) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    auto relative = std::filesystem::relative(entry.path(), directory);
    EXPECT_NE(*relative.begin(), "..") << entry.path();
    EXPECT_EQ(entry.path().filename().string().find("~.tmp"), std::string::npos) << entry.path();
  }
}

class Faults : public PipelineTest {
 protected:
  Faults()
      : raw([this](const std::string& path, const RawServer::Writer& write) { answer(path, write); }) {
    controller.timing.http.receiveMs = 300;
    controller.settings.threads = 3;
    controller.settings.maxServerDepth = 1;
  }

  void answer(const std::string& path, const RawServer::Writer& write) {
    if (path == "/cut-head") {
      write("HTTP/1.1 200 OK\r\nContent-Ty");
    } else if (path == "/cut-body") {
      write(httpHead("200 OK", "Content-Type: application/octet-stream\r\nContent-Length: 5000\r\n") +
            std::string(1000, 'b'));
    } else if (path == "/huge-head") {
      std::string head = "HTTP/1.1 200 OK\r\n";
      for (int i = 0; head.size() < 1024 * 1024; ++i) head += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
      write(head + "Content-Length: 2\r\n\r\nok");
    } else if (path == "/bad-status") {
      write("HTTP/1.1 abc Whatever\r\nContent-Length: 2\r\n\r\nok");
    } else if (path == "/garbage") {
      static const char kGarbage[] = "\x00\xff\xfe garbage without any status line\r\n\r\n";
      write(std::string(kGarbage, sizeof kGarbage - 1));
    } else if (path == "/endless.bin" || path == "/endless.html") {
      bool page = path == "/endless.html";
      write(httpHead("200 OK", std::string("Content-Type: ") + (page ? "text/html" : "application/octet-stream") +
                                   "\r\nTransfer-Encoding: chunked\r\n"));
      std::string chunk = page ? "<p>more text, and a <a href=\"x.html\">link</a>\n" : std::string(4000, 'e');
      char size[16];
      std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
      while (!raw.stopping() && write(size + chunk + "\r\n")) {
      }
    } else {
      write(httpHead("404 Not Found", "Content-Type: text/html\r\nContent-Length: 9\r\n") + "not found");
    }
  }

  RawServer raw;
};

TEST_F(Faults, BrokenResponsesEndTheirLinksAndTheDownloadGoesOn) {
  const FaultCase cases[] = {
      {"head cut short", "/cut-head", LinkStatus::Failed, ""},
      {"body cut short", "/cut-body", LinkStatus::Failed, "The connection with the server was terminated"},
      {"1 MB response head", "/huge-head", LinkStatus::Failed, ""},
      {"malformed status line", "/bad-status", LinkStatus::Failed, ""},
      {"no status line at all", "/garbage", LinkStatus::Failed, ""},
  };
  std::string page;
  for (const FaultCase& c : cases) page += "<a href=\"" + raw.url(c.path) + "\">x</a>\n";
  server.page("/", page + "<a href=\"fine.html\">fine</a>");
  server.page("/fine.html", "<html>fine</html>");
  server.start();
  crawl("/");
  EXPECT_EQ(link("/fine.html")->status, LinkStatus::Complete);
  for (const FaultCase& c : cases) {
    LinkRecord* record = controller.find(raw.url(c.path));
    ASSERT_NE(record, nullptr) << c.name;
    EXPECT_EQ(record->status, c.status) << c.name << ": " << record->information;
    EXPECT_EQ(record->information.rfind(c.information, 0), 0u) << c.name << ": " << record->information;
    EXPECT_FALSE(record->information.empty()) << c.name;
  }
  EXPECT_FALSE(controller.cancelled);  // none of these ends the download
  expectInside(controller.settings.saveDirectory);
}

TEST_F(Faults, EndlessBodiesEndAtTheirLimits) {
  server.page("/", "<a href=\"" + raw.url("/endless.bin") + "\">bin</a><a href=\"" + raw.url("/endless.html") +
                       "\">page</a>");
  server.start();
  // The size limit ends the file; the page's links are found as it streams.
  controller.settings.limitFlags = kLimitMaxSize | kLimitTotalTime;
  controller.settings.limitBinaries = kLimitOtherFiles;
  controller.settings.maxSize = 64;
  controller.settings.maxTotalTime = 2;  // and nothing outlives the download
  crawl("/");
  LinkRecord* binary = controller.find(raw.url("/endless.bin"));
  EXPECT_EQ(binary->status, LinkStatus::Failed);
  EXPECT_EQ(binary->information.rfind("File size (", 0), 0u) << binary->information;
  LinkRecord* page = controller.find(raw.url("/endless.html"));
  EXPECT_EQ(page->status, LinkStatus::Failed);
  EXPECT_GE(page->childCount(), 1u);
  expectInside(controller.settings.saveDirectory);
}

TEST_F(Faults, RedirectsToOtherSchemesAndPorts) {
  TestServer other;
  other.page("/there.html", "<html>there</html>");
  other.start();
  server.http().Get("/to-other-port", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", other.url("/there.html"));
  });
  // A TLS connection to a server that speaks plain HTTP fails its handshake.
  server.http().Get("/to-https", [this](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", "https://127.0.0.1:" + std::to_string(server.port()) + "/secure.html");
  });
  server.page("/", "<a href=\"to-other-port\">o</a><a href=\"to-https\">s</a>");
  server.start();
  crawl("/");
  LinkRecord* moved = link("/to-other-port");
  EXPECT_EQ(moved->status, LinkStatus::Complete);
  EXPECT_EQ(moved->url(), other.url("/there.html"));
  EXPECT_TRUE(std::filesystem::exists(controller.settings.saveDirectory + "/127.0.0.1_" +
                                      std::to_string(other.port()) + "/there.html"));
  LinkRecord* secure = link("/to-https");
  EXPECT_EQ(secure->status, LinkStatus::Failed);
  EXPECT_EQ(secure->information.rfind("An error occurred in the secure channel support", 0), 0u)
      << secure->information;
}

TEST_F(Faults, HostileBytesInUrlsAndTitles) {
  static const char kTitle[] = "Bad \x00title\xff\xfe";
  std::string title(kTitle, sizeof kTitle - 1);
  server.page("/", "<html><title>" + title + "</title><a href=\"a%00b.html\">nul</a><a href=\"\xff\xfe.html\">bytes</a>"
                   "<a href=\"%2e%2e/%2e%2e/escape.html\">up</a></html>");
  server.start();
  controller.settings.maxServerDepth = 0;
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

TEST_F(Faults, HugeRobotsFileIsReadUpToItsLimit) {
  std::string robots = "User-agent: *\nDisallow: /refused/\n";
  while (robots.size() < 10 * 1024 * 1024) robots += "Disallow: /d" + std::to_string(robots.size()) + "/\n";
  server.page("/robots.txt", robots, "text/plain");
  server.page("/", "<a href=\"refused/x.html\">r</a><a href=\"fine.html\">f</a>");
  server.page("/fine.html", "fine");
  server.start();
  crawl("/");
  EXPECT_EQ(link("/fine.html")->status, LinkStatus::Complete);
  EXPECT_EQ(link("/refused/x.html")->status, LinkStatus::Pending);
}

TEST_F(Faults, FileWhereADirectoryIsNeeded) {
  server.page("/", "<a href=\"dir/page.html\">p</a>");
  server.page("/dir/page.html", "<html>page</html>");
  server.start();
  std::string host = hostDir();
  std::filesystem::create_directories(host);
  writeFile(host + "/dir", "a file, not a directory");
  crawl("/");
  LinkRecord* page = link("/dir/page.html");
  // Read, its links followed, but not saved: a failure, not a success.
  EXPECT_EQ(page->status, LinkStatus::Failed);
  EXPECT_EQ(page->information, "Failed to open output file " + host + "/dir/page.html.");
  EXPECT_EQ(readFile(host + "/dir"), "a file, not a directory");
  bool reported = false;
  for (const auto& line : drainLog()) reported |= line.rfind("Failed to open output file ", 0) == 0;
  EXPECT_TRUE(reported);
}

TEST_F(Faults, ReadOnlySaveDirectory) {
  if (geteuid() == 0) {
    // Permissions do not bind root: run this test again as nobody.
    if (std::getenv("SG_AS_NOBODY") != nullptr) GTEST_SKIP() << "could not drop privileges";
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    ProcessResult result = runProcess(
        "/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                             std::filesystem::read_symlink("/proc/self/exe").string(),
                             "--gtest_filter=Faults.ReadOnlySaveDirectory"},
        {{"SG_AS_NOBODY", "1"}}, dir.path());
    if (result.exitCode == 127 || result.out.find("SKIPPED") != std::string::npos) GTEST_SKIP() << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    return;
  }
  server.page("/", "<html>root</html>");
  server.start();
  std::string saveDirectory = controller.settings.saveDirectory;
  std::filesystem::create_directories(saveDirectory);
  std::filesystem::permissions(saveDirectory, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  crawl("/");
  EXPECT_EQ(controller.status, LinkStatus::Failed);
  EXPECT_EQ(controller.information.rfind("Failed to open output file ", 0), 0u) << controller.information;
  EXPECT_EQ(controller.unsavedFiles, 1);
  EXPECT_TRUE(std::filesystem::is_empty(saveDirectory));
  std::filesystem::permissions(saveDirectory, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace sg::test
