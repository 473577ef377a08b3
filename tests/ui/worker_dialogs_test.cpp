#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "support/posix_scopes.h"
#include "support/window_rig.h"
#include "ui/password_dialog.h"
#include "ui/version_dialog.h"

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
VersionDialog* versionDialog() { return visibleDialog<VersionDialog>("versionDialog"); }
CredentialsDialog* credentialsDialog() { return visibleDialog<CredentialsDialog>("credentialsDialog"); }

const char* const kVersionPath = "/sitegleaner/version.txt";

}  // namespace

class WorkerDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup() { m_rig.reset(); }

  void doNotNotifyClearsNotifyAndTheMenuCheck();
  void passwordPromptRetriesWithNewCredentials_data();
  void passwordPromptRetriesWithNewCredentials();
  void passwordPromptCancelledFailsTheLink();
  void closingWhileAPromptIsOpenDoesNotHang();

 private:
  MainWindow& window() { return *m_rig->window; }
  DownloadController& controller() { return window().document().controller(); }
  void startCrawl(const std::string& path) { m_rig->startCrawl(path); }
  bool waitForIdle() { return m_rig->waitForIdle(); }
  int count(const char* path) { return int(m_rig->server.count(path)); }

  std::unique_ptr<test::WindowRig> m_rig;
};

void WorkerDialogsTest::init() {
  m_rig = std::make_unique<test::WindowRig>();
  test::TestServer& server = m_rig->server;
  server.page("/", "<html><title>Home</title><a href=\"a.html\">a</a></html>");
  server.page("/a.html", "a");
  server.page(kVersionPath, "6.5\n", "text/plain");
  // Pages behind Basic authentication for alice:secret: at the server, or
  // at the server as a proxy when the request names the whole URL.
  auto guarded = [](const std::string& body) {
    return [body](const httplib::Request& req, httplib::Response& res) {
      const bool proxy = req.target.starts_with("http://");
      const std::string expected = "Basic " + QByteArray("alice:secret").toBase64().toStdString();
      if (req.get_header_value(proxy ? "Proxy-Authorization" : "Authorization") != expected) {
        res.status = proxy ? 407 : 401;
        res.set_header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate", "Basic realm=\"test\"");
        res.set_content("denied", "text/html");
        return;
      }
      res.set_content(body, "text/html");
    };
  };
  server.http().Get(".*/private/", guarded("<html><a href=\"next.html\">next</a></html>"));
  server.http().Get(".*/private/next.html", guarded("next"));
  // A window that checks for a new release at the test server.
  m_rig->openWindow();
  window().enableVersionCheck({"127.0.0.1", static_cast<uint16_t>(m_rig->server.port())}, 6.4);
  window().show();
}

void WorkerDialogsTest::doNotNotifyClearsNotifyAndTheMenuCheck() {
  window().refresh();
  QVERIFY(window().actions().checkReleases->isChecked());
  startCrawl("/");
  VersionDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = versionDialog()) != nullptr);
  dialog->doNotNotifyBox()->click();
  dialog->close();  // the close box counts like the button
  QTRY_VERIFY(!controller().versionNotify);
  QVERIFY(!window().actions().checkReleases->isChecked());
  QCOMPARE(m_rig->store.readInt("Version Check", "Notify", 1), 0);
  QVERIFY(waitForIdle());
  window().refresh();
  QVERIFY(!window().actions().checkReleases->isChecked());
}

void WorkerDialogsTest::passwordPromptRetriesWithNewCredentials_data() {
  QTest::addColumn<QString>("target");  // the page as the server sees it asked for
  QTest::addColumn<QString>("prompt");
  QTest::newRow("server") << "/private/"
                          << "The site %1 asks for a user name and password.";
  QTest::newRow("proxy") << "http://proxied.example/private/"
                         << "The proxy server asks for a user name and password to reach %1.";
}

void WorkerDialogsTest::passwordPromptRetriesWithNewCredentials() {
  QFETCH(QString, target);
  QFETCH(QString, prompt);
  controller().versionNotify = false;
  const bool proxy = target.startsWith("http://");
  test::EnvScope proxyVariable("http_proxy", proxy ? m_rig->server.base() : "");
  test::EnvScope direct("no_proxy", "");
  const QString url = proxy ? target : QString::fromStdString(m_rig->server.url(target.toStdString()));
  CrawlSettings& settings = controller().settings;
  (proxy ? settings.proxyUsername : settings.username) = "alice";
  QVERIFY(settings.promptForPassword);
  window().urlBox()->setEditText(url);
  window().actions().go->trigger();
  CredentialsDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = credentialsDialog()) != nullptr);
  QVERIFY(dialog->isModal());
  QCOMPARE(dialog->findChild<QLabel*>()->text(), prompt.arg(url));
  QCOMPARE(dialog->userEdit()->text(), QStringLiteral("alice"));  // the stored user name
  QCOMPARE(dialog->passwordEdit()->echoMode(), QLineEdit::Password);
  dialog->userEdit()->clear();
  QVERIFY(!dialog->buttons()->button(QDialogButtonBox::Ok)->isEnabled());
  QTest::keyClicks(dialog->userEdit(), "alice");
  QTest::keyClicks(dialog->passwordEdit(), "secret");
  dialog->buttons()->button(QDialogButtonBox::Ok)->click();
  QVERIFY(waitForIdle());

  QCOMPARE(controller().status, LinkStatus::Complete);
  QCOMPARE(controller().childCount(), size_t(1));
  // The page's own link used what the user gave, without asking again.
  QCOMPARE(controller().child(0)->status, LinkStatus::Complete);
  QCOMPARE(count(qPrintable(target)), 2);  // refused, then retried
  QCOMPARE(count(qPrintable(target + "next.html")), 2);
  QVERIFY(credentialsDialog() == nullptr);
  QCOMPARE(count(kVersionPath), 0);
}

void WorkerDialogsTest::passwordPromptCancelledFailsTheLink() {
  controller().versionNotify = false;
  startCrawl("/private/");
  CredentialsDialog* dialog = nullptr;
  QTRY_VERIFY((dialog = credentialsDialog()) != nullptr);
  dialog->buttons()->button(QDialogButtonBox::Cancel)->click();
  QVERIFY(waitForIdle());
  QCOMPARE(controller().status, LinkStatus::Failed);
  QCOMPARE(QString::fromStdString(controller().information),
           QStringLiteral("Status: HTTP_STATUS_DENIED - ") + QString::fromStdString(m_rig->server.url("/private/")));
  QCOMPARE(count("/private/"), 1);
}

void WorkerDialogsTest::closingWhileAPromptIsOpenDoesNotHang() {
  controller().versionNotify = false;
  startCrawl("/private/");
  QTRY_VERIFY(credentialsDialog() != nullptr);
  m_rig->answer = true;  // "end the current download?" - yes
  // The window closes although a worker waits for the dialog: the worker
  // gives up and the dialog goes.
  QVERIFY(window().close());
  QVERIFY(!window().isVisible());
  QTRY_VERIFY(credentialsDialog() == nullptr);
  QCOMPARE(controller().runningThreads(), 0);
}

QTEST_MAIN(WorkerDialogsTest)
#include "worker_dialogs_test.moc"
