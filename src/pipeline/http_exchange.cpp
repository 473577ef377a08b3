#include "pipeline/http_exchange.h"

#include <sys/stat.h>

#include <ctime>

#include "engine/download_controller.h"
#include "engine/robots.h"
#include "engine/thread_status.h"
#include "pipeline/local_files.h"
#include "pipeline/password_prompt.h"
#include "pipeline/placeholder.h"
#include "platform/http.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

struct StatusName {
  int code;
  const char* name;
};

constexpr StatusName kStatusNames[] = {
    {203, "HTTP_STATUS_PARTIAL"},          {204, "HTTP_STATUS_NO_CONTENT"},
    {300, "HTTP_STATUS_AMBIGUOUS"},        {400, "HTTP_STATUS_BAD_REQUEST"},
    {401, "HTTP_STATUS_DENIED"},           {402, "HTTP_STATUS_PAYMENT_REQ"},
    {403, "HTTP_STATUS_FORBIDDEN"},        {404, "HTTP_STATUS_NOT_FOUND"},
    {405, "HTTP_STATUS_BAD_METHOD"},       {406, "HTTP_STATUS_NONE_ACCEPTABLE"},
    {407, "HTTP_STATUS_PROXY_AUTH_REQ"},   {408, "HTTP_STATUS_REQUEST_TIMEOUT"},
    {409, "HTTP_STATUS_CONFLICT"},         {410, "HTTP_STATUS_GONE"},
    {500, "HTTP_STATUS_SERVER_ERROR"},     {501, "HTTP_STATUS_NOT_SUPPORTED"},
    {502, "HTTP_STATUS_BAD_GATEWAY"},      {503, "HTTP_STATUS_SERVICE_UNAVAIL"},
    {504, "HTTP_STATUS_GATEWAY_TIMEOUT"},
};

// The server of the URL the user entered is the only one that gets the
// site credentials: not another host, port or scheme, even when a server
// moved the root there.
bool onEntryServer(const LinkRecord& link) {
  const DownloadController* rc = link.controller();
  return rc != nullptr && rc->isEntryServer(link.https(), link.server(), link.port());
}

void addCredentials(const LinkRecord& link, HttpRequest& request, const std::string& site, const std::string& proxy,
                    bool askedHere) {
  if (!site.empty() && (askedHere || onEntryServer(link))) request.addHeaders("Authorization: Basic " + site + "\r\n");
  if (!proxy.empty()) request.addProxyHeaders("Proxy-Authorization: Basic " + proxy + "\r\n");
}

// A reported URL is taken only when it is one plain URL; header values such
// as Link ("<...>; rel=...") or free text describe something else.
bool isPlainUrlValue(std::string_view value) {
  return !value.empty() && value.find_first_of(" \t<>,;\"") == std::string_view::npos;
}

}  // namespace

bool limitsApply(const LinkRecord& link) {
  const DownloadController* rc = link.controller();
  if (rc == nullptr) return false;
  int bits = rc->settings.limitBinaries;
  return link.contentKind == ContentKind::Html ? (bits & kLimitHtmlFiles) != 0 : (bits & kLimitOtherFiles) != 0;
}

