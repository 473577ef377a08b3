#include "app/desktop_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/console_app.h"

namespace sg {

namespace {

std::string executableFolder() {
  std::string path(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return ".";
  path.resize(static_cast<size_t>(length));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

int runDesktopModule(int argc, char** argv) {
  // Beside the executable in a build tree; in the library folder of the
  // prefix once installed.
  const std::string folder = executableFolder();
  std::string path = folder + "/" + kDesktopModuleName;
  if (::access(path.c_str(), F_OK) != 0) path = folder + "/" SITEGLEANER_MODULE_FROM_BIN "/" + kDesktopModuleName;
  // RTLD_LOCAL: the module keeps its own copies of the program's libraries
  // to itself; the executable has done nothing with its own but read the
  // command line.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "sitegleaner: cannot load the desktop front end: %s\n", dlerror());
    return kExitCouldNotStart;
  }
  using Entry = int (*)(int*, char**);
  auto run = reinterpret_cast<Entry>(dlsym(module, "sitegleanerRunDesktop"));
  if (run == nullptr) {
    std::fprintf(stderr, "sitegleaner: %s is not the desktop front end of this program\n", path.c_str());
    return kExitCouldNotStart;
  }
  // The module stays loaded until the process ends: Qt's exit handlers
  // live in it.
  return run(&argc, argv);
}

}  // namespace sg
