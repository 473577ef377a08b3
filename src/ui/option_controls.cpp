#include "ui/option_controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

#include "ui/link_views.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

// Sorted lists order their entries as the user reads them, without regard
// to case.
class SortedItem : public QListWidgetItem {
 public:
  using QListWidgetItem::QListWidgetItem;
  bool operator<(const QListWidgetItem& other) const override {
    int order = text().compare(other.text(), Qt::CaseInsensitive);
    return order != 0 ? order < 0 : text() < other.text();
  }
};

QString majorType(const QString& type) {
  int slash = type.indexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : type.left(slash);
}

// A '&' in a menu text would mark an access key.
QString menuText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

bool offersSomething(const QMimeData* mime) { return mime != nullptr && (mime->hasText() || mime->hasUrls()); }

}  // namespace

// --- NumberBox ---

NumberBox::NumberBox(QWidget* parent) : QAbstractSpinBox(parent) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setAccelerated(true);
  connect(lineEdit(), &QLineEdit::textChanged, this, &NumberBox::textChanged);
}

void NumberBox::setNumber(int value) { setText(QString::number(value)); }

void NumberBox::setText(const QString& text) { lineEdit()->setText(text); }

std::optional<int> NumberBox::number() const {
  bool ok = false;
  int value = text().trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

void NumberBox::stepBy(int steps) {
  int value = number().value_or(kSpinMinimum);
  setNumber(std::clamp(value + steps, kSpinMinimum, kSpinMaximum));
  lineEdit()->selectAll();
}

QValidator::State NumberBox::validate(QString&, int&) const { return QValidator::Acceptable; }

QSize NumberBox::sizeHint() const {
  ensurePolished();
  QSize text(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 4, lineEdit()->sizeHint().height());
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

QSize NumberBox::minimumSizeHint() const { return sizeHint(); }

void NumberBox::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const {
  if (isReadOnly()) return StepNone;
  std::optional<int> value = number();
  if (!value) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (*value < kSpinMaximum) enabled |= StepUpEnabled;
  if (*value > kSpinMinimum) enabled |= StepDownEnabled;
  return enabled;
}

// --- TypeList ---

TypeList::TypeList(QWidget* parent) : QListWidget(parent) {
  setSortingEnabled(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
}

void TypeList::fill(const std::string& known, const std::string& selected) {
  clear();
  size_t start = 0;
  while (start <= known.size()) {
    size_t end = known.find(';', start);
    if (end == std::string::npos) end = known.size();
    std::string type = known.substr(start, end - start);
    if (!type.empty()) {
      auto* item = new SortedItem(QString::fromStdString(type));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(selected.find(type) != std::string::npos ? Qt::Checked : Qt::Unchecked);
      addItem(item);
    }
    start = end + 1;
  }
}

std::string TypeList::checkedTypes() const {
  std::string types;
  for (int row = 0; row < count(); ++row) {
    if (item(row)->checkState() != Qt::Checked) continue;
    if (!types.empty()) types += ';';
    types += item(row)->text().toStdString();
  }
  return types;
}

void TypeList::setAllChecked(bool checked) {
  for (int row = 0; row < count(); ++row) item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TypeList::setMajorChecked(const QString& major, bool checked) {
  for (int row = 0; row < count(); ++row) {
    QString text = item(row)->text();
    if (!text.contains(QLatin1Char('/'))) continue;
    if (majorType(text).compare(major, Qt::CaseInsensitive) == 0) {
      item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
  }
}

std::unique_ptr<QMenu> TypeList::createContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->setObjectName(QStringLiteral("typeListMenu"));
  connect(menu->addAction(tr("Check &All")), &QAction::triggered, this, [this] { setAllChecked(true); });
  connect(menu->addAction(tr("&Uncheck All")), &QAction::triggered, this, [this] { setAllChecked(false); });
  QListWidgetItem* current = currentItem();
  QString major =
      current != nullptr && current->text().contains(QLatin1Char('/')) ? majorType(current->text()) : QString();
  bool typed = current != nullptr && current->text().contains(QLatin1Char('/'));
  QAction* check =
      menu->addAction(typed ? menuText(QString::fromStdString(strprintf(text::kCheckType, major.toStdString().c_str())))
                            : tr("Check &Type"));
  QAction* uncheck = menu->addAction(
      typed ? menuText(QString::fromStdString(strprintf(text::kUncheckType, major.toStdString().c_str())))
            : tr("Uncheck &Type"));
  check->setEnabled(typed);
  uncheck->setEnabled(typed);
  connect(check, &QAction::triggered, this, [this, major] { setMajorChecked(major, true); });
  connect(uncheck, &QAction::triggered, this, [this, major] { setMajorChecked(major, false); });
  return menu;
}

void TypeList::contextMenuEvent(QContextMenuEvent* event) {
  QPoint at;
  if (event->reason() == QContextMenuEvent::Mouse) {
    // A click on the viewport reaches the view in the view's coordinates.
    if (QListWidgetItem* under = itemAt(viewport()->mapFrom(this, event->pos()))) setCurrentItem(under);
    at = event->globalPos();
  } else {
    at = mapToGlobal(QPoint(5, 5));
  }
  std::unique_ptr<QMenu> menu = createContextMenu();
  menu->exec(at);
}

// --- ExclusionList ---

ExclusionList::ExclusionList(QWidget* parent) : QListWidget(parent) {
  setSortingEnabled(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDefaultDropAction(Qt::LinkAction);
}

QListWidgetItem* ExclusionList::findUrl(const QString& url) const {
  for (int row = 0; row < count(); ++row) {
    if (item(row)->text().compare(url, Qt::CaseInsensitive) == 0) return item(row);
  }
  return nullptr;
}

QListWidgetItem* ExclusionList::addUrl(const QString& url) {
  if (QListWidgetItem* known = findUrl(url)) return known;
  auto* item = new SortedItem(url);
  addItem(item);
  return item;
}

QStringList ExclusionList::urls() const {
  QStringList entries;
  for (int row = 0; row < count(); ++row) entries << item(row)->text();
  return entries;
}

void ExclusionList::dragEnterEvent(QDragEnterEvent* event) {
  if (offersSomething(event->mimeData())) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void ExclusionList::dragMoveEvent(QDragMoveEvent* event) {
  if (offersSomething(event->mimeData())) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void ExclusionList::dropEvent(QDropEvent* event) {
  if (!offersSomething(event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::LinkAction);
  event->accept();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::string url = dropArgument(event->mimeData()).toStdString();
  HttpUrlParts parts;
  bool valid = !url.empty() && parseHttpUrl(url, parts);
  QApplication::restoreOverrideCursor();
  if (!valid) return;
  QString text = QString::fromStdString(url);
  if (findUrl(text) != nullptr) return;
  addUrl(text);
  emit entriesChanged();
}

}  // namespace sg
