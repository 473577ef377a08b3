#include "ui/option_page_exclude.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/option_controls.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

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

void ExcludePage::loadOwn(const OptionValues& values) {
  list->clear();
  for (const std::string& entry : values.exclusions) list->addUrl(qtext(entry));
}

void ExcludePage::applyOwn(OptionValues& values) {
  values.exclusions.clear();
  for (const QString& url : list->urls()) values.exclusions.push_back(url.toStdString());
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

}  // namespace sg
