// The user's settings between runs: an INI file (QSettings, native format)
// at ~/.config/Corvalin/Sitegleaner.conf, or wherever XDG_CONFIG_HOME
// points. The file holds credentials, so it is created readable by its
// owner only. Sections are the INI groups "General", "View", "Version
// Check", "Options", "Legal", "Window Pos", "Toolbars", "URL History",
// "Filter History", "Connection".
//
// Not thread-safe; used on the user interface thread.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "engine/crawl_settings.h"

namespace sg {

class ServerRuleTable;

// The "View" values, held by the document.
struct ViewOptions {
  bool autoExpand = true;
  bool showAll = true;
};

inline constexpr int kHistoryLength = 20;

// A history list as it is kept: each entry once, ignoring case, where it
// first stands; empty entries dropped; at most kHistoryLength entries.
QStringList distinctHistory(const QStringList& entries);

class SettingsStore {
 public:
  // The store at the standard place (created on first use, mode 0600).
  SettingsStore();
  // A store in the given INI file (tests).
  explicit SettingsStore(const QString& fileName);
  ~SettingsStore();

  QString fileName() const;
  // Why the settings file cannot be used ("" when it can): it is not a
  // regular file. The store then works on a stand-in that is dropped at
  // the end, so nothing waits on the file and nothing replaces it.
  const std::string& problem() const { return m_problem; }

  // Reads "General" in the program's order into settings, then
  // `Exclusions` into exclusions and "View" into view. A value that is
  // missing, unreadable or outside its range takes its default (the known
  // types and the save directory below desktopFolder for the texts that
  // need one); an empty save directory counts as unreadable. Returns the
  // unreadable values, each as "Name (stored text)". A number or flag is
  // unreadable unless it is a whole decimal number in 32 bits; a flag other
  // than 0 reads as set. Reading alone never creates the file.
  std::vector<std::string> load(CrawlSettings& settings, ServerRuleTable& exclusions, ViewOptions& view,
                                const std::string& desktopFolder);
  // Writes every "General" value, `Exclusions` and the "View" values.
  void save(const CrawlSettings& settings, const ServerRuleTable& exclusions, const ViewOptions& view);

  // `Exclusions`: entries joined by line feeds, and split again.
  static std::string joinExclusions(const std::vector<std::string>& entries);
  static std::vector<std::string> splitExclusions(const std::string& text);

  // History lists of 20 entries named "<prefix> <n>", most recent first.
  QStringList loadHistory(const QString& section, const QString& prefix);
  void saveHistory(const QString& section, const QString& prefix, const QStringList& entries);

  int readInt(const QString& section, const QString& name, int fallback);
  void writeInt(const QString& section, const QString& name, int value);
  QString readText(const QString& section, const QString& name, const QString& fallback = QString());
  void writeText(const QString& section, const QString& name, const QString& value);
  QByteArray readBytes(const QString& section, const QString& name);
  void writeBytes(const QString& section, const QString& name, const QByteArray& value);

  // Writes pending changes to disk now.
  void sync();

 private:
  // Called before every write: marks the store changed and makes sure the
  // file exists with mode 0600.
  void beginWrite();
  // Creates the file (mode 0600) when it is missing, else sets its mode.
  void restrictPermissions();
  void useStandIn(const QString& unusable);
  std::unique_ptr<QTemporaryDir> m_standInFolder;
  std::unique_ptr<QSettings> m_settings;
  std::string m_problem;
  bool m_changed = false;  // written to since the last sync()
};

// The desktop folder of the user (XDG), the parent of the default save
// directory.
std::string desktopFolder();

}  // namespace sg
