#include "document/crawl_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "document/profile_file.h"
#include "engine/robots.h"
#include "support/end_signal.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "util/log.h"

namespace sg::test {
namespace {

// A front end that answers the document's questions as scripted and lets
// the test wait for the end of each download.
class ScriptedHost : public DocumentHost, public EndSignal {
 public:
  bool confirmReset() override { return true; }
  bool confirmCancelBatch() override {
    ++batchQuestions;
    return cancelBatchAnswer;
  }
  bool confirmEndDownloadOnClose() override { return closeAnswer; }
  void reportSettingsReadError(const std::string& message) override {
    ++settingsErrors;
    settingsMessage = message;
  }
  void reportError(const std::string& message) override { errors.push_back(message); }
  void showBatchPane() override { ++batchPaneShown; }
  void addToUrlBox(const std::string& url) override { urlBox.push_back(url); }
  void setStatusMessage(const std::string& text) override { statusMessage = text; }
  void titleChanged(const std::string& title) override { shownTitle = title; }
  void quitApplication() override { quit = true; }

  // Waits for the next end and hands it to the document, as a front end's
  // main loop does.
  bool deliverEnd(CrawlDocument& document) {
    if (!wait(++delivered)) return false;
    document.controller().workQueue().waitForWorkers(30000);
    document.downloadEnded();
    return true;
  }

  bool cancelBatchAnswer = false, closeAnswer = false, quit = false;
  int batchQuestions = 0, settingsErrors = 0, batchPaneShown = 0, delivered = 0;
  std::string settingsMessage, statusMessage, shownTitle;
  std::vector<std::string> errors, urlBox;
};

class Document : public ::testing::Test {
 protected:
  Document() : store(QString::fromStdString(dir.file("settings.conf"))), document(store, host) {
    robotsCache().clear();
    logQueue().clear();
    document.newDocument();
    document.controller().settings.linkPause = 0;
    document.controller().setObserver(&host);
  }
  ~Document() override {
    document.controller().workQueue().shutdown();
    document.controller().setObserver(nullptr);
  }

