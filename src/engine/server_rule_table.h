// Path rules per server: the user's excluded URLs, and (a second instance)
// the robots cache. Server names are kept in lower case, and paths are
// lower-cased before matching. Thread-safe: every operation holds the
// table's own lock, and a stored rule set is never changed afterwards.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/path_rule_set.h"
#include "util/mutex.h"

namespace sg {

class ServerRuleTable {
 public:
  // Adds the URL text as a rule: its server's rule set gains its path. A
  // text that does not split into server and path is ignored.
  void addPattern(std::string_view urlText);
  // False when the server's rules cover the path.
  bool isAllowed(std::string_view server, std::string_view path) const;
  // A URL that does not split is not allowed.
  bool isAllowedUrl(std::string_view url) const;
  void load(const std::vector<std::string>& patterns);
  void save(std::vector<std::string>& out) const;
  void clear();

  // Robots cache operations: an entry with no rules still counts as known.
  bool contains(std::string_view server) const;
  void store(std::string_view server, std::unique_ptr<PathRuleSet> rules);

 private:
  void addPatternLocked(std::string_view urlText) SG_REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  std::map<std::string, std::unique_ptr<PathRuleSet>, std::less<>> m_servers SG_GUARDED_BY(m_mutex);
};

}  // namespace sg
