// The HTTP layer: a session (one per worker), a connection to one server,
// and GET requests from which the body is pulled in blocks. Built on
// libcurl's multi interface so that a read returns as soon as some bytes
// arrive. The transfers of all workers can share one multi handle
// (HttpTransfers), and with it the network connections: one HTTP/2
// connection carries every worker's requests to a server that offers it
// over TLS; HTTP/1.1 connections are kept alive and reused.
//
// Sessions, connections and requests are not thread-safe; each worker owns
// its own. Failures throw PlatformError. Redirections are never followed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_error.h"
#include "util/clock.h"
#include "util/mutex.h"

typedef void CURL;
typedef void CURLM;
typedef void CURLSH;
struct curl_slist;

namespace sg {

// The longest a Retry-After holds a server's requests: an hour.
inline constexpr uint32_t kMaxRetryAfterMs = 60 * 60 * 1000;

struct HttpTimeouts {
  uint32_t connectMs = 30000;  // to establish a connection
  uint32_t receiveMs = 60000;  // without any byte arriving
};

// Agent name sent when a request adds no User-Agent line of its own.
std::string defaultAgentName();

class HttpConnection;
class HttpCookieJar;
class HttpRequest;

// The transfers of several sessions through one libcurl multi handle, so
// that requests to one server share its connections. It has no thread of
// its own: a request that waits for the network drives every transfer
// (curl_multi_perform, then curl_multi_poll without the lock) while the
// others sleep until their own transfer moves or the driver leaves, when
// one of them takes over. Thread-safe. Destroyed after every connection
// that uses it.
class HttpTransfers {
 public:
  HttpTransfers();
  ~HttpTransfers();
  HttpTransfers(const HttpTransfers&) = delete;
  HttpTransfers& operator=(const HttpTransfers&) = delete;

 private:
  friend class HttpRequest;
  friend class HttpConnection;

  // Lets libcurl move every transfer once: callbacks fill the requests'
  // buffers, finished transfers are marked done, and each request whose
  // transfer moved is woken (but driver, which is awake).
  void perform(HttpRequest* driver) SG_REQUIRES(m_lock);
  // Waits until no thread is inside curl_multi_poll: the multi handle and
  // the easy handles in it may then be used until the lock is given up.
  void claim(MutexLock& lock) SG_REQUIRES(m_lock);
  // Once a driver leaves, wakes a sleeping request to take its place.
  void handOver() SG_REQUIRES(m_lock);
  // libcurl moved the request's transfer: perform() wakes its owner.
  void noteMoved(HttpRequest* request) SG_REQUIRES(m_lock);
  // Takes the request's transfer out of the multi handle, if it is in.
  void detach(HttpRequest* request, MutexLock& lock) SG_REQUIRES(m_lock);

  CURLM* m_multi = nullptr;
  // Guards the multi handle, the easy handles in it and the transfer state
  // of their requests (which libcurl's callbacks write while it is held).
  Mutex m_lock;
  bool m_polling SG_GUARDED_BY(m_lock) = false;  // a driver waits without the lock
  int m_claims SG_GUARDED_BY(m_lock) = 0;        // threads waiting in claim()
  std::condition_variable m_pollEnded;
  std::vector<HttpRequest*> m_sleepers SG_GUARDED_BY(m_lock);
  std::vector<HttpRequest*> m_moved SG_GUARDED_BY(m_lock);
};

class HttpSession {
 public:
  // abortFlag, when given, is watched while waiting for the network: once
  // it is set, every wait ends with kErrorOperationCancelled. deadline,
  // when given, is a tick count that every wait ends at (kErrorTimeLimit):
  // the time limit of the whole download.
  HttpSession(std::string agent, bool offline, HttpTimeouts timeouts, const std::atomic<bool>* abortFlag = nullptr,
              const std::atomic<uint32_t>* deadline = nullptr);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // A connection to scheme://server:port. Nothing is sent yet: libcurl
  // reaches the server with the first request, directly or through the
  // proxy the environment names for it (http_proxy, https_proxy, all_proxy,
  // no_proxy). A first request that cannot reach it throws
  // ServerUnreachable.
  std::unique_ptr<HttpConnection> connect(bool https, std::string_view server, uint16_t port);

