// Tab "Depth": how far the crawl goes, the modem, the User-Agent and the
// log file.
#pragma once

#include "ui/option_page.h"

namespace sg {

class ConnectionStateLayer;

class DepthPage : public OptionsPage {
  Q_OBJECT

 public:
  DepthPage(OptionsHooks& hooks, ConnectionStateLayer& connection, QWidget* parent = nullptr);
  QString title() const override { return tr("Depth"); }

  // Asks the connection-state layer whether there is a modem and enables
  // the modem check boxes accordingly.
  void updateModemControls();

  QCheckBox* stayBelowRoot = nullptr;
  NumberBox* maxServerDepth = nullptr;
  NumberBox* maxCrawlDepth = nullptr;
  QCheckBox* autoDial = nullptr;
  QCheckBox* autoDisconnect = nullptr;
  QLineEdit* userAgent = nullptr;
  QPushButton* resetUserAgent = nullptr;
  QLineEdit* logFile = nullptr;
  QPushButton* browseLogFile = nullptr;
  QCheckBox* showWarnings = nullptr;

 protected:
  void loadOwn(const OptionValues& values) override;

 private:
  void browseForLogFolder();
  ConnectionStateLayer& m_connection;
};

}  // namespace sg
