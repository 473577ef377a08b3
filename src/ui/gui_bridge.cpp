#include "ui/gui_bridge.h"

#include "engine/link_record.h"

namespace sg {

GuiBridge::GuiBridge(QObject* parent) : QObject(parent) {}

void GuiBridge::downloadUpdate(UpdateCode code, LinkRecord* record) {
  LinkUpdate update{code, record != nullptr ? LinkSnapshot::of(*record) : LinkSnapshot{}};
  bool announce = false;
  {
    MutexLock lock(m_mutex);
    m_updates.push_back(std::move(update));
    announce = !m_announced;
    m_announced = true;
  }
  // A queued signal: the worker never waits for the GUI.
  if (announce) QMetaObject::invokeMethod(this, &GuiBridge::updatesWaiting, Qt::QueuedConnection);
}

std::vector<LinkUpdate> GuiBridge::take() {
  MutexLock lock(m_mutex);
  std::vector<LinkUpdate> updates;
  updates.swap(m_updates);
  m_announced = false;
  return updates;
}

size_t GuiBridge::waiting() const {
  MutexLock lock(m_mutex);
  return m_updates.size();
}

}  // namespace sg
