// URL list files: every entry taken from a list is a web URL.
#include <sstream>

#include "document/url_list.h"
#include "fuzz_checks.h"
#include "util/url_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> urls;
  sg::readUrlList(in, urls);
  for (std::string url : urls) {
    sg::HttpUrlParts parts;
    FUZZ_CHECK(sg::parseHttpUrl(url, parts));
  }
  return 0;
}
