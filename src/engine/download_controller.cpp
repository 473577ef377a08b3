#include "engine/download_controller.h"

namespace sg {

DownloadController::DownloadController() : LinkRecord(nullptr, false) {}

DownloadController::~DownloadController() {
  // The tree goes last, after the maps that point into it.
  m_registry.clear();
  m_redirects.clear();
  destroyChildren();
}

LinkRecord* DownloadController::registerLink(LinkRecord& offered, bool& added) {
  return m_registry.registerLink(offered, settings.maxCrawlDepth, added);
}

void DownloadController::notify(UpdateCode code, LinkRecord* record) {
  std::lock_guard lock(m_notifyMutex);
  if (m_observer) m_observer->downloadUpdate(code, record);
}

void DownloadController::setObserver(DownloadObserver* observer) {
  std::lock_guard lock(m_notifyMutex);
  m_observer = observer;
}

}  // namespace sg
