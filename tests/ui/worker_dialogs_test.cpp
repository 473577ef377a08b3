// The dialogs that a worker shows while it waits: the new-version dialog at
// the root link of the first download, and the password prompt after a 401.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "document/settings_store.h"
#include "engine/robots.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "ui/main_window.h"
#include "ui/panes.h"
#include "ui/password_dialog.h"
#include "ui/url_box.h"
#include "ui/version_dialog.h"
#include "util/log.h"

using namespace sg;

namespace {

template <typename T>
T* visibleDialog(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<T*>(widget);
    if (dialog != nullptr && dialog->objectName() == QLatin1String(name) && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

const char* const kVersionPath = "/sitegleaner/version.txt";
const char* const kFailedCheck = "Failed check for new version of Sitegleaner.";

}  // namespace

class WorkerDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void newerReleaseShownOnceAndRemembered();
  void sameFileOnTheNextRunShowsNothing();
  void doNotNotifyClearsNotifyAndTheMenuCheck();
  void offlineMakesNoRequestUntilALaterDownload();
  void helpMenuSwitchesTheCheckOff();
  void passwordPromptRetriesWithNewCredentials();
  void passwordPromptCancelledFailsTheLink();
  void closingWhileAPromptIsOpenDoesNotHang();

 private:
  void makeWindow();
  void startCrawl(const std::string& path);
  bool waitForIdle(int ms = 20000);
  int logCount(const QString& line);

  std::unique_ptr<test::TempDir> m_dir;
  std::unique_ptr<SettingsStore> m_store;
  std::unique_ptr<test::TestServer> m_server;
  std::unique_ptr<MainWindow> m_window;
  std::string m_versionBody = "6.5\n";
};

void WorkerDialogsTest::init() {
  robotsCache().clear();
  logQueue().clear();
  m_dir = std::make_unique<test::TempDir>();
  m_store = std::make_unique<SettingsStore>(QString::fromStdString(m_dir->file("settings.conf")));
  m_server = std::make_unique<test::TestServer>();
  m_server->page("/", "<html><title>Home</title><a href=\"a.html\">a</a></html>");
  m_server->page("/a.html", "a");
  m_server->http().Get(kVersionPath, [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(m_versionBody, "text/plain");
  });
  // Pages behind Basic authentication for alice:secret.
  auto guarded = [](const std::string& body) {
    return [body](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Authorization") != "Basic " + QByteArray("alice:secret").toBase64().toStdString()) {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
        res.set_content("denied", "text/html");
        return;
      }
      res.set_content(body, "text/html");
    };
  };
  m_server->http().Get("/private/", guarded("<html><a href=\"next.html\">next</a></html>"));
  m_server->http().Get("/private/next.html", guarded("next"));
  m_server->start();
  makeWindow();
}

void WorkerDialogsTest::makeWindow() {
  WindowTiming timing;
  timing.refreshMs = 50;
  timing.logMs = 20;
  timing.threadMs = 20;
  m_window = std::make_unique<MainWindow>(*m_store, timing);
  m_window->ask = [](const QString&) { return true; };
  m_window->inform = [](const QString&) {};
  CrawlSettings& settings = m_window->document().controller().settings;
  settings.linkPause = 0;
  settings.saveFiles = false;
  m_window->document().controller().timing.http.receiveMs = 20000;
  m_window->enableVersionCheck({"127.0.0.1", static_cast<uint16_t>(m_server->port())}, 6.4);
  m_window->show();
}

void WorkerDialogsTest::cleanup() {
  m_window->document().controller().workQueue().shutdown();
  QCoreApplication::processEvents();
  m_window->document().controller().setObserver(nullptr);
  m_window.reset();
  m_server.reset();
  m_store.reset();
  m_dir.reset();
}

void WorkerDialogsTest::startCrawl(const std::string& path) {
  m_window->urlBox()->setEditText(QString::fromStdString(m_server->url(path)));
  m_window->action(QStringLiteral("go"))->trigger();
}

bool WorkerDialogsTest::waitForIdle(int ms) {
  return QTest::qWaitFor([this] { return !m_window->document().downloading(); }, ms);
}

int WorkerDialogsTest::logCount(const QString& line) {
  m_window->logPane()->refresh();
  QListWidget* list = m_window->logPane()->list();
  int n = 0;
  for (int i = 0; i < list->count(); ++i) n += list->item(i)->text() == line;
  return n;
}

