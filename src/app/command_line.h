// The program's command line. "-" marks a switch; "/" marks one only for
// the program's own switch words ("/q", "/stealth"), since on Linux an
// absolute path also begins with "/".
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sg {

struct CommandLine {
  bool quitWhenDone = false;  // "q": command-line mode
  bool stealth = false;       // "stealth"
  bool console = false;       // "console": no windows
  bool resume = false;        // "resume": continue a stopped download of the root
  bool restart = false;       // "restart": start it again, forgetting a stopped one
  bool help = false;
  bool version = false;
  std::vector<std::pair<std::string, std::string>> overrides;  // "-set Name=value"
  std::vector<std::string> files;                              // root URL, profile or URL list
  std::string error;                                           // non-empty when the line is unusable
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The usage text printed by "-help".
std::string usageText();

}  // namespace sg
