#include "ui/link_models.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "ui/file_icons.h"
#include "util/format.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QMimeData* urlMimeData(const QString& url) {
  // Offered as text and as a file list holding the text, for linking only.
  auto* mime = new QMimeData;
  mime->setText(url);
  mime->setUrls({QUrl(url)});
  return mime;
}

}  // namespace

QColor linkColour(const LinkSnapshot& link) {
  if (!link.include) return QColor(128, 128, 128);
  switch (link.status) {
    case LinkStatus::Complete:
      return QColor(0, 128, 0);
    case LinkStatus::Failed:
      return QColor(168, 60, 60);
    case LinkStatus::Skipped:
      return QColor(0, 0, 128);
    default:
      return QColor(0, 0, 0);
  }
}

int linkMark(const LinkSnapshot& link) {
  if (!link.include) return FileIcons::kSkippedMark;
  switch (link.status) {
    case LinkStatus::Reading:
      return FileIcons::kReadingMark;
    case LinkStatus::Complete:
      return FileIcons::kCompleteMark;
    case LinkStatus::Failed:
      return FileIcons::kFailedMark;
    case LinkStatus::Skipped:
      return FileIcons::kSkippedMark;
    default:
      return FileIcons::kNoMark;
  }
}

// --- LinkTreeModel ---

LinkTreeModel::LinkTreeModel(LinkStore& store, QObject* parent) : QAbstractItemModel(parent), m_store(store) {}

LinkNode* LinkTreeModel::nodeAt(const QModelIndex& index) const {
  return index.isValid() ? static_cast<LinkNode*>(index.internalPointer()) : nullptr;
}

QModelIndex LinkTreeModel::indexOf(const LinkNode* node) const {
  if (node == nullptr || !node->inTree) return {};
  if (node->parent == nullptr) return createIndex(0, 0, const_cast<LinkNode*>(node));
  return createIndex(node->treeRow, 0, const_cast<LinkNode*>(node));
}

QModelIndex LinkTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    LinkNode* root = m_store.root();
    return (root != nullptr && row == 0) ? createIndex(0, 0, root) : QModelIndex();
  }
  LinkNode* node = nodeAt(parent);
  if (row >= static_cast<int>(node->treeChildren.size())) return {};
  return createIndex(row, 0, node->treeChildren[row]);
}

QModelIndex LinkTreeModel::parent(const QModelIndex& child) const {
  LinkNode* node = nodeAt(child);
  if (node == nullptr || node->parent == nullptr) return {};
  return indexOf(node->parent);
}

int LinkTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return m_store.root() != nullptr ? 1 : 0;
  if (parent.column() != 0) return 0;
  return static_cast<int>(nodeAt(parent)->treeChildren.size());
}

int LinkTreeModel::columnCount(const QModelIndex&) const { return 1; }

namespace {

// The host, and the path after it, of a URL ("" when it has none).
std::pair<std::string_view, std::string_view> hostAndPath(std::string_view url) {
  size_t scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {rest, {}};
  return {rest.substr(0, slash), rest.substr(slash)};
}

}  // namespace

QString LinkTreeModel::treeLabel(const LinkNode& node) {
  // Items of one page share everything up to their last segment: that
  // segment (with its query) tells them apart; the tooltip has the URL.
  const std::string& url = node.info.url;
  if (node.parent == nullptr) return fromUtf8(url);
  auto [host, path] = hostAndPath(url);
  std::string_view bare = path.substr(0, path.find_first_of("?#"));
  std::string_view query = path.substr(bare.size());
  query = query.substr(0, query.find('#'));
  size_t end = bare.size();
  if (end > 1 && bare[end - 1] == '/') --end;  // a folder shows its own name
  size_t start = bare.rfind('/', end == 0 ? 0 : end - 1);
  std::string label = percentDecode(bare.substr(start == std::string_view::npos ? 0 : start + 1,
                                                end - (start == std::string_view::npos ? 0 : start + 1)));
  if (end < bare.size()) label += '/';
  label += query;
  // Another server than its page's is named too.
  if (auto [parentHost, parentPath] = hostAndPath(node.parent->info.url); parentHost != host) {
    label = std::string(host) + "/" + (label == "/" ? "" : label);
  }
  return label.empty() ? fromUtf8(url) : fromUtf8(label);
}

