// Running the program with its window.
#pragma once

#include "app/command_line.h"

namespace sg {

// Runs the desktop application for the command line; returns the exit
// status. argc and argv go to Qt.
int runDesktop(int& argc, char** argv, const CommandLine& line);

class SettingsStore;
// Shows the About box and then the conditions of use when this release has
// not shown them yet; true when they were shown.
bool showConditionsIfDue(SettingsStore& store);

}  // namespace sg
