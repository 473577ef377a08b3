#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include "document/crawl_document.h"
#include "document/settings_store.h"
#include "engine/server_rule_table.h"
#include "support/qt_events.h"
#include "support/quiet_host.h"
#include "support/settings_text.h"
#include "support/temp_dir.h"
#include "ui/option_controls.h"
#include "ui/options_sheet.h"
#include "ui/password_dialog.h"
#include "util/log.h"

using namespace sg;

namespace {

// A connection-state layer whose answer the test sets.
class FixedConnection : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return state; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }
  ConnectionState state;
};

QString repeated(char c, int n) { return QString(n, QLatin1Char(c)); }
QString credential(const char* text) { return QByteArray(text).toBase64(); }

// A setting as text, as the settings' own description writes it.
QString valueOf(const CrawlSettings& settings, const QString& name) {
  for (const auto& [field, text] : test::describe(settings)) {
    if (QString::fromStdString(field) != name) continue;
    QString value = QString::fromStdString(text);
    return value.startsWith('"') ? value.mid(1, value.size() - 2) : value;
  }
  return QStringLiteral("(no such setting)");
}

// What a control shows, as text: "1" or "0" for a check box.
QString shown(QWidget* control) {
  if (auto* box = qobject_cast<QCheckBox*>(control)) return box->isChecked() ? "1" : "0";
  if (auto* types = qobject_cast<TypeList*>(control)) return QString::fromStdString(types->checkedTypes());
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QPushButton*>(control)) return button->text();
  return static_cast<NumberBox*>(control)->text();
}

}  // namespace

class OptionsSheetTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void everyControlShowsItsSettingAndOkStoresIt();
  void switchesGreyWhatTheyGovern();
  void limitBinariesZeroBecomesAllFilesOnceThePageIsShown();
  void validationMessages_data();
  void validationMessages();
  void badValueKeepsTheUserOnThePage();
  void typeListMenu();
  void htmlTypesWarning();
  void extensionsHistoryKeepsTwenty();
  void folderPickers();
  void exclusionsAddRemoveAndTypeAhead();
  void exclusionDroppedTwiceAddedOnce();
  void passwordButtonsFollowTheUserNames();
  void setPasswordDialogHidesText();
  void okOpensOrClosesTheLogFile();

 private:
  std::unique_ptr<OptionsSheet> makeSheet();
  void clickOk(OptionsSheet& sheet);
  CrawlSettings storedSettings(std::vector<std::string>* exclusions = nullptr);
  CrawlSettings& settings() { return m_document->controller().settings; }
  static bool focusedIn(OptionsSheet& sheet, QWidget* field);
  // Sets a control as the user would; a password button is clicked with
  // value as the password typed.
  void enter(QWidget* control, const QString& value);

  std::unique_ptr<test::TempDir> m_dir;
  std::unique_ptr<SettingsStore> m_store;
  test::QuietHost m_host;
  FixedConnection m_connection;
  std::unique_ptr<CrawlDocument> m_document;
  QStringList m_messages;
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
  m_folderStarts.clear();
  m_folder.clear();
  m_password.reset();
}

void OptionsSheetTest::cleanup() {
  closeLogFile();
  m_document.reset();
  m_store.reset();
  m_dir.reset();
}

