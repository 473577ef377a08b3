// The desktop front end as a module of its own. The program loads it only
// when it opens a window, so that a console run never maps Qt Widgets, Qt
// Gui and the forty-odd libraries behind them.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "ui/gui_app.h"

extern "C" __attribute__((visibility("default"))) int sitegleanerRunDesktop(int* argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + *argc);
  return sg::runDesktop(*argc, argv, sg::parseCommandLine(arguments));
}
