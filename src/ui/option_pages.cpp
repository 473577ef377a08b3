#include "ui/option_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/settings_store.h"
#include "platform/connection_state.h"
#include "ui/option_controls.h"
#include "util/app_flags.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

const QString kFilterHistory = QStringLiteral("Filter History");
const QString kFilterPrefix = QStringLiteral("Filter");

QString qtext(const std::string& text) { return QString::fromStdString(text); }
QString qtext(const char* text) { return QString::fromUtf8(text); }

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

// The "..." beside a path is no wider than it needs to be.
QPushButton* browseButton(QWidget* parent) {
  auto* button = new QPushButton(QObject::tr("&..."), parent);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  return button;
}

QComboBox* unitList(const QString& first, const QString& second, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems({first, second});
  return list;
}

// The number of a field when it holds one within [low, high].
std::optional<int> inRange(const NumberBox* box, int low, int high) {
  std::optional<int> value = box->number();
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// Keyboard input is limited to `maximum`; a stored text that is longer is
// still shown whole, so that the user sees it and is told on OK.
void setLimitedText(QLineEdit* edit, const QString& text, int maximum) {
  edit->setMaxLength(std::max<int>(maximum, static_cast<int>(text.size())));
  edit->setText(text);
}

}  // namespace

std::string basicCredential(const QString& user, const QString& password) {
  return (user + QLatin1Char(':') + password).toUtf8().toBase64().toStdString();
}

// --- OptionsPage ---

OptionsPage::OptionsPage(OptionsHooks& hooks, QWidget* parent) : QWidget(parent), m_hooks(hooks) {}

void OptionsPage::enableControl(QWidget* control, bool enabled) {
  if (control != nullptr) control->setEnabled(enabled);
}

void OptionsPage::refuse(QWidget* field, const QString& message) {
  m_hooks.message(message, QMessageBox::Warning);
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
  if (auto* box = qobject_cast<QAbstractSpinBox*>(field)) box->selectAll();
}

bool OptionsPage::checkNumber(NumberBox* box, int low, int high) {
  std::optional<int> value = box->number();
  if (!value) {
    refuse(box, qtext(text::kEnterInteger));
    return false;
  }
  if (*value < low || *value > high) {
    refuse(box, qtext(strprintf(text::kEnterIntegerBetween, low, high)));
    return false;
  }
  return true;
}

bool OptionsPage::checkLength(QLineEdit* edit, int maximum) {
  if (edit->text().size() <= maximum) return true;
  refuse(edit, qtext(strprintf(text::kEnterNoMoreThan, maximum)));
  return false;
}

// --- GeneralPage ---

