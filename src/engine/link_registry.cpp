#include "engine/link_registry.h"

#include "engine/link_record.h"

namespace sg {

namespace {
std::string_view withoutFragment(std::string_view url) { return url.substr(0, url.find('#')); }
}  // namespace

LinkRegistry::Registered LinkRegistry::registerLink(LinkRecord& offered, int maxCrawlDepth) {
  std::string_view key = withoutFragment(offered.url());
  MutexLock lock(m_mutex);
  auto it = m_records.find(key);
  if (it != m_records.end()) return {it->second, false};
  // Kept in the tree so that "Show All" can show it, but never fetched.
  if (offered.depth > maxCrawlDepth) offered.setInclude(false);
  m_records.emplace(key, &offered);
  offered.m_registered = true;
  return {&offered, true};
}

LinkRecord* LinkRegistry::find(std::string_view url) const {
  std::string_view key = withoutFragment(url);
  MutexLock lock(m_mutex);
  auto it = m_records.find(key);
  return it == m_records.end() ? nullptr : it->second;
}

std::string_view LinkRegistry::ownedKey(std::string_view text) {
  m_ownedKeys.emplace_back(text);
  return m_ownedKeys.back();
}

void LinkRegistry::alias(std::string_view oldUrl, std::string_view newUrl) {
  MutexLock lock(m_mutex);
  auto it = m_records.find(withoutFragment(oldUrl));
  if (it == m_records.end()) return;
  LinkRecord* record = it->second;
  std::string_view key = withoutFragment(newUrl);
  if (m_records.find(key) == m_records.end()) m_records.emplace(ownedKey(key), record);
}

void LinkRegistry::detach(LinkRecord& record) {
  const std::string& url = record.url();
  MutexLock lock(m_mutex);
  auto it = m_records.find(withoutFragment(url));
  if (it == m_records.end() || it->second != &record || it->first.data() != url.data()) return;
  std::string_view owned = ownedKey(it->first);
  m_records.erase(it);
  m_records.emplace(owned, &record);
}

void LinkRegistry::clear() {
  MutexLock lock(m_mutex);
  m_records.clear();
  m_ownedKeys.clear();
}

size_t LinkRegistry::size() const {
  MutexLock lock(m_mutex);
  return m_records.size();
}

bool RedirectMap::lookup(std::string_view url, std::string& target) const {
  MutexLock lock(m_mutex);
  if (m_map.empty()) return false;
  auto it = m_map.find(url);
  if (it == m_map.end()) return false;
  target = it->second;
  return true;
}

void RedirectMap::record(std::string_view from, std::string_view to) {
  MutexLock lock(m_mutex);
  m_map.insert_or_assign(std::string(from), std::string(to));
}

void RedirectMap::clear() {
  MutexLock lock(m_mutex);
  m_map.clear();
}

size_t RedirectMap::size() const {
  MutexLock lock(m_mutex);
  return m_map.size();
}

}  // namespace sg
