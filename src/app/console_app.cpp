#include "app/console_app.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <vector>

#include "app/startup.h"
#include "document/crawl_document.h"
#include "services/version_check.h"
#include "util/app_flags.h"
#include "util/format.h"
#include "util/log.h"
#include "util/mutex.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

std::atomic<int> g_interrupts{0};

extern "C" void onInterrupt(int) {
  // A third interrupt means the orderly stop itself is stuck.
  if (g_interrupts.fetch_add(1) >= 2) _exit(kExitAborted);
}

void installSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = &onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // Writes beyond a file size limit must fail, not end the program.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

struct LinkCounts {
  int complete = 0, failed = 0, skipped = 0, pending = 0;
  double bytes = 0;
};

LinkCounts countLinks(LinkRecord& root) {
  LinkCounts counts;
  std::vector<LinkRecord*> stack{&root};
  while (!stack.empty()) {
    LinkRecord* record = stack.back();
    stack.pop_back();
    switch (record->status) {
      case LinkStatus::Complete:
        ++counts.complete;
        break;
      case LinkStatus::Failed:
        ++counts.failed;
        break;
      case LinkStatus::Skipped:
        ++counts.skipped;
        break;
      default:
        ++counts.pending;
        break;
    }
    counts.bytes += record->receivedSize;
    for (size_t i = 0; i < record->childCount(); ++i) stack.push_back(record->child(i));
  }
  return counts;
}

// Without windows a newer release is reported in the log. The check runs
// on a worker, so the settings file is reached through a store of its own
// there rather than through the main thread's.
class ConsoleVersionHost : public VersionCheckHost {
 public:
  explicit ConsoleVersionHost(QString settingsFile) : m_settingsFile(std::move(settingsFile)) {}

  std::string lastNewVersion() override {
    SettingsStore store(m_settingsFile);
    return store.readText(QStringLiteral("Version Check"), QStringLiteral("Last New Version")).toStdString();
  }
  void setLastNewVersion(const std::string& line) override {
    SettingsStore store(m_settingsFile);
    store.writeText(QStringLiteral("Version Check"), QStringLiteral("Last New Version"), QString::fromStdString(line));
    store.sync();
  }
  bool announceNewVersion(double version) override {
    logMessage(strprintf(text::kNewVersionLogLine, versionText(version).c_str(), text::kHomePage));
    return false;
  }
  void stopNotifying() override {}

 private:
  QString m_settingsFile;
};

class ConsoleFrontEnd : public DocumentHost, public DownloadObserver {
 public:
  explicit ConsoleFrontEnd(const CommandLine& line)
      : m_line(line), m_statusLine(isatty(STDERR_FILENO) != 0), m_overrides(line.overrides) {}

