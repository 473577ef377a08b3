#include "app/command_line.h"

namespace sg {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool dash = argument.size() > 1 && argument[0] == '-';
    bool slash = argument == "/q" || argument == "/stealth";
    if (!dash && !slash) {
      line.files.push_back(argument);
      continue;
    }
    std::string word = argument.substr(argument.rfind("--", 0) == 0 ? 2 : 1);
    if (word == "q") {
      line.quitWhenDone = true;
    } else if (word == "stealth") {
      line.stealth = true;
    } else if (word == "console") {
      line.console = true;
    } else if (word == "resume") {
      line.resume = true;
    } else if (word == "restart") {
      line.restart = true;
    } else if (word == "help" || word == "h") {
      line.help = true;
    } else if (word == "version") {
      line.version = true;
    } else if (word == "set") {
      if (i + 1 >= arguments.size()) {
        line.error = "-set needs \"Name=value\"";
        return line;
      }
      const std::string& assignment = arguments[++i];
      size_t equals = assignment.find('=');
      if (equals == std::string::npos || equals == 0) {
        line.error = "-set needs \"Name=value\", not \"" + assignment + "\"";
        return line;
      }
      line.overrides.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    } else {
      line.error = "unknown switch \"" + argument + "\"";
      return line;
    }
  }
  if (line.resume && line.restart) line.error = "-resume and -restart exclude each other";
  return line;
}

std::string usageText() {
  return "Usage: sitegleaner [switches] [URL | profile.glean | url-list.txt]\n"
         "\n"
         "Copies a web site into a local folder so that it can be browsed offline.\n"
         "Given a profile file (*.glean), its settings and root URL are used; given\n"
         "a text file of URLs, each is crawled in turn; anything else is a root URL.\n"
         "\n"
         "Switches:\n"
         "  -q              end when the crawl is done (command-line mode)\n"
         "  -stealth        send no User-Agent line and ignore robots rules\n"
         "  -console        run without windows: log on standard output\n"
         "  -resume         continue a stopped download of the root where it ended\n"
         "                  (its journal is kept below the save directory)\n"
         "  -restart        start the root again, forgetting a stopped download\n"
         "  -set Name=value change one setting for this run only, by its stored\n"
         "                  name, e.g. -set \"MaxCrawlDepth=3\" -set \"Save Files=1\"\n"
         "  -help           print this text\n"
         "  -version        print the version\n"
         "\n"
         "Exit status: 0 when the download completed, 1 when it was aborted,\n"
         "2 when it could not start.\n";
}

}  // namespace sg