std::unique_ptr<OptionsSheet> OptionsSheetTest::makeSheet() {
  auto sheet = std::make_unique<OptionsSheet>(*m_document, m_connection);
  sheet->hooks().message = [this](const QString& text, QMessageBox::Icon) { m_messages << text; };
  sheet->hooks().chooseFolder = [this](const QString&, const QString& start) {
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

void OptionsSheetTest::enter(QWidget* control, const QString& value) {
  if (auto* box = qobject_cast<QCheckBox*>(control)) {
    box->setChecked(value == "1");
  } else if (auto* types = qobject_cast<TypeList*>(control)) {
    const QStringList wanted = value.split(';');
    for (int i = 0; i < types->count(); ++i) {
      types->item(i)->setCheckState(wanted.contains(types->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    }
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    list->isEditable() ? list->setEditText(value) : list->setCurrentText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(value);
  } else if (auto* button = qobject_cast<QPushButton*>(control)) {
    m_password = value;
    button->click();
  } else {
    static_cast<NumberBox*>(control)->setText(value);
  }
}

// Every setting of the five pages with values: stored before the sheet
// opens, shown by its control, kept by OK without a change and by Cancel
// after changes, and replaced by what the user enters, in the document and
// in the file.
void OptionsSheetTest::everyControlShowsItsSettingAndOkStoresIt() {
  const QString log = QString::fromStdString(m_dir->file("crawl.log"));
  const QString known = "text/html;image/gif;image/jpeg;application/zip";
  // In the order a user may set them: a password after its user name, a
  // switch after what it greys. A control shows `before` and is given
  // `after` unless `shows` and `given` say otherwise; `kept` is the value
  // after OK without a change where it is not `before`.
  struct Row {
    const char* control;
    const char* setting;
    QString before, after, shows = {}, given = {}, kept = {};
  };
  Row rows[] = {
      {"objectDelay", "Object Delay", "5", "7"},
      {"threads", "Threads", "1", "3"},
      {"maxSizeCheck", "Limit Flags", QString::number(kLimitMaxSize | kLimitTotalTime),
       QString::number(kLimitMinSize | kLimitTotalTime | kLimitFileTime | kLimitAge), "1", "0"},
      // The largest unit that shows the stored value whole; units apply
      // even to limits that are switched off.
      {"maxSize", "Max Size", "2000", "3000", "2", "3"},
      {"maxSizeUnit", nullptr, "Mb", "Mb"},
      {"minSizeCheck", nullptr, "0", "1"},
      {"minSize", "Min Size", "2048", "10"},
      {"minSizeUnit", nullptr, "Kb", "Kb"},
      {"maxTimeCheck", nullptr, "0", "1"},
      {"maxTime", "Max Time", "90", "120", "90", "2"},
      {"maxTimeUnit", nullptr, "Secs", "Mins"},
      {"maxTotalTimeCheck", nullptr, "1", "1"},
      {"maxTotalTime", "Max Total Time", "300", "7200", "5", "7200"},
      {"maxTotalTimeUnit", nullptr, "Mins", "Secs"},
      {"maxDaysCheck", nullptr, "0", "1"},
      {"maxDays", "Max Days", "30", "60"},
      {"limitsAffect", "Limit Binaries", "1", "2", "Binary Files", "Html Files"},
      {"linkPause", "Link Pause", "500", "250"},
      {"maxConnectionsPerServer", "Max Connections Per Server", "8", "2"},
      {"maxScanSize", "Max Scan Size", "64", "100"},
      {"maxPageLinks", "Max Page Links", "100000", "500"},
      {"maxPlaceholders", "Max Placeholders", "100000", "0"},
      {"maxDownloadSize", "Max Download Size", "0", "2048"},
      {nullptr, "Known File Types", known, known},
      // Ticked types in list order, not in the stored order.
      {"downloadTypes",
       "Download File Types",
       "text/html;image/gif",
       "image/gif;image/jpeg;text/html",
       "image/gif;text/html",
       {},
       "image/gif;text/html"},
      {"downloadUnknown", "Download Unknown", "1", "0"},
      {"fileExtensions", "File Extensions", "zip", "pdf;zip"},
      {"downloadAll", "Download All", "0", "1"},
      {"ignoreInline", "Ignore Inline", "0", "1"},
      {"scanScripts", "Scan Scripts", "1", "0"},
      {"stayBelowRoot", "Stay Below Root", "0", "1"},
      {"maxServerDepth", "MaxServerDepth", "0", "3"},
      {"maxCrawlDepth", "MaxCrawlDepth", "10", "50000"},
      {"autoDisconnect", "AutoDisconnect", "1", "0"},
      {"autoDial", "AutoDial", "1", "0"},
      {"userAgent", "User Agent", "Custom agent", "Agent 2"},
      {"logFile", "Log File", "", log},
      {"showWarnings", "Show Warnings", "1", "0"},
      {"createTree", "Create Tree", "1", "0"},
      {"noCache", "No Cache", "0", "1"},
      {"saveDirectory", "Save Directory", "/home/user/Gleaned Sites", "/data/mirror"},
      {"saveAll", "Save All", "1", "0"},
      {"saveTypes", "Save File Types", "", "image/gif;image/jpeg"},
      {"readLocal", "Ignore Saved Files", "0", "1"},
      {"checkForChanges", "Check For Changes", "1", "0"},
      {"stripTags", "Strip HTML Tags", "0", "1"},
      {"fixLinks", "Fix Links", "1", "0"},
      {"saveFiles", "Save Files", "1", "0"},
      {"username", "Username", "olduser", "alice"},
      {"setInternetPassword", "Password", credential("olduser:old"), credential("alice:secret"),
       "Set Internet &Password", "secret"},
      {"proxyUsername", "Proxy Username", "", "bob"},
      {"setProxyPassword", "Proxy Password", "", credential("bob:p@ss"), "Set Proxy Pass&word", "p@ss"},
      {"promptForPassword", "Prompt For Password", "1", "0"},
  };
  m_connection.state.modem = true;
  for (Row& row : rows) {
    if (row.kept.isNull()) row.kept = row.before;
    std::string error;
    if (row.setting == nullptr) continue;
    QVERIFY2(setSettingFromText(settings(), row.setting, row.before.toStdString(), error), error.c_str());
  }
  auto control = [](OptionsSheet& sheet, const char* name) {
    auto* found = sheet.findChild<QWidget*>(name);
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  };
  auto openAll = [this] {
    auto sheet = makeSheet();
    for (int i = 0; i < 6; ++i) sheet->tabs()->setCurrentIndex(i);  // only pages shown are copied back
    return sheet;
  };
  auto enterAll = [&] {
    auto sheet = openAll();
    sheet->depthPage()->resetUserAgent->click();
    if (sheet->depthPage()->userAgent->text() != QString::fromLatin1(kDefaultUserAgent)) qFatal("not reset");
    for (const Row& row : rows) {
      if (row.control != nullptr) enter(control(*sheet, row.control), row.given.isNull() ? row.after : row.given);
    }
    return sheet;
  };
  auto expectStored = [&](QString Row::*value) {
    for (const CrawlSettings& r : {settings(), storedSettings()}) {
      for (const Row& row : rows) {
        if (row.setting != nullptr) QCOMPARE(valueOf(r, row.setting), row.*value);
      }
    }
  };

  auto sheet = openAll();
  for (const Row& row : rows) {
    if (row.control == nullptr) continue;
    QVERIFY2(shown(control(*sheet, row.control)) == (row.shows.isNull() ? row.before : row.shows), row.control);
  }
  clickOk(*sheet);
  QVERIFY(m_messages.isEmpty());
  expectStored(&Row::kept);

  sheet.reset();  // it stores the page shown last
  const std::string fileBefore = test::readFile(m_dir->file("settings.conf"));
  sheet = enterAll();
  sheet->excludePage()->list->addUrl("http://cancelled.example/");
  QTest::mouseClick(sheet->buttons()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
  QCOMPARE(sheet->result(), int(QDialog::Rejected));
  QVERIFY(!sheet->isVisible());
  expectStored(&Row::kept);
  QVERIFY(m_document->controller().exclusions().isAllowedUrl("http://cancelled.example/"));
  QCOMPARE(test::readFile(m_dir->file("settings.conf")), fileBefore);

  sheet = enterAll();
  clickOk(*sheet);
  QVERIFY(m_messages.isEmpty());
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  expectStored(&Row::after);
}

void OptionsSheetTest::switchesGreyWhatTheyGovern() {
  struct Switch {
    const char* name;
    bool greysWhenTicked;
    QStringList governed;
  };
  const Switch switches[] = {
      {"downloadAll", true, {"downloadTypes", "fileExtensions", "downloadUnknown"}},
      {"saveAll", true, {"saveTypes"}},
      {"readLocal", false, {"checkForChanges"}},
      {"stripTags", true, {"fixLinks"}},
      {"saveFiles",
       false,
       {"createTree", "noCache", "saveDirectory", "browseSaveDirectory", "saveTypes", "saveAll", "readLocal",
        "checkForChanges", "stripTags", "fixLinks"}},
      {"autoDial", false, {"autoDisconnect"}},  // nothing to hang up after
      {"minSizeCheck", false, {"minSize", "minSizeUnit"}},
  };
  m_connection.state.modem = true;
  CrawlSettings& s = settings();
  s.downloadAll = true;
  s.saveFiles = true;
  s.saveAll = false;
  s.ignoreSavedFiles = true;
  s.stripHtmlTags = false;
  s.autoDial = true;
  s.limitFlags = 0;
  auto sheet = makeSheet();
  QVERIFY(sheet->filterPage()->ignoreInline->isEnabled());
  for (const Switch& row : switches) {
    auto* box = sheet->findChild<QCheckBox*>(row.name);
    for (int click = 0; click < 3; ++click) {
      if (click > 0) box->click();
      for (const QString& name : row.governed) {
        QVERIFY2(sheet->findChild<QWidget*>(name)->isEnabled() == (box->isChecked() != row.greysWhenTicked),
                 qPrintable(QString("%1 after %2 clicks of %3").arg(name).arg(click).arg(row.name)));
      }
    }
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
  QTest::newRow("threads low") << "threads"
                               << ""
                               << "0" << between.arg(1).arg(30);
  QTest::newRow("threads text") << "threads" << "" << "four" << "Please enter an integer.";
  QTest::newRow("threads empty") << "threads"
                                 << ""
                                 << ""
                                 << "Please enter an integer.";
  QTest::newRow("total time secs") << "maxTotalTime" << "" << "7201" << between.arg(1).arg(7200);
  QTest::newRow("total time mins") << "maxTotalTime"
                                   << "Max Total Time=300"
                                   << "121" << between.arg(1).arg(120);
  QTest::newRow("crawl depth text") << "maxCrawlDepth" << "" << "1e3" << "Please enter an integer.";
  QTest::newRow("user agent") << "userAgent"
                              << "User Agent" << repeated('a', 129) << longer.arg(128);
  QTest::newRow("user name") << "username"
                             << "Username" << repeated('u', 64) << longer.arg(63);
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
  QCOMPARE(m_messages, QStringList{message});
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
  QCOMPARE(m_messages, QStringList{"Please enter an integer between 1 and 30."});
  QVERIFY(focusedIn(*sheet, sheet->limitsPage()->threads));
  sheet->limitsPage()->threads->setText("2");
  sheet->tabs()->setCurrentIndex(3);
  QCOMPARE(sheet->tabs()->currentIndex(), 3);
  QVERIFY(sheet->pageShown(3));
  QVERIFY(!sheet->pageShown(4));
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

  list->setCurrentRow(1);  // image/gif
  auto menu = list->createContextMenu();
  menu->actions()[2]->trigger();                                                  // Check 'image'
  QCOMPARE(list->checkedTypes(), std::string("image/gif;Image/JPEG;text/html"));  // case ignored
  menu->actions()[3]->trigger();                                                  // Uncheck 'image'
  QCOMPARE(list->checkedTypes(), std::string("text/html"));
  list->setCurrentRow(4);  // "unknown": no major type
  QVERIFY(!list->createContextMenu()->actions()[2]->isEnabled());
}

void OptionsSheetTest::htmlTypesWarning() {
  settings().downloadAll = false;
  settings().downloadFileTypes = "text/html";
  // Only image/gif: a warning, and the sheet is accepted all the same. An
  // HTML type, all types, downloading all, or no type at all: no warning.
  enum Choice { kGifOnly, kAllTypes, kDownloadAll, kNoType };
  for (Choice choice : {kGifOnly, kAllTypes, kDownloadAll, kNoType}) {
    m_messages.clear();
    auto sheet = makeSheet();
    sheet->tabs()->setCurrentIndex(1);
    TypeList* types = sheet->filterPage()->types;
    types->setAllChecked(choice == kAllTypes);
    if (choice == kGifOnly) types->findItems("image/gif", Qt::MatchExactly)[0]->setCheckState(Qt::Checked);
    if (choice == kDownloadAll) sheet->filterPage()->downloadAll->setChecked(true);
    clickOk(*sheet);
    QCOMPARE(sheet->result(), int(QDialog::Accepted));
    if (choice != kGifOnly) {
      QVERIFY2(m_messages.isEmpty(), qPrintable(QString::number(choice)));
      continue;
    }
    QCOMPARE(m_messages, QStringList{"You have not selected any HTML types to be downloaded.\nThis may "
                                     "prevent any files from being downloaded at all."});
    QCOMPARE(settings().downloadFileTypes, std::string("image/gif"));
    settings().downloadFileTypes = "text/html";
  }
}

void OptionsSheetTest::extensionsHistoryKeepsTwenty() {
  QStringList history;
  for (int i = 1; i <= 20; ++i) history << QStringLiteral("ext%1").arg(i);
  m_store->saveHistory("Filter History", "Filter", history);
  settings().downloadAll = false;
  auto enterExtensions = [this](const QString& text) {
    auto sheet = makeSheet();
    sheet->tabs()->setCurrentIndex(1);
    QCOMPARE(sheet->filterPage()->extensions->count(), 20);
    sheet->filterPage()->extensions->setEditText(text);
    clickOk(*sheet);
  };
  enterExtensions("EXT5");
  QStringList stored = m_store->loadHistory("Filter History", "Filter");
  QCOMPARE(stored.size(), 20);
  QCOMPARE(stored.front(), QStringLiteral("EXT5"));  // moved to the front, ignoring case
  QVERIFY(!stored.contains("ext5"));
  QCOMPARE(stored.back(), QStringLiteral("ext20"));
  enterExtensions("new");
  stored = m_store->loadHistory("Filter History", "Filter");
  QCOMPARE(stored.size(), 20);
  QCOMPARE(stored.front(), QStringLiteral("new"));
  QVERIFY(!stored.contains("ext20"));  // the oldest fell off
}

void OptionsSheetTest::folderPickers() {
  settings().logFile = "/var/tmp/old/sitegleaner.log";
  auto sheet = makeSheet();
  DepthPage* page = sheet->depthPage();
  m_folder = "/srv/logs/";
  page->browseLogFile->click();
  QCOMPARE(m_folderStarts, QStringList({"/var/tmp/old"}));
  QCOMPARE(page->logFile->text(), QStringLiteral("/srv/logs/sitegleaner.log"));  // no second slash
  m_folder.clear();  // cancelled: nothing changes
  page->browseLogFile->click();
  QCOMPARE(page->logFile->text(), QStringLiteral("/srv/logs/sitegleaner.log"));
}

void OptionsSheetTest::exclusionsAddRemoveAndTypeAhead() {
  m_document->controller().exclusions().load({"http://www.b.example/private/", "http://www.a.example/x/"});
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(4);
  ExcludePage* page = sheet->excludePage();
  QTest::keyClicks(page->edit, "WWW.C.example/Secret");
  page->add->click();
  QCOMPARE(page->list->urls(),
           QStringList({"http://WWW.C.example/Secret", "www.a.example/x", "www.b.example/private"}));
  page->edit->setText("ftp://files.example/");
  page->add->click();
  QCOMPARE(m_messages, QStringList{"Invalid URL"});
  QCOMPARE(page->list->count(), 3);
  // Typing selects the first entry it starts.
  page->edit->clear();
  QTest::keyClicks(page->edit, "WWW.A");
  QCOMPARE(page->list->currentItem()->text(), QStringLiteral("www.a.example/x"));
  page->remove->click();
  QCOMPARE(page->list->count(), 2);
  clickOk(*sheet);

  std::vector<std::string> stored;
  storedSettings(&stored);
  QCOMPARE(stored, std::vector<std::string>({"www.b.example/private", "www.c.example/secret"}));
  QVERIFY(!m_document->controller().exclusions().isAllowedUrl("http://www.c.example/secret/page.html"));
  QVERIFY(m_document->controller().exclusions().isAllowedUrl("http://www.a.example/x/page.html"));
}

void OptionsSheetTest::exclusionDroppedTwiceAddedOnce() {
  const std::string shortcut = m_dir->file("private.url");
  test::writeFile(shortcut, "[InternetShortcut]\nURL=www.excluded.example/private/\n");
  const std::string link = m_dir->file("other.desktop");
  test::writeFile(link, "[Desktop Entry]\nType=Link\nName=Other\nURL=http://other.example/dir/\n");
  auto sheet = makeSheet();
  sheet->tabs()->setCurrentIndex(4);
  ExclusionList* list = sheet->excludePage()->list;
  auto dropFile = [list](const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    return test::dropOn(list->viewport(), &mime);
  };
  QVERIFY(dropFile(shortcut));
  QVERIFY(dropFile(shortcut));
  QCOMPARE(list->urls(), QStringList({"http://www.excluded.example/private/"}));

  QVERIFY(dropFile(link));
  QVERIFY(test::dropText(list->viewport(), "HTTP://OTHER.example/dir/"));  // the same, ignoring case
  test::dropText(list->viewport(), "mailto:someone@example.com");
  QMimeData nothing;
  QVERIFY(!test::dropOn(list->viewport(), &nothing));
  QCOMPARE(list->urls(), QStringList({"http://other.example/dir/", "http://www.excluded.example/private/"}));
}

void OptionsSheetTest::passwordButtonsFollowTheUserNames() {
  settings().username = "";
  settings().password = "";
  settings().proxyUsername = "";
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
  page->username->setText("dave");
  clickOk(*sheet);
  QCOMPARE(settings().password, std::string());
  QCOMPARE(storedSettings().password, std::string());

  // Changing only a user name leaves the stored credential as it was.
  settings().password = credential("dave:old").toStdString();
  auto again = makeSheet();
  again->tabs()->setCurrentIndex(5);
  again->securityPage()->username->setText("carol");
  clickOk(*again);
  QCOMPARE(settings().username, std::string("carol"));
  QCOMPARE(settings().password, credential("dave:old").toStdString());
}

void OptionsSheetTest::setPasswordDialogHidesText() {
  settings().username = "erin";
  // The sheet's own "Set Password" dialog, not the hook.
  OptionsSheet sheet(*m_document, m_connection);
  sheet.hooks().message = [this](const QString& text, QMessageBox::Icon) { m_messages << text; };
  sheet.show();
  sheet.tabs()->setCurrentIndex(5);
  bool hidden = false;
  int maximum = 0;
  test::answeringModals<SetPasswordDialog>(
      [&](SetPasswordDialog* dialog) {
        hidden = dialog->edit()->echoMode() == QLineEdit::Password;
        maximum = dialog->edit()->maxLength();
        QTest::keyClicks(dialog->edit(), "hunter2");
        dialog->accept();
      },
      [&] { sheet.securityPage()->internetPassword->click(); });
  QVERIFY(hidden);
  QCOMPARE(maximum, 64);
  QVERIFY(sheet.securityPage()->holdsInternetPassword());
  clickOk(sheet);
  QVERIFY(m_messages.isEmpty());
  QCOMPARE(settings().password, credential("erin:hunter2").toStdString());
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

QTEST_MAIN(OptionsSheetTest)
#include "options_sheet_test.moc"