  // DocumentHost
  bool confirmReset() override { return true; }
  bool confirmCancelBatch() override { return g_interrupts.load() > 0; }
  bool confirmEndDownloadOnClose() override { return true; }
  void reportSettingsReadError(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
  void reportError(const std::string& message) override {
    std::fprintf(stderr, "sitegleaner: %s\n", message.c_str());
  }
  void quitApplication() override { m_quit = true; }
  JournalChoice askResume(const std::string& url, size_t waiting) override {
    if (m_line.resume) return JournalChoice::Resume;
    if (m_line.restart) return JournalChoice::Restart;
    // Unattended, nothing is thrown away on a guess: the user says which.
    m_resumeRefusal =
        strprintf(text::kJournalFound, url.c_str(), static_cast<int>(waiting)) + " " + text::kJournalConsoleHint;
    return JournalChoice::Cancel;
  }

  // DownloadObserver: called on worker threads.
  void downloadUpdate(UpdateCode code, LinkRecord*) override {
    if (code != UpdateCode::DownloadEnded) return;
    MutexLock lock(m_mutex);
    ++m_endsPending;
    m_wake.notify_all();
  }

  int run();

 private:
  bool applyOverrides(CrawlDocument& document);
  void restoreOverridden(CrawlDocument& document);
  void printLog();
  void printStatus(CrawlDocument& document, bool final);
  void printSummary(CrawlDocument& document, uint32_t startTick);

  const CommandLine& m_line;
  bool m_statusLine;
  bool m_quit = false;
  bool m_anyAborted = false;
  bool m_anyIncomplete = false;
  std::string m_resumeRefusal;
  Mutex m_mutex;
  std::condition_variable m_wake;
  int m_endsPending SG_GUARDED_BY(m_mutex) = 0;
  SettingOverrides m_overrides;
  size_t m_statusWidth = 0;
};

bool ConsoleFrontEnd::applyOverrides(CrawlDocument& document) {
  std::string error;
  if (m_overrides.apply(document.controller().settings, error)) return true;
  std::fprintf(stderr, "sitegleaner: %s\n", error.c_str());
  return false;
}

void ConsoleFrontEnd::restoreOverridden(CrawlDocument& document) { m_overrides.restore(document.controller().settings); }

void ConsoleFrontEnd::printLog() {
  std::vector<std::string> lines;
  logQueue().drain(lines);
  if (lines.empty()) return;
  if (m_statusLine && m_statusWidth > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_statusWidth), "");
  for (const std::string& line : lines) std::fprintf(stdout, "%s\n", blankControls(line).c_str());
  std::fflush(stdout);
  m_statusWidth = 0;
}

void ConsoleFrontEnd::printStatus(CrawlDocument& document, bool final) {
  if (!m_statusLine) return;
  DownloadController& controller = document.controller();
  std::string timeLeft = "No time limit.";
  if (controller.settings.limitFlags & kLimitTotalTime) {
    int32_t left = static_cast<int32_t>(controller.deadline.load() - tickCount());
    timeLeft = strprintf("%s remaining", formatDuration(std::max(0, left) / 1000.0).c_str());
  }
  std::string status = strprintf("%s | %d threads | %s | %d objects | %s", controller.pendingText().c_str(),
                                 controller.runningThreads(), formatRate(controller.transferRate()).c_str(),
                                 controller.objectsCompleted.load(), timeLeft.c_str());
  size_t width = status.size();
  std::fprintf(stderr, "\r%s%*s", status.c_str(), static_cast<int>(m_statusWidth > width ? m_statusWidth - width : 0),
               "");
  if (final) {
    std::fprintf(stderr, "\n");
    m_statusWidth = 0;
  } else {
    m_statusWidth = width;
  }
  std::fflush(stderr);
}

