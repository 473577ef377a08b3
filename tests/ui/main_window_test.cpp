#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "document/settings_store.h"
#include "engine/robots.h"
#include "engine/thread_status.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "ui/gui_app.h"
#include "ui/link_views.h"
#include "ui/main_window.h"
#include "ui/panes.h"
#include "ui/url_box.h"
#include "util/log.h"

using namespace sg;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void commandStatesFollowADownload();
  void statusPanesShowTheDownload();
  void treeAndDetailsFollowTheLinks();
  void showAllAndIncludeChangeTheRows();
  void logPaneFollowsOnlyAtTheEnd();
  void threadPaneKeepsARowPerSlot();
  void dropsAreRefusedDuringADownload();
  void closeQueryAnsweredNoKeepsDownloading();
  void conditionsOfUseShownOncePerRelease();
  void placementAndLayoutComeBack();
  void helpWithoutTheManualSaysSo();
  void browseOfflineOpensTheSavedRoot();
  void treeItemsReadWhatTellsThemApart_data();
  void treeItemsReadWhatTellsThemApart();
  void longLinesCanBeReadWhole();

 private:
  void startCrawl(const QString& path);
  bool waitForIdle(int ms = 20000);

  std::unique_ptr<test::TempDir> m_dir;
  std::unique_ptr<SettingsStore> m_store;
  std::unique_ptr<test::TestServer> m_server;
  std::unique_ptr<MainWindow> m_window;
  QStringList m_questions;
  bool m_answer = true;
};

void MainWindowTest::init() {
  robotsCache().clear();
  logQueue().clear();
  m_dir = std::make_unique<test::TempDir>();
  m_store = std::make_unique<SettingsStore>(QString::fromStdString(m_dir->file("settings.conf")));
  m_server = std::make_unique<test::TestServer>();
  m_server->page("/", "<html><title>Home</title><a href=\"a.html\">a</a><a href=\"b.html\">b</a>"
                      "<img src=\"pic.gif\"></html>");
  m_server->page("/a.html", "<html><a href=\"a1.html\">a1</a><a href=\"a2.html\">a2</a></html>");
  m_server->page("/a1.html", "a1");
  m_server->page("/a2.html", "a2");
  m_server->page("/b.html", "b");
  m_server->page("/pic.gif", "GIF89a", "image/gif");
  m_server->stalledBody("/slow", "x", 20000);
  m_server->page("/stalls.html", "<html><a href=\"slow\">slow</a><a href=\"b.html\">b</a></html>");
  m_server->start();
  WindowTiming timing;
  timing.refreshMs = 50;
  timing.logMs = 20;
  timing.threadMs = 20;
  m_window = std::make_unique<MainWindow>(*m_store, timing);
  m_questions.clear();
  m_answer = true;
  m_window->ask = [this](const QString& question) {
    m_questions << question;
    return m_answer;
  };
  m_window->inform = [this](const QString& message) { m_questions << message; };
  CrawlSettings& settings = m_window->document().controller().settings;
  settings.linkPause = 0;
  settings.saveDirectory = m_dir->file("sites");
  m_window->document().controller().timing.http.receiveMs = 20000;
  m_window->show();
}

void MainWindowTest::cleanup() {
  m_window->document().controller().workQueue().shutdown();
  QCoreApplication::processEvents();
  m_window.reset();
  m_server.reset();
  m_store.reset();
  m_dir.reset();
}

void MainWindowTest::startCrawl(const QString& path) {
  m_window->urlBox()->setEditText(QString::fromStdString(m_server->url(path.toStdString())));
  m_window->action(QStringLiteral("go"))->trigger();
}

bool MainWindowTest::waitForIdle(int ms) {
  return QTest::qWaitFor([this] { return !m_window->document().downloading(); }, ms);
}

