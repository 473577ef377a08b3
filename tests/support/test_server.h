// A real HTTP server on 127.0.0.1 for tests: routes are added before
// start(); every request is recorded (path, headers, client port) before it
// is handled.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sg::test {

struct RecordedRequest {
  std::string path;  // with the query, as sent
  httplib::Headers headers;
  int clientPort = 0;
  std::chrono::steady_clock::time_point at;  // when it arrived
  std::string header(const std::string& name) const;
  bool hasHeader(const std::string& name) const;
};

class TestServer {
 public:
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  httplib::Server& http() { return m_server; }
  // Serves body at path with a content type and extra headers.
  void page(const std::string& path, const std::string& body, const std::string& type = "text/html",
            const httplib::Headers& headers = {});
  // Answers path with status and a Location header.
  void redirect(const std::string& path, const std::string& location, int status = 302);
  // Answers path with an error status and body.
  void status(const std::string& path, int status, const std::string& body = "", const std::string& type = "text/html");
  // A body that sends `sent` bytes and then stalls until the server stops
  // (or for stallMs).
  void stalledBody(const std::string& path, const std::string& sent, int stallMs = 60000);
  // A body that announces `announced` bytes, sends `sent` and then drops
  // the connection.
  void truncatedBody(const std::string& path, const std::string& sent, size_t announced);

  void start();
  void stop();
  int port() const { return m_port; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  std::string url(const std::string& path) const { return base() + path; }

  std::vector<RecordedRequest> requests() const;
  size_t count(const std::string& path) const;
  std::set<int> clientPorts() const;
  void clearRequests();

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  mutable std::mutex m_mutex;
  std::vector<RecordedRequest> m_requests;  // guarded by m_mutex
  std::atomic<bool> m_stopping{false};
};

// A loopback port on which nothing listens.
int refusedPort();

}  // namespace sg::test
