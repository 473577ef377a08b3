// URL splitting, comparing, combining and relative paths on arbitrary texts.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_checks.h"
#include "util/url_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string base = input.ConsumeRandomLengthString(512);
  std::string link = input.ConsumeRandomLengthString(512);
  std::string other = input.ConsumeRemainingBytesAsString();

  std::string url = base;
  sg::HttpUrlParts parts;
  if (sg::parseHttpUrl(url, parts)) {
    FUZZ_CHECK(!parts.server.empty());
    FUZZ_CHECK(parts.port != 0);
    sg::CombinedUrl combined = sg::combineUrl(url, link);
    // The shortcut for plain links must agree with libcurl.
    sg::CombinedUrl slow = sg::combineUrl(url, link, false);
    FUZZ_CHECK(combined.url == slow.url);
    FUZZ_CHECK(combined.fragment == slow.fragment && combined.hasFragment == slow.hasFragment);
    FUZZ_CHECK(combined.url.find('#') == std::string::npos);
    if (combined.partsValid) {
      std::string again = combined.url;
      sg::HttpUrlParts reparsed;
      FUZZ_CHECK(sg::parseHttpUrl(again, reparsed));
      FUZZ_CHECK(reparsed.server == combined.parts.server);
      FUZZ_CHECK(reparsed.object == combined.parts.object);
      FUZZ_CHECK(reparsed.port == combined.parts.port);
    }
    sg::displayPath(parts.object);
  }
  sg::sameUrl(base, other);
  std::string target = other;
  sg::makeRelativePath(link, target, false);
  sg::percentDecode(other);
  return 0;
}
