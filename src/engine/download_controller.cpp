#include "engine/download_controller.h"

#include <algorithm>
#include <unordered_map>

#include "engine/link_processor.h"
#include "engine/local_naming.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

bool tickReached(uint32_t deadline) { return static_cast<int32_t>(tickCount() - deadline) >= 0; }

DownloadController::DownloadController() : LinkRecord(nullptr, false), m_queue(*this) {}

DownloadController::~DownloadController() {
  // Workers first: they use everything below.
  m_queue.shutdown();
  m_registry.clear();
  m_redirects.clear();
  destroyChildren();
}

LinkOutcome DownloadController::process(HttpConnection& connection) {
  if (m_rootHook) m_rootHook(connection.session());
  return processLink(*this, connection);
}

LinkOutcome DownloadController::processLink(LinkRecord& link, HttpConnection& connection) {
  if (m_processor == nullptr) {
    link.status = LinkStatus::Failed;
    notify(UpdateCode::LinkChanged, &link);
    return LinkOutcome::Done;
  }
  return m_processor->process(link, connection);
}

std::string DownloadController::buildRequestHeaders(const CrawlSettings& s) {
  std::string headers = "Accept: */*\r\n";
  if (!stealthMode()) {
    headers += "User-Agent: ";
    headers += s.userAgent.empty() ? text::kProductName : s.userAgent;
    headers += "\r\n";
  }
  return headers;
}

bool DownloadController::start() {
  // Links queued while the last workers are still leaving could be left
  // behind; a new download waits until they are gone.
  if (m_queue.running() > 0) return false;
  // An empty save directory would put the copy into whatever directory the
  // program was started in.
  if (settings.saveFiles && trimWhite(settings.saveDirectory).empty()) {
    information = text::kNoSaveDirectory;
    logMessage(information);
    return false;
  }

  cancelled = false;
  objectsCompleted = 0;
  cutBy = Cut::None;
  unsavedFiles = 0;
  placeholdersWritten = 0;
  bytesRead = 0;
  {
    // A new start gives every server another chance.
    MutexLock lock(m_unreachableMutex);
    m_unreachable.clear();
  }
  deadline = tickCount() + static_cast<uint32_t>(settings.maxTotalTime) * 1000u;
  // Extensions compare in lower case.
  makeLowerAscii(settings.fileExtensions);

  bool resuming = m_queue.resumeCount() > 0;
  logMessage(resuming ? std::string(text::kResumingDownload) : strprintf(text::kStartingDownload, url().c_str()));
  if (std::string proxy = environmentProxyNote(https(), server()); !proxy.empty()) logMessage(proxy);
  // A download resumed from the journal of an earlier run has no cookies
  // yet; one resumed in this run keeps those it had.
  if (!resuming || !m_cookies.inUse()) {
    std::string error;
    if (!m_cookies.reset(settings.cookieFile, error)) {
      logMessage(strprintf(text::kCookieFileUnreadable, settings.cookieFile.c_str(), error.c_str()));
    }
  }
  m_requestHeaders = buildRequestHeaders(settings);
  m_queue.init(settings.threads);

  if (m_dialHook && !m_dialHook()) return false;

  if (resuming) {
    std::vector<LinkRecord*> resume = m_queue.takeResumeList();
    auto end = std::find(resume.begin(), resume.end(), nullptr);
    resume.erase(end, resume.end());
    // All at once: a worker that found the queue empty between two of them
    // would announce the end of a download that is still being queued.
    m_queue.addLinks(resume);
  } else {
    // A journal left with unsettled links was offered for resuming before
    // this start (resumeFromJournal()); a fresh start begins it anew.
    if (openJournal()) m_journal.beginDownload(settingsSummary(settings));
    m_entry = EntryServer{https(), toLowerAscii(server()), port()};
    {
      // The records of an earlier download are gone.
      MutexLock lock(m_movedMutex);
      m_movedFiles.clear();
    }
    {
      MutexLock lock(m_logoutMutex);
      m_logoutTexts.clear();
    }
    registerLink(*this);
    m_queue.addLink(this);
  }
  return true;
}

bool DownloadController::skipAsLogout(LinkRecord& link) {
  if (link.isRoot() || !settings.skipLogoutLinks || !m_cookies.inUse()) return false;
  if (!looksLikeLogout(link.url())) {
    MutexLock lock(m_logoutMutex);
    if (!m_logoutTexts.contains(link.url())) return false;
  }
  link.status = LinkStatus::Skipped;
  link.information = text::kLogoutLinkSkipped;
  logMessage(strprintf(text::kLogoutLinkLogged, link.url().c_str()));
  notify(UpdateCode::LinkChanged, &link);
  return true;
}

void DownloadController::noteLogoutText(std::string url) {
  MutexLock lock(m_logoutMutex);
  m_logoutTexts.insert(std::move(url));
}

