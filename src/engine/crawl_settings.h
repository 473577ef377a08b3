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
inline constexpr int kDefaultMaxScanSizeMb = 64;
inline constexpr int kDefaultMaxPageLinks = 100000;
inline constexpr int kDefaultMaxConnectionsPerServer = 8;
inline constexpr int kDefaultMaxPlaceholders = 100000;

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
  // A Netscape cookies.txt read before a download (never written), and
  // whether links that look like logging out are left alone while cookies
  // are in use (our own; not in profiles).
  std::string cookieFile;
  bool skipLogoutLinks = true;

  // File types.
  std::string knownFileTypes;
  std::string downloadFileTypes;
  bool downloadAll = true;
  bool downloadUnknown = true;
  std::string fileExtensions;
  bool ignoreInline = false;
  // Follow the assets that scripts name (our own; not in profiles).
  bool scanScripts = true;

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
  // Keep the crawl journal below the save directory (our own; not in profiles).
  bool crawlJournal = true;

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
  // Workers at one server at once; Threads still bounds them all.
  int maxConnectionsPerServer = kDefaultMaxConnectionsPerServer;
  // Bounds that keep a hostile or broken site from exhausting memory or
  // disk. Not carried in profiles.
  int maxScanSize = kDefaultMaxScanSizeMb;          // megabytes of one page scanned for links
  int maxPageLinks = kDefaultMaxPageLinks;          // links taken from one page
  int maxPlaceholders = kDefaultMaxPlaceholders;    // placeholder pages per download
  int maxDownloadSize = 0;                          // megabytes read per download; 0: no limit
  // Ask servers for compressed bodies, saved decoded (our own; not in profiles).
  bool compression = true;

  // Logging.
  std::string logFile;
  bool showWarnings = false;

  // Profile field 15: no option edits it; profiles carry it.
  int profileReserved = 1;

  // The values of a fresh settings store. The default save directory is
  // "<desktop>/Gleaned Sites".
  static CrawlSettings defaults(const std::string& desktopFolder);
  static std::string defaultSaveDirectory(const std::string& desktopFolder);

  bool operator==(const CrawlSettings&) const = default;
};

// One stored value of the "General" section.
struct SettingField {
  const char* name;
  std::variant<bool CrawlSettings::*, int CrawlSettings::*, std::string CrawlSettings::*> member;
};

// Why a number cannot stand for a setting: "" when it can. The ranges are
// those the options sheet accepts (a size or time may be given in the
// larger unit, so 2000 kilobytes is 2 "Mb"); flags are 0 or 1.
std::string settingRangeError(const SettingField& field, int value);
// The range of a number setting in the unit it is stored in; false for a
// name without one. largeUnit, when given, receives the factor of the
// larger unit in which the same range holds (1000 for kilobytes given as
// megabytes), or 0 when there is none.
bool settingRange(std::string_view name, int& low, int& high, int* largeUnit = nullptr);
// The first value of the record outside its range, described, or "".
std::string firstSettingRangeError(const CrawlSettings& settings);

// The "General" values in the order in which they are loaded and saved
// (`Exclusions` is kept by the controller's exclusion table instead).
std::span<const SettingField> generalSettingFields();
const SettingField* findSettingField(std::string_view name);

// Sets a value from its text form ("1", "30", "text/html"); false, with
// error saying why, when the name is unknown, a number does not parse or
// lies outside its range, or the save directory would be empty.
bool setSettingFromText(CrawlSettings& settings, std::string_view name, std::string_view value, std::string& error);

// The values that shape a download's result, one "Name=value" line each,
// so that two downloads can be compared; credentials are left out.
std::string settingsSummary(const CrawlSettings& settings);

}  // namespace sg
