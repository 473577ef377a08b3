// A document front end that answers every question without asking, for
// tests and tools where the document's questions are not the subject.
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

}  // namespace sg::test