void MainWindowTest::commandStatesFollowADownload() {
  m_window->refresh();
  QVERIFY(m_window->action("go")->isEnabled());
  QVERIFY(!m_window->action("stop")->isEnabled());
  QVERIFY(m_window->action("options")->isEnabled());
  QVERIFY(m_window->action("clearLinks")->isEnabled());
  QVERIFY(m_window->urlBox()->isEnabled());

  startCrawl("/slow");
  QVERIFY(m_window->document().downloading());
  QVERIFY(!m_window->action("go")->isEnabled());
  QVERIFY(m_window->action("stop")->isEnabled());
  QVERIFY(!m_window->action("options")->isEnabled());
  QVERIFY(!m_window->action("clearHistory")->isEnabled());
  QVERIFY(!m_window->urlBox()->isEnabled());

  m_window->action("stop")->trigger();  // stopping: nothing to stop twice
  QVERIFY(!m_window->action("stop")->isEnabled());
  QVERIFY(!m_window->action("go")->isEnabled());

  QVERIFY(waitForIdle());
  QVERIFY(m_window->action("go")->isEnabled());
  QVERIFY(!m_window->action("stop")->isEnabled());
  QCOMPARE(m_window->paneText(0), QStringLiteral("Download aborted."));
  QCOMPARE(m_window->windowTitle(), QString::fromStdString(m_server->url("/slow")).mid(7) + " - Sitegleaner");
}

void MainWindowTest::statusPanesShowTheDownload() {
  m_window->refresh();
  QCOMPARE(m_window->paneText(2), QStringLiteral("0 pending"));
  QCOMPARE(m_window->paneText(3), QStringLiteral("0 threads"));
  QCOMPARE(m_window->paneText(4), QStringLiteral(" No download active "));
  QVERIFY(m_window->paneText(1) == "Connected" || m_window->paneText(1) == "Disconnected");

  m_window->document().controller().settings.limitFlags = 0;
  startCrawl("/slow");
  m_window->refresh();
  QCOMPARE(m_window->paneText(4), QStringLiteral("No time limit."));
  QCOMPARE(m_window->paneText(3), QStringLiteral("1 threads"));
  QVERIFY(m_window->paneText(1).endsWith("/sec"));
  m_window->action("stop")->trigger();
  QVERIFY(waitForIdle());

  // One worker, held by the stalled link, so the page's other link is
  // certainly still pending when the download stops.
  m_window->document().controller().settings.limitFlags = kLimitTotalTime;
  m_window->document().controller().settings.threads = 1;
  size_t stalls = m_server->count("/slow");
  startCrawl("/stalls.html");
  m_window->refresh();
  QVERIFY2(m_window->paneText(4).endsWith(" remaining"), qPrintable(m_window->paneText(4)));
  QTRY_VERIFY_WITH_TIMEOUT(m_server->count("/slow") > stalls, 20000);
  m_window->action("stop")->trigger();
  QVERIFY(waitForIdle());
  m_window->refresh();
  // The pending link waits, and so does the stalled one whose read the stop cut short.
  QCOMPARE(m_window->paneText(2), QStringLiteral("2 to resume"));
  QCOMPARE(m_window->paneText(4), QStringLiteral(" No download active "));
}

void MainWindowTest::treeAndDetailsFollowTheLinks() {
  startCrawl("/");
  QVERIFY(waitForIdle());
  LinkTreeModel& tree = m_window->treeModel();
  QCOMPARE(tree.rowCount(), 1);
  QModelIndex root = tree.index(0, 0);
  // Only pages with links of their own get tree items: a.html, not b.html.
  QCOMPARE(tree.rowCount(root), 1);
  QCOMPARE(tree.data(tree.index(0, 0, root), Qt::DisplayRole).toString(), QStringLiteral("a.html"));
  QCOMPARE(tree.data(tree.index(0, 0, root), Qt::ToolTipRole).toString(), QString::fromStdString(m_server->url("/a.html")));
  QCOMPARE(tree.data(tree.index(0, 0, root), Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));

  DetailsModel& details = m_window->detailsModel();
  QCOMPARE(details.shownPage(), m_window->store().root());
  QCOMPARE(details.rowCount(), 3);
  QStringList statuses;
  for (int row = 0; row < 3; ++row) statuses << details.data(details.index(row, DetailsModel::kStatus), Qt::DisplayRole).toString();
  QCOMPARE(statuses, QStringList({"Complete", "Complete", "Complete"}));
  QCOMPARE(details.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("URL/Title"));

  // Selecting a page shows its links; a reset shows the root alone.
  m_window->treeView()->setCurrentIndex(tree.index(0, 0, root));
  QCOMPARE(details.rowCount(), 2);
  m_window->action("clearLinks")->trigger();
  QCOMPARE(tree.rowCount(tree.index(0, 0)), 0);
  QCOMPARE(details.rowCount(), 0);
}

