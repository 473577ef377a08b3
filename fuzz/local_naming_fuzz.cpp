// Local file naming: whatever the URL, the name stays below the save
// directory and no component is longer than the file system allows.
#include <fuzzer/FuzzedDataProvider.h>

#include "engine/download_controller.h"
#include "engine/local_naming.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  bool createTree = input.ConsumeBool();
  bool https = input.ConsumeBool();
  uint16_t port = input.ConsumeIntegral<uint16_t>();
  std::string server = input.ConsumeRandomLengthString(300);
  std::string object = input.ConsumeRandomLengthString(9000);
  std::string name = sg::localNameFor(server, port, https, object, createTree);
  FUZZ_CHECK(sg::fuzz::staysBelow(name));
  size_t start = 0;
  while (start < name.size()) {
    size_t slash = name.find('/', start);
    size_t end = slash == std::string::npos ? name.size() : slash;
    FUZZ_CHECK(end - start <= sg::kMaxNameComponent);
    start = end + 1;
  }

  // The same through a link found on a page: combining, decoding, admission.
  static sg::DownloadController* controller = [] {
    auto* c = new sg::DownloadController;
    c->settings = sg::CrawlSettings::defaults("/fuzz");
    c->settings.saveDirectory = "/fuzz/sites";
    c->settings.maxServerDepth = 5;
    return c;
  }();
  controller->settings.createTree = createTree;
  controller->registry().clear();
  controller->initialise("http://www.example.com/a/b/page.html", nullptr, 0);
  std::string rewritten;
  controller->addChild(input.ConsumeRemainingBytesAsString(), &rewritten, false);
  for (size_t i = 0; i < controller->childCount(); ++i) {
    FUZZ_CHECK(sg::fuzz::staysBelow(controller->child(i)->localName()));
  }
  return 0;
}