bool looksLikeLogout(std::string_view url) {
  const std::string text = toLowerAscii(url);
  auto letter = [&](size_t i) { return i < text.size() && text[i] >= 'a' && text[i] <= 'z'; };
  auto skip = [&](size_t i, std::string_view word) {
    return text.compare(i, word.size(), word) == 0 ? i + word.size() : std::string::npos;
  };
  // "log" or "sign", at most one separator, then "out" or "off", as whole
  // words: "/logout", "sign_out", "log%20off", "log out" with a no-break
  // space, but not "blog-outline".
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0 && letter(i - 1)) continue;
    size_t at = skip(i, "log");
    if (at == std::string::npos) at = skip(i, "sign");
    if (at == std::string::npos) continue;
    if (skip(at, "%20") != std::string::npos) {
      at += 3;
    } else if (skip(at, "\xC2\xA0") != std::string::npos) {
      at += 2;
    } else if (at < text.size() && std::string_view("-_+ ").find(text[at]) != std::string_view::npos) {
      ++at;
    }
    size_t end = skip(at, "out");
    if (end == std::string::npos) end = skip(at, "off");
    if (end != std::string::npos && !letter(end)) return true;
  }
  return false;
}

bool DownloadController::openJournal() {
  if (!settings.saveFiles || !settings.crawlJournal || url().empty() || trimWhite(settings.saveDirectory).empty()) {
    m_journal.close();
    return false;
  }
  const std::string directory = CrawlJournal::directoryFor(settings.saveDirectory, url());
  if (m_journal.isOpen() && m_journal.directory() == directory) return true;
  m_journal.close();
  if (directory == m_journalRefused) return false;
  std::string error;
  if (m_journal.open(directory, url(), error)) {
    m_journal.setBatchInterval(timing.journalBatchMs);
    return true;
  }
  m_journalRefused = directory;
  logMessage(strprintf(text::kJournalUnusable, (directory + "/journal.db").c_str(), error.c_str()));
  return false;
}

size_t DownloadController::resumeFromJournal() {
  if (!m_journal.isOpen() || m_queue.running() > 0) return 0;
  std::vector<CrawlJournal::Link> rows = m_journal.links();
  if (rows.empty()) return 0;
  m_registry.clear();
  m_redirects.clear();
  m_queue.clearResumeList();
  destroyChildren();
  {
    MutexLock lock(m_movedMutex);
    m_movedFiles.clear();
  }
  m_entry = EntryServer{https(), toLowerAscii(server()), port()};

  std::unordered_map<int64_t, LinkRecord*> byId;
  std::vector<std::pair<const LinkRecord*, int64_t>> known;
  std::vector<LinkRecord*> resume;
  for (CrawlJournal::Link& row : rows) {
    LinkRecord* record = this;
    if (row.parent != 0) {
      auto found = byId.find(row.parent);
      LinkRecord* parentRecord = found == byId.end() ? this : found->second;
      auto child = std::make_unique<LinkRecord>(parentRecord, row.inlineLink);
      // A link that today's settings refuse stays out, as it would in a
      // new download.
      if (!child->initialise(row.url, this, row.depth)) continue;
      if (!registerLink(*child).added) continue;
      record = child.get();
      if (!parentRecord->children) parentRecord->children = std::make_unique<Children>();
      parentRecord->children->push_back(std::move(child));
    } else {
      registerLink(*this);
    }
    if (row.firstUrl != row.url) {
      m_registry.alias(row.firstUrl, row.url);
      m_redirects.record(row.firstUrl, row.url);
    }
    const bool settled = row.state == CrawlJournal::State::Settled || row.state == CrawlJournal::State::Refused;
    record->status = settled ? row.status : LinkStatus::Pending;
    record->information = std::move(row.information);
    record->receivedSize = row.size;
    byId[row.id] = record;
    known.emplace_back(record, row.id);
    if (!settled) resume.push_back(record);
  }
  if (m_journal.settingsText() != settingsSummary(settings)) logMessage(text::kJournalSettingsChanged);
  m_journal.resumeDownload(known);
  m_queue.resumeLater(resume);
  return resume.size();
}

void DownloadController::resumeLater(const std::vector<LinkRecord*>& records) {
  for (LinkRecord* record : records) m_journal.queued(*record);
  m_queue.resumeLater(records);
}

void DownloadController::settle(LinkRecord& link, bool refused) {
  if (!refused && cancelled && link.status == LinkStatus::Failed) {
    link.status = LinkStatus::Pending;
    m_queue.abortToResume(&link);
    notify(UpdateCode::LinkChanged, &link);
    return;
  }
  m_journal.settled(link, refused, link.httpCode, link.etag);
}

const std::string* DownloadController::urlSavedAt(const CombinedUrl& url, bool inlineLink) const {
  if (!m_journal.updating()) return nullptr;
  HttpUrlParts parts = url.parts;
  std::string text = url.url;
  if (!url.partsValid && !parseHttpUrl(text, parts)) return nullptr;
  const std::string* saved = m_journal.urlSavedAt(
      localNameFor(parts.server, parts.port, parts.https, parts.object, settings.createTree, !inlineLink));
  return saved != nullptr && *saved != url.url ? saved : nullptr;
}

std::string DownloadController::updateSummary() const {
  if (!m_journal.isOpen() || !m_journal.updating()) return std::string();
  CrawlJournal::Outcomes o = m_journal.outcomes();
  return strprintf(text::kUpdateSummary, o.added, o.changed, o.unchanged, o.gone, o.failed);
}

