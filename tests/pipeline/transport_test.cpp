// Today's transport over a whole download: what a server sets or a cookie
// file holds reaches every worker, logging out is left alone while cookies
// are in use, the environment's proxy is told and obeyed, and one HTTP/2
// connection carries the requests of every worker.
#include <condition_variable>
#include <mutex>
#include <set>

#include <sys/stat.h>

#include "pipeline_fixture.h"
#include "support/nginx_server.h"
#include "support/posix_scopes.h"
#include "support/raw_server.h"

namespace sg::test {
namespace {

constexpr const char* kSecret = "S3cr3tV4lue";

class Cookies : public PipelineTest {
 protected:
  Cookies() {
    auto& http = server.http();
    http.Get("/", [this](const httplib::Request&, httplib::Response& response) {
      if (setCookie) response.set_header("Set-Cookie", std::string("sid=") + kSecret + "; Path=/");
      response.set_content(
          "<a href=a.html>a</a><a href=b.html>b</a><a href=members.html>m</a>"
          "<a href=logout.php?next=/>out</a><a href=account/Sign-Out>out</a><a href=blog-outline.html>o</a>"
          "<a href=bye.html><b>Log</b>&nbsp;out</a>",
          "text/html");
    });
    http.Get("/members.html", [](const httplib::Request& request, httplib::Response& response) {
      response.status = request.get_header_value("Cookie").find(kSecret) != std::string::npos ? 200 : 403;
      response.set_content("members", "text/html");
    });
    // a.html and b.html each wait for the other, so that both workers
    // hold one at the same time.
    for (const char* path : {"/a.html", "/b.html"}) {
      http.Get(path, [this](const httplib::Request&, httplib::Response& response) {
        std::unique_lock lock(m_mutex);
        ++m_arrived;
        m_met.notify_all();
        m_met.wait_for(lock, std::chrono::seconds(5), [this] { return m_arrived % 2 == 0; });
        response.set_content("page", "text/html");
      });
    }
    for (const char* path : {"/logout.php", "/account/Sign-Out", "/bye.html", "/blog-outline.html"}) {
      http.Get(path,
               [](const httplib::Request&, httplib::Response& response) { response.set_content("bye", "text/html"); });
    }
    server.start();
  }

  std::atomic<bool> setCookie{false};

