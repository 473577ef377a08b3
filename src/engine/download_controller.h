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
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/crawl_journal.h"
#include "engine/crawl_settings.h"
#include "engine/download_observer.h"
#include "engine/link_record.h"
#include "engine/link_registry.h"
#include "engine/server_rule_table.h"
#include "engine/work_queue.h"
#include "platform/http.h"
#include "util/mutex.h"

namespace sg {

class LinkProcessor;

// Intervals that tests shorten; the defaults are the program's own.
struct EngineTiming {
  HttpTimeouts http;
  uint32_t delayUnitMs = 1000;  // one second of `Object Delay`, and its countdown step
  // Pause after each block read from a saved copy or while offline, so that
  // reading local files does not flood the views.
  uint32_t localReadPauseMs = 250;
  // How long the crawl journal lets changes gather before it commits them.
  uint32_t journalBatchMs = 250;
};

class DownloadController : public LinkRecord {
 public:
  DownloadController();
  ~DownloadController() override;

  bool isRoot() const override { return true; }
  // Runs the root hook (the new-version check) first, then the link's
  // ordinary processing.
  LinkOutcome process(HttpConnection& connection) override;

  // Begins a download, or resumes the links left by the last one. False
  // when no connection could be had or workers of an earlier download are
  // still ending.
  bool start();
  // Cancels the download: pending links go to the resume list, waits for
  // the network end at once, and every worker leaves its loop at its next
  // check.
  void stop();
  void addLink(LinkRecord* record) { m_queue.addLink(record); }
  // Puts links found during a stop on the resume list (and in the journal).
  void resumeLater(const std::vector<LinkRecord*>& records);
  // Ordinary processing of a link by the installed processor.
  LinkOutcome processLink(LinkRecord& link, HttpConnection& connection);

  // The record that now stands for offered.url(): offered itself when it
  // was registered (added), or the record registered before.
  LinkRegistry::Registered registerLink(LinkRecord& offered);
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

  // Servers of this download that could not be reached ("host[:port]" as
  // robotsKey() spells them), with the reason.
  void markUnreachable(const std::string& key, const std::string& reason);
  bool unreachableServer(const std::string& key, std::string& reason) const;

  // Old local files of a link that a server moved, for what is not a page
  // (an image, a style sheet): once the link is saved at its new place,
  // its copy goes to the old names too, which pages saved before name.
  void rememberMovedFile(const LinkRecord* link, std::string oldFile);
  std::vector<std::string> takeMovedFiles(const LinkRecord* link);

  // "%d to resume" while links wait to be resumed, else "%d pending".
  std::string pendingText() const;
  int runningThreads() const { return m_queue.running(); }
  size_t resumeCount() const { return m_queue.resumeCount(); }

  // The crawl journal of the current root. openJournal() opens it below the
  // save directory (only when files are saved), unless it is open already;
  // a journal that cannot be used is reported in the log once and the
  // download goes on without one.
  CrawlJournal& journal() { return m_journal; }
  const CrawlJournal& journal() const { return m_journal; }
  bool openJournal();
  // Rebuilds the link tree of the stopped download the journal holds and
  // puts its unsettled links on the resume list, for start() to continue;
  // returns how many.
  size_t resumeFromJournal();
  // A worker is done with link: records in the journal how it ended
  // (refused: the robots rules kept it from being requested). A read that a
  // stop cut short is no verdict: the link goes back to the resume list,
  // Pending. Must be called before the link is queued again or announced,
  // by the worker that holds it.
  void settle(LinkRecord& link, bool refused);
  // The URL an earlier download saved at the local file that url would
  // have (as a page, or as an inline object), when that is another URL.
  const std::string* urlSavedAt(const CombinedUrl& url, bool inlineLink) const;
  // "Update: ... new, ... changed, ..." when the download ran over a mirror
  // an earlier one saved; "" otherwise.
  std::string updateSummary() const;

  // Decides whether a MIME type is downloaded, adding types met for the
  // first time to the known (and, with `Download Unknown`, to the wanted)
  // types.
  bool typeWanted(const std::string& type);
  // Bytes per second as computed at the previous call; then computes anew
  // from what was read since.
  double transferRate();
  void addTransferBytes(double bytes);
  void addTransferTime(double milliseconds);