void WorkerDialogsTest::newerReleaseShownOnceAndRemembered() {
  startCrawl("/");
  VersionDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<VersionDialog>("versionDialog")) != nullptr);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Sitegleaner v6.5 Available"));
  QVERIFY(dialog->findChild<QLabel*>() != nullptr);
  QStringList labels;
  for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  QVERIFY(labels.contains("A newer version of Sitegleaner is available for download. To find out more, visit the "
                          "Sitegleaner home page by clicking on the link below."));
  QVERIFY(dialog->homePageLink()->text().contains("Sitegleaner Home Page"));
  QVERIFY(dialog->homePageLink()->openExternalLinks());
  QVERIFY(!dialog->doNotNotifyBox()->isChecked());
  QCOMPARE(dialog->doNotNotifyBox()->text(), QStringLiteral("Do &not notify me of future Sitegleaner updates"));
  QCOMPARE(dialog->closeButton()->text(), QStringLiteral("&Close"));
  // Told once: the line is stored before the user reads it.
  QCOMPARE(m_store->readText("Version Check", "Last New Version"), QStringLiteral("6.5"));
  // The download waits at its first link while the dialog is open, and
  // the window goes on working.
  QCOMPARE(m_server->count("/"), size_t(0));
  QVERIFY(m_window->document().downloading());

  dialog->closeButton()->click();
  QVERIFY(waitForIdle());
  QCOMPARE(m_server->count("/"), size_t(1));
  QCOMPARE(m_server->count(kVersionPath), size_t(1));
  QVERIFY(m_window->document().controller().versionNotify);

  // A second download of the run asks no more (the download ending at all
  // shows that no dialog held it).
  m_window->action("clearLinks")->trigger();
  startCrawl("/");
  QVERIFY(waitForIdle());
  QCOMPARE(m_server->count(kVersionPath), size_t(1));
  QCOMPARE(m_server->count("/"), size_t(2));
  QCOMPARE(logCount(kFailedCheck), 0);
}

void WorkerDialogsTest::sameFileOnTheNextRunShowsNothing() {
  m_store->writeText("Version Check", "Last New Version", "6.5");
  startCrawl("/");
  QVERIFY(waitForIdle());
  QCOMPARE(m_server->count(kVersionPath), size_t(1));
  QCOMPARE(m_server->count("/"), size_t(1));
  QVERIFY(visibleDialog<VersionDialog>("versionDialog") == nullptr);
  QCOMPARE(logCount(kFailedCheck), 0);

  // A newer file on a later run is shown again.
  m_window->document().controller().setObserver(nullptr);
  m_window.reset();
  m_versionBody = "6.6";
  makeWindow();
  startCrawl("/");
  VersionDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<VersionDialog>("versionDialog")) != nullptr);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Sitegleaner v6.6 Available"));
  QTest::keyClick(dialog, Qt::Key_Escape);
  QVERIFY(waitForIdle());
  QCOMPARE(m_store->readText("Version Check", "Last New Version"), QStringLiteral("6.6"));
  QVERIFY(m_window->document().controller().versionNotify);  // box not ticked
}

void WorkerDialogsTest::doNotNotifyClearsNotifyAndTheMenuCheck() {
  m_window->refresh();
  QVERIFY(m_window->action("checkReleases")->isChecked());
  startCrawl("/");
  VersionDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<VersionDialog>("versionDialog")) != nullptr);
  dialog->doNotNotifyBox()->click();
  dialog->close();  // the close box counts like the button
  QTRY_VERIFY(!m_window->document().controller().versionNotify);
  QVERIFY(!m_window->action("checkReleases")->isChecked());
  QCOMPARE(m_store->readInt("Version Check", "Notify", 1), 0);
  QVERIFY(waitForIdle());
  m_window->refresh();
  QVERIFY(!m_window->action("checkReleases")->isChecked());
}

void WorkerDialogsTest::offlineMakesNoRequestUntilALaterDownload() {
  m_window->action("workOffline")->trigger();
  QVERIFY(m_window->document().controller().offline);
  startCrawl("/");
  QVERIFY(waitForIdle());
  QCOMPARE(m_server->count(kVersionPath), size_t(0));
  QCOMPARE(logCount(kFailedCheck), 0);

  m_window->action("workOffline")->trigger();
  m_window->action("clearLinks")->trigger();
  startCrawl("/");
  VersionDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<VersionDialog>("versionDialog")) != nullptr);
  QCOMPARE(m_server->count(kVersionPath), size_t(1));
  QTest::keyClick(dialog, Qt::Key_Return);
  QVERIFY(waitForIdle());
}

