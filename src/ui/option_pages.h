// The six pages of the options sheet, one class per page on a common base.
// Each page holds its values in its controls: load() fills them from the
// settings record, validate() checks them when the sheet is confirmed, and
// applySettings() copies them back. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/crawl_settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sg {

class ConnectionStateLayer;
class ExclusionList;
class NumberBox;
class SettingsStore;
class TypeList;

// What the pages ask of the world outside the sheet; tests replace these.
struct OptionsHooks {
  // A message box with an OK button.
  std::function<void(const QString& text, QMessageBox::Icon icon)> message;
  // A folder picker; "" when the user cancelled.
  std::function<QString(const QString& title, const QString& start)> chooseFolder;
  // The "Set Password" dialog; nothing when cancelled.
  std::function<std::optional<QString>()> askPassword;
};

class OptionsPage : public QWidget {
  Q_OBJECT

 public:
  OptionsPage(OptionsHooks& hooks, QWidget* parent);

  virtual QString title() const = 0;
  virtual void load(const CrawlSettings& settings) = 0;
  // Checks the values in the order of the page; at the first bad one shows
  // its message, gives that field the focus and answers false.
  virtual bool validate() = 0;
  virtual void applySettings(CrawlSettings& settings) = 0;

 protected:
  // Enables or disables a control.
  static void enableControl(QWidget* control, bool enabled);
  // A number within [low, high]: "Please enter an integer." when the text
  // is not a number, "Please enter an integer between %1 and %2." when
  // it is out of range.
  bool checkNumber(NumberBox* box, int low, int high);
  // "Please enter no more than %1 characters."
  bool checkLength(QLineEdit* edit, int maximum);
  void refuse(QWidget* field, const QString& message);

  OptionsHooks& m_hooks;
};

// Tab "Limits".
class GeneralPage : public OptionsPage {
  Q_OBJECT

 public:
  GeneralPage(OptionsHooks& hooks, QWidget* parent);
  QString title() const override { return tr("Limits"); }
  void load(const CrawlSettings& settings) override;
  bool validate() override;
  void applySettings(CrawlSettings& settings) override;

  // One limit: its check box, value and (for sizes and times) unit list.
  struct Limit {
    QCheckBox* check = nullptr;
    NumberBox* value = nullptr;
    QComboBox* unit = nullptr;  // null for the age limit
  };
  NumberBox* threads = nullptr;
  NumberBox* delay = nullptr;
  Limit maxSize, minSize, maxTime, maxTotalTime, maxDays;
  QComboBox* limitsAffect = nullptr;
  NumberBox* linkPause = nullptr;
  // Bounds against sites that never end: megabytes of a page scanned for
  // links, links taken from one page, placeholder pages per download, and
  // megabytes read per download (0: no limit).
  NumberBox* maxScanSize = nullptr;
  NumberBox* maxPageLinks = nullptr;
  NumberBox* maxConnectionsPerServer = nullptr;
  NumberBox* maxPlaceholders = nullptr;
  NumberBox* maxDownloadSize = nullptr;

  // Unit lists are sorted: "Kb" before "Mb", "Mins" before "Secs".
  static constexpr int kKb = 0, kMb = 1, kMins = 0, kSecs = 1;

 private:
  void updateEnabling();
  int totalTimeHigh() const;
  // The four bound boxes with the stored names of their settings.
  std::vector<std::pair<NumberBox*, const char*>> boundBoxes() const;
};

// Tab "Filter".
class FiltersPage : public OptionsPage {
  Q_OBJECT

 public:
  FiltersPage(OptionsHooks& hooks, SettingsStore& store, QWidget* parent);
  QString title() const override { return tr("Filter"); }
  void load(const CrawlSettings& settings) override;
  bool validate() override { return true; }
  // Warns when no HTML type was chosen, stores the extensions history, and
  // copies the values.
  void applySettings(CrawlSettings& settings) override;

