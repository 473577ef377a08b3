#include "pipeline/html_scanner.h"

#include "engine/link_record.h"

namespace sg {

// Placeholder bodies; the scanner is being written.
std::optional<AttributeValue> findAttribute(std::string_view, std::string_view, std::string_view) { return std::nullopt; }
std::optional<AttributeValue> findAttribute(std::string_view, std::string_view) { return std::nullopt; }
HtmlScanner::HtmlScanner(LinkRecord& page) : m_page(page) {}
void HtmlScanner::scanBlock(std::string_view block, std::string& output) { output.append(block); }
void HtmlScanner::handleTag(std::string&) {}
std::optional<std::string> HtmlScanner::rewriteLink(std::string_view, std::string_view, bool) { return std::nullopt; }

}  // namespace sg
