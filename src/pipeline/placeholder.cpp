#include "pipeline/placeholder.h"

namespace sg {

// Placeholder bodies; placeholder pages are being written.
std::string placeholderPage(std::string_view, std::string_view, std::string_view) { return std::string(); }
std::string placeholderDate() { return std::string(); }
bool writePlaceholderFile(const std::string&, std::string_view, std::string_view) { return false; }
bool isPlaceholderFile(const std::string&) { return false; }

}  // namespace sg
