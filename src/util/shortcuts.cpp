#include "util/shortcuts.h"

namespace sg {

// Placeholder bodies; shortcuts are being written.
void sanitiseTitle(std::string&) {}
bool createShellLink(const std::string&, const std::string&, const std::string&) { return false; }
bool readShortcutTarget(const std::string&, std::string&) { return false; }

}  // namespace sg
