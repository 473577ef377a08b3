// nginx serving a directory over HTTPS with HTTP/2 on 127.0.0.1, with a
// certificate made for the test (openssl), and an access log that tells
// each request's connection and protocol: what libcurl alone cannot show.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace sg::test {

class NginxServer {
 public:
  // Serves root; start() fails the test (and leaves started() false) when
  // nginx or openssl cannot run.
  explicit NginxServer(std::string root);
  ~NginxServer();

  bool start();
  int port() const { return m_port; }
  std::string url(const std::string& path) const;
  // The certificate to trust (as a CA bundle) for url().
  std::string certificate() const { return m_dir.file("cert.pem"); }

  struct Request {
    std::string connection;  // nginx's serial number of the connection
    std::string protocol;    // "HTTP/2.0", "HTTP/1.1"
    std::string uri;
  };
  // What the access log holds so far.
  std::vector<Request> requests() const;

 private:
  TempDir m_dir;
  std::string m_root;
  int m_port = 0;
  std::unique_ptr<ChildProcess> m_process;
};

}  // namespace sg::test
