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
const std::array<SettingField, 39> kGeneralFields = {{
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
    // Our own value, read after the others so that older stores load alike.
    {"Link Pause", &S::linkPause},
}};

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

bool setSettingFromText(CrawlSettings& settings, std::string_view name, std::string_view value) {
  const SettingField* field = findSettingField(name);
  if (field == nullptr) return false;
  return std::visit(
      [&](auto member) -> bool {
        using T = std::remove_reference_t<decltype(settings.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          settings.*member = std::string(value);
          return true;
        } else {
          int number = 0;
          if (!parseInt(value, number)) return false;
          if constexpr (std::is_same_v<T, bool>) {
            if (number != 0 && number != 1) return false;
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