bool DownloadController::isEntryServer(bool https, std::string_view server, uint16_t port) const {
  return !m_entry.host.empty() && https == m_entry.https && port == m_entry.port && equalsNoCase(server, m_entry.host);
}

int DownloadController::rootServerDepth(std::string_view server) const {
  if (m_queue.running() == 0 || m_entry.host.empty()) return 0;
  return equalsNoCase(server, m_entry.host) ? 0 : 1;
}

DownloadController::Cut DownloadController::downloadLimitReached() {
  Cut cut = Cut::None;
  if ((settings.limitFlags & kLimitTotalTime) && tickReached(deadline.load())) {
    cut = Cut::TimeLimit;
  } else if (settings.maxDownloadSize > 0 &&
             bytesRead.load() >= static_cast<uint64_t>(settings.maxDownloadSize) * 1024 * 1024) {
    cut = Cut::SizeLimit;
  }
  if (cut != Cut::None) {
    Cut none = Cut::None;
    cutBy.compare_exchange_strong(none, cut);
  }
  return cut;
}

void DownloadController::takeRootCredential(std::string& url) {
  // Moves of a running download keep the credential the user gave.
  if (m_queue.running() > 0) return;
  m_urlCredential.clear();
  std::string userInfo;
  if (takeUserInfo(url, userInfo)) m_urlCredential = base64Encode(percentDecode(userInfo));
}

void DownloadController::rememberMovedFile(const LinkRecord* link, std::string oldFile) {
  MutexLock lock(m_movedMutex);
  m_movedFiles.emplace(link, std::move(oldFile));
}

std::vector<std::string> DownloadController::takeMovedFiles(const LinkRecord* link) {
  MutexLock lock(m_movedMutex);
  std::vector<std::string> files;
  auto [first, last] = m_movedFiles.equal_range(link);
  for (auto it = first; it != last; ++it) files.push_back(std::move(it->second));
  m_movedFiles.erase(first, last);
  return files;
}

void DownloadController::markUnreachable(const std::string& key, const std::string& reason) {
  MutexLock lock(m_unreachableMutex);
  m_unreachable.emplace(key, reason);
}

bool DownloadController::unreachableServer(const std::string& key, std::string& reason) const {
  MutexLock lock(m_unreachableMutex);
  auto it = m_unreachable.find(key);
  if (it == m_unreachable.end()) return false;
  reason = it->second;
  return true;
}

void LinkProcessor::unreachable(LinkRecord& link, const std::string& reason) {
  link.status = LinkStatus::Failed;
  link.information = reason;
  if (DownloadController* download = link.controller()) download->notify(UpdateCode::LinkChanged, &link);
}

void DownloadController::stop() {
  cancelled = true;
  m_queue.abortToResume();
}

LinkRegistry::Registered DownloadController::registerLink(LinkRecord& offered) {
  return m_registry.registerLink(offered, settings.maxCrawlDepth);
}

void DownloadController::notify(UpdateCode code, LinkRecord* record) {
  MutexLock lock(m_notifyMutex);
  if (m_observer) m_observer->downloadUpdate(code, record);
}

void DownloadController::setObserver(DownloadObserver* observer) {
  MutexLock lock(m_notifyMutex);
  m_observer = observer;
}

void DownloadController::runDownloadEndedHook() {
  if (m_endedHook) m_endedHook();
}

std::string DownloadController::pendingText() const {
  size_t resume = m_queue.resumeCount();
  if (resume > 0) return strprintf(text::kResumeCount, static_cast<int>(resume));
  return strprintf(text::kPendingCount, static_cast<int>(m_queue.pendingCount()));
}

bool DownloadController::typeWanted(const std::string& type) {
  MutexLock lock(m_typesMutex);
  if (settings.downloadAll) return true;
  if (settings.knownFileTypes.find(type) != std::string::npos) {
    return settings.downloadFileTypes.empty() || settings.downloadFileTypes.find(type) != std::string::npos;
  }
  if (!settings.knownFileTypes.empty()) settings.knownFileTypes += ';';
  settings.knownFileTypes += type;
  if (!settings.downloadUnknown) return false;
  if (!settings.downloadFileTypes.empty()) settings.downloadFileTypes += ';';
  settings.downloadFileTypes += type;
  return true;
}

double DownloadController::transferRate() {
  MutexLock lock(m_rateMutex);
  double shown = m_lastRate;
  if (m_bytesAccumulated > 0 && m_msAccumulated > 0) {
    m_lastRate = m_bytesAccumulated / (m_msAccumulated * 0.001);
    m_bytesAccumulated = 0;
    m_msAccumulated = 0;
  }
  return shown;
}

void DownloadController::addTransferBytes(double bytes) {
  MutexLock lock(m_rateMutex);
  m_bytesAccumulated += bytes;
}

void DownloadController::addTransferTime(double milliseconds) {
  MutexLock lock(m_rateMutex);
  m_msAccumulated += milliseconds;
}

}  // namespace sg
