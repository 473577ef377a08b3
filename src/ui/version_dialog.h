// The desktop side of the new-version check: the dialog that tells of a
// newer release, and the host that answers the check's questions on the
// GUI thread while the worker that runs the check waits.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

#include "services/version_check.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace sg {

class DownloadController;
class SettingsStore;
class WorkerRequests;

// "Sitegleaner v%.1f Available". GUI thread only.
class VersionDialog : public QDialog {
  Q_OBJECT

 public:
  VersionDialog(double version, QWidget* parent = nullptr);
  // Was "Do not notify me of future Sitegleaner updates" ticked?
  bool doNotNotify() const;
  QCheckBox* doNotNotifyBox() const { return m_doNotNotify; }
  QLabel* homePageLink() const { return m_link; }
  QPushButton* closeButton() const { return m_close; }

 private:
  QCheckBox* m_doNotNotify;
  QLabel* m_link;
  QPushButton* m_close;
};

// Reads and writes "Version Check" in the settings file and shows the
// dialog, each on the GUI thread; the worker's waits end when the download
// is cancelled. Called on the worker that runs the check.
class DesktopVersionHost : public VersionCheckHost {
 public:
  // notifyChanged runs on the GUI thread after "Notify" was cleared;
  // requests must go before this host, so that no request of it is still
  // queued.
  DesktopVersionHost(WorkerRequests& requests, SettingsStore& store, DownloadController& controller, QWidget* parent,
                     std::function<void()> notifyChanged);

  std::string lastNewVersion() override;
  void setLastNewVersion(const std::string& line) override;
  bool announceNewVersion(double version) override;
  void stopNotifying() override;

 private:
  // Runs work on the GUI thread and waits for it; false when given up.
  bool onGuiThread(std::function<void()> work);

  WorkerRequests& m_requests;
  SettingsStore& m_store;
  DownloadController& m_controller;
  QPointer<QWidget> m_parent;
  std::function<void()> m_notifyChanged;
};

}  // namespace sg
