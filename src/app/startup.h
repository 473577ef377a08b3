// Start-up checks shared by the console and the desktop application.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/crawl_settings.h"

namespace sg {

class SettingsStore;

// Settings given on the command line for one run ("-set Name=value").
class SettingOverrides {
 public:
  explicit SettingOverrides(std::vector<std::pair<std::string, std::string>> overrides)
      : m_overrides(std::move(overrides)) {}
  // Applies them; false (with error set) for an unknown name or a bad value.
  bool apply(CrawlSettings& settings, std::string& error);
  // Puts back the values they replaced, so that they are not saved; what
  // else changed meanwhile (the type lists grow during a download) stays.
  void restore(CrawlSettings& settings) const;

 private:
  std::vector<std::pair<std::string, std::string>> m_overrides;
  CrawlSettings m_before;
};

// The rule for the version of the HTTP library: major.minor.build, each
// read from its leading digits; 5 or more passes, 4.73 or more passes,
// 4.71 and 4.72 pass from build 544 on.
bool httpLibraryVersionHolds(const std::string& version);
// The version text of the libcurl in use.
std::string httpLibraryVersion();

// The program's version as a number (6.4).
double productVersion();

// True (and the stored value raised) when the conditions of use have not
// been shown for this release yet.
bool takeConditionsOfUseDue(SettingsStore& store);

// Is there a display to open windows on?
bool displayAvailable();

}  // namespace sg
