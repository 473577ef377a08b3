// The crawl journal: what a download has done so far, kept on disk as it
// goes, so that a download stopped, killed or cut by a power failure can be
// continued by the next run, and so that a run over a finished mirror can
// ask servers for changes only.
//
// One SQLite database per root, in a hidden folder below the save
// directory. It holds the root and settings of the download, one row per
// link (its parent, depth, state and, once settled, its status), and for
// every saved URL the validators the server sent (ETag, Last-Modified).
//
// Thread-safety: open(), close(), beginDownload(), links() and the other
// calls between downloads are for the thread that drives the download.
// queued(), taken(), settled(), validators() and the outcome counters may be
// called from any worker. Workers only append to a list; a writer thread of
// the journal's own commits the list in batches, in the order it was
// written, so whatever a crash leaves on disk is a consistent beginning of
// the download: a link is never marked settled before the links it found.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/link_status.h"
#include "util/clock.h"
#include "util/mutex.h"

struct sqlite3;

namespace sg {

class LinkRecord;

class CrawlJournal {
 public:
  // Where a link row stands.
  enum class State : int { Queued = 0, InHand = 1, Settled = 2, Refused = 3 };

  struct Link {
    int64_t id = 0;
    int64_t parent = 0;
    std::string url;       // where the link is now (a server may have moved it)
    std::string firstUrl;  // the address it was found under
    int depth = 0;
    bool inlineLink = false;
    State state = State::Queued;
    LinkStatus status = LinkStatus::Pending;
    std::string information;
    uint64_t size = 0;
  };

  struct Validators {
    std::string etag;
    FileTime lastModified = 0;
  };

  // A URL an earlier download saved, and where.
  struct Saved {
    Validators validators;
    std::string localName;  // relative to the save directory
  };

  // What a download over an earlier mirror found, by link.
  struct Outcomes {
    int added = 0, changed = 0, unchanged = 0, gone = 0, failed = 0;
  };

  CrawlJournal();
  ~CrawlJournal();
  CrawlJournal(const CrawlJournal&) = delete;
  CrawlJournal& operator=(const CrawlJournal&) = delete;

  // The journal's folder for a root below a save directory.
  static std::string directoryFor(const std::string& saveDirectory, const std::string& rootUrl);

  // Opens the journal in directory, creating it when there is none. False,
  // with error saying why, when the file cannot be read or written or
  // belongs to another root; the file is then left as it is.
  bool open(const std::string& directory, const std::string& rootUrl, std::string& error);
  bool isOpen() const { return m_open.load(); }
  const std::string& directory() const { return m_directory; }
  // Writes what is waiting and closes the database.
  void close();

  // Links of the last download not yet settled (queued or in hand).
  size_t unsettledCount() const;
  // Every link row, in the order the links were found.
  std::vector<Link> links() const;
  // The settings text the last download was started with.
  std::string settingsText() const;

  // A new download: the links of the last one are forgotten; the
  // validators of saved URLs stay. settingsText describes the settings.
  void beginDownload(const std::string& settingsText);
  // Continues the download whose rows links() gave: records made from those
  // rows are known by the row ids from here on.
  void resumeDownload(const std::vector<std::pair<const LinkRecord*, int64_t>>& known);

  // A link joined the queue (again, after a move or time-out).
  void queued(const LinkRecord& record);
  // A worker took the link.
  void taken(const LinkRecord& record);
  // The link was dealt with; refused when the server's robots rules kept
  // it from being requested. httpCode is the status of its last response
  // (0 for none).
  void settled(const LinkRecord& record, bool refused, int httpCode, const std::string& etag);

  // The validators stored for a URL saved by an earlier download.
  bool validators(std::string_view url, Validators& out) const;
  // The URL an earlier download saved at localName, or null.
  const std::string* urlSavedAt(const std::string& localName) const;
  // True when the download runs over a mirror an earlier download saved.
  bool updating() const { return !m_saved.empty(); }
  Outcomes outcomes() const;

  // Commits everything written so far; returns once it is on disk.
  void flush();
  // How long the writer lets links gather before it commits them; the
  // default keeps the commits cheap, tests make it shorter.
  void setBatchInterval(uint32_t ms) { m_batchMs = ms; }

 private:
  enum class ChangeKind { Queue, Take, Settle, Save, Forget };
  struct Op;
  int64_t idOf(const LinkRecord& record) SG_REQUIRES(m_mutex);
  // A change of the given kind to record's row, its id (and for a queued
  // link its parent's) filled in.
  Op change(ChangeKind kind, const LinkRecord& record);
  struct Statements;
  void append(Op op);
  void writerLoop();
  void writeBatch();
  void stopWriter();
  bool exec(const char* sql, std::string* error = nullptr) const SG_REQUIRES(m_dbMutex);
  std::string meta(const char* key) const SG_REQUIRES(m_dbMutex);
  void setMeta(const char* key, const std::string& value) SG_REQUIRES(m_dbMutex);
  void loadSaved() SG_REQUIRES(m_dbMutex);
  void closeDatabase() SG_REQUIRES(m_dbMutex);

  // Lock order: m_dbMutex before m_mutex, so that batches reach the file in
  // the order they were written.
  mutable Mutex m_dbMutex;
  sqlite3* m_db SG_GUARDED_BY(m_dbMutex) = nullptr;
  std::atomic<bool> m_open{false};  // m_db is set; read by workers without the lock
  std::unique_ptr<Statements> m_statements SG_GUARDED_BY(m_dbMutex);
  std::string m_directory;
  std::string m_rootUrl;
  std::atomic<uint32_t> m_batchMs{250};

  // Read without a lock by workers: filled only between downloads.
  std::unordered_map<std::string, Saved> m_saved;
  std::unordered_map<std::string_view, const std::string*> m_savedNames;  // local name to a key of m_saved

  Mutex m_mutex;
  std::condition_variable m_wake;
  std::vector<Op> m_ops SG_GUARDED_BY(m_mutex);
  std::unordered_map<const LinkRecord*, int64_t> m_ids SG_GUARDED_BY(m_mutex);
  int64_t m_lastId SG_GUARDED_BY(m_mutex) = 0;
  bool m_stopWriter SG_GUARDED_BY(m_mutex) = false;
  std::thread m_writer;

  std::atomic<int> m_added{0}, m_changed{0}, m_unchanged{0}, m_gone{0}, m_failed{0};
};

}  // namespace sg
