#include "engine/local_naming.h"

#include <cstdio>
#include <string>

#include "util/string_utils.h"
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
      return c < 32 || c == 127;
  }
}

// A component that is too long keeps its start and its extension, with a
// hash of the whole component between them so that names stay distinct.
std::string shortenComponent(std::string_view component) {
  std::string_view extension;
  size_t dot = component.rfind('.');
  if (dot != std::string_view::npos && component.size() - dot <= 16) extension = component.substr(dot);
  char hash[18];
  std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(fnv1aHash(component)));
  size_t keep = kMaxNameComponent - extension.size() - 17;
  // Never through the middle of a UTF-8 letter.
  while (keep > 0 && keep < component.size() && (static_cast<unsigned char>(component[keep]) & 0xC0) == 0x80) --keep;
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

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A component as a file name on Linux: escapes decoded (but never into a
// separator or NUL), valid UTF-8 kept, and what cannot or should not stand
// in a portable name (controls, broken UTF-8, the reserved characters)
// made "_".
std::string fileNameOf(std::string_view component) {
  std::string decoded;
  decoded.reserve(component.size());
  for (size_t i = 0; i < component.size(); ++i) {
    if (component[i] == '%' && i + 2 < component.size() && hexValue(component[i + 1]) >= 0 &&
        hexValue(component[i + 2]) >= 0) {
      char c = static_cast<char>(hexValue(component[i + 1]) * 16 + hexValue(component[i + 2]));
      decoded += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
      i += 2;
    } else {
      decoded += component[i];
    }
  }
  std::string out;
  out.reserve(decoded.size());
  for (size_t i = 0; i < decoded.size();) {
    auto c = static_cast<unsigned char>(decoded[i]);
    if (c >= 0x80) {
      size_t length = utf8SequenceLength(std::string_view(decoded).substr(i));
      if (length == 0) {
        out += '_';
        ++i;
      } else {
        out.append(decoded, i, length);
        i += length;
      }
      continue;
    }
    out += isReservedNameChar(c) ? '_' : static_cast<char>(c);
    ++i;
  }
  return out;
}

// The extension of a path's last component before any query (".css" of
// "x.css?v=2"), when it is a short run of letters and digits.
std::string_view pathExtension(std::string_view lastComponent) {
  std::string_view path = lastComponent.substr(0, lastComponent.find('?'));
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.size() - dot < 2 || path.size() - dot > 9) return {};
  std::string_view extension = path.substr(dot);
  for (char c : extension.substr(1)) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
  }
  return extension;
}

}  // namespace

std::string localNameFor(std::string_view server, uint16_t port, bool https, std::string_view object,
                         bool createTree, bool pageLink) {
  // The server's directory reads as its name is written.
  std::string text = unicodeHost(server);
  if (port != 0 && port != defaultPort(https)) {
    text += '_';
    text += std::to_string(port);
  }
  text += object;
  // A backslash separates directories on the servers that write one.
  for (char& c : text) {
    if (c == '\\') c = '/';
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
    std::string_view raw = std::string_view(text).substr(start, slash == std::string::npos ? std::string::npos
                                                                                            : slash - start);
    std::string name = fileNameOf(raw);
    if (slash == std::string::npos) {
      // The last component is what a browser opens: it keeps the type's
      // extension last, whatever query came after it ("x.css?2" is
      // "x.css_2.css"); a page without one gets ".html", so that "/about"
      // and "/about/x.html" do not fight over one name.
      std::string_view extension = pathExtension(raw);
      if (!extension.empty() && raw.find('?') != std::string_view::npos) {
        name += extension;
      } else if (extension.empty() && pageLink && raw.find('?') == std::string_view::npos &&
                 raw.find('.') == std::string_view::npos) {
        name += ".html";
      }
    }
    appendSafeComponent(out, name);
    if (slash == std::string::npos) break;
    out += '/';
    start = slash + 1;
  }
  return out;
}

}  // namespace sg
