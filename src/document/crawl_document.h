// The crawl document: the one download of the application with its
// settings, batch queue and view options, and what each of the user's
// commands does to it. Front ends (the desktop window, the console) drive
// it on their main thread and answer its questions through DocumentHost.
//
// Not thread-safe: every call on the front end's main thread. Engine
// updates arrive on worker threads; the front end hands the end of a
// download to downloadEnded() on its main thread.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "document/settings_store.h"
#include "engine/download_controller.h"
#include "pipeline/page_pipeline.h"
#include "platform/connection_state.h"

namespace sg {

// What to do with a stopped download found in the crawl journal.
enum class JournalChoice { Resume, Restart, Cancel };

// What the document needs of its front end.
class DocumentHost {
 public:
  virtual ~DocumentHost() = default;
  // "This will clear the current download. Are you sure?" - true for Yes.
  virtual bool confirmReset() = 0;
  // "You have cancelled the current download..." - true to cancel the
  // whole batch.
  virtual bool confirmCancelBatch() = 0;
  // "Cannot close whilst a download is in progress..." - true to end it.
  virtual bool confirmEndDownloadOnClose() = 0;
  // Some settings could not be read and take their defaults; message says
  // which.
  virtual void reportSettingsReadError(const std::string& message) = 0;
  // A file handed to the program cannot be used (a profile with a value out
  // of range, say); message says why.
  virtual void reportError(const std::string& message) = 0;
  virtual void showBatchPane() {}
  virtual void addToUrlBox(const std::string& url) {}
  virtual void setStatusMessage(const std::string& text) {}
  // A download ended with its root page saved as file. The console says so
  // in its summary; the window in its log.
  virtual void rootSaved(const std::string& file) {}
  virtual void titleChanged(const std::string& title) {}
  // The links were discarded; views show the root afresh.
  virtual void downloadReset() {}
  // Command-line mode: the application should end.
  virtual void quitApplication() {}
  // A stopped download of url was found in its crawl journal with waiting
  // links still to fetch: continue it, start again, or start nothing.
  virtual JournalChoice askResume(const std::string& url, size_t waiting) { return JournalChoice::Restart; }
};

class CrawlDocument {
 public:
  CrawlDocument(SettingsStore& store, DocumentHost& host,
                ConnectionStateLayer& connection = systemConnectionState());
  ~CrawlDocument();
  CrawlDocument(const CrawlDocument&) = delete;
  CrawlDocument& operator=(const CrawlDocument&) = delete;

  DownloadController& controller() { return m_controller; }
  PagePipeline& pipeline() { return m_pipeline; }
  SettingsStore& store() { return m_store; }

  // Loads the settings (reporting the values that could not be read, which
  // take their defaults), resets the root to no URL and updates the title.
  bool newDocument();
  // Saves the settings, unless the file held unreadable values and nothing
  // changed since: those stay in the file for the user to mend.
  void closeDocument();

  // Starts a download for url, resuming when it is the current root.
  bool startDownload(const std::string& url);
  void stopDownload();
  // Discards the links and makes url the root; asks first when ask is set.
  bool resetDownload(const std::string& url, bool ask);
  void updateTitle();
  const std::string& title() const { return m_title; }

  // Opens a profile file: its settings and root URL are taken only when
  // the whole file reads as a profile and its values are in range. A
  // profile refused for its values leaves profileRefusal() set.
  bool openProfile(const std::string& path);
  const std::string& profileRefusal() const { return m_profileRefusal; }
  bool saveProfileAs(const std::string& path, const std::string& urlBoxText, std::string& error);
  // Appends the web URLs of a text file to the batch queue and logs how
  // many lines were taken and skipped; true when the file held at least
  // one line. Only regular files are read, and only so much of them.
  bool readUrlListFile(const std::string& path);
  // Starts the next batch entry, or ends batch mode; returns the batch
  // mode flag afterwards.
  bool nextBatchJob();
  // Begin Batch Processing: the next queued URL starts, unless a download
  // runs; then nothing is taken from the queue. True when one started.
  bool beginBatch();
  // A file or text handed to the program: a profile, a URL list or a URL.
  void openArgument(const std::string& text, bool noStart);

  // The end of a download, on the main thread: logs and shows "Download
  // complete" or "Download aborted.", then goes on with the batch.
  void downloadEnded();
  // The close query.
  bool canClose();
  void toggleWorkOffline();
  void toggleShowAll();

  bool downloading() const { return m_downloading; }
  // The download that ended last was cut by a limit of the whole download
  // or could not write every file it read.
  bool lastDownloadIncomplete() const { return m_lastIncomplete; }
  bool batchMode() const { return m_batchMode; }
  const std::deque<std::string>& batchQueue() const { return m_batchQueue; }
  bool commandLineMode() const { return m_commandLineMode; }
  void setCommandLineMode(bool on) { m_commandLineMode = on; }

  // Command states.
  bool canGo() const { return !m_downloading; }
  bool canStop() const { return m_downloading && !m_controller.cancelled; }
  bool canEditOptions() const { return !m_downloading; }

  ViewOptions view;

 private:
  // Before a fresh start: offers a stopped download that the crawl journal
  // holds; false when the user chose to start nothing.
  bool offerJournalResume();

  SettingsStore& m_store;
  DocumentHost& m_host;
  ConnectionStateLayer& m_connection;
  PagePipeline m_pipeline;
  DownloadController m_controller;
  std::deque<std::string> m_batchQueue;
  bool m_batchMode = false;
  bool m_downloading = false;
  bool m_commandLineMode = false;
  std::string m_title;
  std::string m_profileRefusal;
  bool m_lastIncomplete = false;
  // Set when the last load met unreadable values: the record as loaded, so
  // that closing without a change leaves the file as it is.
  std::optional<CrawlSettings> m_loadedWithErrors;
};

}  // namespace sg
