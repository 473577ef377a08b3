// The main window on the offscreen platform, with a settings file of its
// own and a loopback server, for tests of what the window does while it
// downloads. Routes go on the server before openWindow().
#pragma once

#include <QListWidget>
#include <QTest>

#include "document/settings_store.h"
#include "engine/robots.h"
#include "support/quiet_host.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "ui/main_window.h"
#include "ui/panes.h"
#include "ui/url_box.h"
#include "util/log.h"

namespace sg::test {

class WindowRig {
 public:
  WindowRig() : store(QString::fromStdString(dir.file("settings.conf"))) {
    robotsCache().clear();
    logQueue().clear();
  }
  ~WindowRig() { closeWindow(); }

  // Starts the server and opens the window with quick timers and no pause
  // after links; questions are answered with `answer` and recorded.
  void openWindow() {
    if (server.port() == 0) server.start();
    WindowTiming timing;
    timing.refreshMs = 50;
    timing.logMs = 20;
    timing.threadMs = 20;
    timing.probeMs = 0;
    timing.updateSliceMs = 0;  // one engine update per turn: the slicing must lose and reorder none
    window = std::make_unique<MainWindow>(store, timing, connection);
    window->ask = [this](const QString& question) {
      questions << question;
      return answer;
    };
    window->inform = [this](const QString& message) { questions << message; };
    window->document().controller().settings.linkPause = 0;
    window->document().controller().settings.saveDirectory = dir.file("sites");
    window->document().controller().timing.http.receiveMs = 20000;
  }
  void closeWindow() {
    if (!window) return;
    window->document().controller().workQueue().shutdown();
    QCoreApplication::processEvents();
    window->document().controller().setObserver(nullptr);
    window.reset();
  }

  void startCrawl(const std::string& path) {
    window->urlBox()->setEditText(QString::fromStdString(server.url(path)));
    window->actions().go->trigger();
  }
  bool waitForIdle(int ms = 20000) {
    return QTest::qWaitFor([this] { return !window->document().downloading(); }, ms);
  }

  TempDir dir;
  SettingsStore store;
  TestServer server;
  FixedConnection connection;
  std::unique_ptr<MainWindow> window;
  QStringList questions;
  bool answer = true;
};

}  // namespace sg::test
