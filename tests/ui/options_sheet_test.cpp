#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "document/crawl_document.h"
#include "document/settings_store.h"
#include "engine/server_rule_table.h"
#include "support/quiet_host.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/option_controls.h"
#include "ui/options_sheet.h"
#include "ui/password_dialog.h"
#include "util/app_flags.h"
#include "util/log.h"

using namespace sg;

namespace {

using test::QuietHost;

// A connection-state layer whose answer the test sets.
class FixedConnection : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return state; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }
  ConnectionState state;
};

struct Message {
  QString text;
  QMessageBox::Icon icon;
};

QString repeated(char c, int n) { return QString(n, QLatin1Char(c)); }

}  // namespace

class OptionsSheetTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void sheetHasSixPagesInOrder();
  void limitsPageRoundTrip();
  void limitBinariesZeroBecomesAllFilesOnceThePageIsShown();
  void validationMessages_data();
  void validationMessages();
  void badValueKeepsTheUserOnThePage();
  void delayEditFollowsTheThreads();
  void filterPageRoundTrip();
  void typeListMenu();
  void htmlTypesWarning();
  void extensionsHistoryKeepsTwenty();
  void depthPageRoundTrip();
  void modemBoxesFollowTheConnectionState();
  void userAgentInStealthMode();
  void logFolderPicker();
  void savePageRoundTrip();
  void savePageEnablingChain();
  void exclusionsAddRemoveAndTypeAhead();
  void exclusionDroppedTwiceAddedOnce();
  void securityPageRoundTrip();
  void passwordWithEmptyUserNameImpossible();
  void setPasswordDialogHidesText();
  void okOpensOrClosesTheLogFile();
  void cancelChangesNothing();
  void lastTabIsRemembered();
  void optionsCommandOpensTheSheet();

 private:
  std::unique_ptr<OptionsSheet> makeSheet();
  void clickOk(OptionsSheet& sheet);
  CrawlSettings storedSettings(std::vector<std::string>* exclusions = nullptr);
  CrawlSettings& settings() { return m_document->controller().settings; }
  static bool focusedIn(OptionsSheet& sheet, QWidget* field);

  std::unique_ptr<test::TempDir> m_dir;
  std::unique_ptr<SettingsStore> m_store;
  QuietHost m_host;
  FixedConnection m_connection;
  std::unique_ptr<CrawlDocument> m_document;
  std::vector<Message> m_messages;
  QStringList m_folderTitles;
  QStringList m_folderStarts;
  QString m_folder;
  std::optional<QString> m_password;
};

void OptionsSheetTest::init() {
  logQueue().clear();
  m_dir = std::make_unique<test::TempDir>();
  m_store = std::make_unique<SettingsStore>(QString::fromStdString(m_dir->file("settings.conf")));
  m_connection.state = ConnectionState{};
  m_document = std::make_unique<CrawlDocument>(*m_store, m_host, m_connection);
  m_document->newDocument();
  m_messages.clear();
  m_folderTitles.clear();
  m_folderStarts.clear();
  m_folder.clear();
  m_password.reset();
}

void OptionsSheetTest::cleanup() {
  closeLogFile();
  setStealthMode(false);
  m_document.reset();
  m_store.reset();
  m_dir.reset();
}

std::unique_ptr<OptionsSheet> OptionsSheetTest::makeSheet() {
  auto sheet = std::make_unique<OptionsSheet>(*m_document, m_connection);
  sheet->hooks().message = [this](const QString& text, QMessageBox::Icon icon) { m_messages.push_back({text, icon}); };
  sheet->hooks().chooseFolder = [this](const QString& title, const QString& start) {
    m_folderTitles << title;
    m_folderStarts << start;
    return m_folder;
  };
  sheet->hooks().askPassword = [this] { return m_password; };
  sheet->show();
  return sheet;
}

