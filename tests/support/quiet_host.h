// The world around a document for tests and tools where it is not the
// subject: a front end that answers every question without asking, and a
// connection-state layer whose answer the test sets.
#pragma once

#include "document/crawl_document.h"

namespace sg::test {

class QuietHost : public DocumentHost {
 public:
  bool confirmReset() override { return true; }
  bool confirmCancelBatch() override { return false; }
  bool confirmEndDownloadOnClose() override { return true; }
  void reportSettingsReadError(const std::string&) override {}
  void reportError(const std::string&) override {}
};

class FixedConnection : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return state; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }
  ConnectionState state;
};

}  // namespace sg::test
