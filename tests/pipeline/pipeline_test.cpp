#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <set>

#include "pipeline/http_exchange.h"
#include "pipeline/pipeline_fixture.h"
#include "pipeline/placeholder.h"
#include "support/faulty_file_system.h"
#include "util/string_utils.h"

namespace sg::test {
namespace {

const char* kLastModified = "Tue, 03 Mar 2026 10:20:30 GMT";
constexpr time_t kLastModifiedTime = 1772533230;

time_t mtimeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// The page with every link value emptied, to compare what is not a link.
std::string withoutLinkValues(const std::string& page) {
  static const std::regex value(R"re(((?:href|src|background)=")[^"]*")re", std::regex::icase);
  return std::regex_replace(page, value, "$1\"");
}

class Site : public PipelineTest {
 protected:
  void SetUp() override {
    server.page("/robots.txt", "User-agent: *\nDisallow: /private/\n", "text/plain");
    server.page("/",
                "<html><head><title>Home page</title>\n"
                "<link rel=\"stylesheet\" href=\"style/site.css\"></head>\r\n"
                "<body background=\"img/back.gif\"><img src=\"img/logo.gif\">\n"
                "<a href=\"docs/intro.html#top\">Intro</a> <a href=\"mailto:someone@example.com\">mail</a>\n"
                "<a href=\"javascript:void(0)\">js</a> <a href=\"missing.html\">gone</a>\n"
                "<a href=\"old.html\">old</a> <a href=\"moved\">moved</a> <a href=\"busy.html\">busy</a>\n"
                "<a href=\"search?q=a&amp;b=c\">search</a> <a href=\"private/secret.html\">secret</a>\n"
                "<a href=\"cl.html\">cl</a> <a href=\"#local\">here</a></body></html>\n",
                "text/html", {{"Last-Modified", kLastModified}});
    server.page("/style/site.css", "body { color: black }\n", "text/css");
    server.page("/img/logo.gif", "GIF89a-logo-bytes", "image/gif", {{"Last-Modified", kLastModified}});
    server.page("/img/back.gif", "GIF89a-back", "image/gif");
    server.page("/docs/intro.html",
                "<html><head><base href=\"/docs/sub/\"><title>Intro</title></head>\n"
                "<a href=\"deep.html\">deeper</a> <img src=\"../img/logo.gif\"></html>\n");
    server.page("/docs/sub/", "<html>sub index</html>");
    server.page("/docs/deep.html", "<html><a href=\"level3.html\">too deep</a></html>");
    server.page("/docs/level3.html", "<html>never fetched</html>");
    server.status("/missing.html", 404, "<html>not here</html>");
    server.http().Get("/old.html", [this](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", server.url("/new/place.html"));
    });
    server.page("/new/place.html", "<html>new place</html>");
    server.http().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.status = 301;
      res.set_header("location", "docs/moved-here.html");  // relative, and lower case
    });
    server.page("/docs/moved-here.html", "<html>moved here</html>");
    server.page("/cl.html", "<a href=\"real/cl.html\">self</a>", "text/html", {{"Content-Location", "real/cl.html"}});
    server.http().Get("/busy.html", [this](const httplib::Request&, httplib::Response& res) {
      if (++m_busyCalls == 1) {
        res.status = 503;
        return;
      }
      res.set_content("<html>not busy now</html>", "text/html");
    });
    server.page("/search", "<html>results</html>");  // the query is no part of the route
    server.page("/private/secret.html", "<html>secret</html>");
    server.start();
    controller.settings.maxCrawlDepth = 2;
  }

  std::atomic<int> m_busyCalls{0};
};

