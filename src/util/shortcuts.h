// Desktop links to saved pages, and reading the target of a shortcut file
// that was dropped on or opened by the program.
#pragma once

#include <string>

namespace sg {

// Makes a page title usable as a file name: white space trimmed at the
// end, then at the start; '"' -> "'", '*' -> 'x', '/' and '\\' -> '-',
// ':' -> ';', '<' -> '{', '>' -> '}', '?' -> ' ', '|' -> '!'.
void sanitiseTitle(std::string& title);

// Writes a freedesktop link file (Type=Link) at linkFile whose URL is the
// file:// URL of target. True when the file was written.
bool createShellLink(const std::string& target, const std::string& linkFile, const std::string& description);

// The URL or path behind a shortcut: URL= of [Desktop Entry] in a .desktop
// file (a file:// URL is given back as its path), or URL= of
// [InternetShortcut] in a .url file. False when the file holds neither.
bool readShortcutTarget(const std::string& file, std::string& target);

}  // namespace sg
