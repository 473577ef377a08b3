#include "ui/panes.h"

#include <QMenu>
#include <QScrollBar>
#include <vector>

#include "engine/thread_status.h"
#include "util/log.h"

namespace sg {

namespace {

// Control characters would break the one-line rows.
QString blanked(const std::string& line) {
  QString text = QString::fromUtf8(line.data(), static_cast<int>(line.size()));
  for (QChar& c : text) {
    ushort u = c.unicode();
    if ((u >= 1 && u <= 31) || u == 127) c = QLatin1Char(' ');
  }
  return text;
}

}  // namespace

ListPane::ListPane(const QString& objectName, const QString& caption, const QString& heading, QWidget* parent)
    : QDockWidget(caption, parent), m_list(new QListWidget(this)) {
  setObjectName(objectName);
  setAllowedAreas(Qt::AllDockWidgetAreas);
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  m_list->setObjectName(objectName + QStringLiteral("List"));
  m_list->setToolTip(heading);
  m_list->setUniformItemSizes(true);
  // Long lines are scrolled to, not cut short.
  m_list->setTextElideMode(Qt::ElideNone);
  m_list->setWordWrap(false);
  m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_list->setFrameShape(QFrame::StyledPanel);
  setWidget(m_list);
}

LogPane::LogPane(QWidget* parent, int periodMs)
    : ListPane(QStringLiteral("logPane"), tr("Log"), tr("Log Information"), parent), m_periodMs(periodMs) {
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    QAction* clear = menu.addAction(tr("&Clear Log"), this, &LogPane::clearLog);
    clear->setEnabled(m_list->count() > 0);
    menu.exec(m_list->viewport()->mapToGlobal(at));
  });
  // Stopped while a refresh runs, so that ticks never pile up.
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    refresh();
    m_timer.start(m_periodMs);
  });
  m_timer.start(m_periodMs);
}

bool LogPane::followsEnd() const {
  int count = m_list->count();
  if (count == 0) return true;
  QScrollBar* bar = m_list->verticalScrollBar();
  return bar->value() >= bar->maximum();
}

void LogPane::refresh() {
  if (logQueue().size() == 0) return;
  bool follow = followsEnd();
  std::vector<std::string> lines;
  logQueue().drain(lines);
  m_list->setUpdatesEnabled(false);
  for (const std::string& line : lines) {
    // The whole line in its tooltip, however narrow the pane.
    auto* item = new QListWidgetItem(blanked(line));
    item->setToolTip(item->text());
    m_list->addItem(item);
  }
  m_list->setUpdatesEnabled(true);
  if (follow) m_list->scrollToBottom();
}

void LogPane::clearLog() { m_list->clear(); }

ThreadPane::ThreadPane(QWidget* parent, int periodMs)
    : ListPane(QStringLiteral("threadPane"), tr("Thread"), tr("Thread Information"), parent), m_periodMs(periodMs) {
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    refresh();
    m_timer.start(m_periodMs);
  });
  m_timer.start(m_periodMs);
}

void ThreadPane::refresh() {
  std::vector<std::string> lines;
  if (!threadStatusTable().collectThreadLines(lines)) return;
  m_list->setUpdatesEnabled(false);
  for (size_t i = 0; i < lines.size(); ++i) {
    QString text = blanked(lines[i]);
    if (static_cast<int>(i) < m_list->count()) {
      m_list->item(static_cast<int>(i))->setText(text);
    } else {
      m_list->addItem(text);
    }
  }
  m_list->setUpdatesEnabled(true);
}

BatchPane::BatchPane(QWidget* parent) : ListPane(QStringLiteral("batchPane"), tr("Batch"), tr("Batch"), parent) {}

void BatchPane::fill(const std::deque<std::string>& queue) {
  m_list->clear();
  for (const std::string& url : queue) m_list->addItem(QString::fromStdString(url));
}

}  // namespace sg