void OptionsSheetTest::clickOk(OptionsSheet& sheet) {
  QTest::mouseClick(sheet.buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

CrawlSettings OptionsSheetTest::storedSettings(std::vector<std::string>* exclusions) {
  SettingsStore again(QString::fromStdString(m_dir->file("settings.conf")));
  CrawlSettings loaded;
  ServerRuleTable rules;
  ViewOptions view;
  again.load(loaded, rules, view, desktopFolder());
  if (exclusions != nullptr) rules.save(*exclusions);
  return loaded;
}

bool OptionsSheetTest::focusedIn(OptionsSheet& sheet, QWidget* field) {
  QWidget* focus = sheet.focusWidget();
  return focus != nullptr && (focus == field || field->isAncestorOf(focus));
}

void OptionsSheetTest::sheetHasSixPagesInOrder() {
  auto sheet = makeSheet();
  QCOMPARE(sheet->windowTitle(), QStringLiteral("Sitegleaner Options"));
  QStringList tabs;
  for (int i = 0; i < sheet->tabs()->count(); ++i) tabs << sheet->tabs()->tabText(i);
  QCOMPARE(tabs, QStringList({"Limits", "Filter", "Depth", "Save", "Excluded URLs", "Security"}));
  QCOMPARE(sheet->tabs()->currentIndex(), 0);
  QCOMPARE(sheet->buttons()->buttons().size(), 2);  // OK and Cancel, no Apply
  QVERIFY(sheet->buttons()->button(QDialogButtonBox::Ok) != nullptr);
  QVERIFY(sheet->buttons()->button(QDialogButtonBox::Cancel) != nullptr);
}

void OptionsSheetTest::limitsPageRoundTrip() {
  CrawlSettings& s = settings();
  s.threads = 1;
  s.objectDelay = 5;
  s.maxSize = 2000;
  s.minSize = 2048;
  s.maxTime = 90;
  s.maxTotalTime = 300;
  s.maxDays = 30;
  s.limitFlags = kLimitMaxSize | kLimitTotalTime;
  s.limitBinaries = kLimitOtherFiles;
  s.linkPause = 500;
  auto sheet = makeSheet();
  GeneralPage* page = sheet->limitsPage();
  QCOMPARE(page->threads->text(), QStringLiteral("1"));
  QCOMPARE(page->delay->text(), QStringLiteral("5"));
  QVERIFY(page->delay->isEnabled());
  QVERIFY(page->maxSize.check->isChecked());
  QVERIFY(!page->minSize.check->isChecked());
  QVERIFY(!page->minSize.value->isEnabled());
  QVERIFY(!page->minSize.unit->isEnabled());
  QVERIFY(page->maxTotalTime.check->isChecked());
  QCOMPARE(page->limitsAffect->currentText(), QStringLiteral("Binary Files"));
  QCOMPARE(page->linkPause->text(), QStringLiteral("500"));
  // The largest unit that shows the stored value whole; the unit lists are
  // sorted, and units apply even to limits that are switched off.
  QCOMPARE(page->maxSize.value->text(), QStringLiteral("2"));
  QCOMPARE(page->maxSize.unit->currentText(), QStringLiteral("Mb"));
  QCOMPARE(page->minSize.value->text(), QStringLiteral("2048"));
  QCOMPARE(page->minSize.unit->currentText(), QStringLiteral("Kb"));
  QCOMPARE(page->maxTime.value->text(), QStringLiteral("90"));
  QCOMPARE(page->maxTime.unit->currentText(), QStringLiteral("Secs"));
  QCOMPARE(page->maxTotalTime.value->text(), QStringLiteral("5"));
  QCOMPARE(page->maxTotalTime.unit->currentText(), QStringLiteral("Mins"));
  QCOMPARE(page->maxSize.unit->itemText(0), QStringLiteral("Kb"));
  QCOMPARE(page->maxTime.unit->itemText(0), QStringLiteral("Mins"));
  // OK without a change gives back the stored values.
  clickOk(*sheet);
  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QCOMPARE(r.maxSize, 2000);
    QCOMPARE(r.minSize, 2048);
    QCOMPARE(r.maxTime, 90);
    QCOMPARE(r.maxTotalTime, 300);
  }

  sheet = makeSheet();
  page = sheet->limitsPage();
  page->delay->setText("7");
  page->threads->setText("3");
  QVERIFY(!page->delay->isEnabled());
  page->maxSize.value->setText("3");  // still Mb
  page->maxSize.check->setChecked(false);
  page->minSize.check->setChecked(true);
  page->minSize.value->setText("10");
  page->minSize.unit->setCurrentIndex(GeneralPage::kKb);
  page->maxTime.check->setChecked(true);
  page->maxTime.value->setText("2");
  page->maxTime.unit->setCurrentIndex(GeneralPage::kMins);
  page->maxTotalTime.unit->setCurrentIndex(GeneralPage::kSecs);
  page->maxTotalTime.value->setText("7200");
  page->maxDays.check->setChecked(true);
  page->maxDays.value->setText("60");
  page->limitsAffect->setCurrentIndex(2);
  page->linkPause->setText("250");
  clickOk(*sheet);
  QVERIFY(m_messages.empty());
  QCOMPARE(sheet->result(), int(QDialog::Accepted));

  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QCOMPARE(r.threads, 3);
    QCOMPARE(r.objectDelay, 7);
    QCOMPARE(r.maxSize, 3000);
    QCOMPARE(r.minSize, 10);
    QCOMPARE(r.maxTime, 120);
    QCOMPARE(r.maxTotalTime, 7200);
    QCOMPARE(r.maxDays, 60);
    QCOMPARE(r.limitFlags, kLimitMinSize | kLimitTotalTime | kLimitFileTime | kLimitAge);
    QCOMPARE(r.limitBinaries, int(kLimitHtmlFiles));
    QCOMPARE(r.linkPause, 250);
  }
}

void OptionsSheetTest::limitBinariesZeroBecomesAllFilesOnceThePageIsShown() {
  // Not shown: the stored 0 stays.
  settings().limitBinaries = 0;
  m_store->writeInt("Options", "Last Tab", 2);
  auto hidden = makeSheet();
  QCOMPARE(hidden->tabs()->currentIndex(), 2);
  clickOk(*hidden);
  QCOMPARE(settings().limitBinaries, 0);

  m_store->writeInt("Options", "Last Tab", 0);
  auto sheet = makeSheet();
  QCOMPARE(sheet->limitsPage()->limitsAffect->currentText(), QStringLiteral("All Files"));
  clickOk(*sheet);
  QCOMPARE(settings().limitBinaries, 3);
  QCOMPARE(storedSettings().limitBinaries, 3);
  QCOMPARE(m_store->readInt("General", "Limit Binaries", -7), 3);

  // Any other value leaves nothing selected, which stores -1.
  settings().limitBinaries = 7;
  auto odd = makeSheet();
  QCOMPARE(odd->limitsPage()->limitsAffect->currentIndex(), -1);
  clickOk(*odd);
  QCOMPARE(settings().limitBinaries, -1);
}