 private:
  std::mutex m_mutex;
  std::condition_variable m_met;
  int m_arrived = 0;
};

TEST_F(Cookies, ASetOrLoadedCookieReachesEveryWorkerAndLogoutLinksWaitUntilNoneIsInUse) {
  // As browsers' export extensions write it: comments, an HttpOnly cookie.
  writeFile(dir.file("cookies.txt"), std::string("# Netscape HTTP Cookie File\n\n#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\t") +
                                         kSecret + "\r\n");
  const std::string missing = dir.file("missing.txt");
  struct Case {
    bool setByServer;
    std::string cookieFile;
    bool skipLogout;
    bool sent;              // the cookie, by both workers
    size_t logoutRequests;  // of each logout link; 0: Skipped and logged
  } cases[] = {
      {true, "", true, true, 0},        {false, dir.file("cookies.txt"), true, true, 0},
      {false, "", true, false, 1},      {true, "", false, true, 1},
      {false, missing, true, false, 0},  // the cookies of the last download are gone with it
  };
  for (const Case& c : cases) {
    server.clearRequests();
    setCookie = c.setByServer;
    controller.settings.cookieFile = c.cookieFile;
    controller.settings.skipLogoutLinks = c.skipLogout;
    crawlUrl(server.url("/"));
    EXPECT_EQ(link("/members.html")->httpCode, c.sent ? 200 : 403) << c.cookieFile;
    for (const char* logout : {"/logout.php?next=/", "/account/Sign-Out", "/bye.html"}) {
      EXPECT_EQ(server.count(logout), c.logoutRequests) << c.cookieFile << logout;
    }
    EXPECT_EQ(server.count("/blog-outline.html"), 1u);
    std::set<int> ports;
    for (const RecordedRequest& request : server.requests()) {
      if (request.path != "/a.html" && request.path != "/b.html") continue;
      ports.insert(request.clientPort);
      EXPECT_EQ(request.header("Cookie").find(kSecret) != std::string::npos, c.sent) << request.path;
    }
    EXPECT_GE(ports.size(), 2u);  // both workers, one connection each
    const std::vector<std::string> lines = drainLog();
    for (const std::string& line : lines) EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
    EXPECT_EQ(link("/bye.html")->status, c.logoutRequests ? LinkStatus::Complete : LinkStatus::Skipped);
    EXPECT_EQ(containsLine(lines, "Not requesting " + server.url("/bye.html") +
                                      " while cookies are in use: it looks like a link that logs out (\"Skip "
                                      "Logout Links\")."),
              c.logoutRequests == 0);
    EXPECT_EQ(containsLine(lines, "The cookie file " + missing +
                                      " cannot be read (No such file or directory); the download goes on without "
                                      "its cookies."),
              c.cookieFile == missing);
  }
}

// The proxy sees the site it stands for, asked for by the ASCII form of its
// international name (one server with that form, saved in a directory named
// as the name is written); no_proxy sends the loopback server's link past it.
TEST_F(PipelineTest, TheEnvironmentsProxyIsLoggedOnceWithoutCredentialsAndNoProxyIsObeyed) {
  server.page("/direct.html", "<p>direct</p>");
  server.start();
  const std::string site = "http://xn--bcher-kva.example/";
  std::mutex mutex;
  std::vector<std::string> asked;  // guarded by mutex
  RawServer proxy([&](const std::string& url, const RawServer::Writer& write) {
    {
      std::lock_guard lock(mutex);
      asked.push_back(url);
    }
    std::string body = url == site + "b.html" ? "<p>b</p>" : "";
    if (url == site) {
      body = "<a href=\"" + server.url("/direct.html") + "\">d</a><a href=\"" + site +
             "b.html\">1</a><a href=\"http://B\xc3\x9c" "CHER.example/b.html\">2</a>";
    }
    write("HTTP/1.1 " + std::string(body.empty() ? "404 Not Found" : "200 OK") +
          "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\nConnection: close\r\n\r\n" + body);
  });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
  EnvScope viaProxy("http_proxy", "http://user:pass@" + proxyAddress);
  EnvScope exempt("no_proxy", "localhost,127.0.0.1");
  controller.settings.maxServerDepth = 1;
  crawlUrl("http://b\xc3\xbc" "cher.example/");
  EXPECT_EQ(asked, (std::vector<std::string>{site + "robots.txt", site, site + "b.html"}));
  EXPECT_EQ(server.count("/direct.html"), 1u);
  EXPECT_EQ(readFile(controller.settings.saveDirectory + "/b\xc3\xbc" "cher.example/b.html"), "<p>b</p>");
  const std::vector<std::string> lines = drainLog();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Using the proxy http://" + proxyAddress + " from http_proxy (no_proxy: localhost,127.0.0.1)"),
            1);
}

// Four workers fetch the pages and their pictures, larger than what one
// request buffers, so that transfers pause and resume while other workers'
// streams go on. The certificate comes from the environment, as a company's
// own authority would.
TEST_F(PipelineTest, OneHttp2ConnectionCarriesTheRequestsOfEveryWorker) {
  const std::string site = dir.file("www");
  ASSERT_EQ(::mkdir(site.c_str(), 0700), 0);
  std::string index;
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(i);
    index += "<a href=p" + n + ".html>" + n + "</a>";
    writeFile(site + "/p" + n + ".html", "<img src=i" + n + ".png>");
    writeFile(site + "/i" + n + ".png", std::string(600 * 1024 + i, static_cast<char>('a' + i)));
  }
  writeFile(site + "/index.html", index);
  NginxServer nginx(site);
  ASSERT_TRUE(nginx.start());
  EnvScope trust("CURL_CA_BUNDLE", nginx.certificate());
  controller.settings.threads = 4;
  crawlUrl(nginx.url("/index.html"));
  for (int i = 0; i < 12; ++i) {
    LinkRecord* picture = controller.find(nginx.url("/i" + std::to_string(i) + ".png"));
    ASSERT_NE(picture, nullptr) << i;
    EXPECT_EQ(readFile(picture->localFile()), std::string(600 * 1024 + i, static_cast<char>('a' + i)));
  }
  const std::vector<NginxServer::Request> requests = nginx.requests();
  EXPECT_EQ(requests.size(), 26u);  // robots.txt, the index, 12 pages, 12 pictures
  std::set<std::string> connections;
  for (const NginxServer::Request& request : requests) {
    connections.insert(request.connection);
    EXPECT_EQ(request.protocol, "HTTP/2.0") << request.uri;
  }
  EXPECT_EQ(connections.size(), 1u);
}

}  // namespace
}  // namespace sg::test
