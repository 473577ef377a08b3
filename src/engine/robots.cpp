#include "engine/robots.h"

#include <algorithm>

#include "engine/thread_status.h"
#include "platform/http.h"
#include "util/app_flags.h"
#include "util/clock.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

// Tick counts wrap; a time is past when it is no more than half the range
// ahead.
bool reached(uint32_t now, uint32_t at) { return static_cast<int32_t>(now - at) >= 0; }

}  // namespace

const RobotsCache::Entry* RobotsCache::findLocked(std::string_view server) const {
  auto it = m_servers.find(server);
  if (it == m_servers.end() || !it->second.rules) return nullptr;
  if (it->second.unavailable && reached(tickCount(), it->second.retryAt)) return nullptr;
  return &it->second;
}

bool RobotsCache::contains(std::string_view server) const {
  MutexLock lock(m_mutex);
  return findLocked(server) != nullptr;
}

void RobotsCache::store(std::string_view server, RobotsRules rules) {
  MutexLock lock(m_mutex);
  Entry& entry = m_servers[std::string(server)];
  entry.rules = std::make_shared<const RobotsRules>(std::move(rules));
  entry.unavailable = false;
}

void RobotsCache::storeUnavailable(std::string_view server) {
  MutexLock lock(m_mutex);
  Entry& entry = m_servers[std::string(server)];
  entry.rules = std::make_shared<const RobotsRules>(RobotsRules::disallowAll());
  entry.unavailable = true;
  entry.retryAt = tickCount() + m_retryMs;
}

bool RobotsCache::isAllowed(std::string_view server, std::string_view path) const {
  std::shared_ptr<const RobotsRules> rules;
  {
    MutexLock lock(m_mutex);
    auto it = m_servers.find(server);
    if (it == m_servers.end()) return true;
    rules = it->second.rules;
  }
  return rules == nullptr || rules->allowed(path);
}

uint32_t RobotsCache::takeTurn(std::string_view server, bool crawlDelay) {
  MutexLock lock(m_mutex);
  auto it = m_servers.find(server);
  if (it == m_servers.end()) return 0;
  Entry& entry = it->second;
  const uint32_t now = tickCount();
  uint32_t wait = 0;
  if (entry.held) {
    if (reached(now, entry.holdUntil)) {
      entry.held = false;
    } else {
      wait = entry.holdUntil - now;
    }
  }
  const uint32_t delay = crawlDelay && entry.rules ? entry.rules->crawlDelayMs() : 0;
  if (delay == 0) return wait;
  // The turns of a delay follow one another from the end of a hold.
  const uint32_t earliest = now + wait;
  if (!entry.turnTaken || reached(earliest, entry.nextTurn)) {
    entry.turnTaken = true;
    entry.nextTurn = earliest;
  }
  wait = entry.nextTurn - now;
  entry.nextTurn += delay;
  return wait;
}

uint32_t RobotsCache::holdAfterRefusal(std::string_view server, std::optional<uint32_t> retryAfterMs) {
  MutexLock lock(m_mutex);
  Entry& entry = m_servers[std::string(server)];
  const uint64_t doubled = static_cast<uint64_t>(m_backoffMs) << std::min(entry.refusals, 16);
  const uint32_t hold =
      retryAfterMs ? *retryAfterMs : static_cast<uint32_t>(std::min<uint64_t>(doubled, m_maxBackoffMs));
  ++entry.refusals;
  const uint32_t until = tickCount() + hold;
  // Of two holds the later end stands.
  if (!entry.held || static_cast<int32_t>(until - entry.holdUntil) > 0) entry.holdUntil = until;
  entry.held = true;
  return hold;
}

void RobotsCache::answered(std::string_view server) {
  MutexLock lock(m_mutex);
  auto it = m_servers.find(server);
  if (it != m_servers.end()) it->second.refusals = 0;
}

void RobotsCache::clear() {
  MutexLock lock(m_mutex);
  m_servers.clear();
}

void RobotsCache::setBackoff(uint32_t firstMs, uint32_t maxMs) {
  MutexLock lock(m_mutex);
  m_backoffMs = firstMs;
  m_maxBackoffMs = maxMs;
}

void RobotsCache::setRetryMs(uint32_t ms) {
  MutexLock lock(m_mutex);
  m_retryMs = ms;
}