GeneralPage::GeneralPage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  setObjectName(QStringLiteral("limitsPage"));
  auto* grid = new QGridLayout(this);
  int row = 0;

  threads = new NumberBox(this);
  threads->setObjectName(QStringLiteral("threads"));
  grid->addWidget(labelFor(tr("Maximum number of &Threads:"), threads, this), row, 0, 1, 2);
  grid->addWidget(threads, row++, 2);

  delay = new NumberBox(this);
  delay->setObjectName(QStringLiteral("objectDelay"));
  grid->addWidget(labelFor(tr("Inter-object &delay (single thread only):"), delay, this), row, 0, 1, 2);
  grid->addWidget(delay, row, 2);
  grid->addWidget(new QLabel(tr("seconds"), this), row++, 3);

  auto addLimit = [&](Limit& limit, const QString& name, const QString& caption, const QStringList& units) {
    limit.check = new QCheckBox(caption, this);
    limit.check->setObjectName(name + QStringLiteral("Check"));
    limit.value = new NumberBox(this);
    limit.value->setObjectName(name);
    grid->addWidget(limit.check, row, 0, 1, 2);
    grid->addWidget(limit.value, row, 2);
    if (units.size() == 2) {
      limit.unit = unitList(units[0], units[1], this);
      limit.unit->setObjectName(name + QStringLiteral("Unit"));
      grid->addWidget(limit.unit, row, 3);
    } else {
      grid->addWidget(new QLabel(units.value(0), this), row, 3);
    }
    ++row;
    connect(limit.check, &QCheckBox::toggled, this, &GeneralPage::updateEnabling);
  };
  const QStringList sizes = {tr("Kb"), tr("Mb")};
  const QStringList times = {tr("Mins"), tr("Secs")};
  addLimit(maxSize, QStringLiteral("maxSize"), tr("Ma&ximum size of files to download:"), sizes);
  addLimit(minSize, QStringLiteral("minSize"), tr("Mi&nimum size of files to download:"), sizes);
  addLimit(maxTime, QStringLiteral("maxTime"), tr("M&aximum time per file to download:"), times);
  addLimit(maxTotalTime, QStringLiteral("maxTotalTime"), tr("Maximum Download T&ime:"), times);
  addLimit(maxDays, QStringLiteral("maxDays"), tr("Download files &modified within the last"), {tr("days")});

  limitsAffect = new QComboBox(this);
  limitsAffect->setObjectName(QStringLiteral("limitsAffect"));
  limitsAffect->addItems({tr("All Files"), tr("Binary Files"), tr("Html Files")});
  grid->addWidget(labelFor(tr("&Limits affect:"), limitsAffect, this), row, 0);
  grid->addWidget(limitsAffect, row++, 1, 1, 2);

  linkPause = new NumberBox(this);
  linkPause->setObjectName(QStringLiteral("linkPause"));
  linkPause->setToolTip(tr("How long each thread waits after every link; keep a pause on servers that are not your "
                           "own."));
  grid->addWidget(labelFor(tr("Pause after each &link:"), linkPause, this), row, 0, 1, 2);
  grid->addWidget(linkPause, row, 2);
  grid->addWidget(new QLabel(tr("milliseconds"), this), row++, 3);

  auto bound = [&](NumberBox*& box, const char* name, const QString& label, const QString& unit,
                   const QString& tip) {
    box = new NumberBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tip);
    grid->addWidget(labelFor(label, box, this), row, 0, 1, 2);
    grid->addWidget(box, row, 2);
    if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, this), row, 3);
    ++row;
  };
  bound(maxConnectionsPerServer, "maxConnectionsPerServer", tr("Most threads at one &server at once:"), QString(),
        tr("Threads beyond it work at other servers meanwhile; a server's robots file may ask for more time "
           "between requests as well."));
  bound(maxScanSize, "maxScanSize", tr("Largest page &scanned for links:"), tr("Mb"),
        tr("A page that is larger fails: a site that sends an endless page cannot fill the memory or the disk."));
  bound(maxPageLinks, "maxPageLinks", tr("Most links taken from &one page:"), QString(),
        tr("Further links of the page keep their live address."));
  bound(maxPlaceholders, "maxPlaceholders", tr("Most &placeholder pages per download:"), QString(),
        tr("Links that are not saved get no placeholder page once this many were written."));
  bound(maxDownloadSize, "maxDownloadSize", tr("Stop the download after &reading:"), tr("Mb (0: no limit)"),
        tr("The links not yet fetched then wait to be resumed, as after the time limit."));

  grid->setColumnStretch(1, 1);
  grid->setRowStretch(row, 1);
  connect(threads, &NumberBox::textChanged, this, &GeneralPage::updateEnabling);
}

void GeneralPage::load(const CrawlSettings& s) {
  threads->setNumber(s.threads);
  delay->setNumber(s.objectDelay);
  auto loadSize = [](Limit& limit, int kilobytes, bool on) {
    bool mb = kilobytes % 1000 == 0;
    limit.value->setNumber(mb ? kilobytes / 1000 : kilobytes);
    limit.unit->setCurrentIndex(mb ? kMb : kKb);
    limit.check->setChecked(on);
  };
  auto loadTime = [](Limit& limit, int seconds, bool on) {
    bool minutes = seconds % 60 == 0;
    limit.value->setNumber(minutes ? seconds / 60 : seconds);
    limit.unit->setCurrentIndex(minutes ? kMins : kSecs);
    limit.check->setChecked(on);
  };
  loadSize(maxSize, s.maxSize, s.limitFlags & kLimitMaxSize);
  loadSize(minSize, s.minSize, s.limitFlags & kLimitMinSize);
  loadTime(maxTime, s.maxTime, s.limitFlags & kLimitFileTime);
  loadTime(maxTotalTime, s.maxTotalTime, s.limitFlags & kLimitTotalTime);
  maxDays.value->setNumber(s.maxDays);
  maxDays.check->setChecked(s.limitFlags & kLimitAge);
  switch (s.limitBinaries) {
    case kLimitOtherFiles:
      limitsAffect->setCurrentIndex(1);
      break;
    case kLimitHtmlFiles:
      limitsAffect->setCurrentIndex(2);
      break;
    case 0:  // no file yet; confirming the page makes it all files
    case kLimitOtherFiles | kLimitHtmlFiles:
      limitsAffect->setCurrentIndex(0);
      break;
    default:
      limitsAffect->setCurrentIndex(-1);
      break;
  }
  linkPause->setNumber(s.linkPause);
  maxConnectionsPerServer->setNumber(s.maxConnectionsPerServer);
  maxScanSize->setNumber(s.maxScanSize);
  maxPageLinks->setNumber(s.maxPageLinks);
  maxPlaceholders->setNumber(s.maxPlaceholders);
  maxDownloadSize->setNumber(s.maxDownloadSize);
  updateEnabling();
}

