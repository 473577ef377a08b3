// Where a body is read from: the network response or the saved copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sg {

class HttpRequest;

class BodySource {
 public:
  virtual ~BodySource() = default;
  // Reads up to size bytes; 0 at the end. Network failures throw
  // PlatformError.
  virtual size_t read(char* buffer, size_t size) = 0;
  // A tick count at which a read still waiting fails with the platform
  // error kErrorTimeLimit; a saved copy never waits.
  virtual void setDeadline(uint32_t) {}
};

// The body of an HTTP response.
class NetworkBody : public BodySource {
 public:
  explicit NetworkBody(std::unique_ptr<HttpRequest> request);
  ~NetworkBody() override;
  size_t read(char* buffer, size_t size) override;
  void setDeadline(uint32_t tick) override;
  HttpRequest& request() { return *m_request; }

 private:
  std::unique_ptr<HttpRequest> m_request;
};

}  // namespace sg
