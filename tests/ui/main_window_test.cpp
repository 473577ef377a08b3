#include <QAbstractItemModelTester>
#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>

#include "support/qt_events.h"
#include "support/window_rig.h"
#include "ui/link_views.h"

using namespace sg;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup() { m_rig.reset(); }
  void commandStatesFollowADownload();
  void treeAndDetailsFollowTheLinks();
  void showAllAndIncludeChangeTheRows();
  void dropsAreRefusedDuringADownload();
  void browseOfflineOpensTheSavedRoot();
  void treeItemsReadWhatTellsThemApart();

 private:
  MainWindow& window() { return *m_rig->window; }
  CrawlSettings& settings() { return window().document().controller().settings; }
  void startCrawl(const std::string& path) { m_rig->startCrawl(path); }
  bool waitForIdle() { return m_rig->waitForIdle(); }

  std::unique_ptr<test::WindowRig> m_rig;
};

void MainWindowTest::init() {
  m_rig = std::make_unique<test::WindowRig>();
  test::TestServer& server = m_rig->server;
  server.page("/",
              "<html><title>Home</title><a href=\"a.html\">a</a><a href=\"b.html\">b</a><img src=\"pic.gif\"></html>");
  server.page("/a.html", "<html><a href=\"a1.html\">a1</a><a href=\"a2.html\">a2</a></html>");
  server.page("/a1.html", "a1");
  server.page("/a2.html", "a2");
  server.page("/b.html", "b");
  server.page("/pic.gif", "GIF89a", "image/gif");
  server.stalledBody("/slow", "x", 20000);
  m_rig->openWindow();
  window().show();
}

void MainWindowTest::commandStatesFollowADownload() {
  QCOMPARE(window().statusPanes().rate->text(), QStringLiteral("Disconnected"));
  m_rig->connection.state.connected = true;
  QTRY_COMPARE(window().statusPanes().rate->text(), QStringLiteral("Connected"));
  startCrawl("/slow");
  QVERIFY(window().document().downloading());
  QVERIFY(!window().actions().go->isEnabled());
  QVERIFY(!window().actions().options->isEnabled());
  QVERIFY(!window().urlBox()->isEnabled());

  window().actions().stop->trigger();  // stopping: nothing to stop twice
  QVERIFY(!window().actions().stop->isEnabled());
  QVERIFY(!window().actions().go->isEnabled());

  QVERIFY(waitForIdle());
  QVERIFY(window().actions().go->isEnabled());
  QCOMPARE(window().statusPanes().message->text(), QStringLiteral("Download aborted."));
}

void MainWindowTest::treeAndDetailsFollowTheLinks() {
  using Tester = QAbstractItemModelTester;
  Tester treeTester(&window().treeModel(), Tester::FailureReportingMode::QtTest);
  Tester detailsTester(&window().detailsModel(), Tester::FailureReportingMode::QtTest);
  startCrawl("/");
  QVERIFY(waitForIdle());
  LinkTreeModel& tree = window().treeModel();
  QCOMPARE(tree.rowCount(), 1);
  QModelIndex root = tree.index(0, 0);
  // Only pages with links of their own get tree items: a.html, not b.html.
  QCOMPARE(tree.rowCount(root), 1);
  QCOMPARE(tree.data(tree.index(0, 0, root), Qt::DisplayRole).toString(), QStringLiteral("a.html"));
  // A drag from the tree carries the page's address.
  QVERIFY(window().treeView()->dragEnabled());
  const QUrl page(QString::fromStdString(m_rig->server.url("/a.html")));
  std::unique_ptr<QMimeData> mime(tree.mimeData({tree.index(0, 0, root)}));
  QCOMPARE(mime->text(), page.toString());
  QCOMPARE(mime->urls(), QList<QUrl>{page});

  DetailsModel& details = window().detailsModel();
  auto column = [&details](int c) {
    QStringList texts;
    for (int row = 0; row < details.rowCount(); ++row) texts << details.index(row, c).data().toString();
    return texts;
  };
  QCOMPARE(details.shownPage(), window().store().root());
  QCOMPARE(column(DetailsModel::kStatus), QStringList({"Complete", "Complete", "Complete"}));
  // A click on a header sorts by its column: a.html (with its links),
  // b.html (1 byte) and pic.gif (6 bytes) in document order.
  const struct {
    int column;
    QStringList order;
  } clicks[] = {
      {DetailsModel::kSize, {"b.html", "pic.gif", "a.html"}},
      {DetailsModel::kSize, {"a.html", "pic.gif", "b.html"}},  // the same column again reverses
      {DetailsModel::kType, {"pic.gif", "a.html", "b.html"}},  // equal rows keep their order
      {DetailsModel::kUrl, {"a.html", "b.html", "pic.gif"}},
  };
  QHeaderView* header = window().detailsView()->horizontalHeader();
  for (const auto& click : clicks) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(click.column) + 5, header->height() / 2));
    QStringList names;
    for (const QString& url : column(DetailsModel::kUrl)) names << QUrl(url).fileName();
    QCOMPARE(names, click.order);
  }

  // Selecting a page shows its links; a reset shows the root alone.
  window().treeView()->setCurrentIndex(tree.index(0, 0, root));
  QCOMPARE(details.rowCount(), 2);
  window().actions().clearLinks->trigger();
  QCOMPARE(tree.rowCount(tree.index(0, 0)), 0);
  QCOMPARE(details.rowCount(), 0);
}

