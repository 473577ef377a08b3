#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace sg::test {
namespace {

// A port nothing listens on now; nginx binds it a moment later.
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

NginxServer::NginxServer(std::string root) : m_root(std::move(root)) {}

NginxServer::~NginxServer() {
  if (m_process) {
    m_process->signal(SIGQUIT);
    m_process->wait(5000);
  }
}

bool NginxServer::start() {
  ProcessResult made =
      runProcess("/usr/bin/openssl",
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                  "subjectAltName=IP:127.0.0.1", "-keyout", m_dir.file("key.pem"), "-out", certificate()},
                 {}, m_dir.path());
  EXPECT_EQ(made.exitCode, 0) << made.err;
  if (made.exitCode != 0) return false;
  m_port = freePort();
  const std::string& d = m_dir.path();
  std::ostringstream conf;
  // As root, nginx would serve as nobody, who cannot read the test's files.
  if (::geteuid() == 0) conf << "user root;\n";
  conf << "daemon off;\nworker_processes 1;\npid " << d << "/nginx.pid;\nerror_log " << d << "/error.log;\n"
       << "events { worker_connections 64; }\n"
       << "http {\n  log_format log '$connection $server_protocol $request_uri';\n"
       << "  access_log " << d << "/access.log log;\n"
       << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
       << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
       << "  scgi_temp_path " << d << "/scgi;\n  types { text/html html; image/png png; }\n"
       << "  server {\n    listen 127.0.0.1:" << m_port << " ssl http2;\n"
       << "    ssl_certificate " << certificate() << ";\n    ssl_certificate_key " << d << "/key.pem;\n"
       << "    root " << m_root << ";\n  }\n}\n";
  writeFile(m_dir.file("nginx.conf"), conf.str());
  // -e: the error log before the configuration is read, which would
  // otherwise be the system's.
  m_process = std::make_unique<ChildProcess>(
      "/usr/sbin/nginx",
      std::vector<std::string>{"-p", d, "-e", m_dir.file("error.log"), "-c", m_dir.file("nginx.conf")},
      std::map<std::string, std::string>{}, d);
  for (int waited = 0; waited < 10000; waited += 10) {
    if (accepts(m_port)) return true;
    if (readFile(m_dir.file("error.log")).find("[emerg]") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "nginx did not start: " << readFile(m_dir.file("error.log"));
  return false;
}

std::string NginxServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<NginxServer::Request> NginxServer::requests() const {
  std::vector<Request> out;
  std::ifstream log(m_dir.file("access.log"));
  Request request;
  while (log >> request.connection >> request.protocol >> request.uri) out.push_back(request);
  return out;
}

}  // namespace sg::test
