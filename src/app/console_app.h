// Running the document without windows: log lines on standard output, a
// live status line on standard error when it is a terminal, Ctrl+C or
// SIGTERM to stop (a second Ctrl+C ends at once), and an exit status that
// says how the download ended.
#pragma once

#include <string>

#include "app/command_line.h"

namespace sg {

enum ExitStatus : int {
  kExitCompleted = 0,
  kExitAborted = 1,
  kExitCouldNotStart = 2,
};

// Runs the command line in console mode; returns the exit status.
int runConsole(const CommandLine& line);

}  // namespace sg
