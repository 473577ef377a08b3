// The download controller: the root of the link tree and the owner of one
// download's settings, link registry, redirect map, exclusion rules and
// notification channel.
//
// Thread-safety: the registry, redirect map and exclusion table lock
// themselves; notify() may be called from any thread. The settings are
// written only while no download runs (typeWanted() excepted).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/crawl_settings.h"
#include "engine/download_observer.h"
#include "engine/link_record.h"
#include "engine/link_registry.h"
#include "engine/server_rule_table.h"

namespace sg {

class DownloadController : public LinkRecord {
 public:
  DownloadController();
  ~DownloadController() override;

  bool isRoot() const override { return true; }

  // The record that now stands for offered.url: offered itself when it was
  // registered (added = true), or the record registered before.
  LinkRecord* registerLink(LinkRecord& offered, bool& added);
  LinkRecord* find(std::string_view url) const { return m_registry.find(url); }

  LinkRegistry& registry() { return m_registry; }
  RedirectMap& redirects() { return m_redirects; }
  ServerRuleTable& exclusions() { return m_exclusions; }
  const ServerRuleTable& exclusions() const { return m_exclusions; }

  // Sends an update to the observer, if one is set.
  void notify(UpdateCode code, LinkRecord* record);
  void setObserver(DownloadObserver* observer);

  CrawlSettings settings;
  bool versionNotify = true;  // "Version Check" / "Notify", read at construction

  // Run state, shared between the user interface thread and the workers.
  std::atomic<bool> cancelled{false};
  std::atomic<uint32_t> deadline{0};
  std::atomic<int> objectsCompleted{0};
  std::atomic<bool> offline{false};

 private:
  LinkRegistry m_registry;
  RedirectMap m_redirects;
  ServerRuleTable m_exclusions;

  std::mutex m_notifyMutex;
  DownloadObserver* m_observer = nullptr;  // guarded by m_notifyMutex
};

}  // namespace sg