TEST_F(PipelineTest, RetryAfterHoldsEveryRequestToTheServer) {
  // The first request of path is refused with status and the Retry-After
  // value; later ones are answered. One refusal says how long in seconds,
  // the other as a date; the next request to the server, whatever its
  // link, waits the hold out.
  auto refuseOnce = [this](const std::string& path, int status, std::function<std::string()> retryAfter) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    server.http().Get(path, [calls, status, retryAfter](const httplib::Request&, httplib::Response& res) {
      if (++*calls > 1) {
        res.set_content("<html>ok</html>", "text/html");
      } else {
        res.status = status;
        res.set_header("Retry-After", retryAfter());
      }
    });
  };
  server.page("/", "<a href=\"a.html\">a</a><a href=\"b.html\">b</a><a href=\"c.html\">c</a>");
  refuseOnce("/a.html", 429, [] { return std::string("1"); });
  refuseOnce("/b.html", 503, [] {
    std::time_t when = std::time(nullptr) + 3;  // a whole second at least, however late it is read
    std::tm tm{};
    gmtime_r(&when, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return std::string(text);
  });
  server.page("/c.html", "<html>c</html>");
  server.start();
  controller.settings.threads = 1;
  crawl("/");
  for (const char* path : {"/a.html", "/b.html", "/c.html"}) EXPECT_EQ(link(path)->status, LinkStatus::Complete);
  std::vector<RecordedRequest> requests = server.requests();
  std::set<std::string> refused;
  for (size_t i = 0; i + 1 < requests.size(); ++i) {
    const std::string& path = requests[i].path;
    if ((path != "/a.html" && path != "/b.html") || !refused.insert(path).second) continue;
    EXPECT_GE(requests[i + 1].at - requests[i].at, std::chrono::milliseconds(950)) << path;
  }
  EXPECT_EQ(refused.size(), 2u);
  EXPECT_TRUE(
      containsLine(drainLog(), "127.0.0.1 asks for a pause (HTTP 429 Too Many Requests): its requests wait 1 s"));
}

TEST_F(Site, IsMirroredForOfflineBrowsing) {
  crawl("/");
  LinkRecord* root = &controller;
  EXPECT_EQ(root->status, LinkStatus::Complete);
  EXPECT_EQ(root->title, "Home page");
  EXPECT_EQ(root->information, "Saved as sites/127.0.0.1_" + std::to_string(server.port()) + "/default.html");
  EXPECT_EQ(link("/docs/intro.html")->status, LinkStatus::Complete);
  EXPECT_EQ(link("/img/logo.gif")->status, LinkStatus::Complete);
  EXPECT_TRUE(link("/img/logo.gif")->inlineLink);
  EXPECT_EQ(link("/style/site.css")->status, LinkStatus::Complete);

  LinkRecord* missing = link("/missing.html");
  EXPECT_EQ(missing->status, LinkStatus::Failed);
  EXPECT_EQ(missing->information, "Status: HTTP_STATUS_NOT_FOUND - " + server.url("/missing.html"));

  // Redirections move the record to the new address and fetch it there.
  LinkRecord* old = link("/old.html");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->url(), server.url("/new/place.html"));
  EXPECT_EQ(old->status, LinkStatus::Complete);
  EXPECT_EQ(link("/moved"), link("/docs/moved-here.html"));
  EXPECT_EQ(link("/moved")->status, LinkStatus::Complete);
  std::string movedTarget;
  EXPECT_TRUE(controller.redirects().lookup(server.url("/old.html"), movedTarget));
  EXPECT_EQ(movedTarget, server.url("/new/place.html"));
  // An address a page reports (Content-Location) on its own server stands
  // for it too: the page is saved once, under the name asked for.
  EXPECT_EQ(link("/real/cl.html#top"), link("/cl.html"));
  EXPECT_EQ(server.count("/real/cl.html"), 0u);
  EXPECT_NE(saved("/cl.html").find("href=\"cl.html\""), std::string::npos);

  LinkRecord* busy = link("/busy.html");
  EXPECT_EQ(busy->status, LinkStatus::Complete);
  EXPECT_EQ(busy->attemptsRemaining, 14);

  // "&amp;" in a link is the "&" a browser asks for.
  EXPECT_EQ(link("/search?q=a&b=c")->status, LinkStatus::Complete);
  EXPECT_TRUE(std::filesystem::exists(hostDir() + "/search_q=a&b=c"));
  EXPECT_EQ(link("/private/secret.html")->status, LinkStatus::Pending);

  LinkRecord* tooDeep = link("/docs/level3.html");
  ASSERT_NE(tooDeep, nullptr);
  EXPECT_FALSE(tooDeep->include);
  EXPECT_EQ(tooDeep->status, LinkStatus::Skipped);
  EXPECT_EQ(tooDeep->information, "Reached maximum 2 levels deep. Links will not be downloaded.");
  EXPECT_EQ(server.count("/docs/level3.html"), 0u);

  // Saved pages equal the served ones but for their link values.
  std::string home = saved("/");
  httplib::Client client("127.0.0.1", server.port());
  EXPECT_EQ(withoutLinkValues(home), withoutLinkValues(client.Get("/")->body));
  EXPECT_NE(home.find("href=\"search_q=a&amp;b=c\""), std::string::npos);

  // Every local link of every saved page leads to a file that exists.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(controller.settings.saveDirectory)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".desktop") continue;
    std::string page = readFile(entry.path().string());
    std::string base = entry.path().parent_path().string();
    static const std::regex baseTag(R"re(<base href="([^"]*)")re");
    std::smatch match;
    if (std::regex_search(page, match, baseTag)) base = std::filesystem::path(match[1].str()).parent_path().string();
    for (const std::string& reference : localReferences(page)) {
      if (reference == match.str(1)) continue;
      EXPECT_TRUE(std::filesystem::exists(base + "/" + reference)) << entry.path() << " links to missing " << reference;
    }
  }

  // Pages that were not saved have placeholders with their reason.
  std::string gone = saved("/missing.html");
  EXPECT_TRUE(isPlaceholderFile(localFileOf("/missing.html")));
  EXPECT_NE(gone.find("Status: HTTP_STATUS_NOT_FOUND"), std::string::npos);
  std::string deep = saved("/docs/level3.html");
  EXPECT_NE(deep.find("Reached maximum 2 levels deep."), std::string::npos);
  std::string secret = saved("/private/secret.html");
  EXPECT_NE(secret.find("Access denied to /private/secret.html"), std::string::npos);

  // Saved files carry the server's modification time.
  EXPECT_EQ(mtimeOf(localFileOf("/img/logo.gif")), kLastModifiedTime);
  EXPECT_EQ(mtimeOf(localFileOf("/")), kLastModifiedTime);
  EXPECT_EQ(saved("/img/logo.gif"), "GIF89a-logo-bytes");

  // The desktop link to the saved root page.
  EXPECT_TRUE(std::filesystem::exists(controller.settings.saveDirectory + "/Home page.desktop"));
}

