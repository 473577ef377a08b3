// The Qt models of the two link views: the tree of pages that have links
// below them, and the details of the links found on one page. Both read
// the LinkStore, never live link records. GUI thread only.
#pragma once

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <unordered_map>
#include <vector>

#include "ui/link_store.h"

namespace sg {

// Text colour of a link in the tree.
QColor linkColour(const LinkSnapshot& link);
// The overlay mark of a link's icon.
int linkMark(const LinkSnapshot& link);

class LinkTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  explicit LinkTreeModel(LinkStore& store, QObject* parent = nullptr);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

  // The store was rebuilt: the tree shows what it holds now.
  void reload();
  // A link joined the store: its parent (and that one's parents) get tree
  // items when they had none.
  void linkAdded(LinkNode* node);
  // A link changed: its item is redrawn.
  void linkChanged(LinkNode* node);
  // Every item is redrawn (include flags changed).
  void refreshAll();

  QModelIndex indexOf(const LinkNode* node) const;
  LinkNode* nodeAt(const QModelIndex& index) const;
  // What an item reads: the root its URL, any other link the last segment
  // of its path (decoded, with its query; a folder with its "/"), led by the
  // host when the link is on another server than its page.
  static QString treeLabel(const LinkNode& node);

 signals:
  // A tree item appeared below parent (for Auto Expand).
  void itemInserted(const QModelIndex& parent);

 private:
  void ensureInTree(LinkNode* node);
  LinkStore& m_store;
};

class DetailsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kUrl = 0, kSize, kType, kStatus, kLastModified, kInformation, kColumnCount };

  explicit DetailsModel(LinkStore& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  void sort(int column, Qt::SortOrder order) override;

  // Shows the links found on page (or nothing).
  void showPage(LinkNode* page);
  LinkNode* shownPage() const { return m_page; }
  // Removes the rows; the page stays shown.
  void clearRows();
  // Rebuilds the rows of the shown page.
  void rebuild() { showPage(m_page); }
  // The row of a link of the shown page is added or redrawn.
  void linkUpdated(LinkNode* node);
  void setShowAll(bool showAll) { m_showAll = showAll; }
  bool showAll() const { return m_showAll; }

  LinkNode* nodeAt(int row) const;
  int rowOf(const LinkNode* node) const;

  // Click on a column header: another column sorts ascending, the same one
  // again reverses.
  void sortByHeader(int column);

  // The texts of the columns, as shown.
  static QString sizeText(const LinkSnapshot& link);
  static QString typeText(const LinkSnapshot& link);
  static QString modifiedText(const LinkSnapshot& link);

 private:
  bool shows(const LinkNode* node) const;
  void reindex();

  LinkStore& m_store;
  LinkNode* m_page = nullptr;
  std::vector<LinkNode*> m_rows;
  std::unordered_map<const LinkNode*, int> m_rowOf;
  bool m_showAll = true;
  int m_sortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

}  // namespace sg
