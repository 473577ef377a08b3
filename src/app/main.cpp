#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_app.h"
#include "app/desktop_loader.h"
#include "app/startup.h"
#include "app/version.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  sg::CommandLine line = sg::parseCommandLine(arguments);
  if (!line.error.empty()) {
    std::fprintf(stderr, "sitegleaner: %s\n\n%s", line.error.c_str(), sg::usageText().c_str());
    return sg::kExitCouldNotStart;
  }
  if (line.help) {
    std::printf("%s", sg::usageText().c_str());
    return 0;
  }
  if (line.version) {
    std::printf("Sitegleaner %s\n", SITEGLEANER_VERSION_TEXT);
    return 0;
  }
  // Without a display, "-q" means an unattended run: the console serves it.
  if (line.console || (line.quitWhenDone && !sg::displayAvailable())) return sg::runConsole(line);
  if (!sg::displayAvailable()) {
    std::fprintf(stderr, "sitegleaner: no display to open a window on; use -console (see -help)\n");
    return sg::kExitCouldNotStart;
  }
  return sg::runDesktopModule(argc, argv);
}