RobotsCache& robotsCache() {
  static RobotsCache cache;
  return cache;
}

std::string robotsKey(std::string_view server, uint16_t port, bool https) {
  std::string key = toLowerAscii(server);
  if (port != defaultPort(https)) key += ":" + std::to_string(port);
  return key;
}

void readRobots(HttpConnection& connection, uint32_t linkPauseMs) {
  std::string key = robotsKey(connection.server(), connection.port(), connection.https());
  if (robotsCache().contains(key)) return;
  setThreadStatus(text::kReadingRobots);

  std::string body;
  bool whole = false;
  int status = 0;
  std::string failure;
  try {
    std::unique_ptr<HttpRequest> request = connection.openRequest("/robots.txt");
    request->send();
    status = request->statusCode();
    // A robots file that moved is followed a few steps on the same server;
    // one that moved elsewhere, or keeps moving, counts as missing.
    std::string url = std::string(connection.https() ? "https://" : "http://") + connection.server() + ":" +
                      std::to_string(connection.port()) + "/robots.txt";
    for (int hops = 0; hops < kMaxRobotsRedirects && status >= 300 && status < 400; ++hops) {
      std::string location = request->header("Location");
      if (location.empty()) break;
      url = combineUrl(url, location).url;
      HttpUrlParts parts;
      std::string parsed = url;
      if (!parseHttpUrl(parsed, parts) || parts.https != connection.https() || parts.port != connection.port() ||
          !equalsNoCase(parts.server, connection.server())) {
        break;
      }
      request = connection.openRequest(parts.object);
      request->send();
      status = request->statusCode();
    }
    if (status >= 200 && status < 300) {
      // A server that trickles its robots file must not hold the worker
      // for longer than a stalled one would.
      request->setDeadline(tickCount() + connection.session().timeouts().receiveMs);
      char block[4096];
      while (body.size() < kMaxRobotsBytes) {
        size_t n = request->read(block, sizeof block);
        if (n == 0) {
          whole = true;
          break;
        }
        body.append(block, n);
      }
    }
  } catch (const ServerUnreachable&) {
    // Not the robots file's failure but the server's: the worker reports it.
    throw;
  } catch (const PlatformError& error) {
    // A stop, the time limit or working offline says nothing of the
    // server: the file is asked for again next time.
    if (status == 0 && (error.code() == kErrorOperationCancelled || error.code() == kErrorTimeLimit ||
                        error.code() == kErrorDisconnected)) {
      return;
    }
    failure = error.what();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  // A server that fails to answer for its robots file may refuse
  // everything: nothing is fetched from it until the file can be read. A
  // missing or forbidden file (4xx) gives no rules.
  if (status == 0 || status >= 500) {
    if (failure.empty()) failure = "HTTP " + std::to_string(status);
    robotsCache().storeUnavailable(key);
    logMessage(strprintf(text::kRobotsUnavailable, connection.server().c_str(), failure.c_str()));
    return;
  }
  // A file read to its end counts whole, last line included even without a
  // line feed. A line cut by a failure or by the size cap could be a
  // shortened path that refuses far more than the file meant: it goes.
  if (!whole) {
    size_t lastBreak = body.rfind('\n');
    body.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
  }
  RobotsRules rules = status >= 200 && status < 300 ? RobotsRules::parse(body, kRobotsAgent) : RobotsRules();
  if (uint32_t delay = rules.crawlDelayMs(); delay > 0) {
    if (delay > linkPauseMs) {
      logMessage(strprintf(text::kCrawlDelayApplies, connection.server().c_str(), delay / 1000.0));
    } else {
      logMessage(strprintf(text::kLinkPauseApplies, connection.server().c_str(), delay / 1000.0, linkPauseMs / 1000.0));
    }
  }
  robotsCache().store(key, std::move(rules));
}

bool robotsAllowed(HttpConnection& connection, std::string_view object) {
  if (stealthMode()) return true;
  std::string key = robotsKey(connection.server(), connection.port(), connection.https());
  // Rules name request targets: path and query, escaped as sent.
  std::string_view target = object.substr(0, object.find('#'));
  if (robotsCache().isAllowed(key, encodeRequestTarget(target))) return true;
  logMessage(strprintf(text::kAccessDenied, displayPath(object).c_str(), connection.server().c_str()));
  return false;
}

}  // namespace sg
