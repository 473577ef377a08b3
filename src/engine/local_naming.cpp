#include "engine/local_naming.h"

#include <cstdio>
#include <string>

#include "util/url_ops.h"

namespace sg {

namespace {

bool isReservedNameChar(unsigned char c) {
  switch (c) {
    case '*':
    case '?':
    case '\'':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return c < 32 || c > 126;
  }
}

uint64_t fnv1a(std::string_view text) {
  uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}

// A component that is too long keeps its start and its extension, with a
// hash of the whole component between them so that names stay distinct.
std::string shortenComponent(std::string_view component) {
  std::string_view extension;
  size_t dot = component.rfind('.');
  if (dot != std::string_view::npos && component.size() - dot <= 16) extension = component.substr(dot);
  char hash[18];
  std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(fnv1a(component)));
  size_t keep = kMaxNameComponent - extension.size() - 17;
  std::string out(component.substr(0, keep));
  out += hash;
  out += extension;
  return out;
}

void appendSafeComponent(std::string& out, std::string_view component) {
  // "." and ".." would name the directory itself or its parent.
  if (component == ".") {
    out += "_";
  } else if (component == "..") {
    out += "__";
  } else if (component.size() > kMaxNameComponent) {
    out += shortenComponent(component);
  } else {
    out += component;
  }
}

}  // namespace

std::string localNameFor(std::string_view server, uint16_t port, bool https, std::string_view object,
                         bool createTree) {
  std::string text(server);
  if (port != 0 && port != defaultPort(https)) {
    text += '_';
    text += std::to_string(port);
  }
  text += object;
  for (char& c : text) {
    if (c == '\\') {
      c = '/';  // a backslash separates directories on the servers that write one
    } else if (isReservedNameChar(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }

  if (!createTree) {
    size_t slash = text.rfind('/');
    if (slash != std::string::npos) text.erase(0, slash + 1);
    if (text.empty()) text = "default.html";
  } else if (!text.empty() && (text.back() == '/' || text.back() == ':')) {
    text += "default.html";
  }
  // A leading "/" would make the name absolute (only a server name that
  // parsing never yields could start with one, but the name must not care).
  size_t first = text.find_first_not_of('/');
  text.erase(0, first == std::string::npos ? text.size() : first);
  if (text.empty()) return text;

  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  while (true) {
    size_t slash = text.find('/', start);
    appendSafeComponent(out, std::string_view(text).substr(start, slash == std::string::npos ? std::string::npos
                                                                                             : slash - start));
    if (slash == std::string::npos) break;
    out += '/';
    start = slash + 1;
  }
  return out;
}

}  // namespace sg
