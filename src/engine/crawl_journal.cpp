#include "engine/crawl_journal.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>

#include "engine/link_record.h"
#include "util/string_utils.h"

namespace sg {

namespace {

constexpr const char* kFormat = "1";
// A batch is committed at the latest when this many changes are waiting.
constexpr size_t kBatchChanges = 1024;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS links(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, url TEXT NOT NULL,"
    " first_url TEXT NOT NULL, depth INTEGER NOT NULL, inline INTEGER NOT NULL, state INTEGER NOT NULL,"
    " status INTEGER NOT NULL, information TEXT NOT NULL DEFAULT '', size INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS saved(url TEXT PRIMARY KEY, etag TEXT NOT NULL, last_modified INTEGER NOT NULL,"
    " local_name TEXT NOT NULL);";

std::string columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, column)) : "";
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

}  // namespace

// One change waiting for the writer: the link row as it is to be written,
// and for a saved URL what the server said of it and where it went.
struct CrawlJournal::Op {
  ChangeKind kind = ChangeKind::Queue;
  Link link;
  Validators validators;
  std::string localName;
};

struct CrawlJournal::Statements {
  sqlite3_stmt* queue = nullptr;
  sqlite3_stmt* take = nullptr;
  sqlite3_stmt* settle = nullptr;
  sqlite3_stmt* save = nullptr;
  sqlite3_stmt* forget = nullptr;

  ~Statements() {
    for (sqlite3_stmt* statement : {queue, take, settle, save, forget}) sqlite3_finalize(statement);
  }
  bool prepare(sqlite3* db) {
    auto one = [db](const char* sql, sqlite3_stmt** out) {
      return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, out, nullptr) == SQLITE_OK;
    };
    return one("INSERT INTO links(id, parent, url, first_url, depth, inline, state, status)"
               " VALUES(?1, ?2, ?3, ?3, ?4, ?5, 0, 0)"
               " ON CONFLICT(id) DO UPDATE SET url = excluded.url, state = 0",
               &queue) &&
           one("UPDATE links SET state = 1 WHERE id = ?1", &take) &&
           one("UPDATE links SET url = ?2, state = ?3, status = ?4, information = ?5, size = ?6 WHERE id = ?1",
               &settle) &&
           one("INSERT OR REPLACE INTO saved(url, etag, last_modified, local_name) VALUES(?1, ?2, ?3, ?4)", &save) &&
           one("DELETE FROM saved WHERE url = ?1", &forget);
  }
};

CrawlJournal::CrawlJournal() = default;

CrawlJournal::~CrawlJournal() { close(); }

std::string CrawlJournal::directoryFor(const std::string& saveDirectory, const std::string& rootUrl) {
  // Named by the root's host for whoever looks into the folder, and by a
  // hash of the whole root so that two roots of one host never share it.
  std::string_view rest(rootUrl);
  if (size_t scheme = rest.find("://"); scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  std::string host(rest.substr(0, std::min(rest.find('/'), size_t{80})));
  for (char& c : host) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!plain) c = '_';
  }
  std::string base = saveDirectory;
  if (!base.empty() && base.back() != '/') base += '/';
  return base + ".sitegleaner/" + host + strprintf("-%016llx", static_cast<unsigned long long>(fnv1aHash(rootUrl)));
}

bool CrawlJournal::exec(const char* sql, std::string* error) const {
  char* message = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error) *error = message ? message : sqlite3_errmsg(m_db);
  sqlite3_free(message);
  return false;
}

std::string CrawlJournal::meta(const char* key) const {
  sqlite3_stmt* statement = nullptr;
  std::string value;
  if (sqlite3_prepare_v2(m_db, "SELECT value FROM meta WHERE key = ?1", -1, &statement, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(statement, 1, key, -1, SQLITE_STATIC);
    if (sqlite3_step(statement) == SQLITE_ROW) value = columnText(statement, 0);
  }
  sqlite3_finalize(statement);
  return value;
}

void CrawlJournal::setMeta(const char* key, const std::string& value) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)", -1, &statement, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(statement, 1, key, -1, SQLITE_STATIC);
    bindText(statement, 2, value);
    sqlite3_step(statement);
  }
  sqlite3_finalize(statement);
}

bool CrawlJournal::open(const std::string& directory, const std::string& rootUrl, std::string& error) {
  close();
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  MutexLock db(m_dbMutex);
  const std::string file = directory + "/journal.db";
  if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  sqlite3_busy_timeout(m_db, 5000);
  // The write-ahead log keeps every committed batch through a crash of the
  // program; a commit writes without waiting for the disk, so batches stay
  // cheap, and the database is whole after a power failure too.
  if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &error) || !exec(kSchema, &error)) {
    closeDatabase();
    return false;
  }
  std::string why;
  const std::string format = meta("format");
  const std::string root = meta("root");
  if (!format.empty() && format != kFormat) {
    why = "it was written by another version (format " + format + ")";
  } else if (!root.empty() && root != rootUrl) {
    why = "it belongs to a download of " + root;
  } else {
    if (root.empty()) {
      setMeta("format", kFormat);
      setMeta("root", rootUrl);
    }
    m_statements = std::make_unique<Statements>();
    if (!m_statements->prepare(m_db)) why = sqlite3_errmsg(m_db);
  }
  if (!why.empty()) {
    error = why;
    closeDatabase();
    return false;
  }
  m_open = true;
  m_directory = directory;
  m_rootUrl = rootUrl;
  {
    MutexLock lock(m_mutex);
    m_stopWriter = false;
  }
  m_writer = std::thread(&CrawlJournal::writerLoop, this);
  return true;
}

