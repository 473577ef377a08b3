// URL list files: plain text, one URL per line. Plain C++; no Qt.
//
// A list may come from anywhere (a drop, the command line), so reading is
// bounded: regular files only, a limited size and line length, and only
// lines that are plainly web URLs are taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sg {

struct UrlList {
  std::vector<std::string> urls;  // the web URLs, in file order
  size_t lines = 0;               // lines read, blank ones included
  size_t skipped = 0;             // lines that are not blank and not a web URL
  bool truncated = false;         // the file went on beyond kMaxUrlListBytes
};

// Takes the web URLs of a list held in memory, appending to list. A line is
// taken when, without its line end and surrounding blanks, it is an http or
// https URL, or a host name with a dot (or "localhost") and an optional
// port and path, which gets "http://" in front; it must be valid UTF-8
// without controls or inner blanks, and at most kMaxUrlListLine bytes.
void parseUrlList(std::string_view data, UrlList& list);

// Reads a list file into list. False, with error saying why, when path is
// not a regular file that can be read (a FIFO or a device is never waited
// on). Only the first kMaxUrlListBytes are read.
bool readUrlListFile(const std::string& path, UrlList& list, std::string& error);

// Is line (trimmed) a web URL as a list holds one? Completes a bare host
// with "http://".
bool takeListedUrl(std::string& line);

inline constexpr size_t kMaxUrlListBytes = 16u * 1024 * 1024;
inline constexpr size_t kMaxUrlListLine = 16 * 1024;

}  // namespace sg
