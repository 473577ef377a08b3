#include "ui/link_views.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QToolTip>
#include <QUrl>

#include "util/shortcuts.h"

namespace sg {

namespace {

bool offersSomething(const QMimeData* mime) { return mime != nullptr && (mime->hasText() || mime->hasUrls()); }

template <typename Event>
void acceptIf(Event* event, const std::function<bool()>& allowed) {
  if (offersSomething(event->mimeData()) && (!allowed || allowed())) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

// The text a drop carries, or "" when the drop is refused.
QString takeDrop(QDropEvent* event, const std::function<bool()>& allowed) {
  if (!offersSomething(event->mimeData()) || (allowed && !allowed())) {
    event->ignore();
    return {};
  }
  event->acceptProposedAction();
  return dropArgument(event->mimeData());
}

}  // namespace

QString dropArgument(const QMimeData* mime) {
  if (mime == nullptr) return {};
  if (mime->hasUrls() && !mime->urls().isEmpty()) {
    QUrl first = mime->urls().front();
    if (first.isLocalFile()) {
      std::string path = first.toLocalFile().toStdString();
      std::string target;
      if (readShortcutTarget(path, target)) return QString::fromStdString(target);
      return QString::fromStdString(path);
    }
    if (!mime->hasText()) return first.toString();
  }
  return mime->hasText() ? mime->text().trimmed() : QString();
}

LinkTreeView::LinkTreeView(QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("linkTree"));
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setAcceptDrops(true);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::LinkAction);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void LinkTreeView::dragEnterEvent(QDragEnterEvent* event) { acceptIf(event, m_dropAllowed); }
void LinkTreeView::dragMoveEvent(QDragMoveEvent* event) { acceptIf(event, m_dropAllowed); }

void LinkTreeView::dropEvent(QDropEvent* event) {
  QString text = takeDrop(event, m_dropAllowed);
  if (!text.isEmpty()) emit argumentDropped(text);
}

DetailsView::DetailsView(QWidget* parent) : QTableView(parent) {
  setObjectName(QStringLiteral("detailsList"));
  setAcceptDrops(true);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::LinkAction);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setShowGrid(false);
  setWordWrap(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
}

void DetailsView::fitLastColumn() {
  if (model() == nullptr) return;
  int columns = model()->columnCount();
  if (columns == 0) return;
  int others = 0;
  for (int c = 0; c + 1 < columns; ++c) others += columnWidth(c);
  int rest = viewport()->width() - others;
  if (rest > 0) setColumnWidth(columns - 1, rest);
}

void DetailsView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  fitLastColumn();
}

bool DetailsView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // A tip only for a cell whose text does not fit.
    auto* help = static_cast<QHelpEvent*>(event);
    QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
      QString text = index.data(Qt::DisplayRole).toString();
      QRect cell = visualRect(index);
      int needed = fontMetrics().horizontalAdvance(text) + 6 + (index.column() == 0 ? iconSize().width() + 3 : 0);
      if (needed > cell.width()) {
        QToolTip::showText(help->globalPos(), text, viewport(), cell);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QTableView::viewportEvent(event);
}

void DetailsView::dragEnterEvent(QDragEnterEvent* event) { acceptIf(event, m_dropAllowed); }
void DetailsView::dragMoveEvent(QDragMoveEvent* event) { acceptIf(event, m_dropAllowed); }

void DetailsView::dropEvent(QDropEvent* event) {
  QString text = takeDrop(event, m_dropAllowed);
  if (!text.isEmpty()) emit argumentDropped(text);
}

}  // namespace sg