void MainWindowTest::showAllAndIncludeChangeTheRows() {
  settings().maxCrawlDepth = 1;  // a1 and a2 are kept but not fetched
  startCrawl("/");
  QVERIFY(waitForIdle());
  LinkTreeModel& tree = window().treeModel();
  DetailsModel& details = window().detailsModel();
  window().treeView()->setCurrentIndex(tree.index(0, 0, tree.index(0, 0)));
  QCOMPARE(details.rowCount(), 2);
  QCOMPARE(details.data(details.index(0, DetailsModel::kStatus), Qt::DisplayRole).toString(),
           QStringLiteral("Skipped"));

  window().actions().showAll->trigger();  // off: only complete links
  QCOMPARE(details.rowCount(), 0);

  // Excluding the page turns it grey and marks its links.
  window().treeView()->setFocus();
  window().actions().includeUrl->trigger();
  QModelIndex page = tree.index(0, 0, tree.index(0, 0));
  QCOMPARE(tree.data(page, Qt::ForegroundRole).value<QColor>(), QColor(128, 128, 128));
  LinkNode* node = tree.nodeAt(page);
  QVERIFY(!node->info.include);
  QVERIFY(!node->info.record->include);
  for (LinkNode* child : node->children) QVERIFY(!child->info.include);
}

void MainWindowTest::browseOfflineOpensTheSavedRoot() {
  QList<QUrl> opened;
  window().setUrlOpener([&opened](const QUrl& url) {
    opened.append(url);
    return true;
  });
  window().refresh();
  QVERIFY(!window().actions().browseOffline->isEnabled());  // nothing saved yet
  settings().maxCrawlDepth = 0;
  settings().saveFiles = true;
  startCrawl("/");
  QVERIFY(waitForIdle());
  window().refresh();
  QVERIFY(window().actions().browseOffline->isEnabled());
  window().actions().browseOffline->trigger();
  const std::string root = window().document().controller().localFile();
  QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(root))});
  QVERIFY(QFileInfo(QString::fromStdString(root)).isFile());
}

void MainWindowTest::treeItemsReadWhatTellsThemApart() {
  const struct {
    const char* url;
    QString label;
  } rows[] = {
      {"http://h.example/docs/intro.html", "intro.html"},
      {"http://h.example/search.html?q=a&p=2#top", "search.html?q=a&p=2"},  // a query
      {"http://cdn.example:81/img/x.png", "cdn.example:81/x.png"},          // another server
  };
  LinkNode root;
  root.info.url = "http://h.example/";
  QCOMPARE(LinkTreeModel::treeLabel(root), QStringLiteral("http://h.example/"));
  for (const auto& row : rows) {
    LinkNode node;
    node.parent = &root;
    node.info.url = row.url;
    QCOMPARE(LinkTreeModel::treeLabel(node), row.label);
  }
}

void MainWindowTest::dropsAreRefusedDuringADownload() {
  auto drop = [this](const QString& text) { return test::dropText(window().detailsView()->viewport(), text); };
  startCrawl("/slow");
  QVERIFY(!drop("http://dropped.example.com/"));
  window().actions().stop->trigger();
  QVERIFY(waitForIdle());

  m_rig->answer = false;  // "This will clear the current download. Are you sure?" - No
  QVERIFY(drop("http://dropped.example.com/"));
  QVERIFY(m_rig->questions.contains("This will clear the current download. Are you sure?"));
  QCOMPARE(QString::fromStdString(window().document().controller().url()),
           QString::fromStdString(m_rig->server.url("/slow")));
  m_rig->answer = true;
  QVERIFY(drop("http://dropped.example.com/"));
  QCOMPARE(QString::fromStdString(window().document().controller().url()),
           QStringLiteral("http://dropped.example.com/"));
  QVERIFY(!window().document().downloading());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
