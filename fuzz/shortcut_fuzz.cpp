// Shortcut files (.desktop and .url) with arbitrary contents.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "util/shortcuts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    char name[] = "/tmp/sitegleaner-shortcut-fuzz-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  std::string target;
  sg::readShortcutTarget(path, target);
  return 0;
}