void OptionsSheetTest::validationMessages_data() {
  QTest::addColumn<QString>("field");
  // A setting whose stored value is the value column (nothing typed), or
  // "Name=value" stored before the value is typed.
  QTest::addColumn<QString>("setting");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("message");
  const QString between = QStringLiteral("Please enter an integer between %1 and %2.");
  const QString longer = QStringLiteral("Please enter no more than %1 characters.");
  QTest::newRow("threads low") << "threads" << "" << "0" << between.arg(1).arg(30);
  QTest::newRow("threads high") << "threads" << "" << "31" << between.arg(1).arg(30);
  QTest::newRow("threads text") << "threads" << "" << "four" << "Please enter an integer.";
  QTest::newRow("threads empty") << "threads" << "" << "" << "Please enter an integer.";
  QTest::newRow("delay") << "objectDelay" << "" << "60" << between.arg(0).arg(59);
  QTest::newRow("max size") << "maxSize" << "" << "6001" << between.arg(1).arg(6000);
  QTest::newRow("min size") << "minSize" << "" << "0" << between.arg(1).arg(6000);
  QTest::newRow("max time") << "maxTime" << "" << "6001" << between.arg(1).arg(6000);
  QTest::newRow("total time secs") << "maxTotalTime" << "" << "7201" << between.arg(1).arg(7200);
  QTest::newRow("total time mins") << "maxTotalTime" << "Max Total Time=300" << "121" << between.arg(1).arg(120);
  QTest::newRow("max days") << "maxDays" << "" << "366" << between.arg(1).arg(365);
  QTest::newRow("link pause") << "linkPause" << "" << "10001" << between.arg(0).arg(10000);
  QTest::newRow("connections per server") << "maxConnectionsPerServer" << "" << "31" << between.arg(1).arg(30);
  QTest::newRow("scan size") << "maxScanSize" << "" << "0" << between.arg(1).arg(4096);
  QTest::newRow("page links") << "maxPageLinks" << "" << "1000001" << between.arg(1).arg(1000000);
  QTest::newRow("placeholders") << "maxPlaceholders" << "" << "1000001" << between.arg(0).arg(1000000);
  QTest::newRow("download size") << "maxDownloadSize" << "" << "10000001" << between.arg(0).arg(10000000);
  QTest::newRow("server depth") << "maxServerDepth" << "" << "101" << between.arg(0).arg(100);
  QTest::newRow("crawl depth") << "maxCrawlDepth" << "" << "50001" << between.arg(0).arg(50000);
  QTest::newRow("crawl depth text") << "maxCrawlDepth" << "" << "1e3" << "Please enter an integer.";
  QTest::newRow("user agent") << "userAgent" << "User Agent" << repeated('a', 129) << longer.arg(128);
  QTest::newRow("log file") << "logFile" << "Log File" << repeated('l', 280) << longer.arg(279);
  QTest::newRow("save directory") << "saveDirectory" << "Save Directory" << repeated('d', 301) << longer.arg(300);
  QTest::newRow("user name") << "username" << "Username" << repeated('u', 64) << longer.arg(63);
  QTest::newRow("proxy user name") << "proxyUsername" << "Proxy Username" << repeated('p', 64) << longer.arg(63);
}

void OptionsSheetTest::validationMessages() {
  QFETCH(QString, field);
  QFETCH(QString, setting);
  QFETCH(QString, value);
  QFETCH(QString, message);
  CrawlSettings& s = settings();
  s.threads = 1;  // the delay is offered
  s.maxTotalTime = 90;  // shown in Secs
  s.limitFlags = kLimitMaxSize | kLimitMinSize | kLimitTotalTime | kLimitFileTime | kLimitAge;
  s.saveFiles = true;
  const bool typed = setting.isEmpty() || setting.contains('=');
  std::string error;
  if (typed && !setting.isEmpty()) {
    QVERIFY(setSettingFromText(s, setting.section('=', 0, 0).toStdString(), setting.section('=', 1).toStdString(),
                               error));
  } else if (!typed) {
    QVERIFY(setSettingFromText(s, setting.toStdString(), value.toStdString(), error));
  }
  const CrawlSettings before = s;

  auto sheet = makeSheet();
  QWidget* widget = sheet->findChild<QWidget*>(field);
  QVERIFY(widget != nullptr);
  int page = 0;
  while (!sheet->tabs()->widget(page)->isAncestorOf(widget)) ++page;
  sheet->tabs()->setCurrentIndex(page);
  QCOMPARE(sheet->tabs()->currentIndex(), page);
  if (typed) static_cast<NumberBox*>(widget)->setText(value);

  clickOk(*sheet);
  QCOMPARE(m_messages.size(), size_t(1));
  QCOMPARE(m_messages[0].text, message);
  QVERIFY(sheet->isVisible());
  QVERIFY(sheet->result() != QDialog::Accepted);
  QVERIFY(focusedIn(*sheet, widget));
  QCOMPARE(settings().threads, before.threads);
  QCOMPARE(settings().userAgent, before.userAgent);
  QCOMPARE(m_store->readText("General", "Threads"), QString());  // nothing saved
}

void OptionsSheetTest::badValueKeepsTheUserOnThePage() {
  auto sheet = makeSheet();
  sheet->limitsPage()->threads->setText("99");
  sheet->tabs()->setCurrentIndex(3);
  QCOMPARE(sheet->tabs()->currentIndex(), 0);
  QCOMPARE(m_messages.size(), size_t(1));
  QCOMPARE(m_messages[0].text, QStringLiteral("Please enter an integer between 1 and 30."));
  QVERIFY(focusedIn(*sheet, sheet->limitsPage()->threads));
  sheet->limitsPage()->threads->setText("2");
  sheet->tabs()->setCurrentIndex(3);
  QCOMPARE(sheet->tabs()->currentIndex(), 3);
  QVERIFY(sheet->pageShown(3));
  QVERIFY(!sheet->pageShown(4));
}

