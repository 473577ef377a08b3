// The HTML scanner with link rewriting, fed a body split into blocks at
// places the fuzzer chooses, with settings it chooses. Every link that
// joins the tree must have a local file inside the save directory.
#include <fuzzer/FuzzedDataProvider.h>

#include "engine/download_controller.h"
#include "fuzz_checks.h"
#include "pipeline/html_scanner.h"
#include "util/app_flags.h"
#include "util/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static sg::DownloadController* controller = [] {
    auto* c = new sg::DownloadController;
    c->settings = sg::CrawlSettings::defaults("/fuzz");
    c->settings.saveDirectory = "/fuzz/sites";
    c->settings.maxServerDepth = 3;
    return c;
  }();
  FuzzedDataProvider input(data, size);
  sg::CrawlSettings& s = controller->settings;
  s.fixLinks = input.ConsumeBool();
  s.stripHtmlTags = input.ConsumeBool();
  s.ignoreInline = input.ConsumeBool();
  s.createTree = input.ConsumeBool();
  s.stayBelowRoot = input.ConsumeBool();
  sg::setStealthMode(input.ConsumeBool());
  controller->registry().clear();
  controller->redirects().clear();
  controller->initialise("http://www.example.com/dir/page.html", nullptr, 0);
  controller->registerLink(*controller);

  sg::HtmlScanner scanner(*controller);
  std::string output;
  while (input.remaining_bytes() > 0) {
    size_t length = input.ConsumeIntegralInRange<size_t>(1, 4095);
    std::string block = input.ConsumeBytesAsString(length);
    scanner.scanBlock(block, output);
  }
  FUZZ_CHECK(controller->title.size() <= sg::kMaxTitleLength);
  for (size_t i = 0; i < controller->childCount(); ++i) {
    FUZZ_CHECK(sg::fuzz::staysBelow(controller->child(i)->localName()));
  }
  sg::logQueue().clear();
  return 0;
}
