#pragma once

#include <string>

namespace sg {

class LinkRecord;

// Asks the user for new credentials when a server (or the proxy) refuses
// the stored ones. The desktop front end shows a dialog; the call blocks
// the asking worker until the user answers. Must be callable from any
// worker thread.
class PasswordPrompt {
 public:
  virtual ~PasswordPrompt() = default;
  // True with credential = Base64 of "user:password" when the user gave
  // new credentials; false when the user declined.
  virtual bool askCredentials(const LinkRecord& link, bool proxy, std::string& credential) = 0;
};

}  // namespace sg