void OptionsSheetTest::delayEditFollowsTheThreads() {
  settings().threads = 2;
  auto sheet = makeSheet();
  GeneralPage* page = sheet->limitsPage();
  QVERIFY(!page->delay->isEnabled());
  QLineEdit* edit = page->threads->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClicks(edit, "1");
  QCOMPARE(page->threads->text(), QStringLiteral("1"));
  QVERIFY(page->delay->isEnabled());
  QTest::keyClicks(edit, "2");  // 12
  QVERIFY(!page->delay->isEnabled());

  // The spin button runs from 0 to 100, up means more.
  page->threads->setText("99");
  page->threads->stepBy(1);
  QCOMPARE(page->threads->text(), QStringLiteral("100"));
  page->threads->stepBy(1);
  QCOMPARE(page->threads->text(), QStringLiteral("100"));
  page->threads->setText("1");
  page->threads->stepBy(-5);
  QCOMPARE(page->threads->text(), QStringLiteral("0"));
}

void OptionsSheetTest::filterPageRoundTrip() {
  CrawlSettings& s = settings();
  s.downloadAll = false;
  s.knownFileTypes = "text/html;image/gif;image/jpeg;application/zip";
  s.downloadFileTypes = "text/html;image/gif";
  s.downloadUnknown = true;
  s.ignoreInline = false;
  s.fileExtensions = "zip";
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(1);
  FiltersPage* page = sheet->filterPage();
  QVERIFY(!page->downloadAll->isChecked());
  QCOMPARE(page->types->count(), 4);
  QCOMPARE(page->types->checkedTypes(), std::string("image/gif;text/html"));  // list order
  QCOMPARE(page->extensions->currentText(), QStringLiteral("zip"));
  QList<QWidget*> choices = {page->types, page->extensions, page->downloadUnknown};
  for (QWidget* w : choices) QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

  page->downloadAll->click();  // on: the choices of what to download go grey
  for (QWidget* w : choices) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
  QVERIFY(page->ignoreInline->isEnabled());
  QVERIFY(page->scanScripts->isChecked());
  page->scanScripts->setChecked(false);
  page->types->item(2)->setCheckState(Qt::Checked);  // image/jpeg
  page->downloadUnknown->setChecked(false);
  page->ignoreInline->setChecked(true);
  page->extensions->setEditText("pdf;zip");
  clickOk(*sheet);
  QVERIFY(m_messages.empty());
  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QVERIFY(r.downloadAll);
    QCOMPARE(r.downloadFileTypes, std::string("image/gif;image/jpeg;text/html"));
    QVERIFY(!r.downloadUnknown);
    QVERIFY(r.ignoreInline);
    QVERIFY(!r.scanScripts);
    QCOMPARE(r.fileExtensions, std::string("pdf;zip"));
    QCOMPARE(r.knownFileTypes, std::string("text/html;image/gif;image/jpeg;application/zip"));
  }
  auto again = makeSheet();  // stored on: grey from the start
  FiltersPage* on = again->filterPage();
  QVERIFY(!on->types->isEnabled() && !on->extensions->isEnabled() && !on->downloadUnknown->isEnabled());
}

void OptionsSheetTest::typeListMenu() {
  settings().downloadAll = false;
  settings().knownFileTypes = "text/html;Image/JPEG;image/gif;;unknown;audio/wav";
  settings().downloadFileTypes = "text/html";
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(1);
  TypeList* list = sheet->filterPage()->types;
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
  QCOMPARE(entries, QStringList({"audio/wav", "image/gif", "Image/JPEG", "text/html", "unknown"}));

  auto texts = [](QMenu& menu) {
    QStringList out;
    for (QAction* a : menu.actions()) out << a->text() + (a->isEnabled() ? "" : " (disabled)");
    return out;
  };
  list->setCurrentRow(1);  // image/gif
  auto menu = list->createContextMenu();
  QCOMPARE(texts(*menu), QStringList({"Check &All", "&Uncheck All", "Check 'image'", "Uncheck 'image'"}));
  menu->actions()[2]->trigger();
  QCOMPARE(list->checkedTypes(), std::string("image/gif;Image/JPEG;text/html"));  // case ignored
  menu->actions()[3]->trigger();
  QCOMPARE(list->checkedTypes(), std::string("text/html"));
  menu->actions()[0]->trigger();
  QCOMPARE(list->checkedTypes(), std::string("audio/wav;image/gif;Image/JPEG;text/html;unknown"));
  menu->actions()[1]->trigger();
  QCOMPARE(list->checkedTypes(), std::string());

  list->setCurrentRow(4);  // "unknown": no major type
  auto plain = list->createContextMenu();
  QCOMPARE(texts(*plain),
           QStringList({"Check &All", "&Uncheck All", "Check &Type (disabled)", "Uncheck &Type (disabled)"}));

  // A right click selects the entry under the pointer first.
  QTRY_VERIFY(list->visualItemRect(list->item(0)).isValid());  // laid out once shown
  QRect row = list->visualItemRect(list->item(0));
  QStringList shown;
  QTimer::singleShot(0, [&shown] {
    if (auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : open->actions()) shown << a->text();
      open->close();
    }
  });
  QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(), list->viewport()->mapToGlobal(row.center()));
  QApplication::sendEvent(list->viewport(), &click);
  QCOMPARE(list->currentRow(), 0);
  QCOMPARE(shown, QStringList({"Check &All", "&Uncheck All", "Check 'audio'", "Uncheck 'audio'"}));
}

