// Profile files: any bytes are read without reading past them, and a
// profile that reads back writes the same fields again.
#include "document/profile_file.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  sg::CrawlSettings settings;
  std::string rootUrl;
  if (sg::readProfile(bytes, rootUrl, settings)) {
    std::string written = sg::writeProfile(rootUrl, settings);
    sg::CrawlSettings again;
    std::string url;
    FUZZ_CHECK(sg::readProfile(written, url, again));
    FUZZ_CHECK(url == rootUrl);
    FUZZ_CHECK(again.username == settings.username && again.threads == settings.threads);
  }
  return 0;
}