std::string httpDate(time_t when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm utc{};
  gmtime_r(&when, &utc);
  return strprintf("%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday, kMonths[utc.tm_mon],
                   utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

void conditionalHeader(const LinkRecord& link, std::string& headers) {
  const DownloadController* rc = link.controller();
  if (rc == nullptr) return;
  const CrawlSettings& s = rc->settings;
  const bool limited = limitsApply(link);
  bool haveReference = false;
  time_t reference = 0;
  if (limited && (s.limitFlags & kLimitAge)) {
    reference = std::time(nullptr) - static_cast<time_t>(s.maxDays) * 86400;
    haveReference = true;
  }
  if (s.ignoreSavedFiles && s.checkForChanges) {
    std::string path = link.localFile();
    struct stat info {};
    if (!path.empty() && stat(path.c_str(), &info) == 0) {
      // What the server said of the copy an earlier download saved is
      // asked back exactly; a server that keeps no dates still answers to
      // its entity tag.
      CrawlJournal::Validators stored;
      const bool known = rc->journal().validators(link.url(), stored);
      const time_t saved = known && stored.lastModified != 0 ? timeTFromFileTime(stored.lastModified) : info.st_mtime;
      const bool later = (known || limited) && (!haveReference || saved > reference);
      // A placeholder is no copy (its date says nothing of the page); the
      // file is looked into only when the copy would be asked about.
      if ((later || (known && !stored.etag.empty())) && !isPlaceholderFile(path)) {
        if (known && !stored.etag.empty()) headers += "If-None-Match: " + stored.etag + "\r\n";
        if (later) {
          reference = saved;
          haveReference = true;
        }
      }
    }
  }
  if (haveReference) headers += "If-Modified-Since: " + httpDate(reference) + "\r\n";
}

void statusText(LinkRecord& link, int code) {
  std::string name;
  for (const StatusName& entry : kStatusNames) {
    if (entry.code == code) name = entry.name;
  }
  if (name.empty()) {
    const char* word = " Unknown";
    if (code >= 200 && code <= 299) {
      word = " Success";
    } else if (code >= 300 && code <= 399) {
      word = " Information";
    } else if (code >= 400 && code <= 499) {
      word = " Request error";
    } else if (code >= 500 && code <= 599) {
      word = " Server error";
    }
    name = std::string(word) + strprintf(", %ld", static_cast<long>(code));
  }
  name += " - " + link.url();
  link.information = strprintf(text::kStatusInformation, name.c_str());
  logMessage(link.information);
}

bool moveLink(LinkRecord& link, const std::string& newUrl) {
  DownloadController* rc = link.controller();
  LinkRecord* known = rc->find(newUrl);
  if (known != nullptr && known != &link) {
    // Another link of the tree already stands for the new address.
    link.information = strprintf(text::kRedirectedTo, newUrl.c_str());
    link.status = LinkStatus::Skipped;
    return false;
  }
  std::string oldUrl = link.url();
  if (!link.admit(newUrl)) {
    // The link stays what it was, so that nothing (a placeholder, say) is
    // written under an address the crawl refused, perhaps another site's.
    std::string reason = link.information;
    LinkStatus status = link.status == LinkStatus::Skipped ? LinkStatus::Skipped : LinkStatus::Failed;
    link.admit(oldUrl);
    link.status = status;
    link.information = strprintf(text::kRedirectedTo, newUrl.c_str()) + " (" + reason + ")";
    logMessage(link.information + " - " + link.url());
    return false;
  }
  rc->registry().alias(oldUrl, link.url());
  rc->redirects().record(oldUrl, link.url());
  return true;
}

void adoptReportedUrl(LinkRecord& link, const HttpRequest& response) {
  static const char* const kHeaders[] = {"Content-Location", "Referer",  "URI",  "Content-Base", "Content-Description",
                                         "Location",         "Link",     "Forwarded"};
  std::string reported;
  for (const char* name : kHeaders) {
    reported = response.header(name);
    if (!reported.empty()) break;
  }
  if (!isPlainUrlValue(reported)) return;
  CombinedUrl target = combineUrl(link.url(), reported);
  if (target.url == link.url()) return;
  HttpUrlParts parts = target.parts;
  if (!target.partsValid && !parseHttpUrl(target.url, parts)) return;
  // The body is saved under the URL that was asked for, never under one a
  // server names: that could be another site's copy. The reported address
  // only comes to stand for this link, and only on the link's own server.
  if (parts.https != link.https() || parts.port != link.port() || !equalsNoCase(parts.server, link.server())) return;
  DownloadController* rc = link.controller();
  rc->registry().alias(link.url(), target.url);
}

ExchangeResult exchange(LinkRecord& link, HttpConnection& connection, std::unique_ptr<BodySource> savedCopy,
                        PasswordPrompt* prompt) {
  DownloadController* rc = link.controller();
  const CrawlSettings& s = rc->settings;
  ExchangeResult result;

  std::string headers = rc->requestHeaders();
  conditionalHeader(link, headers);
  // A credential given in the root URL stands in for the stored one.
  std::string siteCredential = rc->urlCredential().empty() ? s.password : rc->urlCredential();
  std::string proxyCredential = s.proxyPassword;

  std::unique_ptr<HttpRequest> request;
  int code = 0;
  bool answeredPrompt = false;
  while (true) {
    request = connection.openRequest(link.object());
    request->addHeaders(headers);
    addCredentials(link, *request, siteCredential, proxyCredential, answeredPrompt);
    setThreadStatus(strprintf(text::kRequesting, link.url().c_str()));
    request->send();
    code = request->statusCode();
    if ((code == 401 || code == 407) && s.promptForPassword && prompt != nullptr) {
      bool proxy = code == 407;
      std::string credential;
      if (prompt->askCredentials(link, proxy, credential) && !credential.empty()) {
        (proxy ? proxyCredential : siteCredential) = credential;
        // Typed in answer to this server's own question: they go to it.
        if (!proxy) answeredPrompt = true;
        continue;
      }
    }
    break;
  }
  if (code == 0) {
    logMessage(strprintf(text::kErrorSendingRequest, std::string(link.object()).c_str()));
    return result;
  }
  link.httpCode = static_cast<int16_t>(code);
  if (code != 429 && code != 503) robotsCache().answered(robotsKey(link.server(), link.port(), link.https()));
  std::string type = request->contentType();
  if (type.find("text") != std::string::npos) {
    result.response = ExchangeResult::Response::Text;
  } else if (!type.empty()) {
    result.response = ExchangeResult::Response::Other;
  }

  switch (code) {
    case 301:
    case 302:
    case 303: {
      // Header names are case-insensitive; a relative location is resolved
      // against the link's own address.
      std::string location = request->header("Location");
      if (location.empty()) {
        link.status = LinkStatus::Failed;
        link.information = text::kNoRedirectDestination;
        return result;
      }
      if (++link.redirections > kMaxRedirections) {
        link.status = LinkStatus::Failed;
        link.information = text::kTooManyRedirections;
        logMessage(strprintf("%s (%s)", text::kTooManyRedirections, link.url().c_str()));
        return result;
      }
      std::string oldFile = link.localFile();
      bool oldWasPage = looksLikePage(link.localName());
      std::string newUrl = combineUrl(link.url(), location).url;
      LinkRecord* known = rc->find(newUrl);
      if (known != nullptr && known != &link && !oldFile.empty()) {
        // Another link of the tree is the new place: the old name leads to
        // its copy, and this link is done.
        moveLink(link, newUrl);
        if (oldWasPage) {
          writeDownloadPlaceholder(*rc, oldFile, link.information, newUrl, known->localFile());
          link.written = true;
        } else if (std::string knownFile = known->localFile(); isSavedCopy(knownFile)) {
          copySavedFile(s.saveDirectory, knownFile, oldFile, 0);
        } else {
          rc->rememberMovedFile(known, oldFile);
        }
        return result;
      }
      if (moveLink(link, newUrl)) {
        link.status = LinkStatus::Pending;
        result.requeue = true;
        // Pages saved before the move link to the old name; there they find
        // where the link went: a page leads on to the copy of the new place,
        // anything else gets that copy under its old name too.
        if (!oldFile.empty() && oldFile != link.localFile()) {
          if (oldWasPage) {
            writeDownloadPlaceholder(*rc, oldFile, strprintf(text::kRedirectedTo, link.url().c_str()), link.url(),
                                     link.localFile());
          } else {
            rc->rememberMovedFile(&link, oldFile);
          }
        }
      }
      return result;
    }
    case 429:
    case 503: {
      // Every worker leaves the server alone for as long as it asks, or
      // for a time that grows with each refusal; the attempts stay counted.
      std::optional<uint32_t> retryAfter = request->retryAfterMs();
      const uint32_t hold = robotsCache().holdAfterRefusal(robotsKey(link.server(), link.port(), link.https()),
                                                          retryAfter);
      const char* reason = code == 429 ? "HTTP 429 Too Many Requests" : "HTTP_STATUS_SERVICE_UNAVAIL";
      logMessage(strprintf(text::kServerHold, std::string(link.server()).c_str(), reason, hold / 1000.0));
      link.status = LinkStatus::Pending;
      // Kept as the reason should the attempts run out.
      link.information = strprintf(text::kStatusInformation, (std::string(reason) + " - " + link.url()).c_str());
      --link.attemptsRemaining;
      result.requeue = true;
      return result;
    }
    case 304:
      setThreadStatus(text::kReceivedUnchanged);
      if (savedCopy) {
        result.body = std::move(savedCopy);
      } else {
        link.information = strprintf(text::kNotModifiedWithin, s.maxDays);
        link.status = LinkStatus::Skipped;
      }
      return result;
    default:
      break;
  }

  savedCopy.reset();
  link.localSource = false;
  setThreadStatus(text::kReceivedResponse);
  // This also ends a 401 or 407 that no new credentials answered, rather
  // than saving the refusal as if it were the page.
  if (code < 200 || code > 306) {
    statusText(link, code);
    return result;
  }
  adoptReportedUrl(link, *request);
  link.mimeType = request->contentType();
  if (link.mimeType.empty()) link.mimeType = "unknown";
  // A saved copy must hold the server's bytes: only a page goes through the
  // HTML scanner, whatever else calls itself "text".
  link.contentKind = contentKindOf(link.mimeType);
  if (!rc->typeWanted(link.mimeType)) {
    link.status = LinkStatus::Skipped;
    link.information = strprintf(text::kUnwantedType, link.mimeType.c_str());
    return result;
  }
  std::optional<uint64_t> length = request->contentLength();
  link.size = length ? *length : 0;
  result.decoded = request->decoding();
  if (std::optional<FileTime> modified = request->lastModified()) link.lastModified = *modified;
  link.etag = request->header("ETag");
  result.body = std::make_unique<NetworkBody>(std::move(request));
  return result;
}

}  // namespace sg
