#include "pipeline/page_pipeline.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <type_traits>

#include "engine/download_controller.h"
#include "engine/thread_status.h"
#include "pipeline/css_scanner.h"
#include "pipeline/html_scanner.h"
#include "pipeline/http_exchange.h"
#include "pipeline/link_rewriter.h"
#include "pipeline/local_files.h"
#include "pipeline/placeholder.h"
#include "pipeline/script_scanner.h"
#include "platform/platform_error.h"
#include "util/format.h"
#include "util/log.h"
#include "util/shortcuts.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

constexpr size_t kBlockSize = 4095;

void pauseForLocalReads(const LinkRecord& link) {
  const DownloadController* download = link.controller();
  // A copy the server has just confirmed (304) is read at full speed: an
  // update of a large mirror would otherwise take minutes per thousand
  // pages.
  if ((link.localSource && link.httpCode != 304) || download->offline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(download->timing.localReadPauseMs));
  }
}

void updateReadTime(LinkRecord& link) { link.readTime = tickCount() - link.readStartTick; }

// Counts a block read from the network against the download's size limit.
void countNetworkBytes(LinkRecord& link, size_t n) {
  if (link.localSource) return;
  DownloadController* download = link.controller();
  download->addTransferBytes(static_cast<double>(n));
  download->bytesRead += n;
}

// The limits that end any read, whichever files the per-file limits
// affect: the download's time and size, a stop, the link's removal.
bool downloadGoesOn(LinkRecord& link) {
  DownloadController* download = link.controller();
  return download->downloadLimitReached() == DownloadController::Cut::None && !download->cancelled && download->include;
}

// A style sheet read as a body: what it names is added below it, at its
// own level for the sheets it imports.
class SheetScanner {
 public:
  explicit SheetScanner(LinkRecord& sheet)
      : m_links(sheet), m_css([this](std::string_view url, bool import) { return reference(url, import); }) {}
  void scanBlock(std::string_view block, std::string& output) { m_css.scanBlock(block, output); }
  void finish(std::string& output) { m_css.finish(output); }

 private:
  std::optional<std::string> reference(std::string_view url, bool import) {
    const DownloadController* download = m_links.owner().controller();
    if (!import && download != nullptr && download->settings.ignoreInline) return std::nullopt;
    return m_links.take(url, true, import);
  }

  LinkRewriter m_links;
  CssScanner m_css;
};

// Anything but a page or a style sheet goes to its file as it came; a
// script is searched for the assets it names on the way.
class BodyCopier {
 public:
  explicit BodyCopier(LinkRecord& link) {
    const DownloadController* download = link.controller();
    if (link.contentKind == ContentKind::Script && download->settings.scanScripts) {
      m_scriptLinks = std::make_unique<LinkRewriter>(link);
      m_script =
          std::make_unique<ScriptScanner>([this](std::string_view url) { m_scriptLinks->followScriptAsset(url); });
    }
  }
  void scanBlock(std::string_view block, std::string& output) {
    if (m_script) m_script->scanBlock(block);
    output.append(block);
  }
  void finish(std::string&) {}

 private:
  std::unique_ptr<LinkRewriter> m_scriptLinks;
  std::unique_ptr<ScriptScanner> m_script;
};

struct BlocksRead {
  bool whole = false;       // read to its end, every limit kept
  bool saveFailed = false;  // the output could not be written
};

// Reads the body block by block through the handler (a scanner, or the
// copier) into output. After each block the limits are checked in one
// order: the file's and the download's limits, a stop or removal, then,
// for scanned text, the scan limit. A failed write ends the writing of
// scanned text, not its scan, so that its links are still found; a copy
// ends there. An empty body is whole only for scanned text.
template <typename Handler>
BlocksRead readBlocks(LinkRecord& link, BodySource& body, AtomicFile* output) {
  constexpr bool scanned = !std::is_same_v<Handler, BodyCopier>;
  DownloadController& download = *link.controller();
  const uint64_t scanLimit = static_cast<uint64_t>(std::max(1, download.settings.maxScanSize)) * 1024 * 1024;
  BlocksRead read;
  Handler handler(link);
  std::string block(kBlockSize, '\0');
  std::string out;
  uint64_t total = 0;
  auto write = [&] {
    if (output != nullptr && !out.empty()) {
      if (output->write(out)) {
        link.written = true;
      } else {
        read.saveFailed = true;
        output = nullptr;
      }
    }
    out.clear();
  };
  size_t n = body.read(block.data(), kBlockSize);
  link.receivedSize += n;
  updateReadTime(link);
  if (n == 0) {
    read.whole = scanned;
    return read;
  }
  read.whole = true;
  while (n > 0) {
    countNetworkBytes(link, n);
    pauseForLocalReads(link);
    if (!checkLimits(link) || !downloadGoesOn(link)) {
      read.whole = false;
      break;
    }
    total += n;
    if (scanned && total > scanLimit) {
      // An endless or enormous page would grow the tree and the disk
      // without bound.
      link.information = strprintf(text::kScanLimitExceeded, formatSize(static_cast<double>(total)).c_str(),
                                   formatSize(static_cast<double>(scanLimit)).c_str());
      logMessage(link.information);
      read.whole = false;
      break;
    }
    out.reserve(n + n / 2);
    handler.scanBlock(std::string_view(block.data(), n), out);
    write();
    if (!scanned && read.saveFailed) {
      read.whole = false;
      break;
    }
    setThreadStatus(progressText(link));
    n = body.read(block.data(), kBlockSize);
    link.receivedSize += n;
    updateReadTime(link);
  }
  if (read.whole) {
    handler.finish(out);
    write();
  }
  if (!link.localSource) download.addTransferTime(link.readTime);
  return read;
}