  TempDir dir;
  SettingsStore store;
  ScriptedHost host;
  CrawlDocument document;
};

TEST_F(Document, TitleFollowsRootBatchAndOfflineState) {
  EXPECT_EQ(document.title(), "No URL Selected");
  ASSERT_TRUE(document.resetDownload("http://www.example.com/", false));
  EXPECT_EQ(document.title(), "www.example.com/");
  EXPECT_EQ(host.shownTitle, "www.example.com/");
  ASSERT_TRUE(document.resetDownload("HTTP://www.example.com/", false));
  EXPECT_EQ(document.title(), "HTTP://www.example.com/");
  document.toggleWorkOffline();
  EXPECT_EQ(document.title(), "HTTP://www.example.com/ - [Working Offline]");
  EXPECT_TRUE(document.controller().offline);
  document.toggleWorkOffline();
  EXPECT_EQ(document.title(), "HTTP://www.example.com/");
}

TEST_F(Document, UrlListQueuesWebUrlsOnlyAndSaysWhatItSkipped) {
  writeFile(dir.file("mixed.txt"),
            "www.example.com/docs/\n\nftp://ftp.example.com/x\n  https://secure.example.com/  \n"
            "\x01\xff garbage\x7f\nrandomword\nhttp://bad host/\n" +
                std::string(20000, 'a') + ".example.com\n");
  writeFile(dir.file("second.txt"), "http://second.example.com/\r\nlocalhost:8080/x");
  writeFile(dir.file("empty.txt"), "");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  logQueue().clear();
  EXPECT_TRUE(document.readUrlListFile(dir.file("mixed.txt")));
  EXPECT_TRUE(document.readUrlListFile(dir.file("second.txt")));
  EXPECT_FALSE(document.readUrlListFile(dir.file("empty.txt")));
  EXPECT_FALSE(document.readUrlListFile(dir.file("missing.txt")));
  EXPECT_FALSE(document.readUrlListFile(dir.file("fifo")));  // refused at once, not waited on
  EXPECT_FALSE(document.readUrlListFile("/dev/zero"));
  EXPECT_FALSE(document.readUrlListFile(""));
  EXPECT_EQ(std::vector<std::string>(document.batchQueue().begin(), document.batchQueue().end()),
            (std::vector<std::string>{"http://www.example.com/docs/", "https://secure.example.com/",
                                      "http://second.example.com/", "http://localhost:8080/x"}));
  auto lines = drainLog();
  const std::string skipped = " lines skipped (not web URLs)";
  EXPECT_TRUE(containsLine(lines, "URL list " + dir.file("mixed.txt") + ": 2 URLs queued, 5" + skipped));
  EXPECT_TRUE(containsLine(lines, "URL list " + dir.file("second.txt") + ": 2 URLs queued, 0" + skipped));
}

TEST_F(Document, OpenArgumentTellsProfilesListsAndUrlsApart) {
  CrawlSettings settings = document.controller().settings;
  settings.maxCrawlDepth = 7;
  std::string error;
  ASSERT_TRUE(saveProfileFile(dir.file("site.glean"), "http://profiled.example.com/", settings, error));
  document.openArgument(dir.file("site.glean"), true);
  EXPECT_EQ(document.controller().url(), "http://profiled.example.com/");
  EXPECT_EQ(document.controller().settings.maxCrawlDepth, 7);
  EXPECT_EQ(host.urlBox.back(), "http://profiled.example.com/");

  // A URL list read first as a profile leaves the settings alone.
  std::string prose(40, ' ');
  for (int i = 0; i < 20; ++i) prose += "words that are no address ";
  writeFile(dir.file("list.txt"), prose + "\nhttp://listed.example.com/\n" + prose + prose);
  document.controller().settings.maxCrawlDepth = 4;
  const size_t urlsShown = host.urlBox.size();
  // Even when told to start, a list only fills the batch queue.
  document.openArgument(dir.file("list.txt"), false);
  EXPECT_EQ(host.batchPaneShown, 1);
  EXPECT_EQ(document.batchQueue().size(), 1u);
  EXPECT_EQ(document.controller().settings.maxCrawlDepth, 4);
  EXPECT_FALSE(document.downloading());
  EXPECT_EQ(host.urlBox.size(), urlsShown);
}

TEST_F(Document, GoResumesTheSameRootAndStartsAfreshForAnother) {
  TestServer server;
  server.page("/", "<a href=\"a.html\">a</a><a href=\"b.html\">b</a>");
  server.page("/a.html", "a");
  server.page("/b.html", "b");
  server.start();
  document.controller().settings.threads = 1;
  ASSERT_TRUE(document.startDownload(server.url("/")));
  EXPECT_FALSE(document.canGo());
  EXPECT_TRUE(document.canStop());
  ASSERT_TRUE(host.deliverEnd(document));
  EXPECT_EQ(host.statusMessage, "Download complete");
  EXPECT_FALSE(document.downloading());
  EXPECT_EQ(document.controller().childCount(), 2u);

  // The same root again walks the existing tree; another clears it.
  ASSERT_TRUE(document.startDownload(server.url("/")));
  ASSERT_TRUE(host.deliverEnd(document));
  EXPECT_EQ(document.controller().childCount(), 2u);
  ASSERT_TRUE(document.startDownload(server.url("/a.html")));
  EXPECT_EQ(document.controller().childCount(), 0u);
  ASSERT_TRUE(host.deliverEnd(document));
}

TEST_F(Document, StoppedBatchAsksWhetherToCancelTheRest) {
  TestServer server;
  server.stalledBody("/slow", "x", 20000);
  server.page("/next", "next");
  server.page("/last", "last");
  server.start();
  writeFile(dir.file("list.txt"), server.url("/slow") + "\n" + server.url("/next") + "\n" + server.url("/last") + "\n");
  ASSERT_TRUE(document.readUrlListFile(dir.file("list.txt")));

  // Answered No: the next entry starts.
  EXPECT_TRUE(document.beginBatch());
  EXPECT_NE(document.title().find(" (batch) "), std::string::npos);
  // Beginning again while the first runs takes nothing from the queue.
  EXPECT_FALSE(document.beginBatch());
  EXPECT_EQ(document.batchQueue().size(), 2u);
  while (server.count("/slow") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  document.stopDownload();
  host.cancelBatchAnswer = false;
  ASSERT_TRUE(host.deliverEnd(document));
  EXPECT_TRUE(containsLine(drainLog(), "Download aborted."));
  EXPECT_EQ(host.statusMessage, "");  // the next entry runs; its own end will show
  EXPECT_EQ(host.batchQuestions, 1);
  EXPECT_EQ(document.controller().url(), server.url("/next"));
  EXPECT_TRUE(document.downloading());

  // Stopped again and answered Yes: the queue is emptied, batch mode ends.
  document.stopDownload();
  host.cancelBatchAnswer = true;
  document.setCommandLineMode(true);
  ASSERT_TRUE(host.deliverEnd(document));
  EXPECT_EQ(host.batchQuestions, 2);
  EXPECT_TRUE(document.batchQueue().empty());
  EXPECT_FALSE(document.batchMode());
  EXPECT_FALSE(document.downloading());
  EXPECT_EQ(document.title().find("(batch)"), std::string::npos);
  EXPECT_TRUE(host.quit);
}

TEST_F(Document, CloseQueryDuringADownload) {
  TestServer server;
  server.stalledBody("/", "x", 20000);
  server.start();
  EXPECT_TRUE(document.canClose());
  ASSERT_TRUE(document.startDownload(server.url("/")));
  host.closeAnswer = false;
  EXPECT_FALSE(document.canClose());
  EXPECT_FALSE(document.controller().cancelled);
  host.closeAnswer = true;
  EXPECT_TRUE(document.canClose());
  EXPECT_TRUE(document.controller().cancelled);
  ASSERT_TRUE(host.deliverEnd(document));
}

TEST_F(Document, UnreadableSettingsAreNamedAndKeptUntilTheUserChangesOne) {
  CrawlSettings& settings = document.controller().settings;
  settings.saveDirectory = "/kept/sites";
  settings.username = "alice";
  store.save(settings, document.controller().exclusions(), document.view);
  store.writeText("General", "Threads", "lots");
  store.sync();
  document.newDocument();
  EXPECT_EQ(host.settingsErrors, 1);
  EXPECT_NE(host.settingsMessage.find("instead for: Threads (lots)."), std::string::npos) << host.settingsMessage;
  EXPECT_EQ(settings.threads, 8);
  EXPECT_EQ(settings.saveDirectory, "/kept/sites");
  EXPECT_EQ(settings.username, "alice");
  // Closing without a change leaves the file for the user to mend.
  document.closeDocument();
  EXPECT_EQ(store.readText("General", "Threads"), "lots");
  settings.maxCrawlDepth = 3;
  document.closeDocument();
  EXPECT_EQ(store.readInt("General", "Threads", -1), 8);
  EXPECT_EQ(store.readText("General", "Save Directory"), "/kept/sites");
}

TEST_F(Document, ProfileWithAValueOutOfRangeIsRefusedAndSaysWhich) {
  CrawlSettings settings = document.controller().settings;
  settings.threads = 2147483647;
  std::string error;
  ASSERT_TRUE(saveProfileFile(dir.file("huge.glean"), "http://profiled.example.com/", settings, error));
  const CrawlSettings before = document.controller().settings;
  document.openArgument(dir.file("huge.glean"), true);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("\"Threads\" must be between 1 and 30, not 2147483647"), std::string::npos)
      << host.errors[0];
  EXPECT_EQ(document.controller().settings, before);
  EXPECT_EQ(document.controller().url(), "");
  EXPECT_TRUE(document.batchQueue().empty());
}

}  // namespace
}  // namespace sg::test
