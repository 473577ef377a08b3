// The image candidate splitter on arbitrary lists: every span lies inside
// the list, in order and apart, is never empty, never begins with white
// space or a comma and never ends with a comma; and the list read again
// with every URL replaced by "x" gives as many URLs.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_checks.h"
#include "pipeline/link_rewriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view list(reinterpret_cast<const char*>(data), size);
  std::vector<sg::TextSpan> urls = sg::candidateUrls(list);
  size_t last = 0;
  for (const sg::TextSpan& url : urls) {
    FUZZ_CHECK(url.start >= last && url.start < url.end && url.end <= list.size());
    const char first = list[url.start];
    FUZZ_CHECK(first != ',' && first != ' ' && first != '\t' && first != '\n' && first != '\r' && first != '\f');
    FUZZ_CHECK(list[url.end - 1] != ',');
    last = url.end;
  }
  std::string replaced(list);
  for (size_t i = urls.size(); i-- > 0;) replaced.replace(urls[i].start, urls[i].end - urls[i].start, "x");
  FUZZ_CHECK(sg::candidateUrls(replaced).size() == urls.size());
  return 0;
}
