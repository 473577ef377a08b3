#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

constexpr size_t kMaxBufferedBody = 256 * 1024;
constexpr uint32_t kPollSliceMs = 100;

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A failed first transfer of a connection that never reached its server,
// told the way an unreachable server is reported; nothing for any other
// failure. libcurl is given no overall time-out, so a time-out of its own
// is the connect time-out.
std::optional<ServerUnreachable> unreachable(int curlCode, long osError, const std::string& server, uint16_t port,
                                             const char* detail) {
  const std::string where = server + ":" + std::to_string(port);
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return ServerUnreachable(kErrorNameNotResolved, internetErrorText(kErrorNameNotResolved) + " (" + server + ")");
    case CURLE_COULDNT_CONNECT:
      return ServerUnreachable(kErrorCannotConnect,
                               internetErrorText(kErrorCannotConnect) + " (" + where + ": " +
                                   systemErrorText(osError != 0 ? static_cast<int>(osError) : ECONNREFUSED) + ")");
    case CURLE_OPERATION_TIMEDOUT:
      return ServerUnreachable(kErrorTimeout, internetErrorText(kErrorTimeout) + " (" + where + ")");
    case CURLE_COULDNT_RESOLVE_PROXY: {
      PlatformError error = platformErrorFromCurl(curlCode, detail);
      return ServerUnreachable(error.code(), error.what());
    }
    default:
      return std::nullopt;
  }
}

std::string lowerName(std::string_view line) {
  size_t colon = line.find(':');
  return toLowerAscii(trimWhite(line.substr(0, colon)));
}

// The certificate authorities the environment names, as the curl tool
// reads them (CURL_CA_BUNDLE, then SSL_CERT_FILE; SSL_CERT_DIR): for a
// company's own authority, or a proxy that inspects TLS. Nothing set, the
// system's store is used.
void useEnvironmentAuthorities(CURL* easy) {
  const char* bundle = std::getenv("CURL_CA_BUNDLE");
  if (bundle == nullptr || *bundle == '\0') bundle = std::getenv("SSL_CERT_FILE");
  if (bundle != nullptr && *bundle != '\0') curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
  const char* directory = std::getenv("SSL_CERT_DIR");
  if (directory != nullptr && *directory != '\0') curl_easy_setopt(easy, CURLOPT_CAPATH, directory);
}

}  // namespace

std::string internetErrorText(int code) {
  switch (code) {
    case kErrorTimeout:
      return "The operation timed out";
    case kErrorInternal:
      return "An internal error occurred";
    case kErrorInvalidUrl:
      return "The URL is invalid";
    case kErrorNameNotResolved:
      return "The server name or address could not be resolved";
    case kErrorOperationCancelled:
      return "The operation was cancelled";
    case kErrorCannotConnect:
      return "A connection with the server could not be established";
    case kErrorConnectionAborted:
      return "The connection with the server was terminated abnormally";
    case kErrorInvalidServerResponse:
      return "The server returned an invalid or unrecognized response";
    case kErrorSecureChannel:
      return "An error occurred in the secure channel support";
    case kErrorDisconnected:
      return "The operation could not be completed because the program is working offline";
    case kErrorTimeLimit:
      return "Time limit exceeded.";
    default:
      return strprintf("Internet error %d", code);
  }
}

PlatformError platformErrorFromCurl(int curlCode, const char* detail) {
  int code = kErrorInternal;
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OPERATION_TIMEDOUT:
      code = kErrorTimeout;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      code = kErrorNameNotResolved;
      break;
    case CURLE_COULDNT_CONNECT:
      code = kErrorCannotConnect;
      break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      code = kErrorConnectionAborted;
      break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_UNSUPPORTED_PROTOCOL:
      code = kErrorInvalidServerResponse;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
      code = kErrorSecureChannel;
      break;
    case CURLE_URL_MALFORMAT:
      code = kErrorInvalidUrl;
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      code = kErrorOperationCancelled;
      break;
    default:
      break;
  }
  std::string text = internetErrorText(code);
  std::string more = (detail && *detail) ? detail : curl_easy_strerror(static_cast<CURLcode>(curlCode));
  return PlatformError(code, text + " (" + more + ")");
}

std::string defaultAgentName() { return "Sitegleaner - http://www.corvalin.example/sitegleaner"; }

// --- HttpSession ---

