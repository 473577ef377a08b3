// The robots exclusion rules of every server met while the program runs.
// Each server's "/robots.txt" is asked for once; its Disallow lines for
// this program or for all robots are applied to every later link of that
// server, unless the program runs in stealth mode.
#pragma once

#include <string>
#include <string_view>

#include "engine/server_rule_table.h"

namespace sg {

class HttpConnection;

// The process-wide robots cache, keyed by host (and port when it is not the
// scheme's default).
ServerRuleTable& robotsCache();
std::string robotsKey(std::string_view server, uint16_t port, bool https);

// Reads the connection's server's robots file unless the cache knows the
// server. Never throws: a failed read leaves the rules read so far.
void readRobots(HttpConnection& connection);
// False when the server's rules refuse the path (logged).
bool robotsAllowed(HttpConnection& connection, std::string_view path);

// The rules of one robots file, for this program or all robots; null when
// the file gives none.
std::unique_ptr<PathRuleSet> parseRobots(std::string_view body);

// The most we read of a robots file; rules beyond it are not applied.
inline constexpr size_t kMaxRobotsBytes = 4 * 1024 * 1024;

}  // namespace sg
