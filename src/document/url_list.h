// URL list files: plain text, one URL per line. Plain C++; no Qt.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace sg {

// Appends to urls every line that is a web URL (a line without a scheme
// gets "http://" in front). True when the input held at least one line.
bool readUrlList(std::istream& in, std::vector<std::string>& urls);

// The most of a list that is read; a larger file is read up to here.
inline constexpr size_t kMaxUrlListBytes = 64u * 1024 * 1024;

}  // namespace sg
