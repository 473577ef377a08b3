#include "engine/crawl_settings.h"

#include <array>
#include <charconv>

#include "util/string_utils.h"

namespace sg {

CrawlSettings CrawlSettings::defaults(const std::string& desktopFolder) {
  CrawlSettings s;
  s.maxServerDepth = 0;
  s.userAgent = kDefaultUserAgent;
  s.knownFileTypes = kDefaultKnownFileTypes;
  s.downloadFileTypes = "text/html";
  s.saveDirectory = defaultSaveDirectory(desktopFolder);
  s.createTree = true;
  s.threads = 8;
  s.maxSize = 30;
  s.logFile = "sitegleaner.log";
  s.showWarnings = true;
  return s;
}

std::string CrawlSettings::defaultSaveDirectory(const std::string& desktopFolder) {
  return strprintf("%s/Gleaned Sites", desktopFolder.c_str());
}

namespace {

using S = CrawlSettings;
const std::array<SettingField, 49> kGeneralFields = {{
    {"Limit Binaries", &S::limitBinaries},
    {"MaxCrawlDepth", &S::maxCrawlDepth},
    {"MaxServerDepth", &S::maxServerDepth},
    {"Save Directory", &S::saveDirectory},
    {"Fix Links", &S::fixLinks},
    {"AutoDial", &S::autoDial},
    {"AutoDisconnect", &S::autoDisconnect},
    {"File Extensions", &S::fileExtensions},
    {"Download File Types", &S::downloadFileTypes},
    {"User Agent", &S::userAgent},
    {"Known File Types", &S::knownFileTypes},
    {"Download Unknown", &S::downloadUnknown},
    {"Ignore Saved Files", &S::ignoreSavedFiles},
    {"Create Tree", &S::createTree},
    {"Save Files", &S::saveFiles},
    {"Save All", &S::saveAll},
    {"Save File Types", &S::saveFileTypes},
    {"Stay Below Root", &S::stayBelowRoot},
    {"Ignore Inline", &S::ignoreInline},
    {"Show Warnings", &S::showWarnings},
    {"No Cache", &S::noCache},
    {"Threads", &S::threads},
    {"Max Time", &S::maxTime},
    {"Max Days", &S::maxDays},
    {"Object Delay", &S::objectDelay},
    {"Max Size", &S::maxSize},
    {"Min Size", &S::minSize},
    {"Max Total Time", &S::maxTotalTime},
    {"Limit Flags", &S::limitFlags},
    {"Username", &S::username},
    {"Password", &S::password},
    {"Proxy Username", &S::proxyUsername},
    {"Proxy Password", &S::proxyPassword},
    {"Download All", &S::downloadAll},
    {"Check For Changes", &S::checkForChanges},
    {"Strip HTML Tags", &S::stripHtmlTags},
    {"Prompt For Password", &S::promptForPassword},
    {"Log File", &S::logFile},
    // Our own values, read after the others so that older stores load alike.
    {"Link Pause", &S::linkPause},
    {"Max Scan Size", &S::maxScanSize},
    {"Max Page Links", &S::maxPageLinks},
    {"Max Placeholders", &S::maxPlaceholders},
    {"Max Download Size", &S::maxDownloadSize},
    {"Scan Scripts", &S::scanScripts},
    {"Max Connections Per Server", &S::maxConnectionsPerServer},
    {"Crawl Journal", &S::crawlJournal},
    {"Compression", &S::compression},
    {"Cookie File", &S::cookieFile},
    {"Skip Logout Links", &S::skipLogoutLinks},
}};

// The numbers the options sheet accepts. A size or time shown in the larger
// unit ("Mb", "Mins") is stored multiplied by largeUnit, so a multiple of
// it may go up to high * largeUnit.
struct SettingRange {
  std::string_view name;
  int low;
  int high;
  int largeUnit = 0;
};

constexpr SettingRange kRanges[] = {
    {"Limit Binaries", -1, 3},  // -1: every bit, as files of earlier versions may hold
    {"MaxCrawlDepth", 0, 50000},
    {"MaxServerDepth", 0, 100},
    {"Threads", 1, 30},
    {"Max Time", 1, 6000, 60},
    {"Max Days", 1, 365},
    {"Object Delay", 0, 59},
    {"Max Size", 1, 6000, 1000},
    {"Min Size", 1, 6000, 1000},
    {"Max Total Time", 1, 7200},
    {"Limit Flags", 0, 31},
    {"Link Pause", 0, 10000},
    {"Max Scan Size", 1, 4096},
    {"Max Page Links", 1, 1000000},
    {"Max Placeholders", 0, 1000000},
    {"Max Download Size", 0, 10000000},
    {"Max Connections Per Server", 1, 30},
};

bool parseInt(std::string_view text, int& out) {
  text = trimWhite(text);
  if (text.empty()) return false;
  const char* first = text.data();
  if (*first == '+') ++first;
  auto [end, ec] = std::from_chars(first, text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::span<const SettingField> generalSettingFields() { return kGeneralFields; }

const SettingField* findSettingField(std::string_view name) {
  for (const SettingField& field : kGeneralFields) {
    if (equalsNoCase(field.name, name)) return &field;
  }
  return nullptr;
}

std::string settingRangeError(const SettingField& field, int value) {
  if (std::holds_alternative<bool CrawlSettings::*>(field.member)) {
    if (value == 0 || value == 1) return std::string();
    return strprintf("\"%s\" must be 0 or 1, not %d", field.name, value);
  }
  for (const SettingRange& range : kRanges) {
    if (range.name != field.name) continue;
    if (value >= range.low && value <= range.high) return std::string();
    if (range.largeUnit != 0 && value > 0 && value % range.largeUnit == 0 &&
        value / range.largeUnit <= range.high) {
      return std::string();
    }
    if (range.largeUnit != 0) {
      return strprintf("\"%s\" must be between %d and %d, or a multiple of %d up to %lld, not %d", field.name,
                       range.low, range.high, range.largeUnit,
                       static_cast<long long>(range.high) * range.largeUnit, value);
    }
    return strprintf("\"%s\" must be between %d and %d, not %d", field.name, range.low, range.high, value);
  }
  return std::string();
}

bool settingRange(std::string_view name, int& low, int& high, int* largeUnit) {
  for (const SettingRange& range : kRanges) {
    if (range.name != name) continue;
    low = range.low;
    high = range.high;
    if (largeUnit != nullptr) *largeUnit = range.largeUnit;
    return true;
  }
  return false;
}

std::string firstSettingRangeError(const CrawlSettings& settings) {
  for (const SettingField& field : kGeneralFields) {
    std::string error = std::visit(
        [&](auto member) -> std::string {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          if constexpr (std::is_same_v<T, int>) {
            return settingRangeError(field, settings.*member);
          } else {
            return std::string();
          }
        },
        field.member);
    if (!error.empty()) return error;
  }
  return std::string();
}

bool setSettingFromText(CrawlSettings& settings, std::string_view name, std::string_view value, std::string& error) {
  const SettingField* field = findSettingField(name);
  if (field == nullptr) {
    error = strprintf("there is no setting called \"%.*s\"", static_cast<int>(name.size()), name.data());
    return false;
  }
  return std::visit(
      [&](auto member) -> bool {
        using T = std::remove_reference_t<decltype(settings.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          // An empty save directory would put every file into the current
          // directory.
          if (member == &CrawlSettings::saveDirectory && trimWhite(value).empty()) {
            error = "\"Save Directory\" must not be empty";
            return false;
          }
          settings.*member = std::string(value);
          return true;
        } else {
          int number = 0;
          if (!parseInt(value, number)) {
            error = strprintf("\"%s\" takes a whole number, not \"%.*s\"", field->name,
                              static_cast<int>(value.size()), value.data());
            return false;
          }
          error = settingRangeError(*field, number);
          if (!error.empty()) return false;
          if constexpr (std::is_same_v<T, bool>) {
            settings.*member = number != 0;
          } else {
            settings.*member = number;
          }
          return true;
        }
      },
      field->member);
}

}  // namespace sg

namespace sg {

std::string settingsSummary(const CrawlSettings& settings) {
  std::string text;
  for (const SettingField& field : kGeneralFields) {
    const std::string_view name = field.name;
    // No credential is written down, and the type lists grow as a crawl
    // meets new types.
    if (name == "Password" || name == "Proxy Password" || name == "Known File Types" || name == "Download File Types") {
      continue;
    }
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          text += field.name;
          text += '=';
          if constexpr (std::is_same_v<T, std::string>) {
            text += settings.*member;
          } else {
            text += std::to_string(static_cast<int>(settings.*member));
          }
          text += '\n';
        },
        field.member);
  }
  return text;
}

}  // namespace sg