  const std::string& agent() const { return m_agent; }
  bool offline() const { return m_offline; }
  const HttpTimeouts& timeouts() const { return m_timeouts; }
  bool aborted() const { return m_abortFlag && m_abortFlag->load(); }
  // The download's deadline, if it has one.
  std::optional<uint32_t> deadline() const;
  // The cookie jar the requests of this session keep and send cookies
  // with; without one, cookies are neither kept nor sent.
  void setCookieJar(HttpCookieJar* jar) { m_cookies = jar; }
  HttpCookieJar* cookieJar() const { return m_cookies; }
  // The multi handle this session's HTTPS requests go through, shared with
  // other sessions; without one, and for plain HTTP, each connection has
  // its own, and its network connection closes with it. Before connect().
  void setTransfers(HttpTransfers* shared) { m_shared = shared; }
  // Whether requests ask for compressed bodies (see HttpRequest); the
  // robots file's too.
  void setCompression(bool on) { m_compression = on; }
  bool compression() const { return m_compression; }
  HttpTransfers* transfers() const { return m_shared; }

 private:
  std::string m_agent;
  bool m_offline;
  HttpTimeouts m_timeouts;
  const std::atomic<bool>* m_abortFlag;
  const std::atomic<uint32_t>* m_deadline;
  HttpCookieJar* m_cookies = nullptr;
  HttpTransfers* m_shared = nullptr;
  bool m_compression = false;
};

// The most bytes of a response head, trailers of a chunked body included,
// that a request accepts; more fails as an invalid server response.
inline constexpr size_t kMaxResponseHeadBytes = 256 * 1024;

class HttpConnection {
 public:
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  const std::string& server() const { return m_server; }
  uint16_t port() const { return m_port; }
  bool https() const { return m_https; }
  HttpSession& session() { return m_session; }

  // Is this a connection to that server? Host names compare without case.
  bool sameServer(bool https, std::string_view server, uint16_t port) const;

  // A GET request for the object (path and query) on this server. One
  // request at a time: the previous one must be gone.
  std::unique_ptr<HttpRequest> openRequest(std::string_view object);

 private:
  friend class HttpSession;
  friend class HttpRequest;
  friend class HttpTransfers;
  HttpConnection(HttpSession& session, bool https, std::string_view server, uint16_t port);

  HttpSession& m_session;
  bool m_https;
  std::string m_server;
  uint16_t m_port;
  std::unique_ptr<HttpTransfers> m_own;
  HttpTransfers& m_transfers;
  CURL* m_easy = nullptr;
  // The request whose transfer the easy handle is in the multi handle for;
  // a newer request of this connection takes it over. Guarded by the
  // transfers' lock (which the analysis cannot see through a request).
  HttpRequest* m_attached = nullptr;
  bool m_reached = false;  // a response has come over this connection
};

class HttpRequest {
 public:
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Adds header lines ("Name: value", CR LF separated). A line whose name
  // the request already carries is not added again.
  void addHeaders(std::string_view lines);
  // Header lines meant for a proxy only; never sent to the server.
  void addProxyHeaders(std::string_view lines);
  // With the session's compression on, a request asks for every content
  // encoding libcurl can decode (gzip, deflate, Brotli, zstd as built) and
  // hands out the decoded body; off, no Accept-Encoding is sent and the
  // body comes as it is. True when the body is being decoded: its
  // announced length is then the encoded one.
  bool decoding() const;

  // Sends the request and reads the response head. The whole head must
  // arrive within the session's connect and receive time-outs together,
  // however steadily it trickles in.
  void send();
  // A tick count at which any wait for this request ends with
  // kErrorTimeLimit (a limit on the time for one file); 0 for none.
  void setDeadline(uint32_t tick) { m_deadline = tick; }
  int statusCode() const { return m_status; }
  // The response head, every line ended by CR LF (over HTTP/2, a status
  // line "HTTP/2 200" and lower-case names).
  const std::string& rawHeaders() const { return m_head; }
  // The value of a response header, or "" when it is missing.
  std::string header(std::string_view name) const;
  std::string contentType() const { return header("Content-Type"); }
  // The announced length of the body as read(): none while decoding.
  std::optional<uint64_t> contentLength() const;
  std::optional<FileTime> lastModified() const;
  // How long the server asks to be left alone (Retry-After, in seconds or
  // as a date), capped at kMaxRetryAfterMs; nothing without the header.
  std::optional<uint32_t> retryAfterMs() const;

