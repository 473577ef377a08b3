#include "document/crawl_document.h"

#include <sys/stat.h>

#include "document/profile_file.h"
#include "document/url_list.h"
#include "services/dialup.h"
#include "util/log.h"
#include "util/format.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {
const QString kConnectionSection = QStringLiteral("Connection");
const QString kWorkOffline = QStringLiteral("Work Offline");
}  // namespace

CrawlDocument::CrawlDocument(SettingsStore& store, DocumentHost& host, ConnectionStateLayer& connection)
    : m_store(store), m_host(host), m_connection(connection) {
  m_controller.setProcessor(&m_pipeline);
  m_controller.setDialHook(
      [this] { return dialIfNeeded(m_controller.settings, m_controller.offline.load(), m_connection); });
  m_controller.setDownloadEndedHook([this] { hangUpIfDialled(m_controller.settings, m_connection); });
}

CrawlDocument::~CrawlDocument() { m_controller.workQueue().shutdown(); }

bool CrawlDocument::newDocument() {
  m_controller.offline = m_store.readInt(kConnectionSection, kWorkOffline, 0) != 0;
  std::vector<std::string> unreadable =
      m_store.load(m_controller.settings, m_controller.exclusions(), view, desktopFolder());
  m_loadedWithErrors.reset();
  if (!m_store.problem().empty()) {
    m_host.reportSettingsReadError(m_store.problem());
  } else if (!unreadable.empty()) {
    // Only the values named take their defaults, and the file is not
    // written back: nothing the user set is lost to one bad entry.
    std::string names;
    for (const std::string& name : unreadable) names += (names.empty() ? "" : ", ") + name;
    m_host.reportSettingsReadError(
        strprintf(text::kSettingsValuesUnreadable, names.c_str(), m_store.fileName().toStdString().c_str()));
    m_loadedWithErrors = m_controller.settings;
  }
  m_controller.versionNotify = m_store.readInt(QStringLiteral("Version Check"), QStringLiteral("Notify"), 1) != 0;
  m_controller.registry().clear();
  m_controller.initialise(std::string(), nullptr, 0);
  updateTitle();
  m_host.downloadReset();
  return true;
}

void CrawlDocument::closeDocument() {
  if (m_loadedWithErrors && *m_loadedWithErrors == m_controller.settings) return;
  m_store.save(m_controller.settings, m_controller.exclusions(), view);
}

bool CrawlDocument::startDownload(const std::string& url) {
  if (!sameUrl(url, m_controller.url()) && !resetDownload(url, false)) return m_downloading;
  if (m_controller.resumeCount() == 0 && !offerJournalResume()) return false;
  m_downloading = true;
  if (!m_controller.start()) {
    m_downloading = false;
  } else {
    // The end of the last download is no news during this one.
    m_host.setStatusMessage("");
  }
  return m_downloading;
}

bool CrawlDocument::offerJournalResume() {
  if (!m_controller.openJournal()) return true;
  const size_t waiting = m_controller.journal().unsettledCount();
  if (waiting == 0) return true;
  const std::string& root = m_controller.url();
  switch (m_host.askResume(root, waiting)) {
    case JournalChoice::Resume: {
      size_t resumed = m_controller.resumeFromJournal();
      logMessage(strprintf(text::kJournalResuming, root.c_str(), static_cast<int>(resumed)));
      m_host.downloadReset();
      return true;
    }
    case JournalChoice::Restart:
      logMessage(strprintf(text::kJournalRestarting, root.c_str(), static_cast<int>(waiting)));
      return true;
    case JournalChoice::Cancel:
      break;
  }
  return false;
}

void CrawlDocument::stopDownload() { m_controller.stop(); }

bool CrawlDocument::resetDownload(const std::string& url, bool ask) {
  // Links must not be taken apart under running workers.
  if (m_controller.runningThreads() > 0) return false;
  if (ask && !m_host.confirmReset()) return false;
  m_controller.registry().clear();
  m_controller.workQueue().clearResumeList();
  bool accepted = m_controller.initialise(url, nullptr, 0);
  if (accepted) {
    updateTitle();
  } else if (!url.empty()) {
    // A refused address must not look like nothing happened.
    const std::string& why = m_controller.information;
    std::string message = why.empty() || why == text::kInvalidUrl
                              ? strprintf(text::kRootNotWeb, url.c_str())
                              : strprintf(text::kRootRefused, url.c_str(), why.c_str());
    logMessage(message);
    m_host.setStatusMessage(message);
  }
  m_host.downloadReset();
  return accepted;
}

void CrawlDocument::updateTitle() {
  std::string title = m_controller.url();
  if (title.rfind("http://", 0) == 0) title.erase(0, 7);
  if (title.empty()) title = text::kNoUrlSelected;
  if (m_batchMode) title += " (batch) ";
  if (m_controller.offline) title += " - [Working Offline]";
  m_title = title;
  m_host.titleChanged(m_title);
}

