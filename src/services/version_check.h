// The new-version check: once per run, at the start of the first download,
// the worker that takes the root link asks the maker's web server for the
// number of the newest release and, when it is higher than the last one the
// user was told about, has the front end tell the user.
//
// Plain C++: the front end supplies the stored values and the announcement
// through VersionCheckHost. A VersionCheck is used by one worker at a time
// (only the root link runs it, and one download runs at a time); its
// checked-this-run flag is atomic all the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace sg {

class HttpSession;

// Where the version file is fetched from.
struct VersionServer {
  std::string host;
  uint16_t port = 80;
};

// The server named by the build (CMake cache variables
// SITEGLEANER_VERSION_HOST and SITEGLEANER_VERSION_PORT), unless the
// environment variable SITEGLEANER_VERSION_SERVER holds "host:port" (or a
// host alone), which tests of the whole program use.
VersionServer defaultVersionServer();

inline constexpr const char* kVersionFilePath = "/sitegleaner/version.txt";

// The number at the start of a text, read as strtod does in the "C" locale:
// leading blanks, an optional sign, digits with an optional decimal point
// and exponent, up to the first character that cannot continue it; 0 when
// the text does not begin with a number.
double parseVersionNumber(std::string_view text);

// A version number as the user sees it: one digit after the point, which
// is always ".", whatever the locale ("6.5").
std::string versionText(double version);

// What the check needs of its front end. Called on the worker thread that
// runs the check; each call returns once done.
class VersionCheckHost {
 public:
  virtual ~VersionCheckHost() = default;
  // "Version Check" / "Last New Version"; "" when there is none.
  virtual std::string lastNewVersion() = 0;
  virtual void setLastNewVersion(const std::string& line) = 0;
  // Tells the user that release `version` is out and returns once the user
  // has seen it; true when the user asked not to be told again.
  virtual bool announceNewVersion(double version) = 0;
  // Clears the version notify flag and writes 0 to "Version Check" / "Notify".
  virtual void stopNotifying() = 0;
};

class VersionCheck {
 public:
  VersionCheck(VersionCheckHost& host, VersionServer server, double productVersion);

  // CheckForNewVersion: true when nothing was to be done or the check
  // succeeded; false (logged "Failed check for new version of
  // Sitegleaner." as an information entry) when it failed. Does nothing
  // without a session, offline, with notify off, or once a check of this
  // run has begun.
  bool checkForNewVersion(HttpSession* session, bool offline, bool notify);

  // Has a check begun in this run?
  bool checked() const { return m_checked.load(); }

 private:
  VersionCheckHost& m_host;
  VersionServer m_server;
  double m_productVersion;
  std::atomic<bool> m_checked{false};  // set when a check begins; never cleared
};

}  // namespace sg
