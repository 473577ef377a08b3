// Arbitrary bytes as a server's whole answer: the HTTP layer reads the head
// and the body, or fails with a platform error, and never hangs or crashes.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <condition_variable>
#include <string>
#include <string_view>
#include <thread>

#include "fuzz_checks.h"
#include "platform/http.h"

namespace {

constexpr std::string_view kRepeatMarker{"\0repeat\0", 8};
// More than any response head may hold.
constexpr size_t kRepeatBytes = sg::kMaxResponseHeadBytes + 64 * 1024;

bool sendAll(int client, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// A loopback server that answers each connection with the current input
// and closes it.
class OneShotServer {
 public:
  OneShotServer() {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    listen(m_listener, 64);
    m_thread = std::thread([this] { serve(); });
  }
  uint16_t port() const { return m_port; }
  void setAnswer(std::string answer) {
    std::lock_guard lock(m_mutex);
    m_answer = std::move(answer);
  }

 private:
  void serve() {
    while (true) {
      int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string answer;
      {
        std::lock_guard lock(m_mutex);
        answer = m_answer;
      }
      char request[4096];
      // A connection that sends no request gets no answer.
      ssize_t got = recv(client, request, sizeof request, 0);
      if (got > 0) {
        // An answer may end in a part that is sent again and again, as an
        // endless server would send trailers or header lines.
        std::string repeated;
        if (size_t marker = answer.find(kRepeatMarker); marker != std::string::npos) {
          repeated = answer.substr(marker + kRepeatMarker.size());
          answer.resize(marker);
        }
        bool open = sendAll(client, answer);
        for (size_t total = 0; open && !repeated.empty() && total < kRepeatBytes; total += repeated.size()) {
          open = sendAll(client, repeated);
        }
      }
      close(client);
    }
  }

  int m_listener = -1;
  uint16_t m_port = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::string m_answer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OneShotServer* server = new OneShotServer;
  server->setAnswer(std::string(reinterpret_cast<const char*>(data), size));
  sg::HttpTimeouts timeouts;
  timeouts.connectMs = 1000;
  timeouts.receiveMs = 200;
  sg::HttpSession session("fuzz", false, timeouts);
  try {
    auto connection = session.connect(false, "127.0.0.1", server->port());
    auto request = connection->openRequest("/");
    request->send();
    request->statusCode();
    request->contentType();
    request->contentLength();
    request->lastModified();
    request->header("Location");
    // Trailers count against the head's bound, and are never kept.
    FUZZ_CHECK(request->rawHeaders().size() <= sg::kMaxResponseHeadBytes);
    char block[4096];
    size_t body = 0;
    while (size_t n = request->read(block, sizeof block)) body += n;
    FUZZ_CHECK(body <= 2 * size + kRepeatBytes);
  } catch (const sg::PlatformError&) {
  }
  return 0;
}
