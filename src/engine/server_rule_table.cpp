#include "engine/server_rule_table.h"

#include "util/string_utils.h"
#include "util/url_ops.h"

namespace sg {

void ServerRuleTable::addPattern(std::string_view urlText) {
  MutexLock lock(m_mutex);
  addPatternLocked(urlText);
}

void ServerRuleTable::addPatternLocked(std::string_view urlText) {
  std::string text = toLowerAscii(urlText);
  HttpUrlParts parts;
  if (!parseHttpUrl(text, parts)) return;
  auto& rules = m_servers[parts.server];
  if (!rules) rules = std::make_unique<PathRuleSet>();
  rules->add(parts.object);
}

bool ServerRuleTable::isAllowed(std::string_view server, std::string_view path) const {
  std::string lowerServer = toLowerAscii(server);
  MutexLock lock(m_mutex);
  if (m_servers.empty()) return true;
  auto it = m_servers.find(lowerServer);
  if (it == m_servers.end() || !it->second) return true;
  return !it->second->matches(toLowerAscii(path));
}

bool ServerRuleTable::isAllowedUrl(std::string_view url) const {
  std::string text(url);
  HttpUrlParts parts;
  if (!parseHttpUrl(text, parts)) return false;
  return isAllowed(parts.server, parts.object);
}

void ServerRuleTable::load(const std::vector<std::string>& patterns) {
  MutexLock lock(m_mutex);
  m_servers.clear();
  for (const std::string& pattern : patterns) addPatternLocked(pattern);
}

void ServerRuleTable::save(std::vector<std::string>& out) const {
  MutexLock lock(m_mutex);
  for (const auto& [server, rules] : m_servers) {
    if (rules) rules->list(server, out);
  }
}

void ServerRuleTable::clear() {
  MutexLock lock(m_mutex);
  m_servers.clear();
}

bool ServerRuleTable::contains(std::string_view server) const {
  std::string key = toLowerAscii(server);
  MutexLock lock(m_mutex);
  return m_servers.find(key) != m_servers.end();
}

void ServerRuleTable::store(std::string_view server, std::unique_ptr<PathRuleSet> rules) {
  std::string key = toLowerAscii(server);
  std::unique_ptr<PathRuleSet> previous;
  {
    MutexLock lock(m_mutex);
    auto& slot = m_servers[key];
    previous = std::move(slot);  // destroyed after the lock is released
    slot = std::move(rules);
  }
}

}  // namespace sg
