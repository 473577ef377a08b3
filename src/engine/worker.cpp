#include "engine/worker.h"

#include "engine/download_controller.h"
#include "engine/link_processor.h"
#include "engine/robots.h"
#include "engine/thread_status.h"
#include "engine/work_queue.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

Worker::Worker(unsigned slot, WorkQueue& queue, DownloadController& controller, bool offline, int delaySeconds)
    : m_slot(slot), m_queue(queue), m_controller(controller), m_offline(offline), m_delaySeconds(delaySeconds) {}

Worker::~Worker() { closeConnection(); }

void Worker::run() {
  setCurrentThreadSlot(m_slot);
  setThreadStatus(text::kInitialisingThread);
  const CrawlSettings& settings = m_controller.settings;

  while (!m_queue.isStopped()) {
    LinkRecord* link = m_queue.nextLink();
    if (link == nullptr) break;

    if ((settings.limitFlags & kLimitTotalTime) && tickReached(m_controller.deadline.load())) {
      logMessage(text::kTimeLimitExceeded);
      // The link in hand was never looked at: it leads the resume list, so
      // that resuming loses nothing.
      m_queue.abortToResume(link);
      break;
    }

    if (!connect(*link)) {
      // Without a connection the download cannot go on: it ends as
      // aborted, and resuming starts again with this link.
      m_controller.cancelled = true;
      m_queue.abortToResume(link);
      break;
    }

    if (robotsAllowed(*m_connection, displayPath(link->object()))) {
      bool timedOut = false;
      link->process(*m_connection, timedOut);
      if (m_delaySeconds > 0) waitBetweenObjects();
      if (timedOut) m_queue.addLink(link);
    } else if (LinkProcessor* processor = m_controller.processor()) {
      processor->refusedByRobots(*link);
    }

    if (settings.linkPause > 0) m_queue.sleepUnlessStopped(static_cast<uint32_t>(settings.linkPause));
  }
  closeConnection();
  setThreadStatus(text::kThreadEnded);
}

void Worker::waitBetweenObjects() {
  const uint32_t unit = m_controller.timing.delayUnitMs;
  const uint32_t start = tickCount();
  const uint32_t total = static_cast<uint32_t>(m_delaySeconds) * unit;
  if (m_queue.sleepUnlessStopped(unit)) return;
  while (!m_queue.isStopped()) {
    uint32_t elapsed = tickCount() - start;
    if (elapsed >= total) break;
    setThreadStatus(strprintf(text::kWaitingBetweenObjects, static_cast<int>((total - elapsed) / unit)));
    if (m_queue.sleepUnlessStopped(unit)) break;
  }
}

bool Worker::connect(const LinkRecord& link) {
  setThreadStatus(text::kInitialisingConnection);
  std::string server(link.server());
  try {
    if (!m_session) {
      m_session = std::make_unique<HttpSession>(defaultAgentName(), m_offline, m_controller.timing.http,
                                                &m_controller.cancelled);
    }
    if (m_connection && !m_connection->sameServer(link.https(), server, link.port())) closeConnection();
    if (!m_connection) m_connection = m_session->connect(link.https(), server, link.port());
    readRobots(*m_connection);
    return true;
  } catch (const PlatformError& error) {
    if (error.code() == kErrorTimeout) {
      logMessage(strprintf(text::kTimedOutConnecting, server.c_str()));
    } else {
      logMessage(strprintf(text::kErrorConnecting, server.c_str(), error.what()));
    }
    return false;
  }
}

void Worker::closeConnection() { m_connection.reset(); }

}  // namespace sg
