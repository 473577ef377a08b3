// A loopback server that answers with raw bytes, for responses no proper
// HTTP server would send: cut heads, broken status lines, endless bodies.
// Each connection: the request head is read, then the answer for its path
// is written, then the connection is closed.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace sg::test {

class RawServer {
 public:
  // The answer to a request for path: write(bytes) sends; return to close.
  using Writer = std::function<bool(const std::string& bytes)>;
  using Handler = std::function<void(const std::string& path, const Writer& write)>;

  explicit RawServer(Handler handler);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return m_port; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
  bool stopping() const { return m_stopping; }
  // How many connections the server has accepted.
  int accepted() const { return m_accepted; }

 private:
  void serve();
  void answer(int client);

  Handler m_handler;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_accepted{0};
  std::thread m_thread;
  std::vector<std::thread> m_clients;
};

}  // namespace sg::test
