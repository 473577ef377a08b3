#include "ui/gui_app.h"

#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/startup.h"
#include "document/settings_store.h"
#include "services/version_check.h"
#include "ui/about_dialog.h"
#include "ui/app_icons.h"
#include "ui/main_window.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/texts.h"

namespace sg {

bool showConditionsIfDue(SettingsStore& store) {
  if (!takeConditionsOfUseDue(store)) return false;
  AboutDialog about;
  about.exec();
  ConditionsDialog conditions;
  conditions.exec();
  return true;
}

int runDesktop(int& argc, char** argv, const CommandLine& line) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Corvalin"));
  QApplication::setApplicationName(QStringLiteral("Sitegleaner"));
  // Ties the windows to the launcher (and its icon) on Wayland and X11.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
  QApplication::setWindowIcon(applicationIcon());
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);

  if (line.stealth) {
    setStealthMode(true);
    logMessage(text::kStealthActivated);
  }
  if (line.quitWhenDone) logMessage(text::kCommandLineActivated);
  if (!httpLibraryVersionHolds(httpLibraryVersion())) {
    QMessageBox::critical(nullptr, QStringLiteral("Sitegleaner"), QString::fromLatin1(text::kHttpLibraryTooOld));
    return 2;
  }

  SettingsStore store;
  showConditionsIfDue(store);

  MainWindow window(store);
  window.enableVersionCheck(defaultVersionServer(), productVersion());
  window.document().setCommandLineMode(line.quitWhenDone);
  SettingOverrides overrides(line.overrides);
  std::string error;
  if (!overrides.apply(window.document().controller().settings, error)) {
    std::fprintf(stderr, "sitegleaner: %s\n", error.c_str());
    return 2;
  }
  const std::string& logFile = window.document().controller().settings.logFile;
  if (!logFile.empty()) openLogFile(logFile);
  window.show();
  window.loadWindowPlacement();
  if (!line.files.empty()) window.openArgument(QString::fromStdString(line.files.front()), false);
  int status = application.exec();
  // The window saved the settings when it closed; overrides hold for this
  // run only, so the record is saved again without them.
  overrides.restore(window.document().controller().settings);
  window.document().closeDocument();
  closeLogFile();
  return status;
}

}  // namespace sg
