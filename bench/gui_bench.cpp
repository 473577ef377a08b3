// Responsiveness of the desktop window during a crawl of 20,000 links from
// a loopback server: the longest stall of the GUI event loop (the longest
// gap between ticks of a 1 ms timer), and the memory the views hold.
//
//   QT_QPA_PLATFORM=offscreen build/bench/gui_bench [links=20000]
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>

#include "document/settings_store.h"
#include "loopback_site.h"
#include "ui/main_window.h"
#include "ui/url_box.h"
#include "util/log.h"

namespace {

size_t heapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace

int main(int argc, char** argv) {
  int links = argc > 1 ? std::atoi(argv[1]) : 20000;
  int port = 0;
  // The site stands for a remote server, which never takes the window's
  // cores: its 16 threads run below the window, as the workers do.
  pid_t server = bench::startLoopbackSite(port, links, 10, 10);

  QApplication application(argc, argv);
  char dir[] = "/tmp/sitegleaner-gui-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 2;
  sg::SettingsStore store(QString::fromLatin1(dir) + QStringLiteral("/settings.conf"));
  sg::MainWindow window(store);
  window.show();
  sg::CrawlSettings& settings = window.document().controller().settings;
  settings.linkPause = 0;
  settings.threads = 8;
  settings.maxCrawlDepth = 100;
  settings.limitFlags = 0;

  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  ticker.start(1);

  size_t heapBefore = heapInUse();
  QElapsedTimer wall;
  wall.start();
  window.urlBox()->setEditText(QStringLiteral("http://127.0.0.1:%1/page0.html").arg(port));
  window.actions().go->trigger();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!window.document().downloading()) application.quit();
  });
  poll.start(50);
  last = clock.elapsed();
  application.exec();
  ticker.stop();

  size_t nodes = window.store().size();
  size_t heapAfter = heapInUse();
  std::printf("links shown: %zu in %.1f s; longest event-loop stall %lld ms; heap %.1f MB (%.0f bytes per link)\n",
              nodes, wall.elapsed() / 1000.0, static_cast<long long>(longest),
              (heapAfter - heapBefore) / 1048576.0, static_cast<double>(heapAfter - heapBefore) / nodes);
  window.document().controller().setObserver(nullptr);
  bench::stopLoopbackSite(server);
  return 0;
}