// The placeholder is for pages: a link that got a page or a textual error
// page, or, when nothing textual came, one whose file name is a page's;
// never a name that is plainly an image, a style sheet or the like.
void placeholderIfPage(LinkRecord& link, ExchangeResult::Response response, const std::string& reason) {
  if (link.written) return;
  std::string name = link.localName();
  bool textual = link.contentKind == ContentKind::Html || response == ExchangeResult::Response::Text;
  bool eligible =
      looksLikePage(name) ? (textual || response == ExchangeResult::Response::None) : textual && !namesNonPage(name);
  link.written = true;  // at most once per link, written or not
  if (!eligible || name.empty()) return;
  writeDownloadPlaceholder(*link.controller(), link.localFile(), reason, link.url());
}

}  // namespace

std::string progressText(const LinkRecord& link) {
  std::string progress;
  if (link.size == 0) {
    progress = formatSize(link.receivedSize);
  } else {
    // 64-bit arithmetic: 32 bits overflow for files above 42 MB.
    uint64_t percent = static_cast<uint64_t>(link.receivedSize) * 100 / link.size;
    progress = strprintf("%d%%", static_cast<int>(percent));
    if (link.readTime > 5000 && percent > 0 && percent < 100) {
      uint64_t remainingMs = link.readTime / percent * (100 - percent);
      uint64_t seconds = remainingMs / 1000;
      if (seconds != 0) progress += strprintf(text::kRemaining, formatDuration(static_cast<double>(seconds)).c_str());
    }
  }
  std::string name = link.localSource ? link.localFile() : displayPath(link.object());
  return strprintf(text::kReading, name.c_str(), progress.c_str());
}

bool checkSize(const DownloadController& controller, uint64_t size, std::string& message, bool duringRead) {
  const CrawlSettings& s = controller.settings;
  bool ok = true;
  if ((s.limitFlags & kLimitMaxSize) && (size >> 10) > static_cast<uint64_t>(std::max(0, s.maxSize))) {
    message = strprintf(text::kSizeLarger, formatSize(size).c_str(), formatSize(s.maxSize * 1024.0).c_str());
    ok = false;
  }
  if (!duringRead && (s.limitFlags & kLimitMinSize) && static_cast<int64_t>(size >> 10) < s.minSize) {
    message = strprintf(text::kSizeSmaller, formatSize(size).c_str(), formatSize(s.minSize * 1024.0).c_str());
    ok = false;
  }
  return ok;
}

bool checkTime(const DownloadController& controller, uint32_t milliseconds, std::string& message) {
  const CrawlSettings& s = controller.settings;
  uint32_t seconds = milliseconds / 1000;
  if ((s.limitFlags & kLimitFileTime) && static_cast<int64_t>(seconds) > s.maxTime) {
    message = strprintf(text::kTimeExceeded, formatDuration(seconds).c_str(), formatDuration(s.maxTime).c_str());
    return false;
  }
  return true;
}

bool checkLimits(LinkRecord& link) {
  DownloadController& download = *link.controller();
  if (download.downloadLimitReached() != DownloadController::Cut::None) return false;
  if (!limitsApply(link)) return true;
  std::string message;
  if (checkTime(download, link.readTime, message) && checkSize(download, link.receivedSize, message, true)) return true;
  link.information = message;
  logMessage(message, LogKind::Information);
  return false;
}

bool queueChildren(LinkRecord& link) {
  if (link.childCount() == 0) return true;
  DownloadController& download = *link.controller();
  std::string line = strprintf(text::kDownloadingLinksFrom, link.url().c_str());
  logMessage(line);
  setThreadStatus(line);
  for (size_t i = 0; i < link.childCount(); ++i) {
    if (download.cancelled) {
      // A stop between the page's links: the rest wait for the resume with
      // the links queued before them, or the page, settled, would lose them.
      std::vector<LinkRecord*> rest;
      for (size_t j = i; j < link.childCount(); ++j) rest.push_back(link.child(j));
      download.resumeLater(rest);
      return false;
    }
    if (!download.include) return false;
    download.addLink(link.child(i));
  }
  return true;
}

