#include "services/version_check.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/thread_status.h"
#include "platform/http.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"

#ifndef SITEGLEANER_VERSION_HOST
#define SITEGLEANER_VERSION_HOST "www.corvalin.example"
#endif
#ifndef SITEGLEANER_VERSION_PORT
#define SITEGLEANER_VERSION_PORT 80
#endif

namespace sg {

namespace {

// Only the first line matters; a server that sends a long first line (or
// no line end at all) is not read further than this.
constexpr size_t kMaxFirstLine = 4096;

std::string readFirstLine(HttpRequest& request) {
  std::string text;
  char buffer[512];
  while (text.size() < kMaxFirstLine && text.find('\n') == std::string::npos) {
    size_t n = request.read(buffer, sizeof buffer);
    if (n == 0) break;
    text.append(buffer, n);
  }
  size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  if (text.size() > kMaxFirstLine) text.resize(kMaxFirstLine);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

}  // namespace

VersionServer defaultVersionServer() {
  VersionServer server{SITEGLEANER_VERSION_HOST, static_cast<uint16_t>(SITEGLEANER_VERSION_PORT)};
  const char* override = std::getenv("SITEGLEANER_VERSION_SERVER");
  if (override == nullptr || *override == '\0') return server;
  std::string_view text(override);
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    server.host = std::string(text);
    return server;
  }
  unsigned port = 0;
  auto [end, ec] = std::from_chars(text.data() + colon + 1, text.data() + text.size(), port);
  if (ec != std::errc() || end != text.data() + text.size() || port == 0 || port > 65535) return server;
  server.host = std::string(text.substr(0, colon));
  server.port = static_cast<uint16_t>(port);
  return server;
}

double parseVersionNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isAsciiSpace(text[i])) ++i;
  // from_chars takes a minus sign but no plus sign, and never depends on
  // the locale's decimal point, which strtod would.
  if (i < text.size() && text[i] == '+') {
    ++i;
    if (i < text.size() && text[i] == '-') return 0;
  }
  double value = 0;
  auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc() || !std::isfinite(value)) return 0;
  return value;
}

std::string versionText(double version) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, version, std::chars_format::fixed, 1);
  if (ec != std::errc()) return "0.0";
  return std::string(buffer, end);
}

VersionCheck::VersionCheck(VersionCheckHost& host, VersionServer server, double productVersion)
    : m_host(host), m_server(std::move(server)), m_productVersion(productVersion) {}

bool VersionCheck::checkForNewVersion(HttpSession* session, bool offline, bool notify) {
  if (session == nullptr || offline || session->offline() || !notify || m_checked.load()) return true;
  setThreadStatus(text::kCheckingVersion);
  // Whatever happens from here, this run makes no second attempt.
  if (m_checked.exchange(true)) return true;

  bool succeeded = false;
  try {
    std::unique_ptr<HttpConnection> connection = session->connect(false, m_server.host, m_server.port);
    std::unique_ptr<HttpRequest> request = connection->openRequest(kVersionFilePath);
    request->send();
    if (request->statusCode() == 200) {
      std::string line = readFirstLine(*request);
      succeeded = true;
      // Closed before the user is asked: the dialog may stay open a while.
      request.reset();
      connection.reset();
      double newest = parseVersionNumber(line);
      double lastTold = parseVersionNumber(m_host.lastNewVersion());
      if (lastTold == 0) lastTold = m_productVersion;
      if (newest > lastTold) {
        m_host.setLastNewVersion(line);
        if (m_host.announceNewVersion(newest)) m_host.stopNotifying();
      }
    }
  } catch (const std::exception&) {
    // A failure of the request is only logged below; the download goes on.
  }
  if (!succeeded) logMessage(text::kVersionCheckFailed, LogKind::Information);
  return succeeded;
}

}  // namespace sg
