// The download controller: the root of the link tree and the owner of one
// download: its settings, link registry, redirect map, exclusion rules,
// work queue and worker threads, resume list, statistics and notification
// channel.
//
// Thread-safety: start(), stop() and the setters are for the thread that
// drives the download (the user interface); the registry, redirect map,
// exclusion table and work queue lock themselves; notify(), typeWanted()
// and the transfer counters may be used from any thread. The settings are
// written only while no download runs, except the two type lists that
// typeWanted() grows under its own lock.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/crawl_settings.h"
#include "engine/download_observer.h"
#include "engine/link_record.h"
#include "engine/link_registry.h"
#include "engine/server_rule_table.h"
#include "engine/work_queue.h"
#include "platform/http.h"

namespace sg {

class LinkProcessor;

// Intervals that tests shorten; the defaults are the program's own.
struct EngineTiming {
  HttpTimeouts http;
  uint32_t delayUnitMs = 1000;  // one second of `Object Delay`, and its countdown step
  // Pause after each block read from a saved copy or while offline, so that
  // reading local files does not flood the views.
  uint32_t localReadPauseMs = 250;
};

class DownloadController : public LinkRecord {
 public:
  DownloadController();
  ~DownloadController() override;

  bool isRoot() const override { return true; }
  // Runs the root hook (the new-version check) first, then the link's
  // ordinary processing.
  bool process(HttpConnection& connection, bool& timedOut) override;

  // Begins a download, or resumes the links left by the last one. False
  // when no connection could be had or workers of an earlier download are
  // still ending.
  bool start();
  // Cancels the download: pending links go to the resume list, waits for
  // the network end at once, and every worker leaves its loop at its next
  // check.
  void stop();
  void addLink(LinkRecord* record) { m_queue.addLink(record); }
  // Ordinary processing of a link by the installed processor.
  bool processLink(LinkRecord& link, HttpConnection& connection, bool& timedOut);

  // The record that now stands for offered.url(): offered itself when it
  // was registered (added = true), or the record registered before.
  LinkRecord* registerLink(LinkRecord& offered, bool& added);
  LinkRecord* find(std::string_view url) const { return m_registry.find(url); }

  LinkRegistry& registry() { return m_registry; }
  RedirectMap& redirects() { return m_redirects; }
  ServerRuleTable& exclusions() { return m_exclusions; }
  const ServerRuleTable& exclusions() const { return m_exclusions; }
  WorkQueue& workQueue() { return m_queue; }

  // Sends an update to the observer, if one is set.
  void notify(UpdateCode code, LinkRecord* record);
  void setObserver(DownloadObserver* observer);
  void setProcessor(LinkProcessor* processor) { m_processor = processor; }
  LinkProcessor* processor() const { return m_processor; }

  // Dials a connection before a download when one is needed; false when no
  // connection could be had.
  void setDialHook(std::function<bool()> hook) { m_dialHook = std::move(hook); }
  // Runs after the end of every download has been announced.
  void setDownloadEndedHook(std::function<void()> hook) { m_endedHook = std::move(hook); }
  // Runs on the worker that takes the root link, before the root is processed.
  void setRootHook(std::function<void(HttpSession&)> hook) { m_rootHook = std::move(hook); }
  void runDownloadEndedHook();

  // "%d to resume" while links wait to be resumed, else "%d pending".
  std::string pendingText() const;
  int runningThreads() const { return m_queue.running(); }
  size_t resumeCount() const { return m_queue.resumeCount(); }

  // Decides whether a MIME type is downloaded, adding types met for the
  // first time to the known (and, with `Download Unknown`, to the wanted)
  // types.
  bool typeWanted(const std::string& type);
  // Bytes per second as computed at the previous call; then computes anew
  // from what was read since.
  double transferRate();
  void addTransferBytes(double bytes);
  void addTransferTime(double milliseconds);

  // Request header lines of the current download, built by start().
  const std::string& requestHeaders() const { return m_requestHeaders; }
  static std::string buildRequestHeaders(const CrawlSettings& settings);

  CrawlSettings settings;
  // "Version Check" / "Notify": read by the root's worker, changed from the Help menu.
  std::atomic<bool> versionNotify{true};
  EngineTiming timing;

  // Run state, shared between the user interface thread and the workers.
  std::atomic<bool> cancelled{false};
  std::atomic<uint32_t> deadline{0};
  std::atomic<int> objectsCompleted{0};
  std::atomic<bool> offline{false};

 private:
  LinkRegistry m_registry;
  RedirectMap m_redirects;
  ServerRuleTable m_exclusions;
  WorkQueue m_queue;
  std::string m_requestHeaders;
  LinkProcessor* m_processor = nullptr;
  std::function<bool()> m_dialHook;
  std::function<void()> m_endedHook;
  std::function<void(HttpSession&)> m_rootHook;

  std::mutex m_typesMutex;  // guards settings.knownFileTypes and downloadFileTypes during a download

  std::mutex m_notifyMutex;
  DownloadObserver* m_observer = nullptr;  // guarded by m_notifyMutex
  double m_bytesAccumulated = 0;           // guarded by m_notifyMutex
  double m_msAccumulated = 0;              // guarded by m_notifyMutex
  double m_lastRate = 0;                   // guarded by m_notifyMutex
};

// True once the tick count has reached the deadline (ticks wrap).
bool tickReached(uint32_t deadline);

}  // namespace sg