void GeneralPage::updateEnabling() {
  enableControl(delay, threads->number() == 1);
  for (Limit* limit : {&maxSize, &minSize, &maxTime, &maxTotalTime, &maxDays}) {
    bool on = limit->check->isChecked();
    enableControl(limit->value, on);
    enableControl(limit->unit, on);
  }
}

int GeneralPage::totalTimeHigh() const { return maxTotalTime.unit->currentIndex() == kMins ? 120 : 7200; }

bool GeneralPage::validate() {
  if (!checkNumber(threads, 1, 30)) return false;
  if (delay->isEnabled() && !checkNumber(delay, 0, 59)) return false;
  for (Limit* limit : {&maxSize, &minSize, &maxTime}) {
    if (limit->check->isChecked() && !checkNumber(limit->value, 1, 6000)) return false;
  }
  if (maxTotalTime.check->isChecked() && !checkNumber(maxTotalTime.value, 1, totalTimeHigh())) return false;
  if (maxDays.check->isChecked() && !checkNumber(maxDays.value, 1, 365)) return false;
  if (!checkNumber(linkPause, 0, 10000)) return false;
  for (auto [box, name] : boundBoxes()) {
    int low = 0, high = 0;
    if (settingRange(name, low, high) && !checkNumber(box, low, high)) return false;
  }
  return true;
}

std::vector<std::pair<NumberBox*, const char*>> GeneralPage::boundBoxes() const {
  return {{maxConnectionsPerServer, "Max Connections Per Server"},
          {maxScanSize, "Max Scan Size"},
          {maxPageLinks, "Max Page Links"},
          {maxPlaceholders, "Max Placeholders"},
          {maxDownloadSize, "Max Download Size"}};
}

void GeneralPage::applySettings(CrawlSettings& s) {
  // A field that is switched off is not checked; it keeps the stored value
  // unless it holds a valid one.
  auto take = [](const NumberBox* box, int low, int high, int factor, int& target) {
    if (std::optional<int> value = inRange(box, low, high)) target = *value * factor;
  };
  take(threads, 1, 30, 1, s.threads);
  take(delay, 0, 59, 1, s.objectDelay);
  take(maxSize.value, 1, 6000, maxSize.unit->currentIndex() == kMb ? 1000 : 1, s.maxSize);
  take(minSize.value, 1, 6000, minSize.unit->currentIndex() == kMb ? 1000 : 1, s.minSize);
  take(maxTime.value, 1, 6000, maxTime.unit->currentIndex() == kMins ? 60 : 1, s.maxTime);
  take(maxTotalTime.value, 1, totalTimeHigh(), maxTotalTime.unit->currentIndex() == kMins ? 60 : 1, s.maxTotalTime);
  take(maxDays.value, 1, 365, 1, s.maxDays);
  take(linkPause, 0, 10000, 1, s.linkPause);
  int* bounds[] = {&s.maxConnectionsPerServer, &s.maxScanSize, &s.maxPageLinks, &s.maxPlaceholders,
                   &s.maxDownloadSize};
  int i = 0;
  for (auto [box, name] : boundBoxes()) {
    int low = 0, high = 0;
    if (settingRange(name, low, high)) take(box, low, high, 1, *bounds[i]);
    ++i;
  }

  int flags = 0;
  if (maxSize.check->isChecked()) flags |= kLimitMaxSize;
  if (minSize.check->isChecked()) flags |= kLimitMinSize;
  if (maxTotalTime.check->isChecked()) flags |= kLimitTotalTime;
  if (maxTime.check->isChecked()) flags |= kLimitFileTime;
  if (maxDays.check->isChecked()) flags |= kLimitAge;
  s.limitFlags = flags;

  switch (limitsAffect->currentIndex()) {
    case 0:
      s.limitBinaries = kLimitOtherFiles | kLimitHtmlFiles;
      break;
    case 1:
      s.limitBinaries = kLimitOtherFiles;
      break;
    case 2:
      s.limitBinaries = kLimitHtmlFiles;
      break;
    default:
      s.limitBinaries = -1;  // nothing selected
      break;
  }
}

// --- FiltersPage ---

