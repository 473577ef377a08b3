// Where a body is read from: the network response or the saved copy.
#pragma once

#include <cstddef>
#include <memory>

namespace sg {

class HttpRequest;

class BodySource {
 public:
  virtual ~BodySource() = default;
  // Reads up to size bytes; 0 at the end. Network failures throw
  // PlatformError.
  virtual size_t read(char* buffer, size_t size) = 0;
};

// The body of an HTTP response.
class NetworkBody : public BodySource {
 public:
  explicit NetworkBody(std::unique_ptr<HttpRequest> request);
  ~NetworkBody() override;
  size_t read(char* buffer, size_t size) override;
  HttpRequest& request() { return *m_request; }

 private:
  std::unique_ptr<HttpRequest> m_request;
};

}  // namespace sg
