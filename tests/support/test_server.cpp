#include "support/test_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace sg::test {

std::string RecordedRequest::header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

bool RecordedRequest::hasHeader(const std::string& name) const { return headers.find(name) != headers.end(); }

TestServer::TestServer() {
  m_server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  m_server.set_keep_alive_max_count(100000);
  m_server.set_tcp_nodelay(true);
  m_server.set_keep_alive_timeout(30);
  m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    RecordedRequest record;
    record.path = req.target;
    record.headers = req.headers;
    record.clientPort = req.remote_port;
    record.at = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(record));
    return httplib::Server::HandlerResponse::Unhandled;
  });
}

TestServer::~TestServer() { stop(); }

void TestServer::page(const std::string& path, const std::string& body, const std::string& type,
                      const httplib::Headers& headers) {
  m_server.Get(path, [body, type, headers](const httplib::Request&, httplib::Response& res) {
    for (const auto& [name, value] : headers) res.set_header(name, value);
    res.set_content(body, type);
  });
}

void TestServer::redirect(const std::string& path, const std::string& location, int status) {
  m_server.Get(path, [location, status](const httplib::Request&, httplib::Response& res) {
    res.status = status;
    res.set_header("Location", location);
  });
}

void TestServer::status(const std::string& path, int status, const std::string& body, const std::string& type) {
  m_server.Get(path, [status, body, type](const httplib::Request&, httplib::Response& res) {
    res.status = status;
    if (!body.empty()) res.set_content(body, type);
  });
}

void TestServer::stalledBody(const std::string& path, const std::string& sent, int stallMs) {
  m_server.Get(path, [this, sent, stallMs](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(sent.size() + 1000000, "application/octet-stream",
                             [this, sent, stallMs](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset == 0 && !sent.empty()) {
                                 sink.write(sent.data(), sent.size());
                                 return true;
                               }
                               auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(stallMs);
                               while (!m_stopping && std::chrono::steady_clock::now() < until) {
                                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
                               }
                               return false;
                             });
  });
}

void TestServer::truncatedBody(const std::string& path, const std::string& sent, size_t announced) {
  m_server.Get(path, [sent, announced](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(announced, "application/octet-stream",
                             [sent](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset == 0) {
                                 sink.write(sent.data(), sent.size());
                                 return true;
                               }
                               return false;  // drops the connection
                             });
  });
}

void TestServer::start() {
  m_port = m_server.bind_to_any_port("127.0.0.1");
  if (m_port <= 0) throw std::runtime_error("test server could not bind");
  m_thread = std::thread([this] { m_server.listen_after_bind(); });
  // Connections queue on the bound socket already; stop() needs the loop running.
  while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TestServer::stop() {
  m_stopping = true;
  if (m_thread.joinable()) {
    m_server.stop();
    m_thread.join();
  }
}

std::vector<RecordedRequest> TestServer::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

size_t TestServer::count(const std::string& path) const {
  std::lock_guard lock(m_mutex);
  size_t n = 0;
  for (const auto& r : m_requests) n += r.path == path;
  return n;
}

std::set<int> TestServer::clientPorts() const {
  std::lock_guard lock(m_mutex);
  std::set<int> ports;
  for (const auto& r : m_requests) ports.insert(r.clientPort);
  return ports;
}

void TestServer::clearRequests() {
  std::lock_guard lock(m_mutex);
  m_requests.clear();
}

int refusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  int port = ntohs(address.sin_port);
  close(fd);  // nothing listens there now
  return port;
}

}  // namespace sg::test