FiltersPage::FiltersPage(OptionsHooks& hooks, SettingsStore& store, QWidget* parent)
    : OptionsPage(hooks, parent), m_store(store) {
  setObjectName(QStringLiteral("filterPage"));
  auto* layout = new QVBoxLayout(this);
  downloadAll = new QCheckBox(tr("Download &all types"), this);
  downloadAll->setObjectName(QStringLiteral("downloadAll"));
  layout->addWidget(downloadAll);
  types = new TypeList(this);
  types->setObjectName(QStringLiteral("downloadTypes"));
  layout->addWidget(labelFor(tr("Select object types to &download:"), types, this));
  layout->addWidget(types, 1);
  downloadUnknown = new QCheckBox(tr("Download new types (those not listed here)"), this);
  downloadUnknown->setObjectName(QStringLiteral("downloadUnknown"));
  layout->addWidget(downloadUnknown);
  ignoreInline = new QCheckBox(tr("Don't download &inline images"), this);
  ignoreInline->setObjectName(QStringLiteral("ignoreInline"));
  layout->addWidget(ignoreInline);
  scanScripts = new QCheckBox(tr("Follow the files that &scripts name"), this);
  scanScripts->setObjectName(QStringLiteral("scanScripts"));
  scanScripts->setToolTip(tr("Style sheets, images, fonts and data that a page's scripts load by name; the scripts "
                             "themselves are saved unchanged."));
  layout->addWidget(scanScripts);
  extensions = new QComboBox(this);
  extensions->setObjectName(QStringLiteral("fileExtensions"));
  extensions->setEditable(true);
  extensions->setInsertPolicy(QComboBox::NoInsert);
  extensions->setMaxCount(kHistoryLength);
  extensions->setToolTip(tr("Extensions such as \"zip;pdf\"; links with these extensions are downloaded"));
  layout->addWidget(labelFor(tr("File Extensions to download:"), extensions, this));
  layout->addWidget(extensions);
  connect(downloadAll, &QCheckBox::toggled, this, &FiltersPage::updateEnabling);
}

void FiltersPage::load(const CrawlSettings& s) {
  downloadAll->setChecked(s.downloadAll);
  types->fill(s.knownFileTypes, s.downloadFileTypes);
  downloadUnknown->setChecked(s.downloadUnknown);
  ignoreInline->setChecked(s.ignoreInline);
  scanScripts->setChecked(s.scanScripts);
  extensions->clear();
  extensions->addItems(m_store.loadHistory(kFilterHistory, kFilterPrefix));
  extensions->setEditText(qtext(s.fileExtensions));
  updateEnabling();
}

void FiltersPage::updateEnabling() {
  bool choose = !downloadAll->isChecked();
  enableControl(types, choose);
  enableControl(extensions, choose);
  enableControl(downloadUnknown, choose);
}

void FiltersPage::applySettings(CrawlSettings& s) {
  std::string wanted = types->checkedTypes();
  if (!wanted.empty() && wanted.find("html") == std::string::npos && !downloadAll->isChecked()) {
    m_hooks.message(qtext(text::kNoHtmlTypes), QMessageBox::Warning);
  }
  QString typed = extensions->currentText();
  if (!typed.isEmpty()) {
    QStringList history = {typed};
    for (int i = 0; i < extensions->count(); ++i) {
      QString entry = extensions->itemText(i);
      if (entry.compare(typed, Qt::CaseInsensitive) != 0) history << entry;
    }
    while (history.size() > kHistoryLength) history.removeLast();
    m_store.saveHistory(kFilterHistory, kFilterPrefix, history);
  }
  s.downloadAll = downloadAll->isChecked();
  s.downloadFileTypes = wanted;
  s.downloadUnknown = downloadUnknown->isChecked();
  s.ignoreInline = ignoreInline->isChecked();
  s.scanScripts = scanScripts->isChecked();
  s.fileExtensions = typed.toStdString();
}

// --- DepthPage ---