void OptionsSheetTest::htmlTypesWarning() {
  settings().downloadAll = false;
  settings().downloadFileTypes = "text/html";
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(1);
  TypeList* list = sheet->filterPage()->types;
  list->setAllChecked(false);
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->text() == "image/gif") list->item(i)->setCheckState(Qt::Checked);
  }
  clickOk(*sheet);
  QCOMPARE(m_messages.size(), size_t(1));
  QCOMPARE(m_messages[0].text, QStringLiteral("You have not selected any HTML types to be downloaded.\nThis may prevent "
                                               "any files from being downloaded at all."));
  QCOMPARE(m_messages[0].icon, QMessageBox::Warning);
  QCOMPARE(sheet->result(), int(QDialog::Accepted));  // accepted all the same
  QCOMPARE(settings().downloadFileTypes, std::string("image/gif"));

  // No warning with an HTML type, with all types, or with no type at all.
  for (int round = 0; round < 3; ++round) {
    m_messages.clear();
    auto again = makeSheet();
    again->tabs()->setCurrentIndex(1);
    TypeList* types = again->filterPage()->types;
    if (round == 0) types->setAllChecked(true);
    if (round == 1) again->filterPage()->downloadAll->setChecked(true);
    if (round == 2) types->setAllChecked(false);
    clickOk(*again);
    QVERIFY2(m_messages.empty(), qPrintable(QString::number(round)));
  }
}

void OptionsSheetTest::extensionsHistoryKeepsTwenty() {
  QStringList history;
  for (int i = 1; i <= 20; ++i) history << QStringLiteral("ext%1").arg(i);
  m_store->saveHistory("Filter History", "Filter", history);
  settings().downloadAll = false;
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(1);
  QComboBox* box = sheet->filterPage()->extensions;
  QCOMPARE(box->count(), 20);
  QCOMPARE(box->itemText(0), QStringLiteral("ext1"));
  box->setEditText("EXT5");
  clickOk(*sheet);
  QStringList stored = m_store->loadHistory("Filter History", "Filter");
  QCOMPARE(stored.size(), 20);
  QCOMPARE(stored.front(), QStringLiteral("EXT5"));
  QVERIFY(!stored.contains("ext5"));
  QCOMPARE(stored.back(), QStringLiteral("ext20"));

  auto next = makeSheet();
  next->tabs()->setCurrentIndex(1);
  next->filterPage()->extensions->setEditText("new");
  clickOk(*next);
  stored = m_store->loadHistory("Filter History", "Filter");
  QCOMPARE(stored.size(), 20);
  QCOMPARE(stored.front(), QStringLiteral("new"));
  QVERIFY(!stored.contains("ext20"));  // the oldest fell off
}

void OptionsSheetTest::depthPageRoundTrip() {
  m_connection.state.modem = true;
  CrawlSettings& s = settings();
  s.stayBelowRoot = false;
  s.maxServerDepth = 0;
  s.maxCrawlDepth = 10;
  s.autoDial = true;
  s.autoDisconnect = true;
  s.userAgent = "Custom agent";
  s.logFile = "";
  s.showWarnings = true;
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(2);
  DepthPage* page = sheet->depthPage();
  QCOMPARE(page->userAgent->text(), QStringLiteral("Custom agent"));
  page->stayBelowRoot->setChecked(true);
  page->maxServerDepth->setText("3");
  page->maxCrawlDepth->setText("50000");
  page->autoDisconnect->setChecked(false);
  page->autoDial->click();  // off
  page->resetUserAgent->click();
  QCOMPARE(page->userAgent->text(), QString::fromLatin1(kDefaultUserAgent));
  page->userAgent->setText("Agent 2");
  page->logFile->setText(QString::fromStdString(m_dir->file("crawl.log")));
  page->showWarnings->setChecked(false);
  clickOk(*sheet);
  QVERIFY(m_messages.empty());
  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QVERIFY(r.stayBelowRoot);
    QCOMPARE(r.maxServerDepth, 3);
    QCOMPARE(r.maxCrawlDepth, 50000);
    QVERIFY(!r.autoDial);
    QVERIFY(!r.autoDisconnect);
    QCOMPARE(r.userAgent, std::string("Agent 2"));
    QCOMPARE(r.logFile, m_dir->file("crawl.log"));
    QVERIFY(!r.showWarnings);
  }
}

void OptionsSheetTest::modemBoxesFollowTheConnectionState() {
  settings().autoDial = true;
  auto sheet = makeSheet();
  DepthPage* page = sheet->depthPage();
  QVERIFY(!page->autoDial->isEnabled());  // no modem
  QVERIFY(!page->autoDisconnect->isEnabled());

  m_connection.state.modem = true;
  auto modem = makeSheet();
  page = modem->depthPage();
  QVERIFY(page->autoDial->isEnabled());
  QVERIFY(page->autoDisconnect->isEnabled());
  page->autoDial->click();  // off: nothing to hang up after
  QVERIFY(!page->autoDisconnect->isEnabled());
  m_connection.state.modem = false;  // asked again on each click
  page->autoDial->click();
  QVERIFY(!page->autoDial->isEnabled());
  QVERIFY(!page->autoDisconnect->isEnabled());
}

void OptionsSheetTest::userAgentInStealthMode() {
  setStealthMode(true);
  auto sheet = makeSheet();
  QVERIFY(!sheet->depthPage()->userAgent->isEnabled());
  setStealthMode(false);
  auto plain = makeSheet();
  QVERIFY(plain->depthPage()->userAgent->isEnabled());
}