void MainWindowTest::showAllAndIncludeChangeTheRows() {
  m_window->document().controller().settings.maxCrawlDepth = 1;  // a1 and a2 are kept but not fetched
  startCrawl("/");
  QVERIFY(waitForIdle());
  LinkTreeModel& tree = m_window->treeModel();
  DetailsModel& details = m_window->detailsModel();
  m_window->treeView()->setCurrentIndex(tree.index(0, 0, tree.index(0, 0)));
  QCOMPARE(details.rowCount(), 2);
  QCOMPARE(details.data(details.index(0, DetailsModel::kStatus), Qt::DisplayRole).toString(), QStringLiteral("Skipped"));

  m_window->action("showAll")->trigger();  // off: only complete links
  QVERIFY(!m_window->document().view.showAll);
  QCOMPARE(details.rowCount(), 0);
  m_window->action("showAll")->trigger();
  QCOMPARE(details.rowCount(), 2);
  // However the choice changes (a profile opened reloads the settings),
  // the list follows the menu at the next refresh.
  m_window->document().view.showAll = false;
  m_window->refresh();
  QVERIFY(!m_window->action("showAll")->isChecked());
  QCOMPARE(details.rowCount(), 0);
  m_window->document().view.showAll = true;
  m_window->refresh();
  QCOMPARE(details.rowCount(), 2);

  // Excluding the page turns it grey and marks its links.
  m_window->treeView()->setFocus();
  m_window->action("includeUrl")->trigger();
  QModelIndex page = tree.index(0, 0, tree.index(0, 0));
  QCOMPARE(tree.data(page, Qt::ForegroundRole).value<QColor>(), QColor(128, 128, 128));
  LinkNode* node = tree.nodeAt(page);
  QVERIFY(!node->info.include);
  QVERIFY(!node->info.record->include);
  for (LinkNode* child : node->children) QVERIFY(!child->info.include);
}

void MainWindowTest::browseOfflineOpensTheSavedRoot() {
  QList<QUrl> opened;
  m_window->setUrlOpener([&opened](const QUrl& url) {
    opened.append(url);
    return true;
  });
  m_window->refresh();
  QVERIFY(!m_window->action("browseOffline")->isEnabled());  // nothing saved yet
  m_window->document().controller().settings.maxCrawlDepth = 0;
  m_window->document().controller().settings.saveFiles = true;
  startCrawl("/");
  QVERIFY(waitForIdle());
  m_window->refresh();
  QVERIFY(m_window->action("browseOffline")->isEnabled());
  m_window->action("browseOffline")->trigger();
  const std::string root = m_window->document().controller().localFile();
  QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(root))});
  QVERIFY(QFileInfo(QString::fromStdString(root)).isFile());
  // The log names the file, as the console's summary does.
  m_window->logPane()->refresh();
  bool named = false;
  for (int row = 0; row < m_window->logPane()->list()->count(); ++row) {
    named |= m_window->logPane()->list()->item(row)->text() == QString::fromStdString("To browse it offline, open " + root);
  }
  QVERIFY(named);
}

void MainWindowTest::treeItemsReadWhatTellsThemApart_data() {
  QTest::addColumn<QString>("url");
  QTest::addColumn<QString>("label");
  QTest::newRow("a page") << "http://h.example/docs/intro.html" << "intro.html";
  QTest::newRow("a folder") << "http://h.example/docs/" << "docs/";
  QTest::newRow("a query") << "http://h.example/search.html?q=a&p=2#top" << "search.html?q=a&p=2";
  QTest::newRow("escapes") << "http://h.example/caf%C3%A9%20menu.html" << QStringLiteral("caf\u00e9 menu.html");
  QTest::newRow("another server") << "http://cdn.example:81/img/x.png" << "cdn.example:81/x.png";
  QTest::newRow("another server's root") << "http://cdn.example/" << "cdn.example/";
}