HttpSession::HttpSession(std::string agent, bool offline, HttpTimeouts timeouts, const std::atomic<bool>* abortFlag,
                         const std::atomic<uint32_t>* deadline)
    : m_agent(std::move(agent)),
      m_offline(offline),
      m_timeouts(timeouts),
      m_abortFlag(abortFlag),
      m_deadline(deadline) {
  initCurlOnce();
}

std::optional<uint32_t> HttpSession::deadline() const {
  if (m_deadline == nullptr) return std::nullopt;
  return m_deadline->load();
}

HttpSession::~HttpSession() = default;

std::unique_ptr<HttpConnection> HttpSession::connect(bool https, std::string_view server, uint16_t port) {
  return std::unique_ptr<HttpConnection>(new HttpConnection(*this, https, server, port));
}

// --- HttpTransfers ---

HttpTransfers::HttpTransfers() {
  initCurlOnce();
  m_multi = curl_multi_init();
  if (!m_multi) throw PlatformError(kErrorInternal, internetErrorText(kErrorInternal));
  curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

HttpTransfers::~HttpTransfers() { curl_multi_cleanup(m_multi); }

void HttpTransfers::perform(HttpRequest* driver) {
  int running = 0;
  CURLMcode mc = curl_multi_perform(m_multi, &running);
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
    HttpRequest* request = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &request);
    if (message->msg != CURLMSG_DONE || !request) continue;
    request->m_done = true;
    request->m_result = message->data.result;
    curl_easy_getinfo(message->easy_handle, CURLINFO_OS_ERRNO, &request->m_osError);
    noteMoved(request);
  }
  for (HttpRequest* request : m_moved) {
    request->m_movedNoted = false;
    if (request != driver) request->m_wake.notify_one();
  }
  m_moved.clear();
  if (mc != CURLM_OK) throw PlatformError(kErrorInternal, curl_multi_strerror(mc));
}

void HttpTransfers::claim(MutexLock& lock) {
  ++m_claims;
  while (m_polling) {
    curl_multi_wakeup(m_multi);
    lock.waitUntil(m_pollEnded, std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollSliceMs));
  }
  --m_claims;
}

void HttpTransfers::noteMoved(HttpRequest* request) {
  if (request->m_movedNoted) return;
  request->m_movedNoted = true;
  m_moved.push_back(request);
}

void HttpTransfers::handOver() {
  if (!m_polling && !m_sleepers.empty()) m_sleepers.front()->m_wake.notify_one();
}

void HttpTransfers::detach(HttpRequest* request, MutexLock& lock) {
  HttpConnection& connection = request->m_connection;
  if (connection.m_attached == request) {
    claim(lock);
    curl_multi_remove_handle(m_multi, connection.m_easy);
    connection.m_attached = nullptr;
  }
  std::erase(m_moved, request);
  std::erase(m_sleepers, request);
}

// --- HttpConnection ---

HttpConnection::HttpConnection(HttpSession& session, bool https, std::string_view server, uint16_t port)
    : m_session(session),
      m_https(https),
      m_server(server),
      m_port(port),
      // HTTP/2 comes only over TLS: a plain connection has nothing to share
      // and keeps a multi handle of its own, which spares its worker the
      // hand-over between threads.
      m_own(https && session.transfers() ? nullptr : std::make_unique<HttpTransfers>()),
      m_transfers(m_own ? *m_own : *session.transfers()) {
  m_easy = curl_easy_init();
  if (!m_easy) throw PlatformError(kErrorInternal, internetErrorText(kErrorInternal));
}

HttpConnection::~HttpConnection() { curl_easy_cleanup(m_easy); }

bool HttpConnection::sameServer(bool https, std::string_view server, uint16_t port) const {
  return m_https == https && m_port == port && equalsNoCase(m_server, server);
}

std::unique_ptr<HttpRequest> HttpConnection::openRequest(std::string_view object) {
  std::string url = m_https ? "https://" : "http://";
  url += m_server;
  url += ':';
  url += std::to_string(m_port);
  std::string_view path = object.substr(0, object.find('#'));
  if (path.empty() || path.front() != '/') url += '/';
  url += encodeRequestTarget(path);
  return std::unique_ptr<HttpRequest>(new HttpRequest(*this, std::move(url)));
}

// --- HttpRequest ---

HttpRequest::HttpRequest(HttpConnection& connection, std::string url)
    : m_connection(connection),
      m_transfers(connection.m_transfers),
      m_url(std::move(url)),
      m_compression(connection.session().compression()) {}