  // Reads up to size body bytes, waiting until at least one arrives; 0 at
  // the end of the body.
  size_t read(char* buffer, size_t size);

 private:
  friend class HttpConnection;
  friend class HttpTransfers;
  HttpRequest(HttpConnection& connection, std::string url);

  static size_t onHeader(char* data, size_t size, size_t count, void* self) SG_NO_THREAD_SAFETY_ANALYSIS;
  static size_t onBody(char* data, size_t size, size_t count, void* self) SG_NO_THREAD_SAFETY_ANALYSIS;
  // Drives the transfers until done() holds; throws on failure, when
  // nothing arrives for noProgressLimitMs (a time-out), when totalLimitMs
  // (0: none) have passed (an invalid response), or at a deadline.
  template <typename Done>
  void driveUntil(MutexLock& lock, Done done, uint32_t noProgressLimitMs, uint32_t totalLimitMs = 0)
      SG_REQUIRES(m_transfers.m_lock);
  void throwIfFailed();
  // Sets the easy handle up for this request, out of the multi handle.
  void setUp(CURL* easy);

  HttpConnection& m_connection;
  // The connection's; guards the transfer state below, which libcurl's
  // callbacks write. The head is read without it once complete.
  HttpTransfers& m_transfers;
  std::string m_url;
  curl_slist* m_headers = nullptr;
  curl_slist* m_proxyHeaders = nullptr;
  std::string m_headerNames;  // lower-case names already added, ";"-joined
  std::string m_head;
  size_t m_headBytes = 0;  // head and trailers as received
  bool m_headTooLarge = false;
  uint32_t m_deadline = 0;
  std::string m_body;
  size_t m_bodyOffset = 0;
  bool m_headComplete = false;
  bool m_done = false;
  bool m_paused = false;
  bool m_compression = false;
  int m_result = 0;  // CURLcode of the finished transfer
  long m_osError = 0;
  int m_status = 0;
  uint32_t m_lastProgress = 0;
  char m_errorText[256] = {};
  bool m_movedNoted = false;
  std::condition_variable m_wake;  // the transfer moved, or a driver is wanted
};

// The cookies of one download, shared by the sessions of all its workers
// through libcurl's cookie engine: what a server sets is sent back by the
// usual rules (domain, path, expiry, Secure) on every later request of any
// worker. A cookie file is only read, never written. Thread-safe: libcurl
// takes the jar's locks around each use of the shared cookies.
class HttpCookieJar {
 public:
  HttpCookieJar();
  ~HttpCookieJar();
  HttpCookieJar(const HttpCookieJar&) = delete;
  HttpCookieJar& operator=(const HttpCookieJar&) = delete;

  // Forgets every cookie, then loads those of a Netscape cookies.txt (as
  // browsers' export extensions and wget write it) unless file is empty.
  // False, with error saying why, when the file cannot be read; the jar is
  // then empty. Only while no request uses the jar.
  bool reset(const std::string& file, std::string& error);
  // True once a cookie file was named, or any response set a cookie, since
  // the last reset.
  bool inUse() const { return m_inUse.load(); }
  void noteCookieReceived() { m_inUse = true; }
  // Lets an easy handle keep and send the jar's cookies; after every
  // curl_easy_reset.
  void attach(CURL* easy) const;

 private:
  friend struct CookieJarLocks;  // libcurl's lock callbacks

  CURLSH* m_share = nullptr;
  // One lock per kind of shared data libcurl names (cookies, and the share
  // itself), so that taking one while holding another cannot deadlock.
  Mutex m_locks[8];
  std::atomic<bool> m_inUse{false};
};

// The proxy libcurl takes from the environment for a request to host
// (http_proxy for http; https_proxy or HTTPS_PROXY for https; then all_proxy
// or ALL_PROXY; unless no_proxy or NO_PROXY names the host), told for the
// log: "Using the proxy http://host:port from http_proxy (no_proxy: ...)",
// without any user name or password the proxy URL carries. "" when the
// request goes direct.
std::string environmentProxyNote(bool https, std::string_view host);

// The status text that belongs to a CURLcode, as a PlatformError.
PlatformError platformErrorFromCurl(int curlCode, const char* detail);

}  // namespace sg