void MainWindowTest::treeItemsReadWhatTellsThemApart() {
  QFETCH(QString, url);
  QFETCH(QString, label);
  LinkNode root;
  root.info.url = "http://h.example/";
  LinkNode node;
  node.parent = &root;
  node.info.url = url.toStdString();
  QCOMPARE(LinkTreeModel::treeLabel(node), label);
  QCOMPARE(LinkTreeModel::treeLabel(root), QStringLiteral("http://h.example/"));
  // Before any URL the tree says so.
  LinkTreeModel& tree = m_window->treeModel();
  QCOMPARE(tree.data(tree.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("No URL Selected"));
  QVERIFY(tree.data(tree.index(0, 0), Qt::DecorationRole).isNull());
}

void MainWindowTest::longLinesCanBeReadWhole() {
  const std::string line = "Downloading http://h.example/" + std::string(400, 'x') + ".html";
  logMessage(line);
  m_window->logPane()->refresh();
  QListWidget* list = m_window->logPane()->list();
  QListWidgetItem* item = list->item(list->count() - 1);
  QCOMPARE(item->toolTip(), QString::fromStdString(line));
  QCOMPARE(list->textElideMode(), Qt::ElideNone);
  m_window->resize(600, 500);
  QTest::qWait(0);
  // The tree has a third of the width.
  auto* splitter = m_window->findChild<QSplitter*>(QStringLiteral("splitter"));
  QVERIFY(splitter != nullptr);
  QList<int> sizes = splitter->sizes();
  QVERIFY2(sizes[0] * 3 >= (sizes[0] + sizes[1]) * 9 / 10, qPrintable(QString::number(sizes[0])));
}

void MainWindowTest::logPaneFollowsOnlyAtTheEnd() {
  LogPane* pane = m_window->logPane();
  pane->clearLog();
  m_window->resize(900, 640);
  for (int i = 0; i < 300; ++i) logMessage("line " + std::to_string(i) + "\twith a tab");
  pane->refresh();
  QCOMPARE(pane->list()->count(), 300);
  QCOMPARE(pane->list()->item(0)->text(), QStringLiteral("line 0 with a tab"));
  QVERIFY(pane->followsEnd());

  pane->list()->verticalScrollBar()->setValue(0);  // scrolled up by more than a page
  logMessage("later");
  pane->refresh();
  QCOMPARE(pane->list()->verticalScrollBar()->value(), 0);
  QVERIFY(!pane->followsEnd());

  m_window->refresh();
  QVERIFY(m_window->action("clearLog")->isEnabled());
  m_window->action("clearLog")->trigger();
  QCOMPARE(pane->list()->count(), 0);
  QVERIFY(!m_window->action("clearLog")->isEnabled());
  logMessage("after clearing");
  QTRY_COMPARE(pane->list()->count(), 1);
}

void MainWindowTest::threadPaneKeepsARowPerSlot() {
  ThreadPane* pane = m_window->threadPane();
  pane->list()->clear();
  threadStatusTable().clear();
  threadStatusTable().setThreadLine(0, "Downloading /a");
  threadStatusTable().setThreadLine(2, "Downloading /c");
  pane->refresh();
  QCOMPARE(pane->list()->count(), 3);
  QCOMPARE(pane->list()->item(0)->text(), QStringLiteral("1: Downloading /a"));
  QCOMPARE(pane->list()->item(1)->text(), QString());
  QCOMPARE(pane->list()->item(2)->text(), QStringLiteral("3: Downloading /c"));
  threadStatusTable().setThreadLine(2, "");
  pane->refresh();
  QCOMPARE(pane->list()->count(), 3);
  QCOMPARE(pane->list()->item(2)->text(), QStringLiteral("3: Downloading /c"));
  threadStatusTable().clear();
}

void MainWindowTest::dropsAreRefusedDuringADownload() {
  auto drop = [this](const QString& text) {
    QMimeData mime;
    mime.setText(text);
    QWidget* target = m_window->detailsView()->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent event(QPointF(10, 10), Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
  };
  startCrawl("/slow");
  QVERIFY(!drop("http://dropped.example.com/"));
  m_window->action("stop")->trigger();
  QVERIFY(waitForIdle());

  m_answer = false;  // "This will clear the current download. Are you sure?" - No
  QVERIFY(drop("http://dropped.example.com/"));
  QVERIFY(m_questions.contains("This will clear the current download. Are you sure?"));
  QCOMPARE(QString::fromStdString(m_window->document().controller().url()),
           QString::fromStdString(m_server->url("/slow")));
  m_answer = true;
  QVERIFY(drop("http://dropped.example.com/"));
  QCOMPARE(QString::fromStdString(m_window->document().controller().url()), QStringLiteral("http://dropped.example.com/"));
  QVERIFY(!m_window->document().downloading());
}

void MainWindowTest::closeQueryAnsweredNoKeepsDownloading() {
  startCrawl("/slow");
  m_answer = false;
  QVERIFY(!m_window->close());
  QVERIFY(m_window->isVisible());
  QVERIFY(m_window->document().downloading());
  QVERIFY(!m_window->document().controller().cancelled);
  QVERIFY(m_window->refreshing());
  m_window->action("stop")->trigger();
  QVERIFY(waitForIdle());
  auto* message = m_window->findChild<QLabel*>(QStringLiteral("messagePane"));
  QVERIFY(message != nullptr);
  QCOMPARE(message->text(), QStringLiteral("Download aborted."));
  // The next download does not show the end of the last one.
  startCrawl("/slow");
  QVERIFY(message->text() != QStringLiteral("Download aborted."));
  m_window->action("stop")->trigger();
  QVERIFY(waitForIdle());
  QVERIFY(m_window->close());
}

void MainWindowTest::conditionsOfUseShownOncePerRelease() {
  SettingsStore fresh(QString::fromStdString(m_dir->file("fresh.conf")));
  QStringList shown;
  // Each modal dialog is answered as soon as it is up.
  QTimer closer;
  connect(&closer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      shown << dialog->objectName();
      dialog->accept();
    }
  });
  closer.start(10);
  QVERIFY(showConditionsIfDue(fresh));
  QCOMPARE(shown, QStringList({"aboutDialog", "conditionsDialog"}));
  QCOMPARE(fresh.readInt("Legal", "Shown Disclaimer", 0), 640);
  QVERIFY(!showConditionsIfDue(fresh));
  QCOMPARE(shown.size(), 2);
}