void OptionsSheetTest::logFolderPicker() {
  settings().logFile = "/var/tmp/old/sitegleaner.log";
  auto sheet = makeSheet();
  DepthPage* page = sheet->depthPage();
  m_folder = QString::fromStdString(m_dir->path()) + "/logs/";
  page->browseLogFile->click();
  QCOMPARE(m_folderTitles, QStringList({"Select a directory to which the Sitegleaner logfile will be written."}));
  QCOMPARE(m_folderStarts, QStringList({"/var/tmp/old"}));
  QCOMPARE(page->logFile->text(), m_folder + "sitegleaner.log");  // no second slash
  m_folder = "/srv/logs";
  page->browseLogFile->click();
  QCOMPARE(page->logFile->text(), QStringLiteral("/srv/logs/sitegleaner.log"));
  m_folder.clear();  // cancelled: nothing changes
  page->browseLogFile->click();
  QCOMPARE(page->logFile->text(), QStringLiteral("/srv/logs/sitegleaner.log"));

  settings().saveFiles = true;
  settings().saveDirectory = "/home/user/Gleaned Sites";
  auto save = makeSheet();
  m_folderTitles.clear();
  m_folderStarts.clear();
  m_folder = "/data/sites";
  save->savePage()->browseLocation->click();
  QCOMPARE(m_folderTitles, QStringList({"Select a directory in which local sites should be saved"}));
  QCOMPARE(m_folderStarts, QStringList({"/home/user/Gleaned Sites"}));
  QCOMPARE(save->savePage()->location->text(), QStringLiteral("/data/sites"));
}

void OptionsSheetTest::savePageRoundTrip() {
  CrawlSettings& s = settings();
  s.saveFiles = true;
  s.createTree = true;
  s.noCache = false;
  s.saveDirectory = "/home/user/Gleaned Sites";
  s.knownFileTypes = "text/html;image/gif;image/jpeg";
  s.saveFileTypes = "";
  s.saveAll = true;
  s.ignoreSavedFiles = false;
  s.checkForChanges = true;
  s.stripHtmlTags = false;
  s.fixLinks = true;
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(3);
  SavePage* page = sheet->savePage();
  QVERIFY(page->noCache->toolTip().contains("no effect"));
  page->createTree->setChecked(false);
  page->noCache->setChecked(true);
  page->location->setText("/data/mirror");
  page->saveAll->setChecked(false);
  page->types->setMajorChecked("image", true);
  page->readLocal->setChecked(true);
  page->checkForChanges->setChecked(false);
  page->fixLinks->setChecked(false);
  page->stripTags->setChecked(true);
  page->saveFiles->setChecked(false);
  clickOk(*sheet);
  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QVERIFY(!r.saveFiles);
    QVERIFY(!r.createTree);
    QVERIFY(r.noCache);
    QCOMPARE(r.saveDirectory, std::string("/data/mirror"));
    QCOMPARE(r.saveFileTypes, std::string("image/gif;image/jpeg"));
    QVERIFY(!r.saveAll);
    QVERIFY(r.ignoreSavedFiles);
    QVERIFY(!r.checkForChanges);
    QVERIFY(r.stripHtmlTags);
    QVERIFY(!r.fixLinks);
  }
}

void OptionsSheetTest::savePageEnablingChain() {
  CrawlSettings& s = settings();
  s.saveFiles = true;
  s.saveAll = false;
  s.ignoreSavedFiles = true;
  s.stripHtmlTags = false;
  auto sheet = makeSheet();
  SavePage* page = sheet->savePage();
  QList<QWidget*> others = {page->createTree, page->noCache, page->location, page->browseLocation, page->types,
                            page->saveAll, page->readLocal, page->checkForChanges, page->stripTags, page->fixLinks};
  for (QWidget* w : others) QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

  page->saveFiles->click();  // off: everything else goes grey
  for (QWidget* w : others) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
  QVERIFY(page->saveFiles->isEnabled());
  page->saveFiles->click();
  for (QWidget* w : others) QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

  page->saveAll->click();
  QVERIFY(!page->types->isEnabled());
  page->saveAll->click();
  QVERIFY(page->types->isEnabled());

  page->readLocal->click();
  QVERIFY(!page->checkForChanges->isEnabled());
  page->readLocal->click();
  QVERIFY(page->checkForChanges->isEnabled());

  page->stripTags->click();
  QVERIFY(!page->fixLinks->isEnabled());
  page->stripTags->click();
  QVERIFY(page->fixLinks->isEnabled());
}

void OptionsSheetTest::exclusionsAddRemoveAndTypeAhead() {
  m_document->controller().exclusions().load({"http://www.b.example/private/", "http://www.a.example/x/"});
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(4);
  ExcludePage* page = sheet->excludePage();
  QCOMPARE(page->list->count(), 2);
  QCOMPARE(page->list->focusPolicy(), Qt::StrongFocus);
  QVERIFY(!page->add->isEnabled());
  QVERIFY(!page->remove->isEnabled());

  QTest::keyClicks(page->edit, "WWW.C.example/Secret");
  QVERIFY(page->add->isEnabled());
  page->add->click();
  QCOMPARE(page->list->urls(), QStringList({"http://WWW.C.example/Secret", "www.a.example/x",
                                            "www.b.example/private"}));
  QVERIFY(page->edit->text().isEmpty());

  page->edit->setText("ftp://files.example/");
  page->add->click();
  QCOMPARE(m_messages.size(), size_t(1));
  QCOMPARE(m_messages[0].text, QStringLiteral("Invalid URL"));
  QVERIFY(focusedIn(*sheet, page->edit));
  QCOMPARE(page->list->count(), 3);

  page->edit->clear();
  QTest::keyClicks(page->edit, "WWW.B");
  QCOMPARE(page->list->currentItem()->text(), QStringLiteral("www.b.example/private"));
  QVERIFY(page->list->currentItem()->isSelected());
  QCOMPARE(page->edit->text(), QStringLiteral("WWW.B"));  // the typed text stays
  QVERIFY(page->remove->isEnabled());
  QTest::keyClicks(page->edit, "z");
  QVERIFY(page->list->selectedItems().isEmpty());
  QVERIFY(!page->remove->isEnabled());

  // Selecting an entry copies it into the edit.
  page->list->setCurrentRow(1);
  QCOMPARE(page->edit->text(), QStringLiteral("www.a.example/x"));
  page->remove->click();
  QCOMPARE(page->list->count(), 2);
  clickOk(*sheet);

  std::vector<std::string> stored;
  storedSettings(&stored);
  QCOMPARE(stored, std::vector<std::string>({"www.b.example/private", "www.c.example/secret"}));
  QVERIFY(!m_document->controller().exclusions().isAllowedUrl("http://www.c.example/secret/page.html"));
  QVERIFY(m_document->controller().exclusions().isAllowedUrl("http://www.a.example/x/page.html"));

  // An empty list leaves the tab order, but still takes drops.
  m_document->controller().exclusions().clear();
  auto none = makeSheet();
  QCOMPARE(none->excludePage()->list->focusPolicy(), Qt::NoFocus);
  QVERIFY(none->excludePage()->list->isEnabled());
}

