// Robots files: any text parses, and matching any path terminates.
#include <fuzzer/FuzzedDataProvider.h>

#include "engine/robots_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string path = input.ConsumeRandomLengthString(256);
  std::string body = input.ConsumeRemainingBytesAsString();
  sg::RobotsRules rules = sg::RobotsRules::parse(body, "sitegleaner");
  rules.allowed(path);
  rules.allowed("/" + path);
  return 0;
}