void MainWindowTest::placementAndLayoutComeBack() {
  m_window->setGeometry(40, 50, 700, 500);
  m_window->batchPane()->show();
  m_window->logPane()->hide();
  m_window->action("toggleStatusBar")->trigger();  // hidden
  m_window->saveWindowPlacement();
  QString stored = m_store->readText("General", "Window Pos");
  QCOMPARE(stored.split(',').size(), 10);
  m_window->document().controller().setObserver(nullptr);
  m_window.reset();

  MainWindow again(*m_store);
  again.show();
  again.loadWindowPlacement();
  QCOMPARE(again.geometry().size(), QSize(700, 500));
  QVERIFY(again.batchPane()->isVisibleTo(&again));
  QVERIFY(!again.logPane()->isVisibleTo(&again));
  QVERIFY(!again.statusBar()->isVisibleTo(&again));
  QVERIFY(!again.action("toggleStatusBar")->isChecked());
  again.document().controller().setObserver(nullptr);
  m_window = std::make_unique<MainWindow>(*m_store);
}

void MainWindowTest::helpWithoutTheManualSaysSo() {
  m_window->helpPlaces = {QString::fromStdString(m_dir->path())};
  m_window->showHelp();
  QCOMPARE(m_questions.back(), QStringLiteral("Couldn't locate help file (SitegleanerDocs.html)."));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