void OptionsSheetTest::exclusionDroppedTwiceAddedOnce() {
  const std::string shortcut = m_dir->file("private.url");
  test::writeFile(shortcut, "[InternetShortcut]\nURL=www.excluded.example/private/\n");
  const std::string link = m_dir->file("other.desktop");
  test::writeFile(link, "[Desktop Entry]\nType=Link\nName=Other\nURL=http://other.example/dir/\n");
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(4);
  ExclusionList* list = sheet->excludePage()->list;
  auto drop = [list](QMimeData* mime) {
    QWidget* target = list->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent event(QPointF(5, 5), Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
  };
  auto files = [](const std::string& path) {
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    return std::unique_ptr<QMimeData>(mime);
  };
  QVERIFY(drop(files(shortcut).get()));
  QVERIFY(drop(files(shortcut).get()));
  QCOMPARE(list->urls(), QStringList({"http://www.excluded.example/private/"}));
  QCOMPARE(list->focusPolicy(), Qt::StrongFocus);

  QVERIFY(drop(files(link).get()));
  QMimeData text;
  text.setText("HTTP://OTHER.example/dir/");  // the same, ignoring case
  QVERIFY(drop(&text));
  QMimeData bad;
  bad.setText("mailto:someone@example.com");
  drop(&bad);
  QMimeData nothing;
  QVERIFY(!drop(&nothing));
  QCOMPARE(list->urls(), QStringList({"http://other.example/dir/", "http://www.excluded.example/private/"}));
}

void OptionsSheetTest::securityPageRoundTrip() {
  CrawlSettings& s = settings();
  s.username = "olduser";
  s.password = "b2xkdXNlcjpvbGQ=";
  s.proxyUsername = "";
  s.proxyPassword = "";
  s.promptForPassword = true;
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(5);
  SecurityPage* page = sheet->securityPage();
  QCOMPARE(page->username->text(), QStringLiteral("olduser"));
  QCOMPARE(page->internetPassword->text(), QStringLiteral("Set Internet &Password"));
  QVERIFY(!page->proxyPassword->isEnabled());

  page->username->setText("alice");
  m_password = QStringLiteral("secret");
  page->internetPassword->click();
  QCOMPARE(page->internetPassword->text(), QStringLiteral("Change Internet &Password"));
  page->proxyUsername->setText("bob");
  QVERIFY(page->proxyPassword->isEnabled());
  m_password = QStringLiteral("p@ss");
  page->proxyPassword->click();
  QCOMPARE(page->proxyPassword->text(), QStringLiteral("Change Proxy Pass&word"));
  page->promptForPassword->setChecked(false);
  clickOk(*sheet);
  for (const CrawlSettings& r : {settings(), storedSettings()}) {
    QCOMPARE(r.username, std::string("alice"));
    QCOMPARE(r.password, QByteArray("alice:secret").toBase64().toStdString());
    QCOMPARE(r.proxyUsername, std::string("bob"));
    QCOMPARE(r.proxyPassword, QByteArray("bob:p@ss").toBase64().toStdString());
    QVERIFY(!r.promptForPassword);
  }

  // Changing only a user name leaves the stored credential as it was.
  auto again = makeSheet();
  again->tabs()->setCurrentIndex(5);
  QCOMPARE(again->securityPage()->internetPassword->text(), QStringLiteral("Set Internet &Password"));
  again->securityPage()->username->setText("carol");
  clickOk(*again);
  QCOMPARE(settings().username, std::string("carol"));
  QCOMPARE(settings().password, QByteArray("alice:secret").toBase64().toStdString());
}

void OptionsSheetTest::passwordWithEmptyUserNameImpossible() {
  settings().username = "";
  settings().password = "";
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(5);
  SecurityPage* page = sheet->securityPage();
  QVERIFY(!page->internetPassword->isEnabled());
  m_password = QStringLiteral("secret");
  page->setInternetPassword();  // even when asked directly
  QVERIFY(!page->holdsInternetPassword());

  QTest::keyClicks(page->username, "dave");
  QVERIFY(page->internetPassword->isEnabled());
  page->internetPassword->click();
  QVERIFY(page->holdsInternetPassword());
  page->username->clear();  // drops the new password
  QVERIFY(!page->holdsInternetPassword());
  QVERIFY(!page->internetPassword->isEnabled());
  QCOMPARE(page->internetPassword->text(), QStringLiteral("Set Internet &Password"));
  page->username->setText("dave");
  clickOk(*sheet);
  QCOMPARE(settings().password, std::string());
  QCOMPARE(storedSettings().password, std::string());
}

void OptionsSheetTest::setPasswordDialogHidesText() {
  settings().username = "erin";
  // The sheet's own "Set Password" dialog, answered as soon as it is up.
  OptionsSheet sheet(*m_document, m_connection);
  sheet.hooks().message = [this](const QString& text, QMessageBox::Icon icon) { m_messages.push_back({text, icon}); };
  sheet.show();
  sheet.tabs()->setCurrentIndex(5);
  QString caption;
  bool hidden = false;
  int maximum = 0;
  QTimer answer;
  connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<SetPasswordDialog*>(QApplication::activeModalWidget())) {
      caption = dialog->windowTitle();
      hidden = dialog->edit()->echoMode() == QLineEdit::Password;
      maximum = dialog->edit()->maxLength();
      QTest::keyClicks(dialog->edit(), "hunter2");
      dialog->accept();
    }
  });
  answer.start(10);
  sheet.securityPage()->internetPassword->click();
  answer.stop();
  QCOMPARE(caption, QStringLiteral("Set Password"));
  QVERIFY(hidden);
  QCOMPARE(maximum, 64);
  QVERIFY(sheet.securityPage()->holdsInternetPassword());
  clickOk(sheet);
  QVERIFY(m_messages.empty());
  QCOMPARE(settings().password, QByteArray("erin:hunter2").toBase64().toStdString());
}

