// Start-up checks shared by the console and the desktop application.
#pragma once

#include <string>

namespace sg {

class SettingsStore;

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

}  // namespace sg