QVariant LinkTreeModel::data(const QModelIndex& index, int role) const {
  LinkNode* node = nodeAt(index);
  if (node == nullptr) return {};
  const LinkSnapshot& link = node->info;
  // Before any URL was entered the root says so, rather than showing an
  // empty row.
  if (node->parent == nullptr && link.url.empty()) {
    if (role == Qt::DisplayRole) return QString::fromLatin1(text::kNoUrlSelected);
    if (role == Qt::ForegroundRole) return QColor(128, 128, 128);
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return treeLabel(*node);
    case Qt::ToolTipRole:
      return fromUtf8(link.url);
    case Qt::ForegroundRole:
      return linkColour(link);
    case Qt::DecorationRole:
      return FileIcons::instance().icon(fromUtf8(link.localFile.empty() ? link.url : link.localFile));
    default:
      return {};
  }
}

Qt::ItemFlags LinkTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList LinkTreeModel::mimeTypes() const { return {QStringLiteral("text/plain"), QStringLiteral("text/uri-list")}; }

QMimeData* LinkTreeModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  return urlMimeData(data(indexes.front(), Qt::ToolTipRole).toString());
}

void LinkTreeModel::reload() {
  beginResetModel();
  // After a rebuild, pages with links take their places in document order.
  std::vector<LinkNode*> pending;
  if (LinkNode* root = m_store.root()) pending.push_back(root);
  while (!pending.empty()) {
    LinkNode* node = pending.back();
    pending.pop_back();
    node->treeChildren.clear();
    for (LinkNode* child : node->children) {
      child->inTree = !child->children.empty();
      if (child->inTree) {
        child->treeRow = static_cast<int>(node->treeChildren.size());
        node->treeChildren.push_back(child);
        pending.push_back(child);
      }
    }
  }
  endResetModel();
}

void LinkTreeModel::ensureInTree(LinkNode* node) {
  if (node == nullptr || node->inTree) return;
  // Ancestors first: a page's item hangs below its parent's item.
  std::vector<LinkNode*> chain;
  for (LinkNode* n = node; n != nullptr && !n->inTree; n = n->parent) chain.push_back(n);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    LinkNode* n = *it;
    LinkNode* parent = n->parent;
    if (parent == nullptr) continue;
    QModelIndex parentIndex = indexOf(parent);
    int row = static_cast<int>(parent->treeChildren.size());
    beginInsertRows(parentIndex, row, row);
    n->treeRow = row;
    n->inTree = true;
    parent->treeChildren.push_back(n);
    endInsertRows();
    emit itemInserted(parentIndex);
  }
}

void LinkTreeModel::linkAdded(LinkNode* node) {
  if (node == nullptr) return;
  if (node->parent == nullptr) {
    reload();
    return;
  }
  ensureInTree(node->parent);
}

void LinkTreeModel::linkChanged(LinkNode* node) {
  QModelIndex index = indexOf(node);
  if (index.isValid()) emit dataChanged(index, index);
}

void LinkTreeModel::refreshAll() {
  // Colours only; the shape of the tree is unchanged.
  emit layoutAboutToBeChanged();
  emit layoutChanged();
}

// --- DetailsModel ---

DetailsModel::DetailsModel(LinkStore& store, QObject* parent) : QAbstractTableModel(parent), m_store(store) {}

int DetailsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DetailsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

namespace {
// The size announced, or else what was received (a body decoded as it is
// read has no size announced).
uint64_t shownSize(const LinkSnapshot& link) { return link.size != 0 ? link.size : link.receivedSize; }
}  // namespace

QString DetailsModel::sizeText(const LinkSnapshot& link) {
  const uint64_t size = shownSize(link);
  return size == 0 ? QString::fromLatin1(text::kNotAvailable) : QString::fromStdString(formatSize(size));
}

QString DetailsModel::typeText(const LinkSnapshot& link) {
  QString name = fromUtf8(link.localFile.empty() ? link.url : link.localFile);
  QString type = FileIcons::instance().typeName(name);
  return type.isEmpty() ? fromUtf8(link.mimeType) : type;
}

QString DetailsModel::modifiedText(const LinkSnapshot& link) {
  if (link.lastModified == 0) return QString::fromLatin1(text::kNotAvailable);
  QDateTime when = QDateTime::fromSecsSinceEpoch(timeTFromFileTime(link.lastModified));
  return QLocale().toString(when, QLocale::ShortFormat);
}

