#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <set>
#include <string>
#include <thread>

#include "engine/robots.h"
#include "engine/scripted_processor.h"
#include "support/end_signal.h"
#include "support/log_lines.h"
#include "support/test_server.h"
#include "util/app_flags.h"
#include "util/log.h"

namespace sg::test {
namespace {

class Download : public ::testing::Test {
 protected:
  Download() {
    controller.settings = CrawlSettings::defaults("/home/user/Desktop");
    controller.settings.saveDirectory = "/S";
    controller.settings.linkPause = 0;
    controller.settings.maxServerDepth = 2;
    controller.timing.http.connectMs = 2000;
    controller.timing.http.receiveMs = 2000;
    controller.setObserver(&observer);
    controller.setProcessor(&processor);
    robotsCache().clear();
    logQueue().clear();
    setStealthMode(false);
  }
  ~Download() override {
    controller.workQueue().shutdown();
    controller.setObserver(nullptr);
    setStealthMode(false);
  }

  void setRoot(const std::string& url) {
    controller.registry().clear();
    ASSERT_TRUE(controller.initialise(url, nullptr, 0)) << controller.information;
  }

  void startAndWait(int ends = 1) {
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(observer.wait(ends));
    ASSERT_TRUE(controller.workQueue().waitForWorkers(30000));
  }

  TestServer server;
  ScriptedProcessor processor;
  EndSignal observer;
  DownloadController controller;
};

TEST_F(Download, RootWithoutLinksRunsOneWorkerAndEndsOnce) {
  server.start();
  controller.settings.threads = 4;
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_EQ(processor.order(), std::vector<std::string>{"/"});
  EXPECT_EQ(processor.slots(), std::vector<unsigned>{0});
  EXPECT_EQ(observer.ends(), 1);
  EXPECT_TRUE(containsLine(drainLog(), "Starting download at " + server.url("/") + "..."));
}

TEST_F(Download, InlineObjectsFirstLastListedFirstThenPagesInOrder) {
  server.start();
  controller.settings.threads = 1;
  processor.children["/"] = {{"p1.html"},      {"i1.gif", true}, {"p2.html"},
                             {"i2.gif", true}, {"p3.html"},      {"i3.gif", true}};
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_EQ(processor.order(),
            (std::vector<std::string>{"/", "/i3.gif", "/i2.gif", "/i1.gif", "/p1.html", "/p2.html", "/p3.html"}));
  EXPECT_EQ(observer.ends(), 1);
}

TEST_F(Download, WorkersAreStartedOnDemandUpToThreads) {
  server.start();
  controller.settings.threads = 3;
  for (int i = 0; i < 12; ++i) processor.children["/"].push_back({"p" + std::to_string(i) + ".html"});
  // Each link is held until three are at work (five seconds at most), so
  // that the peak shows whatever the queue lets through.
  std::mutex mutex;
  std::condition_variable cv;
  int active = 0, peak = 0;
  processor.before = [&](LinkRecord& link) {
    if (link.object() == "/") return;
    std::unique_lock lock(mutex);
    peak = std::max(peak, ++active);
    cv.notify_all();
    cv.wait_for(lock, std::chrono::seconds(5), [&] { return peak >= 3; });
    --active;
  };
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_EQ(processor.order().size(), 13u);
  EXPECT_EQ(peak, 3);
  std::vector<unsigned> used = processor.slots();
  EXPECT_EQ(std::set<unsigned>(used.begin(), used.end()), (std::set<unsigned>{0, 1, 2}));
  EXPECT_EQ(observer.ends(), 1);
}

TEST_F(Download, DelayBetweenObjectsOnlyWithOneThread) {
  server.start();
  controller.timing.delayUnitMs = 150;
  controller.settings.objectDelay = 3;
  controller.settings.threads = 1;
  processor.children["/"] = {{"a.html"}};
  std::vector<uint32_t> ticks;
  processor.before = [&](LinkRecord&) { ticks.push_back(tickCount()); };
  setRoot(server.url("/"));
  startAndWait();
  ASSERT_EQ(ticks.size(), 2u);
  EXPECT_GE(ticks[1] - ticks[0], 450u);
}

TEST_F(Download, StopThenStartResumesInPendingOrder) {
  server.start();
  controller.settings.threads = 1;
  processor.children["/"] = {{"a.html"}, {"b.html"}, {"c.html"}, {"i.gif", true}};
  std::mutex mutex;
  std::condition_variable cv;
  bool inA = false, release = false;
  processor.before = [&](LinkRecord& link) {
    if (link.object() != "/a.html") return;
    std::unique_lock lock(mutex);
    inA = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  };
  setRoot(server.url("/"));
  ASSERT_TRUE(controller.start());
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return inA; }));
  }
  controller.stop();
  EXPECT_EQ(controller.pendingText(), "2 to resume");
  {
    std::lock_guard lock(mutex);
    release = true;
    cv.notify_all();
  }
  ASSERT_TRUE(observer.wait(1));
  ASSERT_TRUE(controller.workQueue().waitForWorkers(30000));
  EXPECT_EQ(processor.order(), (std::vector<std::string>{"/", "/i.gif", "/a.html"}));
  drainLog();

  processor.before = nullptr;
  startAndWait(2);
  EXPECT_EQ(processor.order(), (std::vector<std::string>{"/", "/i.gif", "/a.html", "/b.html", "/c.html"}));
  EXPECT_TRUE(containsLine(drainLog(), "Resuming download."));
  EXPECT_EQ(controller.pendingText(), "0 pending");
  EXPECT_EQ(observer.ends(), 2);
}

