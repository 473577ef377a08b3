#include "engine/download_controller.h"

#include <algorithm>

#include "engine/link_processor.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

bool tickReached(uint32_t deadline) { return static_cast<int32_t>(tickCount() - deadline) >= 0; }

DownloadController::DownloadController() : LinkRecord(nullptr, false), m_queue(*this) {}

DownloadController::~DownloadController() {
  // Workers first: they use everything below.
  m_queue.shutdown();
  m_registry.clear();
  m_redirects.clear();
  destroyChildren();
}

bool DownloadController::process(HttpConnection& connection, bool& timedOut) {
  if (m_rootHook) m_rootHook(connection.session());
  return processLink(*this, connection, timedOut);
}

bool DownloadController::processLink(LinkRecord& link, HttpConnection& connection, bool& timedOut) {
  timedOut = false;
  if (m_processor == nullptr) {
    link.status = LinkStatus::Failed;
    notify(UpdateCode::LinkChanged, &link);
    return false;
  }
  return m_processor->process(link, connection, timedOut);
}

std::string DownloadController::buildRequestHeaders(const CrawlSettings& s) {
  std::string headers = "Accept: */*\r\n";
  if (!stealthMode()) {
    headers += "User-Agent: ";
    headers += s.userAgent.empty() ? text::kProductName : s.userAgent;
    headers += "\r\n";
  }
  return headers;
}

bool DownloadController::start() {
  // Links queued while the last workers are still leaving could be left
  // behind; a new download waits until they are gone.
  if (m_queue.running() > 0) return false;

  cancelled = false;
  objectsCompleted = 0;
  deadline = tickCount() + static_cast<uint32_t>(settings.maxTotalTime) * 1000u;
  // Extensions compare in lower case.
  makeLowerAscii(settings.fileExtensions);

  bool resuming = m_queue.resumeCount() > 0;
  logMessage(resuming ? std::string(text::kResumingDownload) : strprintf(text::kStartingDownload, url().c_str()));
  m_requestHeaders = buildRequestHeaders(settings);
  m_queue.init(settings.threads);

  if (m_dialHook && !m_dialHook()) return false;

  if (resuming) {
    std::vector<LinkRecord*> resume = m_queue.takeResumeList();
    auto end = std::find(resume.begin(), resume.end(), nullptr);
    resume.erase(end, resume.end());
    // All at once: a worker that found the queue empty between two of them
    // would announce the end of a download that is still being queued.
    m_queue.addLinks(resume);
  } else {
    bool added = false;
    registerLink(*this, added);
    m_queue.addLink(this);
  }
  return true;
}

void DownloadController::stop() {
  cancelled = true;
  m_queue.abortToResume();
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

void DownloadController::runDownloadEndedHook() {
  if (m_endedHook) m_endedHook();
}

std::string DownloadController::pendingText() const {
  size_t resume = m_queue.resumeCount();
  if (resume > 0) return strprintf(text::kResumeCount, static_cast<int>(resume));
  return strprintf(text::kPendingCount, static_cast<int>(m_queue.pendingCount()));
}

bool DownloadController::typeWanted(const std::string& type) {
  std::lock_guard lock(m_typesMutex);
  if (settings.downloadAll) return true;
  if (settings.knownFileTypes.find(type) != std::string::npos) {
    return settings.downloadFileTypes.empty() || settings.downloadFileTypes.find(type) != std::string::npos;
  }
  if (!settings.knownFileTypes.empty()) settings.knownFileTypes += ';';
  settings.knownFileTypes += type;
  if (!settings.downloadUnknown) return false;
  if (!settings.downloadFileTypes.empty()) settings.downloadFileTypes += ';';
  settings.downloadFileTypes += type;
  return true;
}

double DownloadController::transferRate() {
  std::lock_guard lock(m_notifyMutex);
  double shown = m_lastRate;
  if (m_bytesAccumulated > 0 && m_msAccumulated > 0) {
    m_lastRate = m_bytesAccumulated / (m_msAccumulated * 0.001);
    m_bytesAccumulated = 0;
    m_msAccumulated = 0;
  }
  return shown;
}

void DownloadController::addTransferBytes(double bytes) {
  std::lock_guard lock(m_notifyMutex);
  m_bytesAccumulated += bytes;
}

void DownloadController::addTransferTime(double milliseconds) {
  std::lock_guard lock(m_notifyMutex);
  m_msAccumulated += milliseconds;
}

}  // namespace sg
