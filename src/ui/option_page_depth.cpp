#include "ui/option_page_depth.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/connection_state.h"
#include "ui/option_controls.h"
#include "util/app_flags.h"
#include "util/texts.h"

namespace sg {

DepthPage::DepthPage(OptionsHooks& hooks, ConnectionStateLayer& connection, QWidget* parent)
    : OptionsPage(hooks, parent), m_connection(connection) {
  using S = CrawlSettings;
  setObjectName(QStringLiteral("depthPage"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto check = [&](const QString& text, const char* name, bool S::*member) {
    return addCheckRow(grid, row, text, name, member);
  };
  auto number = [&](const QString& label, const char* name, const char* setting, int S::*member) {
    auto* box = new NumberBox(this);
    box->setObjectName(QString::fromLatin1(name));
    grid->addWidget(labelFor(label, box, this), row, 0);
    grid->addWidget(box, row++, 1, Qt::AlignLeft);
    addNumber({.box = box, .setting = setting, .member = member});
    return box;
  };
  auto text = [&](const QString& label, const char* name, std::string S::*member, int maxLength) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    grid->addWidget(labelFor(label, edit, this), row, 0);
    grid->addWidget(edit, row, 1);
    addText(edit, member, maxLength);
    return edit;
  };
  stayBelowRoot = check(tr("Only download objects in sub&directories of root URL"), "stayBelowRoot", &S::stayBelowRoot);
  maxServerDepth = number(tr("Max Ser&ver Depth:"), "maxServerDepth", "MaxServerDepth", &S::maxServerDepth);
  maxCrawlDepth = number(tr("Max &Crawl Depth:"), "maxCrawlDepth", "MaxCrawlDepth", &S::maxCrawlDepth);
  autoDial = check(tr("&Intelligent Modem Dial"), "autoDial", &S::autoDial);
  autoDisconnect =
      check(tr("&Automatically disconnect modem after session ends"), "autoDisconnect", &S::autoDisconnect);

  userAgent = text(tr("&User-Agent String:"), "userAgent", &S::userAgent, 128);
  resetUserAgent = new QPushButton(tr("&Reset"), this);
  resetUserAgent->setObjectName(QStringLiteral("resetUserAgent"));
  grid->addWidget(resetUserAgent, row++, 2);
  logFile = text(tr("&Log File:"), "logFile", &S::logFile, 279);
  browseLogFile = browseButton(this);
  browseLogFile->setObjectName(QStringLiteral("browseLogFile"));
  grid->addWidget(browseLogFile, row++, 2);

  showWarnings = check(tr("&Show non-fatal/information log entries"), "showWarnings", &S::showWarnings);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(row, 1);

  connect(autoDial, &QCheckBox::clicked, this, &DepthPage::updateModemControls);
  connect(resetUserAgent, &QPushButton::clicked, this, [this] { userAgent->setText(qtext(kDefaultUserAgent)); });
  connect(browseLogFile, &QPushButton::clicked, this, &DepthPage::browseForLogFolder);
}

void DepthPage::loadOwn(const OptionValues&) {
  // In stealth mode no User-Agent is sent, so there is nothing to edit.
  enableControl(userAgent, !stealthMode());
  enableControl(resetUserAgent, !stealthMode());
  updateModemControls();
}

void DepthPage::updateModemControls() {
  const bool modem = m_connection.query().modem;
  enableControl(autoDial, modem);
  enableControl(autoDisconnect, modem && autoDial->isChecked());
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

}  // namespace sg