TEST_F(PipelineTest, SizeLimitsBeforeAndDuringTheRead) {
  struct LimitCase {
    int limitFlags, limitBinaries;
    size_t bytes;
    bool announceLength;
    LinkStatus status;
    const char* information;  // empty: "Saved as ..." expected
  } const cases[] = {
      {kLimitMaxSize, 1, 30720, true, LinkStatus::Complete, ""},
      {kLimitMaxSize, 1, 31744, true, LinkStatus::Skipped, "File size (31.0Kb) was larger than limit (30.0Kb)"},
      {kLimitMaxSize, 1, 31744, false, LinkStatus::Failed, "File size (31.0Kb) was larger than limit (30.0Kb)"},
      {kLimitMinSize, 1, 100, false, LinkStatus::Skipped, "File size (0b) was smaller than limit (5.0Kb)"},
      {kLimitMaxSize, 2, 31744, true, LinkStatus::Complete, ""},  // only pages are limited
  };
  int index = 0;
  for (const LimitCase& c : cases) {
    std::string path = "/file" + std::to_string(index++) + ".bin";
    std::string body(c.bytes, 'z');
    if (c.announceLength) {
      server.page(path, body, "application/octet-stream");
    } else {
      server.http().Get(path, [body](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [body](size_t offset, httplib::DataSink& sink) {
          if (offset < body.size()) {
            sink.write(body.data() + offset, std::min<size_t>(1000, body.size() - offset));
          } else {
            sink.done();
          }
          return true;
        });
      });
    }
  }
  server.start();
  controller.settings.maxSize = 30;
  ASSERT_TRUE(controller.initialise(server.url("/"), nullptr, 0));
  index = 0;
  for (const LimitCase& c : cases) {
    // Each file alone in a download of its own.
    std::string path = "/file" + std::to_string(index++) + ".bin";
    controller.settings.limitFlags = c.limitFlags;
    controller.settings.limitBinaries = c.limitBinaries;
    LinkRecord record(&controller, false);
    ASSERT_TRUE(record.initialise(server.url(path), &controller, 1));
    controller.workQueue().init(1);
    controller.addLink(&record);
    ASSERT_TRUE(ends.wait(index));
    ASSERT_TRUE(controller.workQueue().waitForWorkers(30000));
    EXPECT_EQ(record.status, c.status) << path << " " << record.information;
    EXPECT_TRUE(c.information[0] ? record.information == c.information : record.information.starts_with("Saved as "))
        << path << ": " << record.information;
  }
}

