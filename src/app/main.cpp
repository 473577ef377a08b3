#include <cstdio>
#include <cstring>

#include "app/version.h"

namespace {

void printUsage() {
  std::printf(
      "Usage: sitegleaner [switches] [URL | profile.glean | url-list.txt]\n"
      "\n"
      "Copies a web site to a local folder so that it can be browsed offline.\n"
      "\n"
      "Switches:\n"
      "  -help       print this text and exit\n"
      "  -version    print the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-help") == 0 || std::strcmp(arg, "--help") == 0) {
      printUsage();
      return 0;
    }
    if (std::strcmp(arg, "-version") == 0 || std::strcmp(arg, "--version") == 0) {
      std::printf("Sitegleaner %s\n", SITEGLEANER_VERSION_TEXT);
      return 0;
    }
  }
  printUsage();
  return 0;
}
