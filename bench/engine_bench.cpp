// The crawl engine alone against a loopback server: N pages, each linking
// to ten further pages, fetched by Threads workers with a thin processor
// (GET, read the body, add and queue the children). Reports links per
// second and CPU per link with Link Pause 0, and the ratio of wall time to
// the politeness bound (links x pause / Threads) with the 500 ms pause.
//
//   build/bench/engine_bench [links=5000] [paused-links=1000] [threads=8]
#include <httplib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "engine/download_controller.h"
#include "engine/link_processor.h"
#include "engine/robots.h"
#include "platform/http.h"
#include "util/log.h"
#include "loopback_site.h"

namespace {

constexpr int kFanOut = 10;

class ThinProcessor : public sg::LinkProcessor {
 public:
  explicit ThinProcessor(int links) : m_links(links) {}
  bool process(sg::LinkRecord& link, sg::HttpConnection& connection, bool& timedOut) override {
    auto request = connection.openRequest(link.object());
    request->send();
    char block[4095];
    while (request->read(block, sizeof block) > 0) {
    }
    int index = std::atoi(std::string(link.object()).c_str() + 5);
    for (int i = 1; i <= kFanOut; ++i) {
      int child = index * kFanOut + i;
      if (child < m_links) link.addChild("page" + std::to_string(child) + ".html", nullptr, false);
    }
    link.status = sg::LinkStatus::Complete;
    ++link.controller()->objectsCompleted;
    for (size_t i = 0; i < link.childCount(); ++i) link.controller()->addLink(link.child(i));
    return true;
  }

 private:
  int m_links;
};

class EndWaiter : public sg::DownloadObserver {
 public:
  void downloadUpdate(sg::UpdateCode code, sg::LinkRecord*) override {
    if (code != sg::UpdateCode::DownloadEnded) return;
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_cv.notify_all();
  }
  void wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_ended; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_ended = false;
};

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Result {
  int completed;
  double wall;
  double cpu;
};

Result crawl(int port, int links, int threads, int pauseMs) {
  sg::robotsCache().clear();
  sg::DownloadController controller;
  controller.settings = sg::CrawlSettings::defaults("/tmp");
  controller.settings.threads = threads;
  controller.settings.linkPause = pauseMs;
  controller.settings.maxCrawlDepth = 100;
  controller.settings.limitFlags = 0;
  ThinProcessor processor(links);
  EndWaiter waiter;
  controller.setProcessor(&processor);
  controller.setObserver(&waiter);
  controller.initialise("http://127.0.0.1:" + std::to_string(port) + "/page0.html", nullptr, 0);

  double cpu0 = cpuSeconds();
  auto t0 = std::chrono::steady_clock::now();
  controller.start();
  waiter.wait();
  controller.workQueue().waitForWorkers(60000);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  double cpu = cpuSeconds() - cpu0;
  controller.setObserver(nullptr);
  sg::logQueue().clear();
  return {controller.objectsCompleted.load(), wall, cpu};
}

}  // namespace

int main(int argc, char** argv) {
  int links = argc > 1 ? std::atoi(argv[1]) : 5000;
  int pausedLinks = argc > 2 ? std::atoi(argv[2]) : 1000;
  int threads = argc > 3 ? std::atoi(argv[3]) : 8;
  int port = 0;
  pid_t server = bench::startLoopbackSite(port);

  Result fast = crawl(port, links, threads, 0);
  std::printf("Link Pause 0:    %d links in %.2f s wall, %.2f s CPU: %.0f links/s, %.3f ms CPU per link\n",
              fast.completed, fast.wall, fast.cpu, fast.completed / fast.wall, fast.cpu * 1000 / fast.completed);

  if (pausedLinks > 0) {
    Result polite = crawl(port, pausedLinks, threads, sg::kDefaultLinkPauseMs);
    double bound = polite.completed * 0.5 / threads;
    std::printf("Link Pause 500:  %d links in %.2f s wall; politeness bound %.2f s; ratio %.3f\n", polite.completed,
                polite.wall, bound, polite.wall / bound);
  }
  bench::stopLoopbackSite(server);
  return 0;
}
