// URL list files: every entry taken from a list is a web URL, and every
// non-blank line is either taken or counted as skipped.
#include "document/url_list.h"
#include "fuzz_checks.h"
#include "util/url_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  sg::UrlList list;
  sg::parseUrlList(text, list);
  FUZZ_CHECK(list.urls.size() + list.skipped <= list.lines);
  for (std::string url : list.urls) {
    FUZZ_CHECK(url.size() <= sg::kMaxUrlListLine + 7);
    sg::HttpUrlParts parts;
    FUZZ_CHECK(sg::parseHttpUrl(url, parts));
    FUZZ_CHECK(!parts.server.empty());
    FUZZ_CHECK(url.find_first_of(" \t\r\n") == std::string::npos);
  }
  return 0;
}
