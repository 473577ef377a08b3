// One HTTP request for a link over the worker's connection: the request
// headers (with conditions and credentials), and what the response means
// for the link: a body to read, an unchanged saved copy, a redirection or
// a busy server (the link goes back to the queue), or an outcome without a
// body (unwanted type, error status).
#pragma once

#include <memory>
#include <string>

#include "pipeline/body_source.h"

namespace sg {

class HttpConnection;
class HttpRequest;
class LinkRecord;
class PasswordPrompt;

// Most redirections followed for one link.
inline constexpr int kMaxRedirections = 20;

struct ExchangeResult {
  // The response (or the saved copy, when unchanged) to read, or null.
  std::unique_ptr<BodySource> body;
  // The link must go back to the work queue (redirection, busy server).
  bool requeue = false;
  // What kind of response arrived, as far as a placeholder page cares: an
  // error page that was text deserves one whatever the link's name; one
  // that named another type (an image's error, say) does not.
  enum class Response { None, Text, Other } response = Response::None;
  // The body is decoded as it is read (a compressed response): its size is
  // known only once it has been read.
  bool decoded = false;
};

// Sends the request for the link and interprets the response. savedCopy is
// the opened saved copy, if any. Network failures throw PlatformError.
ExchangeResult exchange(LinkRecord& link, HttpConnection& connection, std::unique_ptr<BodySource> savedCopy,
                        PasswordPrompt* prompt);

// Appends "If-Modified-Since: ..." when the age limit or a saved copy
// being checked for changes asks for one.
void conditionalHeader(const LinkRecord& link, std::string& headers);

// Sets and logs "Status: ..." for an unexpected status code.
void statusText(LinkRecord& link, int code);

// Lets a URL that the server reports for the object (Content-Location and
// the like) stand for the link when it lies on the link's own server and
// no other link has it. The link keeps its URL and its local file.
void adoptReportedUrl(LinkRecord& link, const HttpRequest& response);

// Moves the link to a new URL: admission, registry alias and redirect map.
// False, with the link's status and information saying why, when the new
// URL cannot stand for it (refused, or already another link's).
bool moveLink(LinkRecord& link, const std::string& newUrl);

// "Sun, 06 Dec 2026 19:57:46 GMT".
std::string httpDate(time_t when);

// True when the per-file limits apply to the link's kind of file.
bool limitsApply(const LinkRecord& link);

}  // namespace sg