void OptionsSheetTest::okOpensOrClosesTheLogFile() {
  const std::string log = m_dir->file("options.log");
  settings().logFile = "";
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(2);
  sheet->depthPage()->logFile->setText(QString::fromStdString(log));
  clickOk(*sheet);
  QVERIFY(logFileIsOpen());
  logMessage("written after OK");
  QVERIFY(test::readFile(log).find("written after OK") != std::string::npos);

  sheet.reset();
  auto empty = makeSheet();
  QCOMPARE(empty->tabs()->currentIndex(), 2);  // the page shown last
  empty->depthPage()->logFile->clear();
  clickOk(*empty);
  QVERIFY(!logFileIsOpen());
  QCOMPARE(settings().logFile, std::string());
}

void OptionsSheetTest::cancelChangesNothing() {
  settings().username = "frank";
  m_store->save(settings(), m_document->controller().exclusions(), m_document->view);
  const CrawlSettings before = settings();
  const std::string fileBefore = test::readFile(m_dir->file("settings.conf"));
  auto sheet = makeSheet();
  for (int i = 0; i < 6; ++i) sheet->tabs()->setCurrentIndex(i);
  sheet->limitsPage()->threads->setText("2");
  sheet->filterPage()->downloadAll->click();
  sheet->depthPage()->maxCrawlDepth->setText("3");
  sheet->savePage()->saveFiles->click();
  sheet->excludePage()->list->addUrl("http://cancelled.example/");
  sheet->securityPage()->username->setText("grace");
  m_password = QStringLiteral("x");
  sheet->securityPage()->internetPassword->click();
  QTest::mouseClick(sheet->buttons()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
  QCOMPARE(sheet->result(), int(QDialog::Rejected));
  QVERIFY(!sheet->isVisible());
  QCOMPARE(settings().threads, before.threads);
  QCOMPARE(settings().downloadAll, before.downloadAll);
  QCOMPARE(settings().maxCrawlDepth, before.maxCrawlDepth);
  QCOMPARE(settings().saveFiles, before.saveFiles);
  QCOMPARE(settings().username, before.username);
  QCOMPARE(settings().password, before.password);
  QVERIFY(m_document->controller().exclusions().isAllowedUrl("http://cancelled.example/"));
  QCOMPARE(test::readFile(m_dir->file("settings.conf")), fileBefore);
  QVERIFY(m_messages.empty());
}

void OptionsSheetTest::lastTabIsRemembered() {
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(4);
  sheet->reject();
  sheet.reset();
  QCOMPARE(m_store->readInt("Options", "Last Tab", -1), 4);
  auto next = makeSheet();
  QCOMPARE(next->tabs()->currentIndex(), 4);
  QVERIFY(next->pageShown(4));
  QVERIFY(!next->pageShown(0));
  next->tabs()->setCurrentIndex(5);
  clickOk(*next);
  next.reset();
  QCOMPARE(m_store->readInt("Options", "Last Tab", -1), 5);

  m_store->writeInt("Options", "Last Tab", 42);  // not a page: the first one
  auto odd = makeSheet();
  QCOMPARE(odd->tabs()->currentIndex(), 0);
}

void OptionsSheetTest::optionsCommandOpensTheSheet() {
  MainWindow window(*m_store);
  window.show();
  window.document().controller().settings.threads = 3;
  QString title;
  QTimer answer;
  connect(&answer, &QTimer::timeout, [&] {
    if (auto* sheet = qobject_cast<OptionsSheet*>(QApplication::activeModalWidget())) {
      title = sheet->windowTitle();
      sheet->limitsPage()->threads->setText("5");
      sheet->accept();
    }
  });
  answer.start(10);
  window.refresh();
  QVERIFY(window.action("options")->isEnabled());
  window.action("options")->trigger();
  answer.stop();
  QCOMPARE(title, QStringLiteral("Sitegleaner Options"));
  QCOMPARE(window.document().controller().settings.threads, 5);
  QCOMPARE(m_store->readInt("General", "Threads", 0), 5);
  window.document().controller().setObserver(nullptr);
}

QTEST_MAIN(OptionsSheetTest)
#include "options_sheet_test.moc"
