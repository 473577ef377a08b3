// findAttribute on arbitrary tag texts: a value found must lie inside the
// tag and equal the text between its bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_checks.h"
#include "pipeline/html_scanner.h"
#include "util/string_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string name = sg::toLowerAscii(input.ConsumeRandomLengthString(16));
  std::string tag = input.ConsumeRemainingBytesAsString();
  if (auto found = sg::findAttribute(tag, name)) {
    FUZZ_CHECK(found->start <= found->end && found->end <= tag.size());
    FUZZ_CHECK(tag.compare(found->start, found->end - found->start, found->value) == 0);
    FUZZ_CHECK(!found->value.empty());
  }
  return 0;
}