TEST_F(Download, TotalTimeLimitOfZeroEndsBeforeTheFirstLink) {
  server.start();
  controller.settings.maxTotalTime = 0;
  controller.settings.limitFlags = kLimitTotalTime;
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_TRUE(processor.order().empty());
  EXPECT_TRUE(containsLine(drainLog(), "Time limit exceeded."));
  // The root was never looked at; it waits in the resume list.
  EXPECT_EQ(controller.pendingText(), "1 to resume");
  EXPECT_EQ(observer.ends(), 1);
}

TEST_F(Download, UnreachableServerCostsOnlyItsOwnLinks) {
  server.start();
  controller.settings.threads = 1;
  controller.settings.maxServerDepth = 1;
  // The first dead server fails its robots request; the second, whose
  // robots file is known, the first link's own request.
  processor.fetch = true;
  const int refused = refusedPort();
  int refusedToo = refusedPort();
  while (refusedToo == refused) refusedToo = refusedPort();
  robotsCache().store(robotsKey("127.0.0.1", static_cast<uint16_t>(refusedToo), false), RobotsRules{});
  const std::string dead[] = {"http://127.0.0.1:" + std::to_string(refused),
                              "http://127.0.0.1:" + std::to_string(refusedToo)};
  processor.children["/"] = {{dead[0] + "/x.html"}, {"a.html"}, {dead[0] + "/y.html"},
                             {dead[1] + "/x.html"}, {"b.html"}, {dead[1] + "/y.html"}};
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_EQ(processor.order(), (std::vector<std::string>{"/", "/a.html", "/x.html", "/b.html"}));
  EXPECT_FALSE(controller.cancelled);
  EXPECT_EQ(controller.pendingText(), "0 pending");
  for (const std::string& url : {dead[0] + "/x.html", dead[0] + "/y.html", dead[1] + "/x.html", dead[1] + "/y.html"}) {
    LinkRecord* link = controller.find(url);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->status, LinkStatus::Failed);
    EXPECT_NE(link->information.find("could not be established"), std::string::npos) << link->information;
  }
  // Each server is tried once: its second link fails on the first verdict.
  int connectErrors = 0;
  for (const auto& line : drainLog()) connectErrors += line.rfind("Error connecting to 127.0.0.1 - ", 0) == 0;
  EXPECT_EQ(connectErrors, 2);
}

TEST_F(Download, RobotsRulesRefuseLinksAndAreReadOncePerServer) {
  server.page("/robots.txt", "User-agent: other\nDisallow: /\n\nUser-agent: *\nDisallow: /private/\n", "text/plain");
  server.start();
  controller.settings.threads = 1;
  processor.children["/"] = {{"private/a.html"}, {"public.html"}, {"private"}};
  setRoot(server.url("/"));
  startAndWait();
  // Rules are prefixes of the request target: "/private" is not "/private/".
  EXPECT_EQ(processor.order(), (std::vector<std::string>{"/", "/public.html", "/private"}));
  EXPECT_EQ(processor.refused(), (std::vector<std::string>{"/private/a.html"}));
  EXPECT_EQ(controller.find(server.url("/private/a.html"))->status, LinkStatus::Pending);
  EXPECT_EQ(server.count("/robots.txt"), 1u);
}

TEST_F(Download, CrawlDelaySpacesTheRequestsOfEveryWorker) {
  server.page("/robots.txt", "User-agent: sitegleaner\nCrawl-delay: 0.2\nAllow: /\n", "text/plain");
  server.start();
  controller.settings.threads = 4;
  processor.fetch = true;
  processor.children["/"] = {{"a.html"}, {"b.html"}, {"c.html"}, {"d.html"}};
  setRoot(server.url("/"));
  startAndWait();
  // The first turn comes after the robots file was answered, and each
  // later one a delay after the one before; a request arrives after its
  // turn. So the k-th arrives at least k delays after the robots file did,
  // however the network spaces the arrivals themselves.
  std::vector<std::chrono::steady_clock::time_point> times;
  std::chrono::steady_clock::time_point robots;
  for (const RecordedRequest& request : server.requests()) {
    (request.path == "/robots.txt" ? robots : times.emplace_back()) = request.at;
  }
  ASSERT_EQ(times.size(), 5u);
  std::sort(times.begin(), times.end());
  for (size_t k = 1; k < times.size(); ++k) {
    // Two milliseconds for the clock's whole milliseconds.
    EXPECT_GE(times[k] - robots, std::chrono::milliseconds(200 * k - 2)) << "request " << k;
  }
  EXPECT_TRUE(containsLine(drainLog(),
                           "127.0.0.1 asks for 0.2 s between requests (Crawl-delay): every worker keeps to it there"));
}