DepthPage::DepthPage(OptionsHooks& hooks, ConnectionStateLayer& connection, QWidget* parent)
    : OptionsPage(hooks, parent), m_connection(connection) {
  setObjectName(QStringLiteral("depthPage"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  stayBelowRoot = new QCheckBox(tr("Only download objects in sub&directories of root URL"), this);
  stayBelowRoot->setObjectName(QStringLiteral("stayBelowRoot"));
  grid->addWidget(stayBelowRoot, row++, 0, 1, 3);

  maxServerDepth = new NumberBox(this);
  maxServerDepth->setObjectName(QStringLiteral("maxServerDepth"));
  grid->addWidget(labelFor(tr("Max Ser&ver Depth:"), maxServerDepth, this), row, 0);
  grid->addWidget(maxServerDepth, row++, 1, Qt::AlignLeft);
  maxCrawlDepth = new NumberBox(this);
  maxCrawlDepth->setObjectName(QStringLiteral("maxCrawlDepth"));
  grid->addWidget(labelFor(tr("Max &Crawl Depth:"), maxCrawlDepth, this), row, 0);
  grid->addWidget(maxCrawlDepth, row++, 1, Qt::AlignLeft);

  autoDial = new QCheckBox(tr("&Intelligent Modem Dial"), this);
  autoDial->setObjectName(QStringLiteral("autoDial"));
  grid->addWidget(autoDial, row++, 0, 1, 3);
  autoDisconnect = new QCheckBox(tr("&Automatically disconnect modem after session ends"), this);
  autoDisconnect->setObjectName(QStringLiteral("autoDisconnect"));
  grid->addWidget(autoDisconnect, row++, 0, 1, 3);

  userAgent = new QLineEdit(this);
  userAgent->setObjectName(QStringLiteral("userAgent"));
  resetUserAgent = new QPushButton(tr("&Reset"), this);
  resetUserAgent->setObjectName(QStringLiteral("resetUserAgent"));
  grid->addWidget(labelFor(tr("&User-Agent String:"), userAgent, this), row, 0);
  grid->addWidget(userAgent, row, 1);
  grid->addWidget(resetUserAgent, row++, 2);

  logFile = new QLineEdit(this);
  logFile->setObjectName(QStringLiteral("logFile"));
  browseLogFile = browseButton(this);
  browseLogFile->setObjectName(QStringLiteral("browseLogFile"));
  grid->addWidget(labelFor(tr("&Log File:"), logFile, this), row, 0);
  grid->addWidget(logFile, row, 1);
  grid->addWidget(browseLogFile, row++, 2);

  showWarnings = new QCheckBox(tr("&Show non-fatal/information log entries"), this);
  showWarnings->setObjectName(QStringLiteral("showWarnings"));
  grid->addWidget(showWarnings, row++, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(row, 1);

  connect(autoDial, &QCheckBox::clicked, this, &DepthPage::updateModemControls);
  connect(resetUserAgent, &QPushButton::clicked, this, [this] { userAgent->setText(qtext(kDefaultUserAgent)); });
  connect(browseLogFile, &QPushButton::clicked, this, &DepthPage::browseForLogFolder);
}

void DepthPage::load(const CrawlSettings& s) {
  stayBelowRoot->setChecked(s.stayBelowRoot);
  maxServerDepth->setNumber(s.maxServerDepth);
  maxCrawlDepth->setNumber(s.maxCrawlDepth);
  autoDial->setChecked(s.autoDial);
  autoDisconnect->setChecked(s.autoDisconnect);
  setLimitedText(userAgent, qtext(s.userAgent), 128);
  // In stealth mode no User-Agent is sent, so there is nothing to edit.
  enableControl(userAgent, !stealthMode());
  enableControl(resetUserAgent, !stealthMode());
  setLimitedText(logFile, qtext(s.logFile), 279);
  showWarnings->setChecked(s.showWarnings);
  updateModemControls();
}

void DepthPage::updateModemControls() {
  m_modem = m_connection.query().modem;
  enableControl(autoDial, m_modem);
  enableControl(autoDisconnect, m_modem && autoDial->isChecked());
}

void DepthPage::browseForLogFolder() {
  QString current = logFile->text();
  QString start = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
  QString folder = m_hooks.chooseFolder(qtext(text::kSelectLogFolder), start);
  if (folder.isEmpty()) return;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  logFile->setMaxLength(std::max(logFile->maxLength(), static_cast<int>(folder.size()) + 16));
  logFile->setText(folder + qtext(text::kLogFileName));
}

bool DepthPage::validate() {
  if (!checkNumber(maxServerDepth, 0, 100)) return false;
  if (!checkNumber(maxCrawlDepth, 0, 50000)) return false;
  if (userAgent->isEnabled() && !checkLength(userAgent, 128)) return false;
  return checkLength(logFile, 279);
}

void DepthPage::applySettings(CrawlSettings& s) {
  s.stayBelowRoot = stayBelowRoot->isChecked();
  if (std::optional<int> value = inRange(maxServerDepth, 0, 100)) s.maxServerDepth = *value;
  if (std::optional<int> value = inRange(maxCrawlDepth, 0, 50000)) s.maxCrawlDepth = *value;
  s.autoDial = autoDial->isChecked();
  s.autoDisconnect = autoDisconnect->isChecked();
  if (userAgent->text().size() <= 128) s.userAgent = userAgent->text().toStdString();
  s.logFile = logFile->text().toStdString();
  s.showWarnings = showWarnings->isChecked();
}

// --- SavePage ---

SavePage::SavePage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  setObjectName(QStringLiteral("savePage"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  saveFiles = new QCheckBox(tr("&Save copies of downloaded files locally"), this);
  saveFiles->setObjectName(QStringLiteral("saveFiles"));
  grid->addWidget(saveFiles, row++, 0, 1, 3);
  createTree = new QCheckBox(tr("Use full &paths from links"), this);
  createTree->setObjectName(QStringLiteral("createTree"));
  grid->addWidget(createTree, row++, 0, 1, 3);
  noCache = new QCheckBox(tr("Do not save pages to the system w&eb cache"), this);
  noCache->setObjectName(QStringLiteral("noCache"));
  noCache->setToolTip(qtext(text::kNoCacheHasNoEffect));
  grid->addWidget(noCache, row++, 0, 1, 3);

  location = new QLineEdit(this);
  location->setObjectName(QStringLiteral("saveDirectory"));
  browseLocation = browseButton(this);
  browseLocation->setObjectName(QStringLiteral("browseSaveDirectory"));
  m_locationLabel = labelFor(tr("&Location:"), location, this);
  grid->addWidget(m_locationLabel, row, 0);
  grid->addWidget(location, row, 1);
  grid->addWidget(browseLocation, row++, 2);

  types = new TypeList(this);
  types->setObjectName(QStringLiteral("saveTypes"));
  m_typesLabel = labelFor(tr("File &Types to save:"), types, this);
  grid->addWidget(m_typesLabel, row++, 0, 1, 3);
  grid->setRowStretch(row, 1);
  grid->addWidget(types, row++, 0, 1, 3);
  saveAll = new QCheckBox(tr("Save &All Types"), this);
  saveAll->setObjectName(QStringLiteral("saveAll"));
  grid->addWidget(saveAll, row++, 0, 1, 3);
  readLocal = new QCheckBox(tr("&Read local versions of pages if possible"), this);
  readLocal->setObjectName(QStringLiteral("readLocal"));
  grid->addWidget(readLocal, row++, 0, 1, 3);
  checkForChanges = new QCheckBox(tr("&Check original for changes"), this);
  checkForChanges->setObjectName(QStringLiteral("checkForChanges"));
  grid->addWidget(checkForChanges, row++, 0, 1, 3);
  stripTags = new QCheckBox(tr("Strip &HTML tags"), this);
  stripTags->setObjectName(QStringLiteral("stripTags"));
  grid->addWidget(stripTags, row++, 0, 1, 3);
  fixLinks = new QCheckBox(tr("Adjust HTML links to allow local &browsing"), this);
  fixLinks->setObjectName(QStringLiteral("fixLinks"));
  grid->addWidget(fixLinks, row++, 0, 1, 3);
  crawlJournal = new QCheckBox(tr("Keep a &journal, so that a stopped download can be resumed"), this);
  crawlJournal->setObjectName(QStringLiteral("crawlJournal"));
  crawlJournal->setToolTip(
      tr("Written as the download goes, in the hidden folder .sitegleaner below the save "
         "folder; it also lets a later download ask only for what changed"));
  grid->addWidget(crawlJournal, row++, 0, 1, 3);
  grid->setColumnStretch(1, 1);

  for (QCheckBox* box : {saveFiles, saveAll, readLocal, stripTags}) {
    connect(box, &QCheckBox::toggled, this, &SavePage::updateEnabling);
  }
  connect(browseLocation, &QPushButton::clicked, this, [this] {
    QString folder = m_hooks.chooseFolder(qtext(text::kSelectSaveFolder), location->text());
    if (folder.isEmpty()) return;
    location->setMaxLength(std::max(location->maxLength(), static_cast<int>(folder.size())));
    location->setText(folder);
  });
}

void SavePage::load(const CrawlSettings& s) {
  saveFiles->setChecked(s.saveFiles);
  createTree->setChecked(s.createTree);
  noCache->setChecked(s.noCache);
  setLimitedText(location, qtext(s.saveDirectory), 300);
  types->fill(s.knownFileTypes, s.saveFileTypes);
  saveAll->setChecked(s.saveAll);
  readLocal->setChecked(s.ignoreSavedFiles);
  checkForChanges->setChecked(s.checkForChanges);
  stripTags->setChecked(s.stripHtmlTags);
  fixLinks->setChecked(s.fixLinks);
  crawlJournal->setChecked(s.crawlJournal);
  updateEnabling();
}

void SavePage::updateEnabling() {
  bool saving = saveFiles->isChecked();
  for (QWidget* control :
       std::initializer_list<QWidget*>{createTree, noCache, location, browseLocation, m_locationLabel, saveAll,
                                       readLocal, stripTags, crawlJournal}) {
    enableControl(control, saving);
  }
  enableControl(types, saving && !saveAll->isChecked());
  enableControl(m_typesLabel, saving && !saveAll->isChecked());
  enableControl(checkForChanges, saving && readLocal->isChecked());
  enableControl(fixLinks, saving && !stripTags->isChecked());
}

bool SavePage::validate() { return !location->isEnabled() || checkLength(location, 300); }

void SavePage::applySettings(CrawlSettings& s) {
  s.saveFiles = saveFiles->isChecked();
  s.createTree = createTree->isChecked();
  s.noCache = noCache->isChecked();
  if (location->text().size() <= 300) s.saveDirectory = location->text().toStdString();
  s.saveFileTypes = types->checkedTypes();
  s.saveAll = saveAll->isChecked();
  s.ignoreSavedFiles = readLocal->isChecked();
  s.checkForChanges = checkForChanges->isChecked();
  s.stripHtmlTags = stripTags->isChecked();
  s.fixLinks = fixLinks->isChecked();
  s.crawlJournal = crawlJournal->isChecked();
}

// --- ExcludePage ---

ExcludePage::ExcludePage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  setObjectName(QStringLiteral("excludePage"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  edit = new QLineEdit(this);
  edit->setObjectName(QStringLiteral("exclusionEdit"));
  edit->setPlaceholderText(tr("URL to exclude, e.g. www.example.com/private/"));
  add = new QPushButton(tr("&Add"), this);
  add->setObjectName(QStringLiteral("addExclusion"));
  remove = new QPushButton(tr("&Remove"), this);
  remove->setObjectName(QStringLiteral("removeExclusion"));
  row->addWidget(edit, 1);
  row->addWidget(add);
  row->addWidget(remove);
  layout->addLayout(row);
  list = new ExclusionList(this);
  list->setObjectName(QStringLiteral("exclusionList"));
  list->setToolTip(tr("URLs, files and shortcuts can be dropped here"));
  layout->addWidget(list, 1);

  connect(edit, &QLineEdit::textEdited, this, &ExcludePage::typeAhead);
  connect(edit, &QLineEdit::textChanged, this, &ExcludePage::updateEnabling);
  connect(edit, &QLineEdit::returnPressed, this, &ExcludePage::addEntry);
  connect(add, &QPushButton::clicked, this, &ExcludePage::addEntry);
  connect(remove, &QPushButton::clicked, this, &ExcludePage::removeEntry);
  connect(list, &QListWidget::itemSelectionChanged, this, [this] {
    QListWidgetItem* item = list->currentItem();
    if (!m_selecting && item != nullptr && item->isSelected()) edit->setText(item->text());
    updateEnabling();
  });
  connect(list, &ExclusionList::entriesChanged, this, &ExcludePage::updateEnabling);
  updateEnabling();
}

void ExcludePage::setEntries(const std::vector<std::string>& entries) {
  list->clear();
  for (const std::string& entry : entries) list->addUrl(qtext(entry));
  updateEnabling();
}

std::vector<std::string> ExcludePage::entries() const {
  std::vector<std::string> out;
  for (const QString& url : list->urls()) out.push_back(url.toStdString());
  return out;
}

void ExcludePage::typeAhead(const QString& text) {
  m_selecting = true;
  QListWidgetItem* match = nullptr;
  for (int row = 0; row < list->count() && !text.isEmpty(); ++row) {
    if (list->item(row)->text().startsWith(text, Qt::CaseInsensitive)) {
      match = list->item(row);
      break;
    }
  }
  if (match != nullptr) {
    list->setCurrentItem(match);
    list->scrollToItem(match);
  } else {
    list->clearSelection();
  }
  m_selecting = false;
  updateEnabling();
}

void ExcludePage::addEntry() {
  std::string url = edit->text().trimmed().toStdString();
  HttpUrlParts parts;
  if (url.empty() || !parseHttpUrl(url, parts)) {
    refuse(edit, qtext(text::kInvalidUrl));
    return;
  }
  m_selecting = true;
  QListWidgetItem* item = list->addUrl(qtext(url));
  list->setCurrentItem(item);
  m_selecting = false;
  edit->clear();
  edit->setFocus(Qt::OtherFocusReason);
  updateEnabling();
}

void ExcludePage::removeEntry() {
  QListWidgetItem* item = list->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  m_selecting = true;
  delete item;
  list->clearSelection();
  m_selecting = false;
  updateEnabling();
}

void ExcludePage::updateEnabling() {
  enableControl(add, !edit->text().isEmpty());
  enableControl(remove, list->count() > 0 && !list->selectedItems().isEmpty());
  // An empty list has nothing to select and leaves the tab order. It stays
  // enabled all the same: a disabled widget takes no drops, and dropping is
  // the quickest way to fill it.
  list->setFocusPolicy(list->count() > 0 ? Qt::StrongFocus : Qt::NoFocus);
}

// --- SecurityPage ---

SecurityPage::SecurityPage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  setObjectName(QStringLiteral("securityPage"));
  auto* layout = new QVBoxLayout(this);

  auto* site = new QGroupBox(tr("Internet Authorisation"), this);
  auto* siteGrid = new QGridLayout(site);
  username = new QLineEdit(site);
  username->setObjectName(QStringLiteral("username"));
  internetPassword = new QPushButton(site);
  internetPassword->setObjectName(QStringLiteral("setInternetPassword"));
  siteGrid->addWidget(labelFor(tr("&Username:"), username, site), 0, 0);
  siteGrid->addWidget(username, 0, 1);
  siteGrid->addWidget(internetPassword, 1, 1, Qt::AlignLeft);
  layout->addWidget(site);

  auto* proxy = new QGroupBox(tr("Proxy Authorisation"), this);
  auto* proxyGrid = new QGridLayout(proxy);
  proxyUsername = new QLineEdit(proxy);
  proxyUsername->setObjectName(QStringLiteral("proxyUsername"));
  proxyPassword = new QPushButton(proxy);
  proxyPassword->setObjectName(QStringLiteral("setProxyPassword"));
  proxyGrid->addWidget(labelFor(tr("User&name:"), proxyUsername, proxy), 0, 0);
  proxyGrid->addWidget(proxyUsername, 0, 1);
  proxyGrid->addWidget(proxyPassword, 1, 1, Qt::AlignLeft);
  layout->addWidget(proxy);

  promptForPassword = new QCheckBox(tr("&Prompt for password if these aren't valid."), this);
  promptForPassword->setObjectName(QStringLiteral("promptForPassword"));
  layout->addWidget(promptForPassword);
  layout->addStretch(1);

  connect(username, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) m_internetPassword.reset();
    updateButtons();
  });
  connect(proxyUsername, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) m_proxyPassword.reset();
    updateButtons();
  });
  connect(internetPassword, &QPushButton::clicked, this, &SecurityPage::setInternetPassword);
  connect(proxyPassword, &QPushButton::clicked, this, &SecurityPage::setProxyPassword);
  updateButtons();
}

