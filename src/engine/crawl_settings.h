// The crawl settings record: every option that governs a download, named
// after its stored value name. Plain data; the controller owns the one
// record of a download and the settings do not change while it runs,
// except for the two type lists that typeWanted() grows.
#pragma once

#include <span>
#include <string>
#include <variant>

namespace sg {

// Bits of `Limit Flags`: which limits are in force.
enum LimitFlag : int {
  kLimitMaxSize = 1,
  kLimitMinSize = 2,
  kLimitTotalTime = 4,
  kLimitFileTime = 8,
  kLimitAge = 16,
};

// Bits of `Limit Binaries`: which files the per-file limits affect.
enum LimitBinaries : int {
  kLimitOtherFiles = 1,
  kLimitHtmlFiles = 2,
};

inline constexpr const char* kDefaultKnownFileTypes =
    "text/html;text/plain;image/jpeg;image/gif;audio/wav;application/zip;video/mpeg;audio/midi";
inline constexpr const char* kDefaultUserAgent = "Sitegleaner [sitegleaner@corvalin.example]";
inline constexpr int kDefaultLinkPauseMs = 500;

// Member initialisers are the construction values, which the settings load
// replaces before any use; defaults() gives the values of a fresh store.
struct CrawlSettings {
  // Scope and depth.
  bool stayBelowRoot = false;
  int maxServerDepth = 1;
  int maxCrawlDepth = 10;

  // Connection and identity.
  bool autoDial = true;
  bool autoDisconnect = true;
  std::string userAgent;
  std::string username;
  std::string password;  // Base64 of "user:password"
  std::string proxyUsername;
  std::string proxyPassword;  // Base64 of "user:password"
  bool promptForPassword = true;
  bool noCache = false;

  // File types.
  std::string knownFileTypes;
  std::string downloadFileTypes;
  bool downloadAll = true;
  bool downloadUnknown = true;
  std::string fileExtensions;
  bool ignoreInline = false;

  // Saving.
  bool saveFiles = false;
  std::string saveDirectory;
  bool createTree = false;
  bool saveAll = true;
  std::string saveFileTypes;
  bool ignoreSavedFiles = false;
  bool checkForChanges = true;
  bool fixLinks = true;
  bool stripHtmlTags = false;

  // Limits.
  int threads = 4;
  int objectDelay = 0;     // seconds
  int maxSize = 20;        // kilobytes
  int minSize = 5;         // kilobytes
  int maxTime = 1800;      // seconds per file
  int maxTotalTime = 1800; // seconds per download
  int maxDays = 30;
  int limitFlags = kLimitTotalTime;
  int limitBinaries = 0;
  int linkPause = kDefaultLinkPauseMs;  // milliseconds after each link

  // Logging.
  std::string logFile;
  bool showWarnings = false;

  // Profile field 15: no option edits it; profiles carry it.
  int profileReserved = 1;

  // The values of a fresh settings store. The default save directory is
  // "<desktop>/Gleaned Sites".
  static CrawlSettings defaults(const std::string& desktopFolder);
  static std::string defaultSaveDirectory(const std::string& desktopFolder);
};

// One stored value of the "General" section.
struct SettingField {
  const char* name;
  std::variant<bool CrawlSettings::*, int CrawlSettings::*, std::string CrawlSettings::*> member;
};

// The "General" values in the order in which they are loaded and saved
// (`Exclusions` is kept by the controller's exclusion table instead).
std::span<const SettingField> generalSettingFields();
const SettingField* findSettingField(std::string_view name);

// Sets a value from its text form ("1", "30", "text/html"); false when the
// name is unknown or a number does not parse.
bool setSettingFromText(CrawlSettings& settings, std::string_view name, std::string_view value);

}  // namespace sg
