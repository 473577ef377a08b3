#include "ui/option_page_filter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include "document/settings_store.h"
#include "ui/option_controls.h"
#include "util/texts.h"

namespace sg {

namespace {
const QString kFilterHistory = QStringLiteral("Filter History");
const QString kFilterPrefix = QStringLiteral("Filter");
}  // namespace

FilterPage::FilterPage(OptionsHooks& hooks, SettingsStore& store, QWidget* parent)
    : OptionsPage(hooks, parent), m_store(store) {
  setObjectName(QStringLiteral("filterPage"));
  auto* layout = new QVBoxLayout(this);
  auto check = [&](const QString& text, const char* name, bool CrawlSettings::*member) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QString::fromLatin1(name));
    addCheck(box, member);
    return box;
  };
  downloadAll = check(tr("Download &all types"), "downloadAll", &CrawlSettings::downloadAll);
  layout->addWidget(downloadAll);
  types = new TypeList(this);
  types->setObjectName(QStringLiteral("downloadTypes"));
  layout->addWidget(labelFor(tr("Select object types to &download:"), types, this));
  layout->addWidget(types, 1);
  downloadUnknown =
      check(tr("Download new types (those not listed here)"), "downloadUnknown", &CrawlSettings::downloadUnknown);
  layout->addWidget(downloadUnknown);
  ignoreInline = check(tr("Don't download &inline images"), "ignoreInline", &CrawlSettings::ignoreInline);
  layout->addWidget(ignoreInline);
  scanScripts = check(tr("Follow the files that &scripts name"), "scanScripts", &CrawlSettings::scanScripts);
  scanScripts->setToolTip(
      tr("Style sheets, images, fonts and data that a page's scripts load by name; the scripts "
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
  connect(downloadAll, &QCheckBox::toggled, this, &FilterPage::updateEnabling);
}

void FilterPage::loadOwn(const OptionValues& values) {
  types->fill(values.settings.knownFileTypes, values.settings.downloadFileTypes);
  extensions->clear();
  extensions->addItems(m_store.loadHistory(kFilterHistory, kFilterPrefix));
  extensions->setEditText(qtext(values.settings.fileExtensions));
}

void FilterPage::updateEnabling() {
  bool choose = !downloadAll->isChecked();
  enableControl(types, choose);
  enableControl(extensions, choose);
  enableControl(downloadUnknown, choose);
}

void FilterPage::applyOwn(OptionValues& values) {
  std::string wanted = types->checkedTypes();
  if (!wanted.empty() && wanted.find("html") == std::string::npos && !downloadAll->isChecked()) {
    m_hooks.message(qtext(text::kNoHtmlTypes), QMessageBox::Warning);
  }
  QString typed = extensions->currentText();
  if (!typed.isEmpty()) {
    QStringList history = {typed};
    for (int i = 0; i < extensions->count(); ++i) history << extensions->itemText(i);
    m_store.saveHistory(kFilterHistory, kFilterPrefix, distinctHistory(history));
  }
  values.settings.downloadFileTypes = wanted;
  values.settings.fileExtensions = typed.toStdString();
}

}  // namespace sg