void createRootShortcut(DownloadController& controller) {
  const CrawlSettings& s = controller.settings;
  if (!s.fixLinks || !s.saveFiles) return;
  sanitiseTitle(controller.title);
  if (controller.title.empty()) controller.title = "Untitled page on " + std::string(controller.server());
  // A NUL would cut the path short, and the name with ".desktop" and the
  // seven characters of its temporary name must fit in one file name.
  std::string name = controller.title;
  name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
  if (name.size() > 200) name.resize(200);
  std::string linkFile = s.saveDirectory + "/" + name + ".desktop";
  createPathDirectories(linkFile);
  createShellLink(controller.localFile(), linkFile, controller.url());
}

bool readBody(LinkRecord& link, BodySource& body, bool sizeKnownOnlyOnceRead) {
  DownloadController& download = *link.controller();
  const CrawlSettings& s = download.settings;
  link.status = LinkStatus::Reading;
  link.receivedSize = 0;
  link.title.clear();
  download.notify(UpdateCode::LinkChanged, &link);
  link.readStartTick = tickCount();
  // The file's own time limit also ends a wait for a server that sends
  // nothing, not only the check after each block.
  if ((s.limitFlags & kLimitFileTime) && limitsApply(link) && s.maxTime >= 0) {
    body.setDeadline(link.readStartTick + (static_cast<uint32_t>(s.maxTime) + 1) * 1000u);
  }

  std::unique_ptr<AtomicFile> output;
  bool openFailed = false;
  BlocksRead read{true, false};
  try {
    if (link.contentKind == ContentKind::Html || link.contentKind == ContentKind::Stylesheet) {
      output = openOutput(link, &openFailed);
      read = link.contentKind == ContentKind::Html ? readBlocks<HtmlScanner>(link, body, output.get())
                                                   : readBlocks<SheetScanner>(link, body, output.get());
      // An empty answer is no page: it must not wipe out the copy saved
      // before.
      if (read.whole && link.receivedSize == 0 && output && isSavedCopy(output->target())) {
        read.whole = false;
        link.information = text::kEmptyPageKept;
        logMessage(link.information + std::string(" - ") + link.url());
      }
    } else if (link.localSource) {
      // A saved copy of anything but a page is not read again.
      link.status = LinkStatus::Skipped;
    } else {
      output = openOutput(link, &openFailed);
      read = readBlocks<BodyCopier>(link, body, output.get());
    }
  } catch (...) {
    // The output goes with its temporary file: nothing of this read stays
    // on disk, so the link may still get its placeholder.
    link.written = false;
    throw;
  }

  logMessage(strprintf(text::kReadFileIn, link.readTime / 1000.0, link.url().c_str()), LogKind::Information);
  std::string smaller;
  if (read.whole && sizeKnownOnlyOnceRead && limitsApply(link) &&
      !checkSize(download, link.receivedSize, smaller, false)) {
    read.whole = false;
    link.status = LinkStatus::Skipped;
    link.information = smaller;
    logMessage(smaller);
  }
  if (output) {
    if (read.whole && !read.saveFailed) {
      read.saveFailed = !output->commit(link.lastModified);
    } else {
      output->discard();
    }
    if (read.saveFailed) {
      link.information =
          strprintf(text::kWriteFailed, output->target().c_str(), systemErrorText(output->error()).c_str());
      logMessage(link.information);
    } else if (read.whole) {
      std::string saved = link.localFile();
      makeRelativePath(s.saveDirectory, saved);
      link.information = strprintf(text::kSavedAs, saved.c_str());
      if (link.isRoot()) createRootShortcut(download);
      // Pages saved before a server moved this link name it by its old
      // place: the copy is there too.
      for (const std::string& old : download.takeMovedFiles(&link)) {
        copySavedFile(s.saveDirectory, link.localFile(), old, link.lastModified);
      }
    }
  }
  if (openFailed) link.information = strprintf(text::kFailedToOpenOutput, link.localFile().c_str());
  if (openFailed || read.saveFailed) {
    // Read but not kept: a failure, though the page's links were found.
    ++download.unsavedFiles;
    if (read.whole) link.status = LinkStatus::Failed;
  }
  // Nothing of a failed read stays on disk, so the link may still get its
  // placeholder.
  if (!read.whole || openFailed || read.saveFailed) link.written = false;
  return read.whole;
}

