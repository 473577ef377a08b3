// How a URL becomes a file name below the save directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sg {

// Longest file name component we make: the file system allows 255 bytes,
// and the temporary file beside a target adds "~.tmp".
inline constexpr size_t kMaxNameComponent = 250;

// The local name, "/"-separated and relative to the save directory, of the
// object on server:port. With createTree the URL's directories are kept
// below a directory for the server ("host", or "host_port" on a port other
// than the scheme's default); without it only the URL's file name is kept.
// Escapes are decoded and valid UTF-8 kept; characters that cannot stand in
// a portable file name become "_", and "." or ".." components never climb
// out of the save directory. A name with a query keeps its path's extension
// last; a page link whose last component has no extension (and no query)
// gets ".html". Empty only when there is nothing to name.
std::string localNameFor(std::string_view server, uint16_t port, bool https, std::string_view object,
                         bool createTree, bool pageLink = false);

}  // namespace sg
