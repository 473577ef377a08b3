#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "document/crawl_document.h"
#include "document/settings_store.h"
#include "engine/server_rule_table.h"
#include "support/quiet_host.h"
#include "support/settings_text.h"
#include "support/temp_dir.h"
#include "ui/option_controls.h"
#include "ui/options_sheet.h"
#include "util/log.h"

using namespace sg;

namespace {

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
  void badValueKeepsTheUserOnThePage();

 private:
  std::unique_ptr<OptionsSheet> makeSheet();
  void clickOk(OptionsSheet& sheet);
  CrawlSettings storedSettings();
  CrawlSettings& settings() { return m_document->controller().settings; }
  static bool focusedIn(OptionsSheet& sheet, QWidget* field);
  // Sets a control as the user would; a password button is clicked with
  // value as the password typed.
  void enter(QWidget* control, const QString& value);

  std::unique_ptr<test::TempDir> m_dir;
  std::unique_ptr<SettingsStore> m_store;
  test::QuietHost m_host;
  test::FixedConnection m_connection;
  std::unique_ptr<CrawlDocument> m_document;
  QStringList m_messages;
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
  sheet->hooks().askPassword = [this] { return m_password; };
  sheet->show();
  return sheet;
}

void OptionsSheetTest::clickOk(OptionsSheet& sheet) {
  QTest::mouseClick(sheet.buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

CrawlSettings OptionsSheetTest::storedSettings() {
  SettingsStore again(QString::fromStdString(m_dir->file("settings.conf")));
  CrawlSettings loaded;
  ServerRuleTable rules;
  ViewOptions view;
  again.load(loaded, rules, view, desktopFolder());
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
      {"compression", "Compression", "1", "0"},
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
      {"cookieFile", "Cookie File", "", "/home/alice/cookies.txt"},
      {"skipLogoutLinks", "Skip Logout Links", "1", "0"},
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

// Every number field: a value beyond its range keeps the user on its
// page, with the range named and the focus in the field. The list of "Limits affect:"
// never stores what is not one of its entries.
void OptionsSheetTest::badValueKeepsTheUserOnThePage() {
  settings().limitFlags = kLimitMaxSize | kLimitMinSize | kLimitTotalTime | kLimitFileTime | kLimitAge;
  settings().threads = 1;  // the delay is checked for one thread only
  settings().limitBinaries = -1;
  auto sheet = makeSheet();
  QCOMPARE(sheet->limitsPage()->limitsAffect->currentText(), QStringLiteral("All Files"));
  QVERIFY(!sheet->pageShown(1));
  const int pages = sheet->tabs()->count();
  for (int i = 0; i < pages; ++i) {
    sheet->tabs()->setCurrentIndex(i);
    QVERIFY(sheet->pageShown(i));
    for (const NumberField& field : static_cast<OptionsPage*>(sheet->tabs()->widget(i))->numberFields()) {
      auto [low, high] = OptionsPage::shownRange(field);
      m_messages.clear();
      field.box->setNumber(high + 1);
      sheet->tabs()->setCurrentIndex((i + 1) % pages);
      QCOMPARE(sheet->tabs()->currentIndex(), i);
      QCOMPARE(m_messages, QStringList{QString("Please enter an integer between %1 and %2.").arg(low).arg(high)});
      QVERIFY(focusedIn(*sheet, field.box));
      field.box->setNumber(low);
    }
  }
  clickOk(*sheet);
  QCOMPARE(settings().limitBinaries, kLimitOtherFiles | kLimitHtmlFiles);
}

QTEST_MAIN(OptionsSheetTest)
#include "options_sheet_test.moc"