void CrawlJournal::stopWriter() {
  {
    MutexLock lock(m_mutex);
    m_stopWriter = true;
  }
  m_wake.notify_all();
  if (m_writer.joinable()) m_writer.join();
}

void CrawlJournal::closeDatabase() {
  m_open = false;
  m_statements.reset();
  if (m_db) sqlite3_close(m_db);
  m_db = nullptr;
}

void CrawlJournal::close() {
  stopWriter();
  MutexLock db(m_dbMutex);
  closeDatabase();
  MutexLock lock(m_mutex);
  m_ops.clear();
  m_ids.clear();
}

size_t CrawlJournal::unsettledCount() const {
  MutexLock db(m_dbMutex);
  if (!m_db) return 0;
  sqlite3_stmt* statement = nullptr;
  size_t count = 0;
  if (sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM links WHERE state < 2", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    count = static_cast<size_t>(sqlite3_column_int64(statement, 0));
  }
  sqlite3_finalize(statement);
  return count;
}

std::vector<CrawlJournal::Link> CrawlJournal::links() const {
  MutexLock db(m_dbMutex);
  std::vector<Link> links;
  if (!m_db) return links;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db,
                         "SELECT id, parent, url, first_url, depth, inline, state, status, information, size"
                         " FROM links ORDER BY id",
                         -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      Link link;
      link.id = sqlite3_column_int64(statement, 0);
      link.parent = sqlite3_column_int64(statement, 1);
      link.url = columnText(statement, 2);
      link.firstUrl = columnText(statement, 3);
      link.depth = sqlite3_column_int(statement, 4);
      link.inlineLink = sqlite3_column_int(statement, 5) != 0;
      link.state = static_cast<State>(sqlite3_column_int(statement, 6));
      link.status = static_cast<LinkStatus>(sqlite3_column_int(statement, 7));
      link.information = columnText(statement, 8);
      link.size = static_cast<uint64_t>(sqlite3_column_int64(statement, 9));
      links.push_back(std::move(link));
    }
  }
  sqlite3_finalize(statement);
  return links;
}

std::string CrawlJournal::settingsText() const {
  MutexLock db(m_dbMutex);
  return m_db ? meta("settings") : std::string();
}

void CrawlJournal::loadSaved() {
  m_savedNames.clear();
  m_saved.clear();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db, "SELECT url, etag, last_modified, local_name FROM saved", -1, &statement, nullptr) ==
      SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      Saved saved{{columnText(statement, 1), static_cast<FileTime>(sqlite3_column_int64(statement, 2))},
                  columnText(statement, 3)};
      m_saved[columnText(statement, 0)] = std::move(saved);
    }
  }
  sqlite3_finalize(statement);
  for (const auto& [url, saved] : m_saved) m_savedNames.emplace(saved.localName, &url);
}

void CrawlJournal::beginDownload(const std::string& settingsText) {
  MutexLock db(m_dbMutex);
  if (!m_db) return;
  {
    MutexLock lock(m_mutex);
    m_ops.clear();
    m_ids.clear();
    m_lastId = 0;
  }
  exec("DELETE FROM links");
  setMeta("settings", settingsText);
  loadSaved();
  m_added = m_changed = m_unchanged = m_gone = m_failed = 0;
}

void CrawlJournal::resumeDownload(const std::vector<std::pair<const LinkRecord*, int64_t>>& known) {
  MutexLock db(m_dbMutex);
  if (!m_db) return;
  loadSaved();
  MutexLock lock(m_mutex);
  m_ids.clear();
  m_lastId = 0;
  for (const auto& [record, id] : known) {
    m_ids[record] = id;
    m_lastId = std::max(m_lastId, id);
  }
  // Rows that no record stands for (a link refused by today's settings)
  // keep their ids.
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db, "SELECT MAX(id) FROM links", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    m_lastId = std::max<int64_t>(m_lastId, sqlite3_column_int64(statement, 0));
  }
  sqlite3_finalize(statement);
}

int64_t CrawlJournal::idOf(const LinkRecord& record) {
  auto [it, added] = m_ids.try_emplace(&record, 0);
  if (added) it->second = ++m_lastId;
  return it->second;
}

void CrawlJournal::append(Op op) {
  bool full = false;
  {
    MutexLock lock(m_mutex);
    m_ops.push_back(std::move(op));
    full = m_ops.size() >= kBatchChanges;
  }
  if (full) m_wake.notify_one();
}

