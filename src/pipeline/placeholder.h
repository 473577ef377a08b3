// The page written at the local file of a link that was not saved, so that
// a rewritten link to it says why and offers the live address.
#pragma once

#include <string>
#include <string_view>

namespace sg {

class DownloadController;

// The page text for the date ("05/03/26"), the reason and the URL. Every
// value is HTML-escaped. With a local target (a file reference relative to
// the page) the link leads there, and the browser goes there at once: the
// page of a link whose server moved it.
std::string placeholderPage(std::string_view date, std::string_view reason, std::string_view url,
                            std::string_view localTarget = {});

// Today's local date as "%d/%m/%y".
std::string placeholderDate();

// Writes the placeholder at path (creating its directories), unless a file
// that is not itself a placeholder (a saved copy) is there already. With a
// base directory, path must lie below it without passing through a
// symbolic link. True when the page was written.
bool writePlaceholderFile(const std::string& path, std::string_view reason, std::string_view url,
                          const std::string& base = std::string(), std::string_view localTarget = {});

// The placeholder of a link of a download: written only when the download
// saves files and has not yet written its most placeholders (logged once
// when reached), and only below `Save Directory`. targetFile, when given,
// is the local file of where the link went, which the page then leads to.
bool writeDownloadPlaceholder(DownloadController& controller, const std::string& path, std::string_view reason,
                              std::string_view url, const std::string& targetFile = std::string());

// Does a local name look like a page's: ".html", ".htm" (so "default.html")
// or no extension at all? Only such names get a placeholder when no page
// arrived, so that images and the like never get one.
bool looksLikePage(std::string_view localName);

// Does a local name end in the extension of a file that is plainly not a
// page (an image, a style sheet, a script, a font, media, an archive)? A
// placeholder page never goes into such a name, whatever the server said.
bool namesNonPage(std::string_view localName);

// Does the file at path hold a placeholder page?
bool isPlaceholderFile(const std::string& path);
// Is there a saved copy at path: a regular file that is no placeholder?
bool isSavedCopy(const std::string& path);

}  // namespace sg