QVariant DetailsModel::data(const QModelIndex& index, int role) const {
  LinkNode* node = nodeAt(index.row());
  if (node == nullptr) return {};
  const LinkSnapshot& link = node->info;
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
      case kUrl:
        return fromUtf8(link.url);
      case kSize:
        return sizeText(link);
      case kType:
        return typeText(link);
      case kStatus:
        return QString::fromLatin1(linkStatusWord(link.status));
      case kLastModified:
        return modifiedText(link);
      case kInformation:
        return fromUtf8(link.information);
      default:
        return {};
    }
  }
  if (role == Qt::DecorationRole && index.column() == kUrl) {
    return FileIcons::instance().icon(fromUtf8(link.localFile.empty() ? link.url : link.localFile), linkMark(link));
  }
  if (role == Qt::TextAlignmentRole) {
    bool left = index.column() == kUrl || index.column() == kInformation;
    return QVariant::fromValue<Qt::Alignment>(left ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter);
  }
  return {};
}

QVariant DetailsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeadings[] = {"URL/Title", "Size", "Type", "Status", "Last Modified", "Information"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kHeadings[section]) : QVariant();
}

Qt::ItemFlags DetailsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList DetailsModel::mimeTypes() const { return {QStringLiteral("text/plain"), QStringLiteral("text/uri-list")}; }

QMimeData* DetailsModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  LinkNode* node = nodeAt(indexes.front().row());
  return node ? urlMimeData(fromUtf8(node->info.url)) : nullptr;
}

bool DetailsModel::shows(const LinkNode* node) const {
  return m_showAll || node->info.status == LinkStatus::Complete;
}

void DetailsModel::reindex() {
  m_rowOf.clear();
  for (size_t i = 0; i < m_rows.size(); ++i) m_rowOf[m_rows[i]] = static_cast<int>(i);
}

void DetailsModel::showPage(LinkNode* page) {
  beginResetModel();
  m_page = page;
  m_rows.clear();
  if (page != nullptr) {
    for (LinkNode* child : page->children) {
      if (shows(child)) m_rows.push_back(child);
    }
  }
  reindex();
  endResetModel();
}

void DetailsModel::clearRows() {
  beginResetModel();
  m_rows.clear();
  m_rowOf.clear();
  endResetModel();
}

void DetailsModel::linkUpdated(LinkNode* node) {
  if (node == nullptr || m_page == nullptr || node->parent != m_page) return;
  int row = rowOf(node);
  if (row >= 0) {
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
    return;
  }
  if (!shows(node)) return;
  int at = static_cast<int>(m_rows.size());
  beginInsertRows({}, at, at);
  m_rows.push_back(node);
  m_rowOf[node] = at;
  endInsertRows();
}

LinkNode* DetailsModel::nodeAt(int row) const {
  return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row] : nullptr;
}

int DetailsModel::rowOf(const LinkNode* node) const {
  auto it = m_rowOf.find(node);
  return it == m_rowOf.end() ? -1 : it->second;
}

void DetailsModel::sortByHeader(int column) {
  Qt::SortOrder order = Qt::AscendingOrder;
  if (column == m_sortColumn) order = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  sort(column, order);
}

void DetailsModel::sort(int column, Qt::SortOrder order) {
  m_sortColumn = column;
  m_sortOrder = order;
  if (column == kInformation) return;  // not compared: every row is equal
  auto share = [](const LinkSnapshot& l) -> uint64_t {
    return l.size == 0 ? 0 : static_cast<uint64_t>(l.receivedSize) * 100 / l.size;
  };
  auto less = [&](const LinkNode* a, const LinkNode* b) -> bool {
    const LinkSnapshot& x = a->info;
    const LinkSnapshot& y = b->info;
    switch (column) {
      case kUrl:
        return QString::compare(fromUtf8(x.url), fromUtf8(y.url), Qt::CaseInsensitive) < 0;
      case kSize:
        return shownSize(x) < shownSize(y);
      case kType:
        return QString::compare(fromUtf8(x.mimeType), fromUtf8(y.mimeType), Qt::CaseInsensitive) < 0;
      case kStatus:
        if (x.status != y.status) return x.status < y.status;
        return x.status == LinkStatus::Reading && share(x) < share(y);
      case kLastModified:
        return x.lastModified < y.lastModified;
      default:
        return false;
    }
  };
  emit layoutAboutToBeChanged();
  QModelIndexList before = persistentIndexList();
  std::vector<std::pair<LinkNode*, int>> kept;
  for (const QModelIndex& index : before) kept.emplace_back(nodeAt(index.row()), index.column());
  if (order == Qt::AscendingOrder) {
    std::stable_sort(m_rows.begin(), m_rows.end(), less);
  } else {
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const LinkNode* a, const LinkNode* b) { return less(b, a); });
  }
  reindex();
  QModelIndexList after;
  for (const auto& [node, column] : kept) after.push_back(index(rowOf(node), column));
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

}  // namespace sg