void ConsoleFrontEnd::printSummary(CrawlDocument& document, uint32_t startTick) {
  DownloadController& controller = document.controller();
  LinkCounts counts = countLinks(controller);
  double seconds = (tickCount() - startTick) / 1000.0;
  std::printf("\n%d links complete, %d failed, %d skipped, %d not fetched; %s read in %s.\n", counts.complete,
              counts.failed, counts.skipped, counts.pending, formatSize(counts.bytes).c_str(),
              formatDuration(seconds).c_str());
  if (controller.settings.saveFiles) {
    std::printf("The mirror is in %s\n", controller.settings.saveDirectory.c_str());
    std::string rootFile = controller.localFile();
    struct stat info {};
    if (!rootFile.empty() && ::stat(rootFile.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      std::printf("To browse it offline, open %s\n", rootFile.c_str());
    } else {
      std::printf("The root page was not saved.\n");
    }
  } else {
    std::printf(
        "Nothing was saved: \"Save Files\" is off. Run again with -set \"Save Files=1\" to keep a copy\n"
        "you can browse offline, or turn saving on in the options.\n");
  }
  std::fflush(stdout);
}

int ConsoleFrontEnd::run() {
  installSignalHandlers();
  if (m_line.stealth) {
    setStealthMode(true);
    logMessage(text::kStealthActivated);
  }
  if (m_line.quitWhenDone) logMessage(text::kCommandLineActivated);
  if (!httpLibraryVersionHolds(httpLibraryVersion())) {
    std::fprintf(stderr, "%s\n", text::kHttpLibraryTooOld);
    return kExitCouldNotStart;
  }

  SettingsStore store;
  if (takeConditionsOfUseDue(store)) std::fprintf(stderr, "%s\n\n", text::kConditionsOfUse);

  // Made before the document, whose end joins the workers that use them.
  ConsoleVersionHost versionHost(store.fileName());
  VersionCheck versionCheck(versionHost, defaultVersionServer(), productVersion());
  CrawlDocument document(store, *this);
  document.setCommandLineMode(true);
  document.controller().setObserver(this);
  document.controller().setRootHook([&document, &versionCheck](HttpSession& session) {
    DownloadController& controller = document.controller();
    versionCheck.checkForNewVersion(&session, controller.offline.load(), controller.versionNotify);
  });
  document.newDocument();
  if (!applyOverrides(document)) {
    document.controller().setObserver(nullptr);
    return kExitCouldNotStart;
  }
  const std::string& logFile = document.controller().settings.logFile;
  if (!logFile.empty()) openLogFile(logFile);

  int status = kExitCouldNotStart;
  uint32_t startTick = tickCount();
  if (m_line.files.empty()) {
    std::fprintf(stderr, "sitegleaner: no URL, profile or URL list given\n\n%s", usageText().c_str());
  } else {
    const std::string& argument = m_line.files.front();
    // A profile, a URL list (worked off at once in command-line mode, as
    // nobody can choose "Begin Batch Processing") or a root URL; each file
    // is read once.
    document.openArgument(argument, false);
    printLog();
    if (!document.profileRefusal().empty()) {
      // Said above; nothing was started.
    } else if (!m_resumeRefusal.empty()) {
      std::fprintf(stderr, "sitegleaner: %s\n", m_resumeRefusal.c_str());
    } else if (!document.downloading()) {
      std::string reason = document.controller().information;
      if (reason.empty()) reason = "nothing to download";
      std::fprintf(stderr, "sitegleaner: could not start a download of \"%s\": %s\n", argument.c_str(),
                   reason.c_str());
    } else {
      status = kExitCompleted;
      bool shutDown = false;
      int interruptsSeen = 0;
      uint32_t lastStatus = 0;
      while (!m_quit) {
        int ends = 0;
        {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
          MutexLock lock(m_mutex);
          while (m_endsPending == 0 && lock.waitUntil(m_wake, deadline)) {
          }
          ends = m_endsPending;
          m_endsPending = 0;
        }
        int interrupts = g_interrupts.load();
        if (interrupts != interruptsSeen) {
          interruptsSeen = interrupts;
          if (interrupts == 1) {
            std::fprintf(stderr, "\nStopping (press Ctrl+C again to quit at once)...\n");
            document.stopDownload();
          } else {
            document.controller().workQueue().shutdown();
            shutDown = true;
            m_anyAborted = true;
            break;
          }
        }
        printLog();
        for (int i = 0; i < ends && !m_quit; ++i) {
          if (document.controller().cancelled) m_anyAborted = true;
          document.downloadEnded();
          if (document.lastDownloadIncomplete()) m_anyIncomplete = true;
          printLog();
        }
        if (!document.downloading()) break;
        if (tickCount() - lastStatus >= 500) {
          printStatus(document, false);
          lastStatus = tickCount();
        }
      }
      if (!shutDown) document.controller().workQueue().waitForWorkers(60000);
      printLog();
      printStatus(document, true);
      printSummary(document, startTick);
      // A download cut by its limits, or one whose files could not all be
      // written, did not complete: a script must not take it for done.
      status = m_anyAborted || m_anyIncomplete ? kExitAborted : kExitCompleted;
    }
  }

  restoreOverridden(document);
  document.controller().setObserver(nullptr);
  document.closeDocument();
  printLog();
  closeLogFile();
  return status;
}

}  // namespace

int runConsole(const CommandLine& line) {
  ConsoleFrontEnd frontEnd(line);
  return frontEnd.run();
}

}  // namespace sg
