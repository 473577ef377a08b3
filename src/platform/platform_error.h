// Failures of the HTTP layer, carried as the Internet error codes that the
// rest of the program reasons about.
#pragma once

#include <stdexcept>
#include <string>

namespace sg {

enum InternetError : int {
  kErrorInternal = 12004,
  kErrorInvalidUrl = 12005,
  kErrorTimeout = 12002,
  kErrorNameNotResolved = 12007,
  kErrorOperationCancelled = 12017,
  kErrorCannotConnect = 12029,
  kErrorConnectionAborted = 12030,
  kErrorInvalidServerResponse = 12152,
  kErrorSecureChannel = 12157,
  kErrorDisconnected = 12163,
  // Not an Internet error: a deadline of the download (its time limit, or
  // the time allowed for one file) passed while waiting for the server.
  kErrorTimeLimit = 12900,
};

// Thrown by the HTTP layer; what() is a readable text for logs and for the
// information column.
class PlatformError : public std::runtime_error {
 public:
  PlatformError(int code, const std::string& text) : std::runtime_error(text), m_code(code) {}
  int code() const { return m_code; }

 private:
  int m_code;
};

// Thrown by the first request of a connection when its server could not
// be reached at all (no such host, connection refused, connect time-out):
// a verdict on the server rather than on one link.
class ServerUnreachable : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// The readable text of a code, as the log and the views show it.
std::string internetErrorText(int code);

}  // namespace sg
