#include "support/raw_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sg::test {

RawServer::RawServer(Handler handler) : m_handler(std::move(handler)) {
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

RawServer::~RawServer() {
  m_stopping = true;
  shutdown(m_listener, SHUT_RDWR);
  m_thread.join();
  for (auto& client : m_clients) client.join();
  close(m_listener);
}

void RawServer::serve() {
  while (!m_stopping) {
    pollfd p{m_listener, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++m_accepted;
    m_clients.emplace_back([this, client] { answer(client); });
  }
}

void RawServer::answer(int client) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd p{client, POLLIN, 0};
    if (m_stopping || poll(&p, 1, 50) < 0) break;
    if (!(p.revents & POLLIN)) continue;
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  if (request.find("\r\n\r\n") != std::string::npos) {
    size_t start = request.find(' ') + 1;
    std::string path = request.substr(start, request.find(' ', start) - start);
    Writer write = [this, client](const std::string& bytes) {
      if (m_stopping) return false;
      size_t sent = 0;
      while (sent < bytes.size()) {
        ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
      }
      return true;
    };
    m_handler(path, write);
  }
  close(client);
}

}  // namespace sg::test