  QCheckBox* downloadAll = nullptr;
  TypeList* types = nullptr;
  QCheckBox* downloadUnknown = nullptr;
  QCheckBox* ignoreInline = nullptr;
  QCheckBox* scanScripts = nullptr;
  QComboBox* extensions = nullptr;

 private:
  void updateEnabling();
  SettingsStore& m_store;
};

// Tab "Depth".
class DepthPage : public OptionsPage {
  Q_OBJECT

 public:
  DepthPage(OptionsHooks& hooks, ConnectionStateLayer& connection, QWidget* parent);
  QString title() const override { return tr("Depth"); }
  void load(const CrawlSettings& settings) override;
  bool validate() override;
  void applySettings(CrawlSettings& settings) override;

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

 private:
  void browseForLogFolder();
  ConnectionStateLayer& m_connection;
  bool m_modem = false;
};

// Tab "Save".
class SavePage : public OptionsPage {
  Q_OBJECT

 public:
  SavePage(OptionsHooks& hooks, QWidget* parent);
  QString title() const override { return tr("Save"); }
  void load(const CrawlSettings& settings) override;
  bool validate() override;
  void applySettings(CrawlSettings& settings) override;

  QCheckBox* saveFiles = nullptr;
  QCheckBox* createTree = nullptr;
  QCheckBox* noCache = nullptr;
  QLineEdit* location = nullptr;
  QPushButton* browseLocation = nullptr;
  TypeList* types = nullptr;
  QCheckBox* saveAll = nullptr;
  QCheckBox* readLocal = nullptr;
  QCheckBox* checkForChanges = nullptr;
  QCheckBox* stripTags = nullptr;
  QCheckBox* fixLinks = nullptr;
  QCheckBox* crawlJournal = nullptr;

 private:
  void updateEnabling();
  QLabel* m_locationLabel = nullptr;
  QLabel* m_typesLabel = nullptr;
};

// Tab "Excluded URLs".
class ExcludePage : public OptionsPage {
  Q_OBJECT

 public:
  ExcludePage(OptionsHooks& hooks, QWidget* parent);
  QString title() const override { return tr("Excluded URLs"); }
  void load(const CrawlSettings&) override {}
  void setEntries(const std::vector<std::string>& entries);
  std::vector<std::string> entries() const;
  bool validate() override { return true; }
  void applySettings(CrawlSettings&) override {}

  // "&Add": the edit's text through the URL check; "Invalid URL" when it
  // fails.
  void addEntry();
  void removeEntry();

  QLineEdit* edit = nullptr;
  QPushButton* add = nullptr;
  QPushButton* remove = nullptr;
  ExclusionList* list = nullptr;

 private:
  void typeAhead(const QString& text);
  void updateEnabling();
  bool m_selecting = false;  // the page itself changes the selection
};

// Tab "Security".
class SecurityPage : public OptionsPage {
  Q_OBJECT

 public:
  SecurityPage(OptionsHooks& hooks, QWidget* parent);
  QString title() const override { return tr("Security"); }
  void load(const CrawlSettings& settings) override;
  bool validate() override;
  // Copies the user names and the prompt flag; a new password of a group
  // becomes Base64 of "user:password".
  void applySettings(CrawlSettings& settings) override;

  void setInternetPassword();
  void setProxyPassword();
  bool holdsInternetPassword() const { return m_internetPassword.has_value(); }
  bool holdsProxyPassword() const { return m_proxyPassword.has_value(); }

  QLineEdit* username = nullptr;
  QPushButton* internetPassword = nullptr;
  QLineEdit* proxyUsername = nullptr;
  QPushButton* proxyPassword = nullptr;
  QCheckBox* promptForPassword = nullptr;

 private:
  void updateButtons();
  std::optional<QString> m_internetPassword;  // set this time; never the stored one
  std::optional<QString> m_proxyPassword;
};

// Base64 (RFC 2045 alphabet, "=" padding, no line breaks) of "user:password".
std::string basicCredential(const QString& user, const QString& password);

}  // namespace sg
