#include "ui/option_page_save.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/option_controls.h"
#include "util/texts.h"

namespace sg {

SavePage::SavePage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  using S = CrawlSettings;
  setObjectName(QStringLiteral("savePage"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto check = [&](const QString& text, const char* name, bool S::*member) {
    return addCheckRow(grid, row, text, name, member);
  };
  saveFiles = check(tr("&Save copies of downloaded files locally"), "saveFiles", &S::saveFiles);
  createTree = check(tr("Use full &paths from links"), "createTree", &S::createTree);
  noCache = check(tr("Do not save pages to the system w&eb cache"), "noCache", &S::noCache);
  noCache->setToolTip(qtext(text::kNoCacheHasNoEffect));

  location = new QLineEdit(this);
  location->setObjectName(QStringLiteral("saveDirectory"));
  addText(location, &S::saveDirectory, 300);
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
  saveAll = check(tr("Save &All Types"), "saveAll", &S::saveAll);
  readLocal = check(tr("&Read local versions of pages if possible"), "readLocal", &S::ignoreSavedFiles);
  checkForChanges = check(tr("&Check original for changes"), "checkForChanges", &S::checkForChanges);
  stripTags = check(tr("Strip &HTML tags"), "stripTags", &S::stripHtmlTags);
  fixLinks = check(tr("Adjust HTML links to allow local &browsing"), "fixLinks", &S::fixLinks);
  crawlJournal =
      check(tr("Keep a &journal, so that a stopped download can be resumed"), "crawlJournal", &S::crawlJournal);
  crawlJournal->setToolTip(
      tr("Written as the download goes, in the hidden folder .sitegleaner below the save "
         "folder; it also lets a later download ask only for what changed"));
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

void SavePage::loadOwn(const OptionValues& values) {
  types->fill(values.settings.knownFileTypes, values.settings.saveFileTypes);
}

void SavePage::applyOwn(OptionValues& values) { values.settings.saveFileTypes = types->checkedTypes(); }

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

}  // namespace sg
