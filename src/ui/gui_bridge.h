// Carries the engine's announcements from the worker threads to the GUI
// thread. On the worker, the announced record is copied (the worker owns
// it); the copies wait in a queue that the GUI thread empties in batches,
// so a burst of links costs few trips through the event loop.
#pragma once

#include <QObject>
#include <atomic>
#include <vector>

#include "engine/download_observer.h"
#include "ui/link_store.h"
#include "util/mutex.h"

namespace sg {

struct LinkUpdate {
  UpdateCode code;
  LinkSnapshot link;  // empty for DownloadEnded
};

class GuiBridge : public QObject, public DownloadObserver {
  Q_OBJECT

 public:
  explicit GuiBridge(QObject* parent = nullptr);

  // Worker threads (and the GUI thread).
  void downloadUpdate(UpdateCode code, LinkRecord* record) override;

  // GUI thread: the updates waiting, oldest first.
  std::vector<LinkUpdate> take();
  size_t waiting() const;

 signals:
  // Queued to the GUI thread when updates wait and none was announced yet.
  void updatesWaiting();

 private:
  mutable Mutex m_mutex;
  std::vector<LinkUpdate> m_updates SG_GUARDED_BY(m_mutex);
  bool m_announced SG_GUARDED_BY(m_mutex) = false;
};

}  // namespace sg
