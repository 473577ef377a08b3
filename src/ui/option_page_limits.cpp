#include "ui/option_page_limits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "ui/option_controls.h"

namespace sg {

namespace {

// The entries of "Limits affect:" and the values of `Limit Binaries` they
// stand for.
constexpr int kAffected[] = {kLimitOtherFiles | kLimitHtmlFiles, kLimitOtherFiles, kLimitHtmlFiles};

}  // namespace

LimitsPage::LimitsPage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  using S = CrawlSettings;
  setObjectName(QStringLiteral("limitsPage"));
  auto* grid = new QGridLayout(this);
  int row = 0;

  threads = new NumberBox(this);
  threads->setObjectName(QStringLiteral("threads"));
  grid->addWidget(labelFor(tr("Maximum number of &Threads:"), threads, this), row, 0, 1, 2);
  grid->addWidget(threads, row++, 2);
  addNumber({.box = threads, .setting = "Threads", .member = &S::threads});

  delay = new NumberBox(this);
  delay->setObjectName(QStringLiteral("objectDelay"));
  grid->addWidget(labelFor(tr("Inter-object &delay (single thread only):"), delay, this), row, 0, 1, 2);
  grid->addWidget(delay, row, 2);
  grid->addWidget(new QLabel(tr("seconds"), this), row++, 3);
  addNumber({.box = delay, .setting = "Object Delay", .member = &S::objectDelay});

  // The larger unit shows sizes divided by 1000 and times by 60.
  auto addLimit = [&](Limit& limit, const QString& name, const QString& caption, NumberField field,
                      const QStringList& units) {
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
    field.box = limit.value;
    field.gate = limit.check;
    field.unit = limit.unit;
    addNumber(field);
  };
  const QStringList sizes = {tr("Kb"), tr("Mb")};
  const QStringList times = {tr("Mins"), tr("Secs")};
  addLimit(maxSize, QStringLiteral("maxSize"), tr("Ma&ximum size of files to download:"),
           {.setting = "Max Size", .member = &S::maxSize, .flag = kLimitMaxSize, .largeEntry = kMb, .factor = 1000},
           sizes);
  addLimit(minSize, QStringLiteral("minSize"), tr("Mi&nimum size of files to download:"),
           {.setting = "Min Size", .member = &S::minSize, .flag = kLimitMinSize, .largeEntry = kMb, .factor = 1000},
           sizes);
  addLimit(maxTime, QStringLiteral("maxTime"), tr("M&aximum time per file to download:"),
           {.setting = "Max Time", .member = &S::maxTime, .flag = kLimitFileTime, .largeEntry = kMins, .factor = 60},
           times);
  addLimit(maxTotalTime, QStringLiteral("maxTotalTime"), tr("Maximum Download T&ime:"),
           {.setting = "Max Total Time",
            .member = &S::maxTotalTime,
            .flag = kLimitTotalTime,
            .largeEntry = kMins,
            .factor = 60},
           times);
  addLimit(maxDays, QStringLiteral("maxDays"), tr("Download files &modified within the last"),
           {.setting = "Max Days", .member = &S::maxDays, .flag = kLimitAge}, {tr("days")});

  limitsAffect = new QComboBox(this);
  limitsAffect->setObjectName(QStringLiteral("limitsAffect"));
  limitsAffect->addItems({tr("All Files"), tr("Binary Files"), tr("Html Files")});
  grid->addWidget(labelFor(tr("&Limits affect:"), limitsAffect, this), row, 0);
  grid->addWidget(limitsAffect, row++, 1, 1, 2);

  auto bound = [&](NumberBox*& box, const char* name, const QString& label, const QString& unit, const QString& tip,
                   const char* setting, int S::*member) {
    box = new NumberBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tip);
    grid->addWidget(labelFor(label, box, this), row, 0, 1, 2);
    grid->addWidget(box, row, 2);
    if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, this), row, 3);
    ++row;
    addNumber({.box = box, .setting = setting, .member = member});
  };
  bound(linkPause, "linkPause", tr("Pause after each &link:"), tr("milliseconds"),
        tr("How long each thread waits after every link; keep a pause on servers that are not your own."), "Link Pause",
        &S::linkPause);
  bound(maxConnectionsPerServer, "maxConnectionsPerServer", tr("Most threads at one &server at once:"), QString(),
        tr("Threads beyond it work at other servers meanwhile; a server's robots file may ask for more time "
           "between requests as well."),
        "Max Connections Per Server", &S::maxConnectionsPerServer);
  bound(maxScanSize, "maxScanSize", tr("Largest page &scanned for links:"), tr("Mb"),
        tr("A page that is larger fails: a site that sends an endless page cannot fill the memory or the disk."),
        "Max Scan Size", &S::maxScanSize);
  bound(maxPageLinks, "maxPageLinks", tr("Most links taken from &one page:"), QString(),
        tr("Further links of the page keep their live address."), "Max Page Links", &S::maxPageLinks);
  bound(maxPlaceholders, "maxPlaceholders", tr("Most &placeholder pages per download:"), QString(),
        tr("Links that are not saved get no placeholder page once this many were written."), "Max Placeholders",
        &S::maxPlaceholders);
  bound(maxDownloadSize, "maxDownloadSize", tr("Stop the download after &reading:"), tr("Mb (0: no limit)"),
        tr("The links not yet fetched then wait to be resumed, as after the time limit."), "Max Download Size",
        &S::maxDownloadSize);
  compression = new QCheckBox(tr("Ask servers to &compress what they send"), this);
  compression->setObjectName(QStringLiteral("compression"));
  compression->setToolTip(
      tr("Pages cross the network several times smaller; they are saved decoded, and the size limits hold "
         "what they decode to."));
  grid->addWidget(compression, row++, 0, 1, 4);
  addCheck(compression, &S::compression);

  grid->setColumnStretch(1, 1);
  grid->setRowStretch(row, 1);
  connect(threads, &NumberBox::textChanged, this, &LimitsPage::updateEnabling);
}

void LimitsPage::loadOwn(const OptionValues& values) {
  // 0 (no file yet) and any value that is not one of the entries show the
  // first entry, which confirming the page stores.
  const int stored = values.settings.limitBinaries;
  limitsAffect->setCurrentIndex(0);
  for (int entry = 1; entry < limitsAffect->count(); ++entry) {
    if (kAffected[entry] == stored) limitsAffect->setCurrentIndex(entry);
  }
}

void LimitsPage::applyOwn(OptionValues& values) {
  values.settings.limitBinaries = kAffected[std::max(limitsAffect->currentIndex(), 0)];
}

void LimitsPage::updateEnabling() {
  enableControl(delay, threads->number() == 1);
  for (Limit* limit : {&maxSize, &minSize, &maxTime, &maxTotalTime, &maxDays}) {
    bool on = limit->check->isChecked();
    enableControl(limit->value, on);
    enableControl(limit->unit, on);
  }
}

}  // namespace sg