std::string gzipped(const std::string& text) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Compressed bodies are saved and scanned decoded, and the size limits hold
// what they decode to: the announced (encoded) length counts for nothing.
TEST_F(PipelineTest, CompressedBodiesAreSavedDecodedAndLimitedByTheirDecodedSize) {
  const std::string padding(8000, ' ');  // decoded above Min Size, encoded far below it
  const std::string root = "<a href=\"b.html\">b</a><a href=\"zeros.bin\">z</a><a href=\"tiny.html\">t</a>" + padding;
  const std::string brotliText = "<p>brotli</p>" + std::string(6000, 'b');
  // brotliText, compressed by libbrotli at quality 11.
  const std::string brotliBody(
      "\x1b\x7c\x17\xf8\x9d\x07\x36\x2e\xd4\xfb\xb9\x31\x5e\xbf\xf0\xc0\xd1\x09\xb1\xf2\x91\xcb\x34\xb6\xb7\x78\x30"
      "\x10\x20\xe5\x01\xc0\xfc\x48\x00",
      35);
  struct Case {
    const char* path;
    std::string body;  // as sent
    const char* encoding;
    LinkStatus status;
    const char* information;  // empty: "Saved as ..." expected
    std::string saved;        // empty: no copy (a page gets its placeholder)
  } const cases[] = {
      {"/", gzipped(root), "gzip", LinkStatus::Complete, "", root},
      {"/b.html", brotliBody, "br", LinkStatus::Complete, "", brotliText},
      {"/zeros.bin", gzipped(std::string(10 << 20, '\0')), "gzip", LinkStatus::Failed,
       "File size (1.0Mb) was larger than limit (1.0Mb)", ""},
      {"/tiny.html", gzipped(std::string(1024, 't')), "gzip", LinkStatus::Skipped,
       "File size (1.0Kb) was smaller than limit (5.0Kb)", ""},
  };
  for (const Case& c : cases) {
    server.page(c.path, c.body, c.path[1] == 'z' ? "application/octet-stream" : "text/html",
                {{"Content-Encoding", c.encoding}});
  }
  server.start();
  controller.settings.fixLinks = false;
  controller.settings.limitFlags = kLimitMaxSize | kLimitMinSize;
  controller.settings.limitBinaries = kLimitHtmlFiles | kLimitOtherFiles;
  controller.settings.maxSize = 1024;
  crawl("/");
  for (const Case& c : cases) {
    const LinkRecord* record = link(c.path);
    ASSERT_NE(record, nullptr) << c.path;
    EXPECT_EQ(record->status, c.status) << c.path << " " << record->information;
    EXPECT_TRUE(c.information[0] ? record->information == c.information : record->information.starts_with("Saved as "))
        << c.path << ": " << record->information;
    const std::string file = localFileOf(c.path);
    EXPECT_TRUE(c.saved.empty() ? !std::filesystem::exists(file) || isPlaceholderFile(file) : saved(c.path) == c.saved)
        << c.path;
  }
  // The 10 MB of zeros were read no further than the limit.
  EXPECT_LT(controller.bytesRead.load(), 2u << 20);
  for (const RecordedRequest& request : server.requests()) {
    EXPECT_NE(request.header("Accept-Encoding").find("gzip"), std::string::npos) << request.path;
  }

  // Without compression nothing is asked for.
  server.clearRequests();
  controller.settings.compression = false;
  crawl("/");
  ASSERT_FALSE(server.requests().empty());
  for (const RecordedRequest& request : server.requests()) EXPECT_FALSE(request.hasHeader("Accept-Encoding"));
}

