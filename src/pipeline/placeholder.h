// The page written at the local file of a link that was not saved, so that
// a rewritten link to it says why and offers the live address.
#pragma once

#include <string>
#include <string_view>

namespace sg {

// The page text for the date ("05/03/26"), the reason and the URL. Every
// value is HTML-escaped.
std::string placeholderPage(std::string_view date, std::string_view reason, std::string_view url);

// Today's local date as "%d/%m/%y".
std::string placeholderDate();

// Writes the placeholder at path (creating its directories), unless a file
// that is not itself a placeholder (a saved copy) is there already. True
// when the page was written.
bool writePlaceholderFile(const std::string& path, std::string_view reason, std::string_view url);

// Does a local name look like a page's: ".html", ".htm" (so "default.html")
// or no extension at all? Only such names get a placeholder when no page
// arrived, so that images and the like never get one.
bool looksLikePage(std::string_view localName);

// Does the file at path hold a placeholder page?
bool isPlaceholderFile(const std::string& path);

}  // namespace sg
