#include "document/url_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "util/file_io.h"
#include "util/string_utils.h"
#include "util/url_ops.h"

namespace sg {

namespace {

// Well-formed UTF-8 without controls, DEL or blanks: random bytes, binary
// files and prose all fail here.
bool plainText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == 0x7F) return false;
    size_t length = utf8SequenceLength(text.substr(i));
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// "host[:port]" at the start of a line without a scheme: a name with a
// dot, or localhost.
bool bareHost(std::string_view line) {
  std::string_view host = line.substr(0, line.find_first_of("/?#"));
  if (size_t colon = host.find(':'); colon != std::string_view::npos) {
    std::string_view port = host.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    host = host.substr(0, colon);
  }
  if (host.empty() || host.front() == '.' || host.front() == '-') return false;
  for (char c : host) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-')) {
      return false;
    }
  }
  return host.find('.') != std::string_view::npos || equalsNoCase(host, "localhost");
}

}  // namespace

bool takeListedUrl(std::string& line) {
  if (line.empty() || line.size() > kMaxUrlListLine || !plainText(line)) return false;
  size_t scheme = line.find("://");
  if (scheme != std::string::npos) {
    std::string_view name = std::string_view(line).substr(0, scheme);
    if (!equalsNoCase(name, "http") && !equalsNoCase(name, "https")) return false;
  } else if (!bareHost(line)) {
    return false;
  }
  HttpUrlParts parts;
  return parseHttpUrl(line, parts) && !parts.server.empty();
}

void parseUrlList(std::string_view data, UrlList& list) {
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string_view::npos) end = data.size();
    std::string_view raw = data.substr(start, end - start);
    start = end + 1;
    ++list.lines;
    std::string_view trimmed = trimWhite(raw);
    if (trimmed.empty()) continue;
    std::string line(trimmed);
    if (takeListedUrl(line)) {
      list.urls.push_back(std::move(line));
    } else {
      ++list.skipped;
    }
  }
}

bool readUrlListFile(const std::string& path, UrlList& list, std::string& error) {
  if (path.empty()) {
    error = "no file named";
    return false;
  }
  // Non-blocking: a FIFO nobody writes to must be refused, not waited on.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) {
    error = std::error_code(errno, std::generic_category()).message();
    return false;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "not a regular file";
    return false;
  }
  std::string data(std::min<uint64_t>(static_cast<uint64_t>(info.st_size), kMaxUrlListBytes), '\0');
  ssize_t got = readUpTo(fd.get(), data.data(), data.size());
  if (got < 0) {
    error = std::error_code(errno, std::generic_category()).message();
    return false;
  }
  data.resize(static_cast<size_t>(got));
  if (static_cast<uint64_t>(info.st_size) > kMaxUrlListBytes) {
    list.truncated = true;
    // The last line may be cut: it is not taken.
    data.resize(data.rfind('\n') == std::string::npos ? 0 : data.rfind('\n') + 1);
  }
  parseUrlList(data, list);
  return true;
}

}  // namespace sg