TEST_F(PipelineTest, RecrawlReadsSavedCopies) {
  server.page("/", "<a href=\"page.html\">p</a><img src=\"pic.gif\">", "text/html", {{"Last-Modified", kLastModified}});
  server.page("/page.html", "<html>page</html>", "text/html", {{"Last-Modified", kLastModified}});
  server.page("/pic.gif", "GIF89a", "image/gif", {{"Last-Modified", kLastModified}});
  server.start();
  crawl("/");
  ASSERT_EQ(link("/page.html")->status, LinkStatus::Complete);
  std::string pagePath = localFileOf("/page.html");
  server.clearRequests();

  // Saved copies only: nothing is asked of the server, nothing written.
  controller.settings.ignoreSavedFiles = true;
  controller.settings.checkForChanges = false;
  crawl("/");
  EXPECT_EQ(server.requests().size(), 0u);
  EXPECT_EQ(link("/page.html")->status, LinkStatus::Complete);
  EXPECT_EQ(link("/page.html")->information, "Read local file " + pagePath);
  EXPECT_EQ(link("/pic.gif")->status, LinkStatus::Skipped);
  EXPECT_EQ(link("/pic.gif")->information, "Read local file " + localFileOf("/pic.gif"));
  EXPECT_EQ(mtimeOf(pagePath), kLastModifiedTime);

  // Checking for changes asks with the saved copy's date.
  controller.settings.checkForChanges = true;
  controller.settings.limitBinaries = 3;
  crawl("/");
  bool conditional = false;
  for (const auto& request : server.requests()) {
    conditional |= request.path == "/page.html" && request.header("If-Modified-Since") == kLastModified;
  }
  EXPECT_TRUE(conditional);
}

TEST_F(PipelineTest, EmptyPageCompletesButEmptyImageFails) {
  server.page("/", "<a href=\"empty.html\">e</a><img src=\"empty.gif\">");
  server.page("/empty.html", "", "text/html");
  server.page("/empty.gif", "", "image/gif");
  server.start();
  crawl("/");
  EXPECT_EQ(link("/empty.html")->status, LinkStatus::Complete);
  EXPECT_TRUE(std::filesystem::exists(localFileOf("/empty.html")));
  EXPECT_EQ(std::filesystem::file_size(localFileOf("/empty.html")), 0u);
  EXPECT_EQ(link("/empty.gif")->status, LinkStatus::Failed);
  EXPECT_FALSE(std::filesystem::exists(localFileOf("/empty.gif")));
}

// A disk that fills up part way, a close or a rename that fails: the link
// fails with the system's reason and the earlier copy stays.
TEST_F(PipelineTest, WriteFailureIsAFailureNotSaved) {
  using Fault = FaultyFileSystem::Fault;
  server.page("/", "<img src=\"big.bin\">");
  server.page("/big.bin", std::string(200000, 'b'), "application/octet-stream");
  server.start();
  const std::string bigPath = hostDir() + "/big.bin";
  std::filesystem::create_directories(hostDir());
  for (const auto& [fault, error] : {std::pair{Fault::Write, ENOSPC}, {Fault::Close, EIO}, {Fault::Rename, EACCES}}) {
    writeFile(bigPath, "earlier copy");
    FaultyFileSystem faulty(fault, error, "/big.bin", 65536);
    crawlUrl(server.url("/"));
    ASSERT_NE(link("/big.bin"), nullptr);
    EXPECT_EQ(link("/big.bin")->status, LinkStatus::Failed);
    EXPECT_EQ(link("/big.bin")->information,
              "Failed to write output file " + bigPath + " (" + systemErrorText(error) + ")");
    EXPECT_EQ(readFile(bigPath), "earlier copy");
    EXPECT_FALSE(std::filesystem::exists(bigPath + "~.tmp"));
  }
}