HttpRequest::~HttpRequest() {
  CURL* easy = m_connection.m_easy;
  bool handleTakenOver = false;
  {
    MutexLock lock(m_transfers.m_lock);
    m_transfers.detach(this, lock);
    m_transfers.handOver();
    handleTakenOver = m_connection.m_attached != nullptr;
  }
  // The handle outlives this request; it must not point into it (unless a
  // newer request of the connection has set it up since).
  if (!handleTakenOver) {
    curl_easy_setopt(easy, CURLOPT_PRIVATE, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_PROXYHEADER, nullptr);
  }
  curl_slist_free_all(m_headers);
  curl_slist_free_all(m_proxyHeaders);
}

void HttpRequest::addHeaders(std::string_view lines) {
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    std::string_view line = lines.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? lines.size() : end + 1;
    line = trimWhite(line);
    if (line.empty() || line.find(':') == std::string_view::npos) continue;
    std::string name = ";" + lowerName(line) + ";";
    if (m_headerNames.find(name) != std::string::npos) continue;
    m_headerNames += name;
    std::string text(line);
    if (curl_slist* grown = curl_slist_append(m_headers, text.c_str())) m_headers = grown;
  }
}

void HttpRequest::addProxyHeaders(std::string_view lines) {
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    std::string_view line =
        trimWhite(lines.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    start = end == std::string_view::npos ? lines.size() : end + 1;
    if (line.empty()) continue;
    std::string text(line);
    if (curl_slist* grown = curl_slist_append(m_proxyHeaders, text.c_str())) m_proxyHeaders = grown;
  }
}

