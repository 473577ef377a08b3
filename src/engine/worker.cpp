#include "engine/worker.h"

#include <algorithm>

#include "engine/download_controller.h"
#include "engine/link_processor.h"
#include "engine/robots.h"
#include "engine/thread_status.h"
#include "engine/work_queue.h"
#include "util/app_flags.h"
#include "util/format.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

Worker::Worker(unsigned slot, WorkQueue& queue, DownloadController& controller, bool offline, int delaySeconds,
               std::shared_ptr<HttpTransfers> transfers)
    : m_slot(slot),
      m_queue(queue),
      m_controller(controller),
      m_offline(offline),
      m_delaySeconds(delaySeconds),
      m_transfers(std::move(transfers)) {}

Worker::~Worker() { closeConnection(); }

void Worker::run() {
  setCurrentThreadSlot(m_slot);
  setThreadStatus(text::kInitialisingThread);
  const CrawlSettings& settings = m_controller.settings;

  while (!m_queue.isStopped()) {
    std::string serverKey;
    LinkRecord* link = m_queue.nextLink(&serverKey);
    if (link == nullptr) break;
    // The link's server counts it as in hand until this round ends, however
    // it ends.
    struct InHand {
      WorkQueue& queue;
      const std::string& key;
      ~InHand() { queue.serverDone(key); }
    } inHand{m_queue, serverKey};
    m_controller.journal().taken(*link);

    if (DownloadController::Cut cut = m_controller.downloadLimitReached(); cut != DownloadController::Cut::None) {
      logMessage(
          cut == DownloadController::Cut::TimeLimit
              ? std::string(text::kTimeLimitExceeded)
              : strprintf(text::kSizeLimitExceeded, formatSize(settings.maxDownloadSize * 1024.0 * 1024.0).c_str()));
      // The link in hand was never looked at: it leads the resume list, so
      // that resuming loses nothing.
      m_queue.abortToResume(link);
      break;
    }

    // Logging out would end the session that the cookies carry.
    if (m_controller.skipAsLogout(*link)) {
      m_controller.settle(*link, true);
      continue;
    }

    // The server is reached by the first request on a new connection: the
    // robots file's, or the link's own when the robots cache knows it.
    bool reached = connect(*link);
    if (reached && robotsAllowed(*m_connection, link->object())) {
      waitForTurn(*link);
      try {
        // The processor settled the link, or queued it again: either way
        // another worker may hold it now.
        if (link->process(*m_connection) == LinkOutcome::TimedOut) m_queue.addLink(link);
        if (m_delaySeconds > 0) waitBetweenObjects();
      } catch (const ServerUnreachable& error) {
        reached = false;
        connectFailed(*link, error);
      }
    } else if (reached) {
      if (LinkProcessor* processor = m_controller.processor()) {
        processor->refusedByRobots(*link);
        m_controller.settle(*link, true);
      }
    }

    if (!reached) {
      if (link->isRoot()) {
        // Without the root there is no download: it ends as aborted, and
        // resuming starts again with this link.
        m_controller.cancelled = true;
        m_queue.abortToResume(link);
        break;
      }
      // Any other server that cannot be reached costs only its own links.
      if (LinkProcessor* processor = m_controller.processor()) processor->unreachable(*link, m_connectError);
      m_controller.settle(*link, false);
      continue;
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

void Worker::waitForTurn(const LinkRecord& link) {
  // A hold the server asked for (429, 503) counts in stealth mode too; the
  // Crawl-delay of its robots file, like the rest of the file, does not.
  uint32_t wait = robotsCache().takeTurn(robotsKey(link.server(), link.port(), link.https()), !stealthMode());
  if (wait == 0) return;
  // No wait outlasts the download's time limit.
  if ((m_controller.settings.limitFlags & kLimitTotalTime) != 0) {
    const uint32_t deadline = m_controller.deadline.load();
    if (tickReached(deadline)) return;
    wait = std::min(wait, deadline - tickCount());
  }
  setThreadStatus(strprintf(text::kWaitingForServer, std::string(link.server()).c_str()));
  m_queue.sleepUnlessStopped(wait);
}

bool Worker::connect(const LinkRecord& link) {
  setThreadStatus(text::kInitialisingConnection);
  std::string server(link.server());
  // Every link of a server that did not answer would wait out the connect
  // time-out again; the first failure stands for them all.
  if (!link.isRoot() && m_controller.unreachableServer(robotsKey(server, link.port(), link.https()), m_connectError)) {
    return false;
  }
  try {
    if (!m_session) {
      const bool timeLimit = (m_controller.settings.limitFlags & kLimitTotalTime) != 0;
      m_session = std::make_unique<HttpSession>(defaultAgentName(), m_offline, m_controller.timing.http,
                                                &m_controller.cancelled, timeLimit ? &m_controller.deadline : nullptr);
      m_session->setCookieJar(&m_controller.cookies());
      m_session->setTransfers(m_transfers.get());
      m_session->setCompression(m_controller.settings.compression);
    }
    if (m_connection && !m_connection->sameServer(link.https(), server, link.port())) closeConnection();
    if (!m_connection) m_connection = m_session->connect(link.https(), server, link.port());
    readRobots(*m_connection, static_cast<uint32_t>(m_controller.settings.linkPause));
    return true;
  } catch (const PlatformError& error) {
    connectFailed(link, error);
    return false;
  }
}

void Worker::connectFailed(const LinkRecord& link, const PlatformError& error) {
  std::string server(link.server());
  if (error.code() == kErrorTimeout) {
    m_connectError = strprintf(text::kTimedOutConnecting, server.c_str());
    logMessage(m_connectError);
  } else {
    m_connectError = error.what();
    logMessage(strprintf(text::kErrorConnecting, server.c_str(), error.what()));
  }
  // A stop or the time limit is no verdict on the server.
  if (error.code() != kErrorOperationCancelled && error.code() != kErrorTimeLimit) {
    m_controller.markUnreachable(robotsKey(server, link.port(), link.https()), m_connectError);
  }
}

void Worker::closeConnection() { m_connection.reset(); }

}  // namespace sg