  // The cookies of the download, shared by its workers' sessions: emptied
  // by a fresh start() and filled from `Cookie File`, kept while resuming.
  HttpCookieJar& cookies() { return m_cookies; }
  // A link that looks like logging out (its URL, or a text given to
  // noteLogoutText()) while cookies are in use and `Skip Logout Links`
  // holds: it becomes Skipped, saying why, is logged and announced, and
  // answers true; the worker settles it unrequested.
  bool skipAsLogout(LinkRecord& link);
  // A page links to url with a text that says log out.
  void noteLogoutText(std::string url);

  // Request header lines of the current download, built by start().
  const std::string& requestHeaders() const { return m_requestHeaders; }

  // The server (scheme, host, port) of the URL the download was started
  // with. Only it gets the site credentials, and a root that a server moves
  // elsewhere counts as having left it. A redirection never changes it.
  bool isEntryServer(bool https, std::string_view server, uint16_t port) const;
  // Server depth of the root at server: 0 while no download runs (the user
  // is choosing the root), else 1 once a move took it off the entry host.
  int rootServerDepth(std::string_view server) const;
  // A root URL was given (not a server's move): takes its credential, if it
  // carries one, out of url. Used by LinkRecord::admit().
  void takeRootCredential(std::string& url);
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

  // What the current download left undone, for its end report; reset by
  // start().
  enum class Cut : int { None, TimeLimit, SizeLimit };
  std::atomic<Cut> cutBy{Cut::None};  // the first download-wide limit reached
  std::atomic<int> unsavedFiles{0};   // links read but not written (disk full, no access)
  std::atomic<int> placeholdersWritten{0};
  std::atomic<uint64_t> bytesRead{0};  // body bytes from the network

  // The time limit or the size limit of the whole download, once reached
  // (and recorded in cutBy); Cut::None before.
  Cut downloadLimitReached();
  // The credential taken from a root URL of the form user:password@host,
  // Base64 as the settings hold one; it stands in for `Password` on the
  // entry server. The URL itself keeps no credential.
  const std::string& urlCredential() const { return m_urlCredential; }

 private:
  // First, so that it outlives the workers' connections that use it.
  HttpCookieJar m_cookies;
  LinkRegistry m_registry;
  RedirectMap m_redirects;
  ServerRuleTable m_exclusions;
  WorkQueue m_queue;
  std::string m_requestHeaders;
  // Set by start() when a download begins afresh; kept while it resumes.
  struct EntryServer {
    bool https = false;
    std::string host;
    uint16_t port = 0;
  } m_entry;
  std::string m_urlCredential;  // written only while no download runs
  LinkProcessor* m_processor = nullptr;
  CrawlJournal m_journal;
  std::string m_journalRefused;  // the journal folder found unusable, said once
  std::function<bool()> m_dialHook;
  std::function<void()> m_endedHook;
  std::function<void(HttpSession&)> m_rootHook;

  Mutex m_typesMutex;  // guards settings.knownFileTypes and downloadFileTypes during a download

  Mutex m_logoutMutex;
  std::set<std::string> m_logoutTexts SG_GUARDED_BY(m_logoutMutex);  // URLs of links that say log out

  Mutex m_movedMutex;
  std::multimap<const LinkRecord*, std::string> m_movedFiles SG_GUARDED_BY(m_movedMutex);

  mutable Mutex m_unreachableMutex;
  std::map<std::string, std::string> m_unreachable SG_GUARDED_BY(m_unreachableMutex);

  Mutex m_notifyMutex;
  DownloadObserver* m_observer SG_GUARDED_BY(m_notifyMutex) = nullptr;
  // Not the notification lock: workers hold that while they copy a record
  // for the window, and the window reads the rate every turn.
  Mutex m_rateMutex;
  double m_bytesAccumulated SG_GUARDED_BY(m_rateMutex) = 0;
  double m_msAccumulated SG_GUARDED_BY(m_rateMutex) = 0;
  double m_lastRate SG_GUARDED_BY(m_rateMutex) = 0;
};

// True once the tick count has reached the deadline (ticks wrap).
bool tickReached(uint32_t deadline);
// Does the URL say log out, sign out or log off (as one word or two)?
bool looksLikeLogout(std::string_view url);

}  // namespace sg
