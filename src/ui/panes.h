// The three list panes beside the link views: the log, one line per worker
// thread, and the batch queue. Each is a dock widget holding one list.
// GUI thread only.
#pragma once

#include <QDockWidget>
#include <QListWidget>
#include <QTimer>
#include <deque>
#include <string>

namespace sg {

class ListPane : public QDockWidget {
  Q_OBJECT

 public:
  ListPane(const QString& objectName, const QString& caption, const QString& heading, QWidget* parent);
  QListWidget* list() const { return m_list; }

 protected:
  QListWidget* m_list;
};

// Drains the log queue every 500 ms; follows the end only while the last
// line is in view.
class LogPane : public ListPane {
  Q_OBJECT

 public:
  explicit LogPane(QWidget* parent, int periodMs = 500);
  // One refresh, as the timer does it.
  void refresh();
  void clearLog();
  bool followsEnd() const;

 private:
  QTimer m_timer;
  int m_periodMs;
};

// Shows the thread status table every 300 ms; rows are never removed.
class ThreadPane : public ListPane {
  Q_OBJECT

 public:
  explicit ThreadPane(QWidget* parent, int periodMs = 300);
  void refresh();

 private:
  QTimer m_timer;
  int m_periodMs;
};

class BatchPane : public ListPane {
  Q_OBJECT

 public:
  explicit BatchPane(QWidget* parent);
  void fill(const std::deque<std::string>& queue);
};

}  // namespace sg
