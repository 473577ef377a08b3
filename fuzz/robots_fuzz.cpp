// Robots files: any text parses, and matching any path terminates.
#include <fuzzer/FuzzedDataProvider.h>

#include "engine/robots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string path = input.ConsumeRandomLengthString(256);
  std::string body = input.ConsumeRemainingBytesAsString();
  std::unique_ptr<sg::PathRuleSet> rules = sg::parseRobots(body);
  if (rules) {
    rules->matches(path);
    std::vector<std::string> listed;
    rules->list("host", listed);
  }
  return 0;
}