void WorkerDialogsTest::helpMenuSwitchesTheCheckOff() {
  m_window->action("checkReleases")->trigger();
  QVERIFY(!m_window->document().controller().versionNotify);
  QCOMPARE(m_store->readInt("Version Check", "Notify", 1), 0);
  startCrawl("/");
  QVERIFY(waitForIdle());
  QCOMPARE(m_server->count(kVersionPath), size_t(0));
  m_window->action("checkReleases")->trigger();
  QCOMPARE(m_store->readInt("Version Check", "Notify", 0), 1);
  m_window->action("clearLinks")->trigger();
  startCrawl("/");
  QTRY_VERIFY(visibleDialog<VersionDialog>("versionDialog") != nullptr);
  visibleDialog<VersionDialog>("versionDialog")->reject();
  QVERIFY(waitForIdle());
}

void WorkerDialogsTest::passwordPromptRetriesWithNewCredentials() {
  m_window->document().controller().versionNotify = false;
  CrawlSettings& settings = m_window->document().controller().settings;
  settings.username = "alice";
  QVERIFY(settings.promptForPassword);
  startCrawl("/private/");
  CredentialsDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<CredentialsDialog>("credentialsDialog")) != nullptr);
  QVERIFY(dialog->isModal());
  QCOMPARE(dialog->userEdit()->text(), QStringLiteral("alice"));  // the stored user name
  QCOMPARE(dialog->passwordEdit()->echoMode(), QLineEdit::Password);
  dialog->userEdit()->clear();
  QVERIFY(!dialog->buttons()->button(QDialogButtonBox::Ok)->isEnabled());
  QTest::keyClicks(dialog->userEdit(), "alice");
  QTest::keyClicks(dialog->passwordEdit(), "secret");
  dialog->buttons()->button(QDialogButtonBox::Ok)->click();
  QVERIFY(waitForIdle());

  DownloadController& controller = m_window->document().controller();
  QCOMPARE(controller.status, LinkStatus::Complete);
  QCOMPARE(controller.childCount(), size_t(1));
  // The page's own link used what the user gave, without asking again.
  QCOMPARE(controller.child(0)->status, LinkStatus::Complete);
  QCOMPARE(m_server->count("/private/"), size_t(2));  // refused, then retried
  QCOMPARE(m_server->count("/private/next.html"), size_t(2));
  QVERIFY(visibleDialog<CredentialsDialog>("credentialsDialog") == nullptr);
  QCOMPARE(m_server->count(kVersionPath), size_t(0));
}

void WorkerDialogsTest::passwordPromptCancelledFailsTheLink() {
  m_window->document().controller().versionNotify = false;
  startCrawl("/private/");
  CredentialsDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = visibleDialog<CredentialsDialog>("credentialsDialog")) != nullptr);
  dialog->buttons()->button(QDialogButtonBox::Cancel)->click();
  QVERIFY(waitForIdle());
  DownloadController& controller = m_window->document().controller();
  QCOMPARE(controller.status, LinkStatus::Failed);
  QCOMPARE(QString::fromStdString(controller.information),
           QStringLiteral("Status: HTTP_STATUS_DENIED - ") + QString::fromStdString(m_server->url("/private/")));
  QCOMPARE(m_server->count("/private/"), size_t(1));

  // Without prompting the refusal ends the link the same way, unasked.
  m_window->action("clearLinks")->trigger();
  m_window->document().controller().settings.promptForPassword = false;
  startCrawl("/private/");
  QVERIFY(waitForIdle());
  QCOMPARE(m_window->document().controller().status, LinkStatus::Failed);
}

void WorkerDialogsTest::closingWhileAPromptIsOpenDoesNotHang() {
  m_window->document().controller().versionNotify = false;
  startCrawl("/private/");
  QTRY_VERIFY(visibleDialog<CredentialsDialog>("credentialsDialog") != nullptr);
  m_window->ask = [](const QString&) { return true; };  // "end the current download?" - yes
  // The window closes although a worker waits for the dialog: the worker
  // gives up and the dialog goes.
  QVERIFY(m_window->close());
  QVERIFY(!m_window->isVisible());
  QTRY_VERIFY(visibleDialog<CredentialsDialog>("credentialsDialog") == nullptr);
  QCOMPARE(m_window->document().controller().runningThreads(), 0);
}

QTEST_MAIN(WorkerDialogsTest)
#include "worker_dialogs_test.moc"
