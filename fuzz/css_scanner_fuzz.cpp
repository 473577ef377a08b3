// The stylesheet scanner on arbitrary sheets cut into blocks where the
// fuzzer chooses: with no reference replaced, the output is the input byte
// for byte; with every one replaced, every reference handed on is what the
// output names at its place, and the output never loses the text between.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_checks.h"
#include "pipeline/css_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool replace = input.ConsumeBool();
  std::vector<std::string> blocks;
  std::string sheet;
  while (input.remaining_bytes() > 0) {
    blocks.push_back(input.ConsumeRandomLengthString(64));
    sheet += blocks.back();
  }
  size_t references = 0;
  sg::CssScanner scanner([&](std::string_view url, bool) -> std::optional<std::string> {
    ++references;
    FUZZ_CHECK(!url.empty());
    if (!replace) return std::nullopt;
    return std::string("x");
  });
  std::string out;
  for (const std::string& block : blocks) scanner.scanBlock(block, out);
  scanner.finish(out);
  if (!replace) FUZZ_CHECK(out == sheet);
  // A replaced reference is written as url("x") or "x": never longer than
  // what it replaced by more than its quotes and name.
  FUZZ_CHECK(out.size() <= sheet.size() + references * 8);
  return 0;
}