TEST(StatusText, NamesAndClassWords) {
  DownloadController controller;
  ASSERT_TRUE(controller.initialise("http://h/x", nullptr, 0));
  const std::pair<int, const char*> cases[] = {
      {404, "Status: HTTP_STATUS_NOT_FOUND - http://h/x"},
      {307, "Status:  Information, 307 - http://h/x"},
      {418, "Status:  Request error, 418 - http://h/x"},
      {999, "Status:  Unknown, 999 - http://h/x"},
  };
  for (const auto& [code, text] : cases) {
    statusText(controller, code);
    EXPECT_EQ(controller.information, text);
  }
  logQueue().clear();
}

TEST(Limits, SizeAndTimeMessages) {
  DownloadController controller;
  controller.settings = CrawlSettings::defaults("/d");
  controller.settings.maxSize = 30;
  controller.settings.minSize = 5;
  controller.settings.maxTime = 60;
  std::string message;
  controller.settings.limitFlags = kLimitMaxSize | kLimitMinSize | kLimitFileTime;
  EXPECT_TRUE(checkSize(controller, 1000, message, true));  // not while reading
  controller.settings.maxSize = 0;
  EXPECT_FALSE(checkSize(controller, 2048, message, false));  // both broken: the smaller message wins
  EXPECT_EQ(message, "File size (2.0Kb) was smaller than limit (5.0Kb)");
  EXPECT_TRUE(checkTime(controller, 60999, message));
  EXPECT_FALSE(checkTime(controller, 61000, message));
  EXPECT_EQ(message, "Download time (1m 1s) exceeded limit (1m 0s)");
}

// A body past 4 GB keeps its count: the size limit stops it there, as it
// would a small one. The bytes are made up on the way, none on disk.
TEST_F(PipelineTest, BodyPastFourGigabytesMeetsTheSizeLimit) {
  class Zeros : public BodySource {
   public:
    size_t read(char*, size_t size) override {
      const auto n = static_cast<size_t>(std::min<uint64_t>(size, m_left));
      m_left -= n;
      return n;
    }

   private:
    uint64_t m_left = (uint64_t{1} << 32) + (uint64_t{1} << 20);
  } zeros;
  controller.settings.saveFiles = false;
  controller.settings.limitFlags = kLimitMaxSize;
  controller.settings.limitBinaries = kLimitOtherFiles;
  controller.settings.maxSize = 4 * 1024 * 1024 + 512;  // Kb: half a megabyte past 4 GB
  ASSERT_TRUE(controller.initialise("http://h/big.bin", nullptr, 0));
  controller.contentKind = ContentKind::Other;
  EXPECT_FALSE(readBody(controller, zeros));
  EXPECT_GT(controller.receivedSize, uint64_t{1} << 32);
  EXPECT_LT(controller.receivedSize, (uint64_t{1} << 32) + (uint64_t{1} << 20));
  EXPECT_EQ(controller.information, "File size (4.0Gb) was larger than limit (4.0Gb)");
}

TEST(ProgressText, PercentAndEstimate) {
  DownloadController controller;
  ASSERT_TRUE(controller.initialise("http://h/dir/file.zip?x=1", nullptr, 0));
  controller.size = 4096;
  controller.receivedSize = 2048;
  controller.readTime = 10000;
  EXPECT_EQ(progressText(controller), "Reading /dir/file.zip (50% - 10s remaining)");
  controller.size = 100000000;
  controller.receivedSize = 90000000;  // 32-bit arithmetic would overflow here
  controller.readTime = 1000;
  EXPECT_EQ(progressText(controller), "Reading /dir/file.zip (90%)");
}

TEST(PageNames, WhatLooksLikeAPage) {
  EXPECT_FALSE(looksLikePage("h/index.php_id=3"));
  EXPECT_TRUE(looksLikePage("h/dir/default.html"));
  EXPECT_TRUE(looksLikePage("h/dir.v2/page"));
  EXPECT_FALSE(looksLikePage("h/img/a.gif"));
}

}  // namespace
}  // namespace sg::test