// libcurl calls these inside HttpTransfers::perform(), with the lock held.
size_t HttpRequest::onHeader(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<HttpRequest*>(self);
  size_t length = size * count;
  std::string_view line(data, length);
  // Trailers of a chunked body come here too, after the body has begun;
  // a server could send them for ever. They count against the head's bound
  // and are not kept.
  request->m_headBytes += length;
  if (request->m_headBytes > kMaxResponseHeadBytes) {
    request->m_headTooLarge = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  if (request->m_headComplete) return length;
  request->m_lastProgress = tickCount();
  if (line.rfind("HTTP/", 0) == 0) {
    // A new response begins (after a 100 Continue, say): only the final
    // response's head is kept.
    request->m_head.clear();
    request->m_headComplete = false;
  }
  std::string_view content = line;
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.remove_suffix(1);
  request->m_head.append(content);
  request->m_head.append("\r\n");
  if (HttpCookieJar* jar = request->m_connection.session().cookieJar();
      jar && startsWithNoCase(content, "set-cookie:")) {
    jar->noteCookieReceived();
  }
  if (content.empty()) {
    long code = 0;
    curl_easy_getinfo(request->m_connection.m_easy, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 200 || code == 0) {
      request->m_headComplete = true;
      request->m_status = static_cast<int>(code);
      request->m_transfers.noteMoved(request);
    }
  }
  return length;
}

size_t HttpRequest::onBody(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<HttpRequest*>(self);
  size_t length = size * count;
  if (!request->m_headComplete) {
    long code = 0;
    curl_easy_getinfo(request->m_connection.m_easy, CURLINFO_RESPONSE_CODE, &code);
    request->m_status = static_cast<int>(code);
    request->m_headComplete = true;
  }
  request->m_transfers.noteMoved(request);
  if (request->m_body.size() - request->m_bodyOffset >= kMaxBufferedBody) {
    request->m_paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (request->m_bodyOffset > 0 && request->m_bodyOffset == request->m_body.size()) {
    request->m_body.clear();
    request->m_bodyOffset = 0;
  }
  request->m_body.append(data, length);
  request->m_lastProgress = tickCount();
  return length;
}

void HttpRequest::throwIfFailed() {
  if (m_done && m_headTooLarge) {
    throw PlatformError(kErrorInvalidServerResponse, internetErrorText(kErrorInvalidServerResponse) +
                                                         " (response head larger than " +
                                                         std::to_string(kMaxResponseHeadBytes / 1024) + " KB)");
  }
  if (!m_done || m_result == CURLE_OK) return;
  if (!m_connection.m_reached) {
    std::optional<ServerUnreachable> failure =
        unreachable(m_result, m_osError, m_connection.m_server, m_connection.m_port, m_errorText);
    if (failure) throw *failure;
  }
  throw platformErrorFromCurl(m_result, m_errorText);
}

template <typename Done>
void HttpRequest::driveUntil(MutexLock& lock, Done done, uint32_t noProgressLimitMs, uint32_t totalLimitMs) {
  HttpSession& session = m_connection.session();
  const uint32_t start = tickCount();
  m_lastProgress = start;
  // Whichever way this ends, a sleeping request must find out that nobody
  // drives any more.
  struct HandOver {
    HttpTransfers& transfers;
    ~HandOver() SG_NO_THREAD_SAFETY_ANALYSIS { transfers.handOver(); }
  } handOver{m_transfers};
  // The idle limit alone would let a server that sends one byte a second
  // hold the worker for ever: deadlines are watched on every round too.
  std::optional<uint32_t> downloadDeadline = session.deadline();
  auto reached = [](uint32_t deadline) { return static_cast<int32_t>(tickCount() - deadline) >= 0; };
  while (!done() && !m_done) {
    if (!m_transfers.m_polling) {
      m_transfers.perform(this);
      if (done() || m_done) break;
    }
    if (session.aborted()) throw PlatformError(kErrorOperationCancelled, internetErrorText(kErrorOperationCancelled));
    if ((downloadDeadline && reached(*downloadDeadline)) || (m_deadline != 0 && reached(m_deadline))) {
      throw PlatformError(kErrorTimeLimit, internetErrorText(kErrorTimeLimit));
    }
    const uint32_t now = tickCount();
    uint32_t idle = now - m_lastProgress;
    if (idle >= noProgressLimitMs) throw PlatformError(kErrorTimeout, internetErrorText(kErrorTimeout));
    if (totalLimitMs != 0 && now - start >= totalLimitMs) {
      // Not a time-out worth trying again: the server answers, too slowly
      // to be a server.
      throw PlatformError(kErrorInvalidServerResponse,
                          internetErrorText(kErrorInvalidServerResponse) +
                              strprintf(" (no complete response head within %.1f s)", totalLimitMs / 1000.0));
    }
    int wait = static_cast<int>(std::min<uint32_t>(kPollSliceMs, noProgressLimitMs - idle));
    if (m_transfers.m_polling || m_transfers.m_claims > 0) {
      // Another request drives, or is about to use the handles: sleep until
      // the driver sees this transfer move or leaves.
      m_transfers.m_sleepers.push_back(this);
      lock.waitUntil(m_wake, std::chrono::steady_clock::now() + std::chrono::milliseconds(wait));
      std::erase(m_transfers.m_sleepers, this);
      continue;
    }
    m_transfers.m_polling = true;
    CURLM* multi = m_transfers.m_multi;
    lock.whileUnlocked([multi, wait] { curl_multi_poll(multi, nullptr, 0, wait, nullptr); });
    m_transfers.m_polling = false;
    m_transfers.m_pollEnded.notify_all();
  }
  // What arrived before a failure is handed out first; read() reports the
  // failure once it has nothing else left.
  if (!done()) throwIfFailed();
}

void HttpRequest::setUp(CURL* easy) {
  HttpSession& session = m_connection.session();
  // libcurl 7.88's reset forgets the list of cookie files without freeing it.
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, nullptr);
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  // HTTP/2 where the server offers it through TLS; a request waits for a
  // connection being opened to learn whether it can share it, rather than
  // open one of its own.
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, m_connection.m_https ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent().c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session.timeouts().connectMs));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers);
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, m_proxyHeaders);
  curl_easy_setopt(easy, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpRequest::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpRequest::onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorText);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  useEnvironmentAuthorities(easy);
  // "": every encoding this libcurl decodes; it then decodes the body too.
  if (m_compression) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  if (HttpCookieJar* jar = session.cookieJar()) jar->attach(easy);
}