LinkOutcome PagePipeline::process(LinkRecord& link, HttpConnection& connection) {
  DownloadController& download = *link.controller();
  const CrawlSettings& s = download.settings;
  bool read = false;
  bool requeue = false;
  bool timedOut = false;
  ExchangeResult::Response response = ExchangeResult::Response::None;
  bool decoded = false;

  if (!link.include || link.attemptsRemaining < 1) {
    link.status = LinkStatus::Skipped;
    if (!link.include) {
      link.information = link.depth > s.maxCrawlDepth ? strprintf(text::kMaximumDepth, s.maxCrawlDepth)
                                                      : std::string(text::kRemovedByUser);
    } else {
      link.information =
          strprintf(text::kAttemptsUsedUp, kInitialAttempts,
                    link.information.empty() ? internetErrorText(kErrorTimeout).c_str() : link.information.c_str());
      logMessage(link.information);
    }
  } else if (!download.exclusions().isAllowed(link.server(), link.object())) {
    link.status = LinkStatus::Skipped;
    link.information = text::kUrlExcluded;
  } else {
    setThreadStatus(strprintf(text::kDownloading, displayPath(link.object()).c_str()));
    try {
      std::unique_ptr<BodySource> body;
      if (s.ignoreSavedFiles) body = openLocalCopy(link);
      if (!body || s.checkForChanges) {
        ExchangeResult exchanged = exchange(link, connection, std::move(body), m_prompt);
        body = std::move(exchanged.body);
        requeue = exchanged.requeue;
        response = exchanged.response;
        decoded = exchanged.decoded;
      }
      if (body) {
        std::string message;
        // A decoded body's smallest size is checked once it is read.
        if (limitsApply(link) && !checkSize(download, link.size, message, decoded)) {
          link.status = LinkStatus::Skipped;
          link.information = message;
          logMessage(message);
        } else if (readBody(link, *body, decoded)) {
          if (link.status != LinkStatus::Skipped && link.status != LinkStatus::Failed) {
            link.status = LinkStatus::Complete;
            ++download.objectsCompleted;
          }
          queueChildren(link);
          read = true;
        }
      }
    } catch (const ServerUnreachable&) {
      // No verdict on this link: the worker reports its server.
      throw;
    } catch (const PlatformError& error) {
      if (error.code() == kErrorOperationCancelled && download.cancelled) {
        // Stopped while waiting for the server: the link simply fails, as
        // it would have after its next block.
      } else if (error.code() == kErrorTimeLimit) {
        // A deadline passed while the server kept us waiting: the file's
        // own time limit says so; the download's ends it without a word.
        if (link.readStartTick != 0) updateReadTime(link);
        if (download.downloadLimitReached() != DownloadController::Cut::None || checkLimits(link)) {
          link.information = text::kTimeLimitExceeded;
        }
      } else if (error.code() == kErrorTimeout) {
        timedOut = true;
        --link.attemptsRemaining;
        link.information = error.what();
        logMessage(strprintf(text::kTimedOutReading, std::string(link.object()).c_str(), link.attemptsRemaining));
      } else {
        logMessage(strprintf(text::kErrorDownloading, link.url().c_str(), error.what()));
        link.information = blankControls(error.what());
        // Only the root decides whether there is a download at all; any
        // other link that cannot connect fails on its own.
        if (error.code() == kErrorCannotConnect && link.isRoot()) download.cancelled = true;
      }
    } catch (const std::exception&) {
      logMessage(text::kSeriousError);
    }
    if (!read && link.status != LinkStatus::Skipped && !requeue) link.status = LinkStatus::Failed;
  }

  if (!requeue && !timedOut) download.settle(link, false);
  // A read cut short by a stop is pending again, for the resume.
  if (link.status != LinkStatus::Complete && link.status != LinkStatus::Pending && !requeue && !timedOut) {
    placeholderIfPage(link, response, link.information);
  }
  download.notify(UpdateCode::LinkChanged, &link);
  // Queued only now: another worker may take the link at once, and this
  // one is done with it.
  if (requeue) download.addLink(&link);
  return timedOut ? LinkOutcome::TimedOut : LinkOutcome::Done;
}

void PagePipeline::refusedByRobots(LinkRecord& link) {
  if (link.written || !looksLikePage(link.localName())) return;
  std::string reason =
      strprintf(text::kAccessDenied, displayPath(link.object()).c_str(), std::string(link.server()).c_str());
  writeDownloadPlaceholder(*link.controller(), link.localFile(), reason, link.url());
}

void PagePipeline::unreachable(LinkRecord& link, const std::string& reason) {
  link.status = LinkStatus::Failed;
  link.information = blankControls(reason);
  placeholderIfPage(link, ExchangeResult::Response::None, link.information);
  link.controller()->notify(UpdateCode::LinkChanged, &link);
}

}  // namespace sg
