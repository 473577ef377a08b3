// The robots rules of every server met while the program runs. Each
// server's "/robots.txt" is asked for once; the group for this program (or
// for all robots) is applied to every later link of that server, unless the
// program runs in stealth mode, and its Crawl-delay spaces the requests of
// all workers to that server.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/robots_rules.h"
#include "util/mutex.h"

namespace sg {

class HttpConnection;

// The longest hold after refusals that said nothing of how long.
inline constexpr uint32_t kMaxBackoffMs = 60 * 1000;

// Rules by server, and what each server asked of the pace of requests;
// thread-safe. A server whose robots file could not be
// read (a 5xx answer, a failure on the way) gets no permission at all
// until the retry time has passed; then the file is asked for again.
class RobotsCache {
 public:
  bool contains(std::string_view server) const;
  void store(std::string_view server, RobotsRules rules);
  // Refuses everything until the retry time, then counts as unknown.
  void storeUnavailable(std::string_view server);
  // Allowed when the server is unknown.
  bool isAllowed(std::string_view server, std::string_view path) const;
  // How long a request to the server must wait for its turn: until a hold
  // the server asked for ends and, with crawlDelay, the server's Crawl-delay
  // after the last turn. The turn is taken; 0 when there is no need to wait.
  uint32_t takeTurn(std::string_view server, bool crawlDelay = true);
  // The server answered "429 Too Many Requests" or "503": its requests are
  // held for retryAfterMs when it said how long, or else for a time that
  // doubles from a second up to a minute with every refusal in a row.
  // Returns the hold.
  uint32_t holdAfterRefusal(std::string_view server, std::optional<uint32_t> retryAfterMs);
  // The server answered otherwise: the next refusal holds for a second again.
  void answered(std::string_view server);
  void clear();
  // How long an unreadable robots file refuses its server. Tests shorten it.
  void setRetryMs(uint32_t ms);
  // The first and the longest hold after refusals that said nothing of how
  // long (1 s and a minute). Tests shorten them.
  void setBackoff(uint32_t firstMs, uint32_t maxMs);

 private:
  struct Entry {
    std::shared_ptr<const RobotsRules> rules;
    bool unavailable = false;
    uint32_t retryAt = 0;   // tick count; for an unavailable file
    uint32_t nextTurn = 0;  // tick count of the next request the delay allows
    bool turnTaken = false;
    uint32_t holdUntil = 0;  // tick count; while held
    bool held = false;
    int refusals = 0;  // 429 and 503 answers in a row
  };
  const Entry* findLocked(std::string_view server) const SG_REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  std::map<std::string, Entry, std::less<>> m_servers SG_GUARDED_BY(m_mutex);
  uint32_t m_retryMs SG_GUARDED_BY(m_mutex) = 60 * 1000;
  uint32_t m_backoffMs SG_GUARDED_BY(m_mutex) = 1000;
  uint32_t m_maxBackoffMs SG_GUARDED_BY(m_mutex) = kMaxBackoffMs;
};

// The process-wide robots cache, keyed by host (and port when it is not the
// scheme's default).
RobotsCache& robotsCache();
std::string robotsKey(std::string_view server, uint16_t port, bool https);

// Reads the connection's server's robots file unless the cache knows the
// server. Throws only ServerUnreachable, when the connection finds no
// server. linkPauseMs is the download's own pause between two links of a
// worker, named in the log beside a Crawl-delay.
void readRobots(HttpConnection& connection, uint32_t linkPauseMs = 0);
// False when the server's rules refuse the object (logged).
bool robotsAllowed(HttpConnection& connection, std::string_view object);

// How many times a moved robots file is followed.
inline constexpr int kMaxRobotsRedirects = 5;
// The product token a robots file names this program by.
inline constexpr std::string_view kRobotsAgent = "sitegleaner";

}  // namespace sg