void HttpRequest::send() {
  HttpSession& session = m_connection.session();
  if (session.offline()) throw PlatformError(kErrorDisconnected, internetErrorText(kErrorDisconnected));
  CURL* easy = m_connection.m_easy;
  MutexLock lock(m_transfers.m_lock);
  // An earlier request of this connection gives the handle up, this one's
  // own earlier try included.
  if (HttpRequest* previous = m_connection.m_attached) m_transfers.detach(previous, lock);
  m_transfers.detach(this, lock);
  m_head.clear();
  m_headBytes = 0;
  m_headTooLarge = false;
  m_body.clear();
  m_bodyOffset = 0;
  m_headComplete = m_done = m_paused = false;
  m_result = CURLE_OK;
  m_osError = 0;
  m_status = 0;
  m_errorText[0] = '\0';

  // Out of the multi handle, the easy handle is this thread's alone.
  lock.whileUnlocked([&] { setUp(easy); });
  m_transfers.claim(lock);
  if (curl_multi_add_handle(m_transfers.m_multi, easy) != CURLM_OK) {
    throw PlatformError(kErrorInternal, internetErrorText(kErrorInternal));
  }
  m_connection.m_attached = this;
  const uint32_t headLimit = session.timeouts().connectMs + session.timeouts().receiveMs;
  driveUntil(lock, [this] { return m_headComplete; }, headLimit, headLimit);
  // A head that ended before its blank line is no response, even when the
  // connection closed without an error.
  if (m_status == 0 || !m_headComplete) {
    throw PlatformError(kErrorInvalidServerResponse, internetErrorText(kErrorInvalidServerResponse));
  }
  m_connection.m_reached = true;
}

std::string HttpRequest::header(std::string_view name) const {
  // Read from the head kept here, not from libcurl: another worker's
  // thread may be moving this transfer on.
  std::string_view head = m_head;
  size_t start = head.find("\r\n");  // past the status line
  while (start != std::string_view::npos && start + 2 < head.size()) {
    start += 2;
    size_t end = head.find("\r\n", start);
    std::string_view line = head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && equalsNoCase(trimWhite(line.substr(0, colon)), name)) {
      return std::string(trimWhite(line.substr(colon + 1)));
    }
    start = end;
  }
  return std::string();
}

bool HttpRequest::decoding() const {
  const std::string encoding(trimWhite(header("Content-Encoding")));
  return m_compression && !encoding.empty() && !equalsNoCase(encoding, "identity");
}

std::optional<uint64_t> HttpRequest::contentLength() const {
  std::string text = header("Content-Length");
  if (text.empty() || decoding()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str()) return std::nullopt;
  return value;
}

std::optional<FileTime> HttpRequest::lastModified() const {
  std::string text = header("Last-Modified");
  if (text.empty()) return std::nullopt;
  time_t when = curl_getdate(text.c_str(), nullptr);
  if (when < 0) return std::nullopt;
  return fileTimeFromTimeT(when);
}

std::optional<uint32_t> HttpRequest::retryAfterMs() const {
  std::string text = header("Retry-After");
  if (text.empty()) return std::nullopt;
  uint64_t ms = 0;
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    ms = text.size() > 9 ? kMaxRetryAfterMs : std::stoull(text) * 1000;
  } else {
    time_t when = curl_getdate(text.c_str(), nullptr);
    if (when < 0) return std::nullopt;
    time_t now = std::time(nullptr);
    ms = when > now ? static_cast<uint64_t>(when - now) * 1000 : 0;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(ms, kMaxRetryAfterMs));
}

size_t HttpRequest::read(char* buffer, size_t size) {
  if (size == 0) return 0;
  MutexLock lock(m_transfers.m_lock);
  while (true) {
    size_t available = m_body.size() - m_bodyOffset;
    if (available > 0) {
      size_t n = std::min(available, size);
      std::memcpy(buffer, m_body.data() + m_bodyOffset, n);
      m_bodyOffset += n;
      if (m_bodyOffset == m_body.size()) {
        m_body.clear();
        m_bodyOffset = 0;
      }
      return n;
    }
    if (m_done) {
      throwIfFailed();
      return 0;
    }
    if (m_connection.m_attached != this) return 0;
    if (m_paused) {
      m_transfers.claim(lock);
      m_paused = false;
      curl_easy_pause(m_connection.m_easy, CURLPAUSE_CONT);
    }
    driveUntil(lock, [this] { return m_body.size() > m_bodyOffset; }, m_connection.session().timeouts().receiveMs);
  }
}

// --- HttpCookieJar ---

