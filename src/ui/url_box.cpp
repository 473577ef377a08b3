#include "ui/url_box.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>

#include "document/settings_store.h"

namespace sg {

namespace {
const QString kSection = QStringLiteral("URL History");
const QString kPrefix = QStringLiteral("URL");
}  // namespace

UrlBox::UrlBox(SettingsStore& store, QWidget* parent) : QComboBox(parent), m_store(store) {
  setObjectName(QStringLiteral("urlBox"));
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMaxCount(kHistoryLength);
  setMinimumWidth(300);
  setMaximumWidth(300);
  setMaxVisibleItems(10);
  lineEdit()->setPlaceholderText(tr("Enter a URL to start crawling"));
  addItems(m_store.loadHistory(kSection, kPrefix));
  if (count() > 0) setCurrentIndex(0);
}

QStringList UrlBox::history() const {
  QStringList entries;
  for (int i = 0; i < count(); ++i) entries << itemText(i);
  return entries;
}

void UrlBox::storeHistory() { m_store.saveHistory(kSection, kPrefix, history()); }

void UrlBox::promote(const QString& text) {
  if (!text.isEmpty()) {
    const QStringList entries = distinctHistory(QStringList{text} + history());
    clear();
    addItems(entries);
    setCurrentIndex(0);
  }
  storeHistory();
}

void UrlBox::addToTop(const QString& text) {
  insertItem(0, text);
  setCurrentIndex(0);
}

void UrlBox::clearHistory() {
  clear();
  clearEditText();
  storeHistory();
}

void UrlBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    hidePopup();
    emit goRequested();
    return;
  }
  QComboBox::keyPressEvent(event);
}

void UrlBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (!currentText().isEmpty() && (count() == 0 || itemText(0) != currentText())) promote(currentText());
}

void UrlBox::showPopup() {
  // The list is as wide as its widest entry.
  QFontMetrics metrics(font());
  int widest = width();
  for (int i = 0; i < count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(itemText(i)) + 40);
  view()->setMinimumWidth(widest);
  QComboBox::showPopup();
}

}  // namespace sg
