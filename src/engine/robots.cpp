#include "engine/robots.h"

#include "engine/thread_status.h"
#include "platform/http.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

ServerRuleTable& robotsCache() {
  static ServerRuleTable cache;
  return cache;
}

std::string robotsKey(std::string_view server, uint16_t port, bool https) {
  std::string key = toLowerAscii(server);
  if (port != defaultPort(https)) key += ":" + std::to_string(port);
  return key;
}

namespace {

// The text after "field:" less the one character that normally is a blank.
std::string_view fieldValue(std::string_view line, size_t fieldLength) {
  std::string_view rest = line.substr(fieldLength);
  if (!rest.empty()) rest.remove_prefix(1);
  return trimWhite(rest);
}

}  // namespace

std::unique_ptr<PathRuleSet> parseRobots(std::string_view body) {
  std::unique_ptr<PathRuleSet> rules;
  bool recordsApply = true;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    std::string line = toLowerAscii(body.substr(start, end == std::string_view::npos ? std::string_view::npos
                                                                                     : end - start));
    start = end == std::string_view::npos ? body.size() : end + 1;
    static constexpr std::string_view kAgent = "user-agent:";
    static constexpr std::string_view kDisallow = "disallow:";
    if (line.rfind(kAgent, 0) == 0) {
      std::string_view agent = fieldValue(line, kAgent.size());
      recordsApply = agent.find("sitegleaner") != std::string_view::npos || agent.find('*') != std::string_view::npos;
    } else if (line.rfind(kDisallow, 0) == 0 && recordsApply) {
      std::string_view path = fieldValue(line, kDisallow.size());
      if (path.empty()) continue;
      if (!rules) rules = std::make_unique<PathRuleSet>();
      rules->add(path);
    }
  }
  return rules;
}

void readRobots(HttpConnection& connection) {
  std::string key = robotsKey(connection.server(), connection.port(), connection.https());
  if (robotsCache().contains(key)) return;
  setThreadStatus(text::kReadingRobots);

  std::string body;
  bool whole = false;
  try {
    std::unique_ptr<HttpRequest> request = connection.openRequest("/robots.txt");
    request->send();
    if (request->statusCode() == 200) {
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
  } catch (const std::exception&) {
    // The rules read before the failure stay in force.
  }
  // A file read to its end counts whole, last line included even without a
  // line feed. A line cut by a failure or by the size cap could be a
  // shortened path that refuses far more than the file meant: it goes.
  if (!whole) {
    size_t lastBreak = body.rfind('\n');
    body.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
  }
  robotsCache().store(key, parseRobots(body));
}

bool robotsAllowed(HttpConnection& connection, std::string_view path) {
  if (stealthMode()) return true;
  std::string key = robotsKey(connection.server(), connection.port(), connection.https());
  if (robotsCache().isAllowed(key, path)) return true;
  logMessage(strprintf(text::kAccessDenied, std::string(path).c_str(), connection.server().c_str()));
  return false;
}

}  // namespace sg