// libcurl calls these around every use of the shared data, from whichever
// worker's handle uses it. A lock and its unlock are separate calls, which
// the scoped analysis of Mutex cannot follow.
struct CookieJarLocks {
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) SG_NO_THREAD_SAFETY_ANALYSIS {
    static_cast<HttpCookieJar*>(self)->m_locks[slot(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) SG_NO_THREAD_SAFETY_ANALYSIS {
    static_cast<HttpCookieJar*>(self)->m_locks[slot(data)].unlock();
  }
  static size_t slot(curl_lock_data data) {
    constexpr size_t kSlots = sizeof(HttpCookieJar::m_locks) / sizeof(HttpCookieJar::m_locks[0]);
    static_assert(static_cast<size_t>(CURL_LOCK_DATA_LAST) <= kSlots);
    return static_cast<size_t>(data) % kSlots;
  }
};

HttpCookieJar::HttpCookieJar() {
  initCurlOnce();
  m_share = curl_share_init();
  if (!m_share) throw PlatformError(kErrorInternal, internetErrorText(kErrorInternal));
  curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CookieJarLocks::lock);
  curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CookieJarLocks::unlock);
  curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
  curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

HttpCookieJar::~HttpCookieJar() { curl_share_cleanup(m_share); }

void HttpCookieJar::attach(CURL* easy) const {
  curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
  // An empty name turns the cookie engine on and reads no file.
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
}

bool HttpCookieJar::reset(const std::string& file, std::string& error) {
  m_inUse = !file.empty();
  CURL* easy = curl_easy_init();
  if (!easy) throw PlatformError(kErrorInternal, internetErrorText(kErrorInternal));
  // The share alone: a cookie file name (even "") on a handle that never
  // transfers stays on its list of files to read, and libcurl 7.88 leaks it.
  curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
  curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  bool loaded = true;
  if (!file.empty()) {
    // Read here rather than by libcurl, which would say nothing of a file
    // it cannot read and would read it again with every new handle.
    std::ifstream in(file);
    if (!in) {
      error = systemErrorText(errno);
      loaded = false;
    }
    std::string line;
    while (loaded && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // Comments go, except the prefix that marks a cookie HttpOnly; a
      // cookie line has seven fields separated by tabs.
      const bool httpOnly = line.rfind("#HttpOnly_", 0) == 0;
      if ((line.empty() || line[0] == '#') && !httpOnly) continue;
      if (std::count(line.begin(), line.end(), '\t') < 6) continue;
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    }
    if (loaded && in.bad()) {
      error = systemErrorText(errno);
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
      loaded = false;
    }
  }
  curl_easy_cleanup(easy);
  return loaded;
}

// --- Proxies of the environment ---

namespace {

std::string environmentValue(const char* name, std::string* from) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::string();
  *from = name;
  return value;
}

// Does no_proxy (comma- or space-separated host names, domains with or
// without a leading dot, or "*") exempt host, as libcurl reads it?
bool exemptFromProxy(std::string_view noProxy, std::string_view host) {
  std::string name = toLowerAscii(host);
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  size_t start = 0;
  while (start < noProxy.size()) {
    size_t end = noProxy.find_first_of(", ", start);
    if (end == std::string_view::npos) end = noProxy.size();
    std::string entry = toLowerAscii(noProxy.substr(start, end - start));
    start = end + 1;
    if (entry == "*") return true;
    while (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (entry.empty()) continue;
    if (name == entry ||
        (name.size() > entry.size() && name.ends_with(entry) && name[name.size() - entry.size() - 1] == '.')) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string environmentProxyNote(bool https, std::string_view host) {
  std::string from;
  // libcurl takes no upper-case HTTP_PROXY: a CGI program gets that from a
  // request's "Proxy:" header.
  std::string proxy = https ? environmentValue("https_proxy", &from) : environmentValue("http_proxy", &from);
  if (proxy.empty() && https) proxy = environmentValue("HTTPS_PROXY", &from);
  if (proxy.empty()) proxy = environmentValue("all_proxy", &from);
  if (proxy.empty()) proxy = environmentValue("ALL_PROXY", &from);
  if (proxy.empty()) return std::string();
  std::string noProxyFrom;
  std::string noProxy = environmentValue("no_proxy", &noProxyFrom);
  if (noProxy.empty()) noProxy = environmentValue("NO_PROXY", &noProxyFrom);
  if (exemptFromProxy(noProxy, host)) return std::string();

  // A user name and password in the proxy URL stay out of the log.
  if (proxy.find("://") == std::string::npos) proxy.insert(0, "http://");
  std::string userInfo;
  takeUserInfo(proxy, userInfo);
  std::string note = strprintf(text::kUsingProxy, proxy.c_str(), from.c_str());
  if (!noProxy.empty()) note += strprintf(" (%s: %s)", noProxyFrom.c_str(), noProxy.c_str());
  return note;
}

}  // namespace sg
