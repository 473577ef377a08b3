// The link tree view and the details list: item views over the link
// models that accept dropped URLs, profiles, URL lists and shortcuts, and
// show the whole text of a cell that does not fit as a tip.
#pragma once

#include <QTableView>
#include <QTreeView>
#include <functional>

namespace sg {

// Turns what was dropped into the text to open: the text itself, or the
// first file's path, or the URL inside a dropped shortcut file.
QString dropArgument(const class QMimeData* mime);

class LinkTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit LinkTreeView(QWidget* parent = nullptr);
  // Asked before a drop is accepted (false while a download runs).
  void setDropAllowed(std::function<bool()> allowed) { m_dropAllowed = std::move(allowed); }

 signals:
  void argumentDropped(const QString& text);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::function<bool()> m_dropAllowed;
};

class DetailsView : public QTableView {
  Q_OBJECT

 public:
  explicit DetailsView(QWidget* parent = nullptr);
  void setDropAllowed(std::function<bool()> allowed) { m_dropAllowed = std::move(allowed); }
  // The last column fills what the others leave.
  void fitLastColumn();

 signals:
  void argumentDropped(const QString& text);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  std::function<bool()> m_dropAllowed;
};

}  // namespace sg
