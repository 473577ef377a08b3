// Starts the desktop front end, which lives in a module beside the
// executable and is loaded only when a window is wanted.
#pragma once

namespace sg {

// The module's file name, looked for in the executable's folder.
inline constexpr const char* kDesktopModuleName = "sitegleaner_desktop.so";

// Loads the module and runs the desktop application; the exit status, or
// kExitCouldNotStart with a message on standard error when the module
// cannot be loaded.
int runDesktopModule(int argc, char** argv);

}  // namespace sg