CrawlJournal::Op CrawlJournal::change(ChangeKind kind, const LinkRecord& record) {
  Op op;
  op.kind = kind;
  MutexLock lock(m_mutex);
  op.link.id = idOf(record);
  if (kind == ChangeKind::Queue) op.link.parent = record.parent ? idOf(*record.parent) : 0;
  return op;
}

void CrawlJournal::queued(const LinkRecord& record) {
  if (!isOpen()) return;
  Op op = change(ChangeKind::Queue, record);
  op.link.url = record.url();
  op.link.depth = record.depth;
  op.link.inlineLink = record.inlineLink;
  append(std::move(op));
}

void CrawlJournal::taken(const LinkRecord& record) {
  if (isOpen()) append(change(ChangeKind::Take, record));
}

void CrawlJournal::settled(const LinkRecord& record, bool refused, int httpCode, const std::string& etag) {
  if (!isOpen()) return;
  const bool savedNow =
      record.status == LinkStatus::Complete && httpCode >= 200 && httpCode < 300 && !record.localSource;
  const bool savedBefore = m_saved.count(record.url()) != 0;
  const bool gone = savedBefore && (httpCode == 404 || httpCode == 410);
  if (updating()) {
    if (httpCode == 304) {
      ++m_unchanged;
    } else if (gone) {
      ++m_gone;
    } else if (savedNow) {
      ++(savedBefore ? m_changed : m_added);
    } else if (record.status == LinkStatus::Failed) {
      ++m_failed;
    }
  }
  Op op = change(ChangeKind::Settle, record);
  op.link.url = record.url();
  op.link.state = refused ? State::Refused : State::Settled;
  op.link.status = record.status;
  op.link.information = record.information;
  op.link.size = record.receivedSize;
  append(op);
  if (savedNow) {
    op.kind = ChangeKind::Save;
    op.validators = Validators{etag, record.lastModified};
    op.localName = record.localName();
    append(std::move(op));
  } else if (gone) {
    op.kind = ChangeKind::Forget;
    append(std::move(op));
  }
}

bool CrawlJournal::validators(std::string_view url, Validators& out) const {
  auto it = m_saved.find(std::string(url));
  if (it == m_saved.end()) return false;
  out = it->second.validators;
  return true;
}

const std::string* CrawlJournal::urlSavedAt(const std::string& localName) const {
  auto it = m_savedNames.find(localName);
  return it == m_savedNames.end() ? nullptr : it->second;
}

CrawlJournal::Outcomes CrawlJournal::outcomes() const {
  return Outcomes{m_added.load(), m_changed.load(), m_unchanged.load(), m_gone.load(), m_failed.load()};
}

void CrawlJournal::writerLoop() {
  while (true) {
    bool stopping = false;
    {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_batchMs.load());
      MutexLock lock(m_mutex);
      while (!m_stopWriter && m_ops.size() < kBatchChanges && lock.waitUntil(m_wake, deadline)) {
      }
      stopping = m_stopWriter;
    }
    writeBatch();
    if (stopping) return;
  }
}

void CrawlJournal::flush() { writeBatch(); }

void CrawlJournal::writeBatch() {
  MutexLock db(m_dbMutex);
  std::vector<Op> ops;
  {
    MutexLock lock(m_mutex);
    ops.swap(m_ops);
  }
  if (ops.empty() || !m_db) return;
  exec("BEGIN");
  for (const Op& op : ops) {
    sqlite3_stmt* statement = nullptr;
    switch (op.kind) {
      case ChangeKind::Queue:
        statement = m_statements->queue;
        sqlite3_bind_int64(statement, 2, op.link.parent);
        bindText(statement, 3, op.link.url);
        sqlite3_bind_int(statement, 4, op.link.depth);
        sqlite3_bind_int(statement, 5, op.link.inlineLink ? 1 : 0);
        break;
      case ChangeKind::Take:
        statement = m_statements->take;
        break;
      case ChangeKind::Settle:
        statement = m_statements->settle;
        bindText(statement, 2, op.link.url);
        sqlite3_bind_int(statement, 3, static_cast<int>(op.link.state));
        sqlite3_bind_int(statement, 4, static_cast<int>(op.link.status));
        bindText(statement, 5, op.link.information);
        sqlite3_bind_int64(statement, 6, static_cast<sqlite3_int64>(op.link.size));
        break;
      case ChangeKind::Save:
        statement = m_statements->save;
        bindText(statement, 1, op.link.url);
        bindText(statement, 2, op.validators.etag);
        sqlite3_bind_int64(statement, 3, static_cast<sqlite3_int64>(op.validators.lastModified));
        bindText(statement, 4, op.localName);
        break;
      case ChangeKind::Forget:
        statement = m_statements->forget;
        bindText(statement, 1, op.link.url);
        break;
    }
    if (op.kind != ChangeKind::Save && op.kind != ChangeKind::Forget) sqlite3_bind_int64(statement, 1, op.link.id);
    sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  exec("COMMIT");
}

}  // namespace sg