bool CrawlDocument::openProfile(const std::string& path) {
  // Read into a copy: a file that turns out not to be a profile (a URL
  // list, say) must leave the settings as they were.
  CrawlSettings settings = m_controller.settings;
  std::string rootUrl;
  m_profileRefusal.clear();
  if (!loadProfileFile(path, rootUrl, settings, &m_profileRefusal)) return false;
  m_controller.settings = settings;
  m_controller.registry().clear();
  m_controller.workQueue().clearResumeList();
  m_controller.initialise(rootUrl, nullptr, 0);
  m_host.downloadReset();
  return true;
}

bool CrawlDocument::saveProfileAs(const std::string& path, const std::string& urlBoxText, std::string& error) {
  if (!resetDownload(urlBoxText, false)) {
    error = m_controller.information;
    return false;
  }
  return saveProfileFile(path, m_controller.url(), m_controller.settings, error);
}

bool CrawlDocument::readUrlListFile(const std::string& path) {
  UrlList list;
  std::string error;
  if (!sg::readUrlListFile(path, list, error) || list.lines == 0) return false;
  m_batchQueue.insert(m_batchQueue.end(), list.urls.begin(), list.urls.end());
  std::string line = strprintf(text::kUrlListRead, path.c_str(), list.urls.size(), list.skipped);
  if (list.truncated) line += strprintf(text::kUrlListTruncated, formatSize(kMaxUrlListBytes).c_str());
  logMessage(line);
  return true;
}

bool CrawlDocument::nextBatchJob() {
  m_batchMode = !m_batchQueue.empty();
  if (m_batchMode) {
    if (m_controller.cancelled && m_host.confirmCancelBatch()) {
      m_batchQueue.clear();
      m_batchMode = false;
      updateTitle();
      return false;
    }
    std::string url = m_batchQueue.front();
    m_batchQueue.pop_front();
    startDownload(url);
  } else {
    updateTitle();
  }
  return m_batchMode;
}

bool CrawlDocument::beginBatch() {
  if (m_downloading) return false;
  return nextBatchJob();
}

void CrawlDocument::openArgument(const std::string& text, bool noStart) {
  if (m_downloading) return;
  std::string argument = text;
  if (openProfile(text)) {
    argument = m_controller.url();
  } else if (!m_profileRefusal.empty()) {
    m_host.reportError(m_profileRefusal);
    return;
  } else if (readUrlListFile(text)) {
    // A list fills the batch queue and waits for Begin Batch Processing;
    // its file name is no URL to start. Told on the command line to quit
    // when done, nobody will begin the batch: it is worked off at once.
    m_host.showBatchPane();
    if (m_commandLineMode && !noStart) {
      nextBatchJob();
    } else {
      updateTitle();
    }
    return;
  } else {
    resetDownload(text, noStart);
  }
  updateTitle();
  m_host.addToUrlBox(argument);
  if (!noStart) startDownload(argument);
}

void CrawlDocument::downloadEnded() {
  // What a limit or the disk left undone is said before the end itself, so
  // that "Download complete" is never the whole story.
  const int left = static_cast<int>(m_controller.resumeCount());
  const CrawlSettings& s = m_controller.settings;
  switch (m_controller.cutBy.load()) {
    case DownloadController::Cut::TimeLimit:
      logMessage(strprintf(text::kEndTimeLimit, formatDuration(s.maxTotalTime).c_str(), left));
      break;
    case DownloadController::Cut::SizeLimit:
      logMessage(strprintf(text::kEndSizeLimit, formatSize(s.maxDownloadSize * 1024.0 * 1024.0).c_str(), left));
      break;
    case DownloadController::Cut::None:
      break;
  }
  if (int unsaved = m_controller.unsavedFiles.load(); unsaved > 0) {
    logMessage(strprintf(text::kEndUnsaved, unsaved, s.saveDirectory.c_str()));
  }
  m_lastIncomplete = m_controller.cutBy.load() != DownloadController::Cut::None || m_controller.unsavedFiles > 0;
  if (m_controller.settings.saveFiles) {
    std::string root = m_controller.localFile();
    struct stat info {};
    if (!root.empty() && ::stat(root.c_str(), &info) == 0 && S_ISREG(info.st_mode)) m_host.rootSaved(root);
  }
  std::string message = m_controller.cancelled ? text::kDownloadAborted : text::kDownloadComplete;
  logMessage(message);
  if (std::string summary = m_controller.updateSummary(); !summary.empty()) {
    logMessage(summary);
    message += " " + summary;
  }
  m_host.setStatusMessage(message);
  if (!nextBatchJob()) {
    m_downloading = false;
    if (m_commandLineMode) m_host.quitApplication();
  }
}

bool CrawlDocument::canClose() {
  if (!m_downloading) return true;
  if (!m_host.confirmEndDownloadOnClose()) return false;
  stopDownload();
  return true;
}

void CrawlDocument::toggleWorkOffline() {
  m_controller.offline = !m_controller.offline;
  m_store.writeInt(kConnectionSection, kWorkOffline, m_controller.offline ? 1 : 0);
  m_store.sync();
  updateTitle();
}

void CrawlDocument::toggleShowAll() { view.showAll = !view.showAll; }

}  // namespace sg
