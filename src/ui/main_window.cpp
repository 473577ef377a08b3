#include "ui/main_window.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "ui/about_dialog.h"
#include "ui/app_icons.h"
#include "ui/link_views.h"
#include "ui/options_sheet.h"
#include "ui/panes.h"
#include "ui/password_dialog.h"
#include "ui/url_box.h"
#include "ui/version_dialog.h"
#include "ui/worker_requests.h"
#include "util/format.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

const QString kIdleMessage = QStringLiteral("Enter a URL to start crawling");
constexpr const char* kHelpFile = "SitegleanerDocs.html";

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// The first line of a prompt goes to the message pane, the rest is the tip.
void setPrompt(QAction* action, const QString& prompt) {
  int split = prompt.indexOf('\n');
  action->setStatusTip(split < 0 ? prompt : prompt.left(split));
  if (split >= 0) action->setToolTip(prompt.mid(split + 1));
}

QLabel* fixedPane(const QString& initial, QWidget* parent) {
  auto* label = new QLabel(initial, parent);
  // Fixed in both directions: a new text then repaints the pane alone,
  // where a pane free in height has the whole window laid out again.
  label->setFixedSize(label->fontMetrics().horizontalAdvance(initial) + 8, label->sizeHint().height());
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

}  // namespace

MainWindow::MainWindow(SettingsStore& store, WindowTiming timing, ConnectionStateLayer& connection)
    : m_settings(store), m_timing(timing), m_connection(connection) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowIcon(applicationIcon());
  ask = [this](const QString& question) {
    return QMessageBox::question(this, tr("Sitegleaner"), question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
  inform = [this](const QString& message) { QMessageBox::information(this, tr("Sitegleaner"), message); };
  chooseResume = [this](const QString& question) {
    QMessageBox box(QMessageBox::Question, tr("Sitegleaner"), question, QMessageBox::NoButton, this);
    QPushButton* resume = box.addButton(tr("&Resume"), QMessageBox::AcceptRole);
    QPushButton* again = box.addButton(tr("&Start Again"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(resume);
    box.exec();
    if (box.clickedButton() == resume) return JournalChoice::Resume;
    return box.clickedButton() == again ? JournalChoice::Restart : JournalChoice::Cancel;
  };

  helpPlaces = {QDir::currentPath(), QCoreApplication::applicationDirPath(),
                QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/sitegleaner"),
                QStringLiteral(SITEGLEANER_DOC_DIR)};
  m_document = std::make_unique<CrawlDocument>(store, *this, connection);
  m_treeModel = new LinkTreeModel(m_store, this);
  m_detailsModel = new DetailsModel(m_store, this);

  createViews();
  createActions();
  setCommandIcons();
  createMenus();
  createToolBar();
  createDockWindows();
  createStatusBar();

  connect(&m_bridge, &GuiBridge::updatesWaiting, this, &MainWindow::applyUpdates);
  m_backlogTimer.setSingleShot(true);
  m_backlogTimer.setInterval(0);
  connect(&m_backlogTimer, &QTimer::timeout, this, &MainWindow::applyUpdates);
  m_document->controller().setObserver(&m_bridge);
  // Under a busy processor the window would otherwise wait behind every
  // worker for its turn, and with it the paint jobs Qt hands to its pool.
  m_document->controller().workQueue().lowerWorkerPriority(10);
  // A 401 or 407 asks the user when `Prompt For Password` is set (the
  // pipeline looks at the setting).
  m_workerRequests = std::make_unique<WorkerRequests>();
  m_passwordPrompt = std::make_unique<DesktopPasswordPrompt>(*m_workerRequests, this);
  m_document->pipeline().setPasswordPrompt(m_passwordPrompt.get());
  m_document->newDocument();
  m_detailsModel->setShowAll(m_document->view.showAll);
  m_actions.autoExpand->setChecked(m_document->view.autoExpand);
  downloadReset();

  restoreState(m_settings.readBytes(QStringLiteral("Toolbars"), QStringLiteral("State")));
  // The window's state holds the toolbars and panes, not the status bar.
  m_actions.toggleStatusBar->setChecked(
      m_settings.readInt(QStringLiteral("Toolbars"), QStringLiteral("Status Bar"), 1) != 0);
  connect(&m_refreshTimer, &QTimer::timeout, this, &MainWindow::refresh);
  m_refreshTimer.start(m_timing.refreshMs);
  resize(900, 640);
  refresh();
}

MainWindow::~MainWindow() {
  m_document->controller().setObserver(nullptr);
  m_document->controller().workQueue().shutdown();
}

void MainWindow::createViews() {
  m_splitter = new QSplitter(Qt::Horizontal, this);
  m_splitter->setObjectName(QStringLiteral("splitter"));
  m_treeView = new LinkTreeView(m_splitter);
  m_treeView->setModel(m_treeModel);
  m_detailsView = new DetailsView(m_splitter);
  m_detailsView->setModel(m_detailsModel);
  const int widths[] = {250, 50, 75, 75, 110, 1};
  for (int c = 0; c < DetailsModel::kColumnCount; ++c) m_detailsView->setColumnWidth(c, widths[c]);
  m_splitter->addWidget(m_treeView);
  m_splitter->addWidget(m_detailsView);
  // The tree gets a third of the width, so that its items can be read.
  m_splitter->setStretchFactor(0, 1);
  m_splitter->setStretchFactor(1, 2);
  m_splitter->setSizes({1000, 2000});
  // Long addresses keep both their ends: the server and the file.
  m_treeView->setTextElideMode(Qt::ElideMiddle);
  m_detailsView->setTextElideMode(Qt::ElideMiddle);
  setCentralWidget(m_splitter);

  auto idle = [this] { return !m_document->downloading(); };
  m_treeView->setDropAllowed(idle);
  m_detailsView->setDropAllowed(idle);
  connect(m_treeView, &LinkTreeView::argumentDropped, this, [this](const QString& text) { openArgument(text, true); });
  connect(m_detailsView, &DetailsView::argumentDropped, this,
          [this](const QString& text) { openArgument(text, true); });
  connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { showSelectedPage(); });
  connect(m_treeView, &QTreeView::expanded, this, [this] { showSelectedPage(); });
  connect(m_treeView, &QTreeView::collapsed, this, [this] { showSelectedPage(); });
  connect(m_treeModel, &LinkTreeModel::itemInserted, this, [this](const QModelIndex& parent) {
    if (m_document->view.autoExpand) m_treeView->expand(parent);
  });
  connect(m_treeView, &QWidget::customContextMenuRequested, this, &MainWindow::showTreeMenu);
  connect(m_detailsView, &QWidget::customContextMenuRequested, this, &MainWindow::showDetailsMenu);
  connect(m_detailsView->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { m_detailsModel->sortByHeader(column); });
  connect(m_detailsView, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (LinkNode* node = m_detailsModel->nodeAt(index.row())) {
      openUrl(QUrl(fromUtf8(node->info.url)));
    }
  });
}

std::string MainWindow::savedRootFile() const {
  const DownloadController& controller = m_document->controller();
  if (!controller.settings.saveFiles) return {};
  std::string file = controller.localFile();
  struct stat info {};
  if (file.empty() || ::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return file;
}

bool MainWindow::openUrl(const QUrl& url) { return m_opener ? m_opener(url) : QDesktopServices::openUrl(url); }

void MainWindow::createActions() {
  auto make = [this](QAction*& a, const QString& name, const QString& text, const QString& prompt,
                     const QKeySequence& key = {}) {
    a = new QAction(text, this);
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    if (!prompt.isEmpty()) setPrompt(a, prompt);
    addAction(a);
    return a;
  };
  connect(make(m_actions.go, "go", tr("&Go"), tr("Begin the download\nStart"), QKeySequence(Qt::CTRL | Qt::Key_G)),
          &QAction::triggered, this, &MainWindow::go);
  connect(make(m_actions.stop, "stop", tr("&Stop"), tr("Cancel the current download\nStop (Esc)"),
               QKeySequence(Qt::Key_Escape)),
          &QAction::triggered, this, [this] {
            m_document->stopDownload();
            refresh();
          });
  connect(
      make(m_actions.options, "options", tr("O&ptions..."),
           tr("Configure the 'crawl depth' and filters\nOptions (Alt+Enter)"), QKeySequence(Qt::ALT | Qt::Key_Return)),
      &QAction::triggered, this, &MainWindow::showOptions);
  QAction* offline =
      make(m_actions.workOffline, "workOffline", tr("Work O&ffline"),
           tr("Allows you to browse links which you may have previously downloaded, without connecting to the "
              "Internet\nWork Offline"),
           QKeySequence(Qt::ALT | Qt::Key_O));
  offline->setCheckable(true);
  connect(offline, &QAction::triggered, this, [this] {
    m_document->toggleWorkOffline();
    refresh();
  });
  connect(make(m_actions.openProfile, "openProfile", tr("&Open Profile..."), {}), &QAction::triggered, this,
          &MainWindow::openProfile);
  // Keys of the key table without a menu item of their own.
  connect(make(m_actions.newDocument, "newDocument", tr("New"), {}, QKeySequence(Qt::CTRL | Qt::Key_N)),
          &QAction::triggered, this, [this] {
            if (m_document->downloading()) return;
            m_document->newDocument();
            refresh();
          });
  connect(make(m_actions.saveProfile, "saveProfile", tr("Save Profile"), {}, QKeySequence(Qt::CTRL | Qt::Key_S)),
          &QAction::triggered, this, &MainWindow::saveProfileAs);
  connect(make(m_actions.saveProfileAs, "saveProfileAs", tr("Save Profile &As..."), {}), &QAction::triggered, this,
          &MainWindow::saveProfileAs);
  connect(make(m_actions.beginBatch, "beginBatch", tr("Begin Batch &Processing"),
               tr("Starts the list of batch URLs being downloaded.")),
          &QAction::triggered, this, [this] {
            m_document->beginBatch();
            refresh();
          });
  connect(make(m_actions.exit, "exit", tr("E&xit"), {}), &QAction::triggered, this, &QWidget::close);

  QAction* showAll = make(m_actions.showAll, "showAll", tr("Show &All Links"),
                          tr("Display all links, including those which have not been downloaded\nShow All"),
                          QKeySequence(Qt::CTRL | Qt::Key_A));
  showAll->setCheckable(true);
  connect(showAll, &QAction::triggered, this, [this] {
    m_document->toggleShowAll();
    m_detailsModel->setShowAll(m_document->view.showAll);
    m_detailsModel->rebuild();
    refresh();
  });
  connect(make(m_actions.clearLog, "clearLog", tr("Cl&ear Log"), tr("Clears the contents of the log window.")),
          &QAction::triggered, this, [this] {
            m_logPane->clearLog();
            refresh();
          });
  connect(make(m_actions.clearHistory, "clearHistory", tr("&Clear URL History"),
               tr("Remove all entries from the URL list")),
          &QAction::triggered, this, [this] { m_urlBox->clearHistory(); });
  connect(make(m_actions.clearLinks, "clearLinks", tr("Clear &Links"),
               tr("Clears the links from the current download to restart afresh instead of resuming.")),
          &QAction::triggered, this, [this] {
            m_document->resetDownload(m_urlBox->currentText().toStdString(), false);
            refresh();
          });
  connect(make(m_actions.help, "help", tr("Sitegleaner &Help"), tr("Opens the Sitegleaner help file")),
          &QAction::triggered, this, &MainWindow::showHelp);
  QAction* notify = make(m_actions.checkReleases, "checkReleases", tr("&Check for new releases"),
                         tr("Enables/Disables automatic checks for new versions of Sitegleaner during downloads"));
  notify->setCheckable(true);
  connect(notify, &QAction::triggered, this, [this](bool on) {
    m_document->controller().versionNotify = on;
    m_settings.writeInt(QStringLiteral("Version Check"), QStringLiteral("Notify"), on ? 1 : 0);
    m_settings.sync();
  });
  connect(make(m_actions.about, "about", tr("&About Sitegleaner..."), {}), &QAction::triggered, this,
          &MainWindow::showAbout);
  connect(make(m_actions.focusUrl, "focusUrl", tr("Start Address"), {}, QKeySequence(Qt::ALT | Qt::Key_A)),
          &QAction::triggered, this, [this] {
            m_urlBox->setFocus();
            m_urlBox->lineEdit()->selectAll();
          });
  connect(make(m_actions.nextPane, "nextPane", tr("Next Pane"), {}, QKeySequence(Qt::Key_F6)), &QAction::triggered,
          this, [this] { (m_treeView->hasFocus() ? static_cast<QWidget*>(m_detailsView) : m_treeView)->setFocus(); });
  connect(make(m_actions.previousPane, "previousPane", tr("Previous Pane"), {}, QKeySequence(Qt::SHIFT | Qt::Key_F6)),
          &QAction::triggered, this,
          [this] { (m_detailsView->hasFocus() ? static_cast<QWidget*>(m_treeView) : m_detailsView)->setFocus(); });

  QAction* autoExpand = make(m_actions.autoExpand, "autoExpand", tr("Auto E&xpand"), {});
  autoExpand->setCheckable(true);
  connect(autoExpand, &QAction::triggered, this, [this](bool on) { m_document->view.autoExpand = on; });
  connect(make(m_actions.openUrl, "openUrl", tr("&Open URL..."), {}), &QAction::triggered, this, [this] {
    LinkNode* node = m_detailsView->hasFocus() ? selectedDetailsNode() : selectedTreeNode();
    if (node) openUrl(QUrl(fromUtf8(node->info.url)));
  });
  connect(make(m_actions.browseOffline, "browseOffline", tr("&Browse Offline Copy"),
               tr("Opens the saved copy of the root page in your browser.")),
          &QAction::triggered, this, [this] {
            if (std::string file = savedRootFile(); !file.empty()) openUrl(QUrl::fromLocalFile(fromUtf8(file)));
          });
  connect(make(m_actions.openLocalCopy, "openLocalCopy", tr("Open &Local Copy"), {}), &QAction::triggered, this,
          [this] {
            LinkNode* node = selectedDetailsNode();
            if (node && !node->info.localFile.empty()) {
              openUrl(QUrl::fromLocalFile(fromUtf8(node->info.localFile)));
            }
          });
  QAction* include = make(m_actions.includeUrl, "includeUrl", tr("&Include URL"), {});
  include->setCheckable(true);
  connect(include, &QAction::triggered, this,
          [this] { toggleInclude(m_detailsView->hasFocus() ? selectedDetailsNode() : selectedTreeNode()); });
}

// Icons of the commands on the toolbar and in the menus; the text stays in
// the menus, the tooltips and the status bar.
void MainWindow::setCommandIcons() {
  const struct {
    QAction* action;
    QStringList themeNames;
    QStyle::StandardPixmap fallback;
  } icons[] = {
      {m_actions.go, {"media-playback-start", "go-next"}, QStyle::SP_MediaPlay},
      {m_actions.stop, {"process-stop"}, QStyle::SP_BrowserStop},
      {m_actions.options, {"document-properties", "preferences-system"}, QStyle::SP_FileDialogDetailedView},
      {m_actions.browseOffline, {"internet-web-browser", "folder-open"}, QStyle::SP_DirOpenIcon},
      {m_actions.openProfile, {"document-open"}, QStyle::SP_DialogOpenButton},
      {m_actions.saveProfileAs, {"document-save-as"}, QStyle::SP_DialogSaveButton},
      {m_actions.exit, {"application-exit"}, QStyle::SP_DialogCloseButton},
      {m_actions.help, {"help-contents"}, QStyle::SP_DialogHelpButton},
      {m_actions.about, {"help-about"}, QStyle::SP_MessageBoxInformation},
  };
  for (const auto& entry : icons) entry.action->setIcon(commandIcon(entry.themeNames, entry.fallback));
}

void MainWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(m_actions.go);
  file->addAction(m_actions.stop);
  file->addAction(m_actions.options);
  file->addAction(m_actions.workOffline);
  file->addAction(m_actions.browseOffline);
  file->addSeparator();
  file->addAction(m_actions.openProfile);
  file->addAction(m_actions.saveProfileAs);
  file->addSeparator();
  file->addAction(m_actions.beginBatch);
  file->addSeparator();
  file->addAction(m_actions.exit);
  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->setObjectName(QStringLiteral("viewMenu"));
  m_viewMenu = view;
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(m_actions.help);
  help->addAction(m_actions.checkReleases);
  help->addSeparator();
  help->addAction(m_actions.about);
}

void MainWindow::createToolBar() {
  m_toolBar = addToolBar(tr("Toolbar"));
  m_toolBar->setObjectName(QStringLiteral("toolBar"));
  m_toolBar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
  // Icons alone, or with their text where the desktop asks for it.
  m_toolBar->setToolButtonStyle(Qt::ToolButtonFollowStyle);
  m_urlBox = new UrlBox(m_settings, m_toolBar);
  m_urlBox->setToolTip(tr("Start Address (Alt+A)"));
  m_urlBox->setStatusTip(kIdleMessage);
  m_toolBar->addWidget(m_urlBox);
  m_toolBar->addSeparator();
  m_toolBar->addAction(m_actions.go);
  m_toolBar->addAction(m_actions.stop);
  m_toolBar->addSeparator();
  m_toolBar->addAction(m_actions.options);
  m_toolBar->addAction(m_actions.browseOffline);
  connect(m_urlBox, &UrlBox::goRequested, this, &MainWindow::go);
}

void MainWindow::createDockWindows() {
  m_logPane = new LogPane(this, m_timing.logMs);
  m_batchPane = new BatchPane(this);
  m_threadPane = new ThreadPane(this, m_timing.threadMs);
  addDockWidget(Qt::TopDockWidgetArea, m_logPane);
  addDockWidget(Qt::RightDockWidgetArea, m_batchPane);
  addDockWidget(Qt::TopDockWidgetArea, m_threadPane);
  m_batchPane->hide();

  QAction* toolBar = m_toolBar->toggleViewAction();
  toolBar->setText(tr("&Toolbar"));
  QAction* statusBarToggle = m_actions.toggleStatusBar = new QAction(tr("&Status Bar"), this);
  statusBarToggle->setObjectName(QStringLiteral("toggleStatusBar"));
  statusBarToggle->setCheckable(true);
  statusBarToggle->setChecked(true);
  connect(statusBarToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  QAction* log = m_logPane->toggleViewAction();
  log->setText(tr("&Log"));
  log->setStatusTip(tr("Toggles the log view display"));
  QAction* threads = m_threadPane->toggleViewAction();
  threads->setText(tr("&Threads"));
  QAction* batch = m_batchPane->toggleViewAction();
  batch->setText(tr("&Batch Jobs"));
  batch->setStatusTip(tr("Toggles the batch job display"));

  m_viewMenu->addAction(toolBar);
  m_viewMenu->addAction(statusBarToggle);
  m_viewMenu->addAction(log);
  m_viewMenu->addAction(threads);
  m_viewMenu->addAction(batch);
  m_viewMenu->addSeparator();
  m_viewMenu->addAction(m_actions.showAll);
  m_viewMenu->addAction(m_actions.clearLog);
  m_viewMenu->addAction(m_actions.clearHistory);
  m_viewMenu->addAction(m_actions.clearLinks);
}

void MainWindow::createStatusBar() {
  m_panes.message = new QLabel(kIdleMessage, this);
  m_panes.message->setObjectName(QStringLiteral("messagePane"));
  statusBar()->addWidget(m_panes.message, 1);
  m_panes.rate = fixedPane(QStringLiteral("Checking...     "), this);
  m_panes.pending = fixedPane(QStringLiteral("0 pending      "), this);
  m_panes.threads = fixedPane(QStringLiteral("No threads"), this);
  m_panes.time = fixedPane(QStringLiteral(" No download active "), this);
  for (QLabel* pane : {m_panes.rate, m_panes.pending, m_panes.threads, m_panes.time})
    statusBar()->addPermanentWidget(pane);
  // Prompts of menu items and buttons replace the message while shown.
  connect(statusBar(), &QStatusBar::messageChanged, this,
          [this](const QString& text) { m_panes.message->setVisible(text.isEmpty()); });
}

void MainWindow::refresh() {
  CrawlDocument& doc = *m_document;
  DownloadController& controller = doc.controller();
  bool idle = !doc.downloading();
  m_actions.go->setEnabled(idle);
  m_actions.stop->setEnabled(doc.canStop());
  m_actions.options->setEnabled(idle);
  m_actions.workOffline->setChecked(controller.offline);
  m_actions.beginBatch->setEnabled(idle && m_batchPane->list()->count() > 0);
  m_actions.browseOffline->setEnabled(!savedRootFile().empty());
  m_actions.showAll->setChecked(doc.view.showAll);
  // The details list always shows what the menu says.
  if (m_detailsModel->showAll() != doc.view.showAll) {
    m_detailsModel->setShowAll(doc.view.showAll);
    m_detailsModel->rebuild();
  }
  m_actions.clearLog->setEnabled(m_logPane->list()->count() > 0);
  m_actions.clearHistory->setEnabled(idle);
  m_actions.clearLinks->setEnabled(idle);
  m_actions.checkReleases->setChecked(controller.versionNotify);
  m_actions.focusUrl->setEnabled(idle);
  m_urlBox->setEnabled(idle);

  if (!idle) {
    m_panes.rate->setText(QString::fromStdString(formatRate(controller.transferRate())));
  } else if (!m_probed || tickCount() - m_lastProbe > m_timing.probeMs) {
    m_probed = true;
    m_lastProbe = tickCount();
    m_panes.rate->setText(m_connection.query().connected ? tr("Connected") : tr("Disconnected"));
  }
  m_panes.pending->setText(QString::fromStdString(controller.pendingText()));
  m_panes.threads->setText(QString::fromStdString(strprintf(text::kThreadsCount, controller.runningThreads())));
  if (idle) {
    m_panes.time->setText(QStringLiteral(" No download active "));
  } else if (controller.settings.limitFlags & kLimitTotalTime) {
    uint32_t left = controller.deadline.load() - tickCount();
    if (static_cast<int32_t>(left) < 0) left = 0;
    m_panes.time->setText(QString::fromStdString(strprintf("%s remaining", formatDuration(left / 1000).c_str())));
  } else {
    m_panes.time->setText(tr("No time limit."));
  }
}

void MainWindow::applyUpdates() {
  // What the bridge holds goes behind what an earlier turn left, so the
  // engine's order holds; a burst of thousands of links is spread over
  // turns so that the window keeps painting and answering.
  for (LinkUpdate& update : m_bridge.take()) m_backlog.push_back(std::move(update));
  QElapsedTimer slice;
  slice.start();
  bool ended = false;
  size_t applied = 0;
  while (!m_backlog.empty() && !ended && (applied == 0 || slice.elapsed() < m_timing.updateSliceMs)) {
    LinkUpdate update = std::move(m_backlog.front());
    m_backlog.pop_front();
    ++applied;
    switch (update.code) {
      case UpdateCode::LinkAdded: {
        LinkNode* node = m_store.add(update.link);
        m_treeModel->linkAdded(node);
        m_detailsModel->linkUpdated(node);
        break;
      }
      case UpdateCode::LinkChanged: {
        LinkNode* node = m_store.update(update.link);
        m_treeModel->linkChanged(node);
        m_detailsModel->linkUpdated(node);
        break;
      }
      case UpdateCode::DownloadEnded:
        ended = true;
        break;
      default:
        break;
    }
  }
  if (ended) {
    m_detailsModel->rebuild();
    m_document->controller().workQueue().waitForWorkers(5000);
    m_document->downloadEnded();
  }
  if (!m_backlog.empty()) m_backlogTimer.start();
  refresh();
}

void MainWindow::showSelectedPage() {
  LinkNode* node = selectedTreeNode();
  if (node != m_detailsModel->shownPage()) m_detailsModel->showPage(node);
}

LinkNode* MainWindow::selectedTreeNode() const { return m_treeModel->nodeAt(m_treeView->currentIndex()); }

LinkNode* MainWindow::selectedDetailsNode() const {
  return m_detailsModel->nodeAt(m_detailsView->currentIndex().row());
}

void MainWindow::toggleInclude(LinkNode* node) {
  if (node == nullptr || m_document->controller().find(node->info.url) == nullptr) return;
  bool value = !node->info.include;
  // The records are set through the nodes: the live children lists may be
  // growing on worker threads.
  std::vector<LinkNode*> pending{node};
  while (!pending.empty()) {
    LinkNode* n = pending.back();
    pending.pop_back();
    const_cast<LinkRecord*>(n->info.record)->include = value;
    for (LinkNode* child : n->children) pending.push_back(child);
  }
  m_store.setInclude(node, value);
  m_treeModel->refreshAll();
  m_detailsModel->rebuild();
}

void MainWindow::showTreeMenu(const QPoint& at) {
  QModelIndex index = m_treeView->indexAt(at);
  if (index.isValid()) m_treeView->setCurrentIndex(index);
  LinkNode* node = selectedTreeNode();
  QMenu menu(this);
  QAction* open = menu.addAction(m_actions.openUrl->text());
  open->setEnabled(node != nullptr);
  connect(open, &QAction::triggered, this, [this, node] {
    if (node) openUrl(QUrl(fromUtf8(node->info.url)));
  });
  menu.addAction(m_actions.autoExpand);
  menu.addAction(m_actions.browseOffline);
  QAction* include = menu.addAction(m_actions.includeUrl->text());
  include->setCheckable(true);
  include->setChecked(node != nullptr && node->info.include);
  connect(include, &QAction::triggered, this, [this, node] { toggleInclude(node); });
  menu.exec(m_treeView->viewport()->mapToGlobal(at));
}

void MainWindow::showDetailsMenu(const QPoint& at) {
  QModelIndex index = m_detailsView->indexAt(at);
  if (index.isValid()) m_detailsView->setCurrentIndex(index);
  LinkNode* node = index.isValid() ? m_detailsModel->nodeAt(index.row()) : nullptr;
  QMenu menu(this);
  QAction* open = menu.addAction(node ? tr("Open %1").arg(fromUtf8(node->info.url)) : m_actions.openUrl->text());
  open->setEnabled(node != nullptr);
  connect(open, &QAction::triggered, this, [this, node] { openUrl(QUrl(fromUtf8(node->info.url))); });
  menu.addAction(m_actions.showAll);
  bool local = node && node->info.status == LinkStatus::Complete && !node->info.localFile.empty();
  QAction* openLocal =
      menu.addAction(local ? tr("Open %1").arg(fromUtf8(node->info.localFile)) : m_actions.openLocalCopy->text());
  openLocal->setEnabled(local);
  connect(openLocal, &QAction::triggered, this,
          [this, node] { openUrl(QUrl::fromLocalFile(fromUtf8(node->info.localFile))); });
  QAction* include = menu.addAction(m_actions.includeUrl->text());
  include->setCheckable(true);
  include->setEnabled(node != nullptr);
  include->setChecked(node != nullptr && node->info.include);
  connect(include, &QAction::triggered, this, [this, node] { toggleInclude(node); });
  menu.exec(m_detailsView->viewport()->mapToGlobal(at));
}

void MainWindow::go() {
  QString text = m_urlBox->currentText().trimmed();
  m_urlBox->promote(text);
  m_document->startDownload(text.toStdString());
  refresh();
}

void MainWindow::openArgument(const QString& text, bool noStart) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_document->openArgument(text.toStdString(), noStart);
  QApplication::restoreOverrideCursor();
  refresh();
}

void MainWindow::openProfile() {
  // A URL list opens here too: it fills the batch queue.
  QString path = QFileDialog::getOpenFileName(
      this, tr("Open Profile"), QString(), tr("Sitegleaner URL Profiles (*.glean);;URL Lists (*.txt);;All Files (*)"));
  if (path.isEmpty()) return;
  if (m_document->downloading()) return;
  // What the user chose in the View menu this session outlives the reload
  // of the stored settings.
  ViewOptions view = m_document->view;
  m_document->newDocument();
  m_document->view = view;
  openArgument(path, false);
}

void MainWindow::saveProfileAs() {
  if (m_document->downloading()) return;
  if (!m_document->resetDownload(m_urlBox->currentText().toStdString(), false)) return;
  QString path =
      QFileDialog::getSaveFileName(this, tr("Save Profile As"), QString(), tr("Sitegleaner URL Profiles (*.glean)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".glean"))) path += QStringLiteral(".glean");
  std::string error;
  if (!m_document->saveProfileAs(path.toStdString(), m_urlBox->currentText().toStdString(), error)) {
    inform(QString::fromLatin1(text::kFailedToSaveDocument) + QStringLiteral("\n\n") + fromUtf8(error));
  }
}

void MainWindow::showOptions() {
  if (!m_document->canEditOptions()) return;
  OptionsSheet sheet(*m_document, m_connection, this);
  sheet.exec();
  refresh();
}

void MainWindow::enableVersionCheck(const VersionServer& server, double productVersion) {
  DownloadController& controller = m_document->controller();
  m_versionHost = std::make_unique<DesktopVersionHost>(*m_workerRequests, m_settings, controller, this, [this] {
    m_actions.checkReleases->setChecked(m_document->controller().versionNotify);
  });
  m_versionCheck = std::make_unique<VersionCheck>(*m_versionHost, server, productVersion);
  controller.setRootHook([this](HttpSession& session) {
    DownloadController& c = m_document->controller();
    m_versionCheck->checkForNewVersion(&session, c.offline.load(), c.versionNotify);
  });
}

void MainWindow::showHelp() {
  for (const QString& place : helpPlaces) {
    QFileInfo file(place + QLatin1Char('/') + QLatin1String(kHelpFile));
    if (file.exists()) {
      openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
      return;
    }
  }
  inform(tr("Couldn't locate help file (%1).").arg(QLatin1String(kHelpFile)));
}

void MainWindow::showAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainWindow::showBatchPane() {
  m_batchPane->show();
  m_batchPane->fill(m_document->batchQueue());
  refresh();
}

void MainWindow::loadWindowPlacement() {
  QString text = m_settings.readText(QStringLiteral("General"), QStringLiteral("Window Pos"));
  if (text.isEmpty()) return;
  QStringList fields = text.split(QLatin1Char(','));
  if (fields.size() != 10) return;
  int values[10];
  for (int i = 0; i < 10; ++i) {
    bool ok = false;
    values[i] = fields[i].trimmed().toInt(&ok);
    if (!ok) return;
  }
  // Flags, show command, minimised and maximised positions, then the
  // normal rectangle: left, top, right, bottom.
  QRect normal(QPoint(values[6], values[7]), QPoint(values[8] - 1, values[9] - 1));
  if (normal.width() > 100 && normal.height() > 100) setGeometry(normal);
  if (values[1] == 3) {
    showMaximized();
  } else if (values[1] == 2 || values[1] == 6) {
    showMinimized();
  }
}

void MainWindow::saveWindowPlacement() {
  QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  int show = isMaximized() ? 3 : (isMinimized() ? 2 : 1);
  QString text = QString::fromStdString(strprintf("%u, %u, %d, %d, %d, %d, %d, %d, %d, %d", 0u,
                                                  static_cast<unsigned>(show), -1, -1, -1, -1, normal.left(),
                                                  normal.top(), normal.right() + 1, normal.bottom() + 1));
  m_settings.writeText(QStringLiteral("General"), QStringLiteral("Window Pos"), text);
  m_settings.writeBytes(QStringLiteral("Toolbars"), QStringLiteral("State"), saveState());
  m_settings.writeInt(QStringLiteral("Toolbars"), QStringLiteral("Status Bar"), statusBar()->isHidden() ? 0 : 1);
  m_settings.sync();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  saveWindowPlacement();
  // The panes stay live while the question is up and after a "No".
  if (!m_document->canClose()) {
    event->ignore();
    return;
  }
  m_refreshTimer.stop();
  m_document->controller().setObserver(nullptr);
  m_document->controller().workQueue().shutdown();
  m_document->closeDocument();
  event->accept();
}

// --- DocumentHost ---

bool MainWindow::confirmReset() { return ask(QString::fromLatin1(text::kConfirmReset)); }

JournalChoice MainWindow::askResume(const std::string& url, size_t waiting) {
  return chooseResume(QString::fromStdString(strprintf(text::kJournalFound, url.c_str(), static_cast<int>(waiting))) +
                      QStringLiteral("\n\n") + tr("Resume it, or start it again from the beginning?"));
}

bool MainWindow::confirmCancelBatch() { return ask(QString::fromLatin1(text::kConfirmCancelBatch)); }

bool MainWindow::confirmEndDownloadOnClose() { return ask(QString::fromLatin1(text::kConfirmCloseDuringDownload)); }

void MainWindow::reportSettingsReadError(const std::string& message) { inform(QString::fromStdString(message)); }

void MainWindow::reportError(const std::string& message) { inform(QString::fromStdString(message)); }

void MainWindow::addToUrlBox(const std::string& url) {
  if (m_urlBox) m_urlBox->addToTop(fromUtf8(url));
}

void MainWindow::rootSaved(const std::string& file) { logMessage(strprintf(text::kBrowseOffline, file.c_str())); }

void MainWindow::setStatusMessage(const std::string& text) {
  statusBar()->clearMessage();
  if (m_panes.message) m_panes.message->setText(fromUtf8(text));
}

void MainWindow::titleChanged(const std::string& title) {
  m_title = title;
  setWindowTitle(fromUtf8(title) + QStringLiteral(" - Sitegleaner"));
}

void MainWindow::downloadReset() {
  if (m_treeModel == nullptr) return;
  m_store.rebuild(m_document->controller());
  m_treeModel->reload();
  QModelIndex root = m_treeModel->index(0, 0);
  m_treeView->setCurrentIndex(root);
  m_detailsModel->showPage(m_store.root());
}

void MainWindow::quitApplication() { QTimer::singleShot(0, this, &QWidget::close); }

}  // namespace sg