TEST_F(Download, NoMoreWorkersAtOneServerThanItsCapWhileOthersWorkElsewhere) {
  // Every answer takes a while, so that workers overlap; the peak of each
  // server is counted as the server sees it.
  struct Peak {
    std::atomic<int> now{0}, most{0};
  };
  auto slowPages = [](TestServer& site, Peak& peak) {
    site.http().Get(R"(/p\d+\.html)", [&peak](const httplib::Request&, httplib::Response& res) {
      int n = ++peak.now;
      for (int m = peak.most; n > m && !peak.most.compare_exchange_weak(m, n);) {
      }
      // The first ones are held until a second request keeps them company
      // (for five seconds at most), so that the peak shows whatever the
      // queue lets through.
      for (int waited = 0; peak.now < 2 && peak.most < 2 && waited < 5000; waited += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      --peak.now;
      res.set_content("<html>p</html>", "text/html");
    });
  };
  TestServer other;
  Peak here, there;
  slowPages(server, here);
  slowPages(other, there);
  server.start();
  other.start();
  controller.settings.threads = 6;
  controller.settings.maxConnectionsPerServer = 2;
  controller.settings.maxServerDepth = 5;
  processor.fetch = true;
  for (int i = 0; i < 8; ++i) {
    processor.children["/"].push_back({"p" + std::to_string(i) + ".html"});
    processor.children["/"].push_back({other.url("/p" + std::to_string(i) + ".html")});
  }
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_EQ(here.most, 2);
  EXPECT_EQ(there.most, 2);
  EXPECT_EQ(processor.order().size(), 17u);
}

TEST_F(Download, WorkerEndingByAnExceptionStillEndsTheDownload) {
  server.start();
  controller.settings.threads = 1;
  processor.before = [](LinkRecord&) { throw std::runtime_error("boom"); };
  setRoot(server.url("/"));
  startAndWait();
  EXPECT_TRUE(containsLine(drainLog(), "Unhandled error in Download thread."));
  EXPECT_EQ(controller.runningThreads(), 0);
  EXPECT_EQ(observer.ends(), 1);
}

TEST_F(Download, DestroyingTheControllerJoinsWorkersStuckOnTheNetwork) {
  server.stalledBody("/", "", 60000);
  server.start();
  auto local = std::make_unique<DownloadController>();
  local->settings = controller.settings;
  local->timing.http.receiveMs = 60000;
  ScriptedProcessor fetching;
  fetching.fetch = true;
  local->setProcessor(&fetching);
  ASSERT_TRUE(local->initialise(server.url("/"), nullptr, 0));
  ASSERT_TRUE(local->start());
  while (fetching.order().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto before = std::chrono::steady_clock::now();
  local.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));  // not the 60 s time-out
}

TEST(TypeFilter, GrowsTheTypeListsWithNewTypes) {
  DownloadController controller;
  controller.settings = CrawlSettings::defaults("/d");
  controller.settings.downloadAll = false;
  controller.settings.downloadUnknown = false;
  EXPECT_TRUE(controller.typeWanted("text/html"));
  EXPECT_FALSE(controller.typeWanted("image/gif"));  // known, not wanted
  EXPECT_FALSE(controller.typeWanted("image/png"));  // new, not wanted
  EXPECT_EQ(controller.settings.knownFileTypes.substr(controller.settings.knownFileTypes.size() - 10), ";image/png");
  EXPECT_EQ(controller.settings.downloadFileTypes, "text/html");

  controller.settings.downloadUnknown = true;
  EXPECT_TRUE(controller.typeWanted("application/pdf"));
  EXPECT_EQ(controller.settings.downloadFileTypes, "text/html;application/pdf");
  EXPECT_TRUE(controller.typeWanted("application/pdf"));

  controller.settings.downloadFileTypes.clear();
  EXPECT_TRUE(controller.typeWanted("image/gif"));  // an empty list admits every known type
  controller.settings.downloadAll = true;
  EXPECT_TRUE(controller.typeWanted("anything/else"));
  EXPECT_EQ(controller.settings.knownFileTypes.find("anything/else"), std::string::npos);
}

TEST(RequestHeaders, UserAgentUnlessStealth) {
  CrawlSettings settings = CrawlSettings::defaults("/d");
  setStealthMode(false);
  EXPECT_EQ(DownloadController::buildRequestHeaders(settings),
            "Accept: */*\r\nUser-Agent: " + std::string(kDefaultUserAgent) + "\r\n");
  settings.userAgent.clear();
  EXPECT_EQ(DownloadController::buildRequestHeaders(settings), "Accept: */*\r\nUser-Agent: Sitegleaner\r\n");
  setStealthMode(true);
  EXPECT_EQ(DownloadController::buildRequestHeaders(settings), "Accept: */*\r\n");
  setStealthMode(false);
}

}  // namespace
}  // namespace sg::test
