// The main window: the link tree and the details list side by side, the
// toolbar with the URL box, the log, thread and batch panes, the status bar
// and the menus. It is the document's front end on the desktop.
// GUI thread only.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

#include "document/crawl_document.h"
#include "services/version_check.h"
#include "ui/gui_bridge.h"
#include "ui/link_models.h"
#include "ui/link_store.h"

class QAction;
class QMenu;
class QSplitter;
class QToolBar;

namespace sg {

class BatchPane;
class DesktopPasswordPrompt;
class DesktopVersionHost;
class DetailsView;
class LinkTreeView;
class LogPane;
class ThreadPane;
class UrlBox;
class WorkerRequests;

// Intervals that tests shorten; the defaults are the program's.
struct WindowTiming {
  int refreshMs = 1000;      // status refresh at least this often
  int logMs = 500;           // log pane
  int threadMs = 300;        // thread pane
  uint32_t probeMs = 10000;  // connection probe at most this often
  int updateSliceMs = 20;    // engine updates applied per event-loop turn (at least one)
};

class MainWindow : public QMainWindow, public DocumentHost {
  Q_OBJECT

 public:
  // The window's commands. Each keeps its object name, under which the
  // window's state and the key table know it.
  struct Actions {
    // The File menu, the toolbar and the keys of its commands.
    QAction *go = nullptr, *stop = nullptr, *options = nullptr, *workOffline = nullptr, *browseOffline = nullptr;
    QAction *openProfile = nullptr, *newDocument = nullptr, *saveProfile = nullptr, *saveProfileAs = nullptr;
    QAction *beginBatch = nullptr, *exit = nullptr;
    // The View and Help menus.
    QAction *showAll = nullptr, *clearLog = nullptr, *clearHistory = nullptr, *clearLinks = nullptr;
    QAction *toggleStatusBar = nullptr, *help = nullptr, *checkReleases = nullptr, *about = nullptr;
    // Keys without a menu item, and the context menus of the link views.
    QAction *focusUrl = nullptr, *nextPane = nullptr, *previousPane = nullptr;
    QAction *autoExpand = nullptr, *openUrl = nullptr, *openLocalCopy = nullptr, *includeUrl = nullptr;
  };
  // The panes of the status bar, left to right.
  struct StatusPanes {
    QLabel *message = nullptr, *rate = nullptr, *pending = nullptr, *threads = nullptr, *time = nullptr;
  };

  // connection answers whether the system is online while no download runs.
  MainWindow(SettingsStore& store, WindowTiming timing = {},
             ConnectionStateLayer& connection = systemConnectionState());
  ~MainWindow() override;

  CrawlDocument& document() { return *m_document; }
  LinkStore& store() { return m_store; }
  LinkTreeModel& treeModel() { return *m_treeModel; }
  DetailsModel& detailsModel() { return *m_detailsModel; }
  LinkTreeView* treeView() const { return m_treeView; }
  DetailsView* detailsView() const { return m_detailsView; }
  UrlBox* urlBox() const { return m_urlBox; }
  LogPane* logPane() const { return m_logPane; }
  ThreadPane* threadPane() const { return m_threadPane; }
  BatchPane* batchPane() const { return m_batchPane; }
  const Actions& actions() const { return m_actions; }
  const StatusPanes& statusPanes() const { return m_panes; }
  // How addresses and saved files are handed to the desktop; tests put
  // their own in.
  using UrlOpener = std::function<bool(const QUrl&)>;
  void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
  // Whether the status panes are refreshed on their timer.
  bool refreshing() const { return m_refreshTimer.isActive(); }

  // The frame's operations.
  void openArgument(const QString& text, bool noStart);
  void showBatchPane() override;
  void loadWindowPlacement();
  void showHelp();
  void saveWindowPlacement();
  // Recomputes command states and status panes.
  void refresh();
  // Applies waiting engine updates, oldest first, for one slice of time;
  // what is left waits for the next turn of the event loop.
  void applyUpdates();
  // Checks for a newer release, asking server, when the first download of
  // this window's run takes its root link (not offline, not with "Notify"
  // off). Without this call no check is made.
  void enableVersionCheck(const VersionServer& server, double productVersion);

  // Where Help looks for the manual, in order.
  QStringList helpPlaces;

  // Questions are asked through these (tests answer them).
  std::function<bool(const QString& question)> ask;
  std::function<void(const QString& message)> inform;
  std::function<JournalChoice(const QString& question)> chooseResume;

  // DocumentHost
  bool confirmReset() override;
  bool confirmCancelBatch() override;
  bool confirmEndDownloadOnClose() override;
  void reportSettingsReadError(const std::string& message) override;
  void reportError(const std::string& message) override;
  void addToUrlBox(const std::string& url) override;
  void setStatusMessage(const std::string& text) override;
  void rootSaved(const std::string& file) override;
  void titleChanged(const std::string& title) override;
  void downloadReset() override;
  void quitApplication() override;
  JournalChoice askResume(const std::string& url, size_t waiting) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The root's saved file when it is there to browse; empty otherwise.
  std::string savedRootFile() const;
  bool openUrl(const QUrl& url);
  void createActions();
  void setCommandIcons();
  void createMenus();
  void createToolBar();
  void createDockWindows();
  void createStatusBar();
  void createViews();

  void go();
  void openProfile();
  void saveProfileAs();
  void showOptions();
  void showAbout();
  void toggleInclude(LinkNode* node);
  void showTreeMenu(const QPoint& at);
  void showDetailsMenu(const QPoint& at);
  LinkNode* selectedTreeNode() const;
  LinkNode* selectedDetailsNode() const;
  void showSelectedPage();

  SettingsStore& m_settings;
  WindowTiming m_timing;
  GuiBridge m_bridge;
  std::deque<LinkUpdate> m_backlog;  // taken from the bridge, not yet applied
  QTimer m_backlogTimer;
  std::unique_ptr<CrawlDocument> m_document;
  LinkStore m_store;
  LinkTreeModel* m_treeModel = nullptr;
  DetailsModel* m_detailsModel = nullptr;

  QSplitter* m_splitter = nullptr;
  LinkTreeView* m_treeView = nullptr;
  DetailsView* m_detailsView = nullptr;
  UrlBox* m_urlBox = nullptr;
  LogPane* m_logPane = nullptr;
  ThreadPane* m_threadPane = nullptr;
  BatchPane* m_batchPane = nullptr;
  QToolBar* m_toolBar = nullptr;
  QMenu* m_viewMenu = nullptr;
  Actions m_actions;
  StatusPanes m_panes;
  QTimer m_refreshTimer;
  UrlOpener m_opener;  // empty: the desktop's own
  uint32_t m_lastProbe = 0;
  bool m_probed = false;
  bool m_closing = false;
  std::string m_title;
  ConnectionStateLayer& m_connection;

  // Questions of the workers. Declared after what the requests use, so
  // that requests still queued are dropped before it goes.
  std::unique_ptr<DesktopPasswordPrompt> m_passwordPrompt;
  std::unique_ptr<DesktopVersionHost> m_versionHost;
  std::unique_ptr<VersionCheck> m_versionCheck;
  std::unique_ptr<WorkerRequests> m_workerRequests;
};

}  // namespace sg