void SecurityPage::load(const CrawlSettings& s) {
  m_internetPassword.reset();
  m_proxyPassword.reset();
  setLimitedText(username, qtext(s.username), 63);
  setLimitedText(proxyUsername, qtext(s.proxyUsername), 63);
  promptForPassword->setChecked(s.promptForPassword);
  updateButtons();
}

void SecurityPage::updateButtons() {
  internetPassword->setText(m_internetPassword ? tr("Change Internet &Password") : tr("Set Internet &Password"));
  proxyPassword->setText(m_proxyPassword ? tr("Change Proxy Pass&word") : tr("Set Proxy Pass&word"));
  enableControl(internetPassword, !username->text().isEmpty());
  enableControl(proxyPassword, !proxyUsername->text().isEmpty());
}

void SecurityPage::setInternetPassword() {
  if (username->text().isEmpty()) return;
  if (std::optional<QString> password = m_hooks.askPassword()) m_internetPassword = *password;
  updateButtons();
}

void SecurityPage::setProxyPassword() {
  if (proxyUsername->text().isEmpty()) return;
  if (std::optional<QString> password = m_hooks.askPassword()) m_proxyPassword = *password;
  updateButtons();
}

bool SecurityPage::validate() { return checkLength(username, 63) && checkLength(proxyUsername, 63); }

void SecurityPage::applySettings(CrawlSettings& s) {
  s.username = username->text().toStdString();
  s.proxyUsername = proxyUsername->text().toStdString();
  s.promptForPassword = promptForPassword->isChecked();
  if (m_internetPassword && !username->text().isEmpty()) {
    s.password = basicCredential(username->text(), *m_internetPassword);
  }
  if (m_proxyPassword && !proxyUsername->text().isEmpty()) {
    s.proxyPassword = basicCredential(proxyUsername->text(), *m_proxyPassword);
  }
}

}  // namespace sg
