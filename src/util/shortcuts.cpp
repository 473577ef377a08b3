#include "util/shortcuts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>

#include "util/file_io.h"
#include "util/string_utils.h"
#include "util/url_ops.h"

namespace sg {

namespace {

constexpr std::string_view kDesktopGroup = "Desktop Entry";
constexpr std::string_view kInternetShortcutGroup = "InternetShortcut";
constexpr std::string_view kUrlKey = "URL";
constexpr std::string_view kDesktopSuffix = ".desktop";
constexpr std::string_view kLinkIcon = "text-html";
// Shortcut files are a few hundred bytes; a large file dropped on the
// window is read no further than this.
constexpr size_t kMaxShortcutBytes = 64 * 1024;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

std::string_view trim(std::string_view text) {
  while (!text.empty() && isAsciiSpace(text.back())) text.remove_suffix(1);
  while (!text.empty() && isAsciiSpace(text.front())) text.remove_prefix(1);
  return text;
}

// A value as a desktop entry holds it: UTF-8 (titles and URLs may come in
// other encodings; such bytes become U+FFFD), with the escapes the format
// defines, and a blank at either end written as "\s" so that readers do not
// trim it. Other control characters become blanks.
std::string desktopValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    size_t length = utf8SequenceLength(text.substr(i));
    if (length == 0) {
      out += kReplacementCharacter;
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == ' ' && (i == 0 || i + 1 == text.size())) {
      out += "\\s";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += ' ';
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

std::string desktopUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:
        out += '\\';
        out += text[i];
    }
  }
  return out;
}

// The file URL of a path: every byte but the unreserved ones of RFC 3986
// and "/" is percent-encoded, so blanks and non-ASCII names survive.
std::string fileUrl(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute.front() != '/') {
    std::error_code ec;
    auto made = std::filesystem::absolute(path, ec);
    if (!ec) absolute = made.string();
  }
  std::string out = "file://";
  for (unsigned char c : absolute) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      appendPercentEscape(out, c);
    }
  }
  return out;
}

// A local file URL ("file:///p", "file://localhost/p", "file:/p") as its
// decoded path; any other URL as it stands.
std::string pathOfFileUrl(const std::string& url) {
  if (!startsWithNoCase(url, "file:")) return url;
  std::string_view rest = std::string_view(url).substr(5);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    size_t slash = rest.find('/');
    std::string_view host = rest.substr(0, slash);
    if (slash == std::string_view::npos || !(host.empty() || equalsNoCase(host, "localhost"))) return url;
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with("/")) return url;
  return percentDecode(rest);
}

// The parts of a shortcut file we use, read as an INI file. Group and key
// names of a desktop entry are case-sensitive; those of an Internet
// shortcut are not, as Windows reads them.
struct ShortcutContent {
  bool desktopEntry = false;
  bool desktopUrlFound = false;
  bool internetUrlFound = false;
  std::string desktopUrl;   // still escaped
  std::string internetUrl;
};

bool readShortcutContent(const std::string& file, ShortcutContent& content) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::string text(kMaxShortcutBytes, '\0');
  ssize_t got = readUpTo(fd.get(), text.data(), text.size());
  if (got < 0) return false;
  text.resize(static_cast<size_t>(got));

  std::string_view rest(text);
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);  // byte order mark of Windows editors
  bool inDesktop = false;
  bool inInternet = false;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string_view group = line.substr(1, line.size() - 2);
      inDesktop = group == kDesktopGroup;
      inInternet = equalsNoCase(group, kInternetShortcutGroup);
      content.desktopEntry = content.desktopEntry || inDesktop;
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = trim(line.substr(0, equals));
    std::string_view value = trim(line.substr(equals + 1));
    if (inDesktop && !content.desktopUrlFound && key == kUrlKey) {
      content.desktopUrl.assign(value);
      content.desktopUrlFound = true;
    } else if (inInternet && !content.internetUrlFound && equalsNoCase(key, kUrlKey)) {
      content.internetUrl.assign(value);
      content.internetUrlFound = true;
    }
  }
  return true;
}

}  // namespace

void sanitiseTitle(std::string& title) {
  // A title holds what the page said, line feeds and other controls among
  // them; none belongs in a file name.
  for (char& c : title) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  title.assign(trim(title));
  for (char& c : title) {
    switch (c) {
      case '"': c = '\''; break;
      case '*': c = 'x'; break;
      case '/':
      case '\\': c = '-'; break;
      case ':': c = ';'; break;
      case '<': c = '{'; break;
      case '>': c = '}'; break;
      case '?': c = ' '; break;
      case '|': c = '!'; break;
      default: break;
    }
  }
}

bool createShellLink(const std::string& target, const std::string& linkFile, const std::string& description) {
  if (linkFile.empty() || linkFile.back() == '/') return false;
  // An earlier link is replaced; anything else of that name (a saved page
  // whose URL ended in .desktop) is kept.
  struct stat st {};
  if (::lstat(linkFile.c_str(), &st) == 0) {
    ShortcutContent existing;
    if (!S_ISREG(st.st_mode) || !readShortcutContent(linkFile, existing) || !existing.desktopEntry) return false;
  }

  std::string_view name(linkFile);
  name.remove_prefix(name.rfind('/') + 1);  // npos + 1 == 0
  if (name.ends_with(kDesktopSuffix)) name.remove_suffix(kDesktopSuffix.size());

  std::string text;
  text += "[";
  text += kDesktopGroup;
  text += "]\nVersion=1.0\nType=Link\nName=";
  text += desktopValue(name);
  text += "\nComment=";
  text += desktopValue(description);
  text += "\n";
  text += kUrlKey;
  text += "=";
  text += desktopValue(fileUrl(target));
  text += "\nIcon=";
  text += kLinkIcon;
  text += "\n";
  // Replaced whole, so that a reader never sees half a link.
  AtomicFile file;
  return file.create(linkFile, 0644) && file.write(text) && file.commit();
}

bool readShortcutTarget(const std::string& file, std::string& target) {
  ShortcutContent content;
  if (!readShortcutContent(file, content)) return false;
  // Decided by the groups inside, not by the name: a link saved as .url or
  // a shortcut renamed to .desktop are read all the same.
  if (content.desktopUrlFound && !content.desktopUrl.empty()) {
    target = pathOfFileUrl(desktopUnescape(content.desktopUrl));
    return true;
  }
  if (content.internetUrlFound && !content.internetUrl.empty()) {
    target = content.internetUrl;
    return true;
  }
  return false;
}

}  // namespace sg
