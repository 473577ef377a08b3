#include "pipeline/link_rewriter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "engine/download_controller.h"
#include "engine/link_record.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

bool isAsciiWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

struct NamedReference {
  std::string_view name;  // with its ";"
  std::string_view text;
};

// The named references that stand in URLs and styles; others stay as
// written, which a URL never needs.
constexpr NamedReference kNamed[] = {
    {"amp;", "&"}, {"lt;", "<"}, {"gt;", ">"}, {"quot;", "\""}, {"apos;", "'"}, {"nbsp;", "\xC2\xA0"},
    {"sol;", "/"}, {"colon;", ":"}, {"equals;", "="}, {"quest;", "?"}, {"num;", "#"}, {"percnt;", "%"},
};

}  // namespace

std::string decodeCharacterReferences(std::string_view value) {
  if (value.find('&') == std::string_view::npos) return std::string(value);
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    if (value[i] != '&') {
      out += value[i++];
      continue;
    }
    std::string_view rest = value.substr(i + 1);
    if (!rest.empty() && rest[0] == '#') {
      bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
      size_t digitsAt = hex ? 2 : 1;
      size_t end = digitsAt;
      while (end < rest.size() && end - digitsAt < 8 &&
             (hex ? std::isxdigit(static_cast<unsigned char>(rest[end])) != 0 : rest[end] >= '0' && rest[end] <= '9')) {
        ++end;
      }
      if (end > digitsAt) {
        unsigned long code = std::strtoul(std::string(rest.substr(digitsAt, end - digitsAt)).c_str(), nullptr,
                                          hex ? 16 : 10);
        appendUtf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<uint32_t>(code));
        i += 1 + end + (end < rest.size() && rest[end] == ';' ? 1 : 0);
        continue;
      }
    } else {
      bool matched = false;
      for (const NamedReference& named : kNamed) {
        if (rest.size() >= named.name.size() && equalsNoCase(rest.substr(0, named.name.size()), named.name)) {
          out += named.text;
          i += 1 + named.name.size();
          matched = true;
          break;
        }
      }
      if (matched) continue;
    }
    out += value[i++];
  }
  return out;
}

std::string_view urlFromAttribute(std::string_view value, std::string& scratch) {
  size_t first = 0, last = value.size();
  while (first < last && isAsciiWhite(value[first])) ++first;
  while (last > first && isAsciiWhite(value[last - 1])) --last;
  value = value.substr(first, last - first);
  // Most values need nothing more, and are taken where they stand.
  if (value.find_first_of("&\t\n\r") == std::string_view::npos) return value;
  std::string decoded = decodeCharacterReferences(value);
  first = 0;
  last = decoded.size();
  while (first < last && isAsciiWhite(decoded[first])) ++first;
  while (last > first && isAsciiWhite(decoded[last - 1])) --last;
  scratch.clear();
  for (size_t i = first; i < last; ++i) {
    char c = decoded[i];
    if (c != '\t' && c != '\n' && c != '\r') scratch += c;
  }
  return scratch;
}

std::string urlFromAttribute(std::string_view value) {
  std::string scratch;
  return std::string(urlFromAttribute(value, scratch));
}

std::string attributeText(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '"' && quote == '"') {
      out += "&quot;";
    } else if (c == '\'' && quote == '\'') {
      out += "&#39;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string fileReference(std::string_view path) {
  size_t hash = path.find('#');
  std::string out;
  out.reserve(path.size() + 8);
  for (char c : path.substr(0, hash)) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '%' || c == '?' || c == '"' || c == '\'' || c == '<' || c == '>' ||
        c == '\\' || c == '`' || c == '{' || c == '}' || c == '|' || c == '^') {
      appendPercentEscape(out, u);
    } else {
      out += c;
    }
  }
  if (hash != std::string_view::npos) out += path.substr(hash);
  return out;
}

LinkRewriter::LinkRewriter(LinkRecord& owner) : m_owner(owner) {}

const CrawlSettings* LinkRewriter::settings() const {
  const DownloadController* controller = m_owner.controller();
  return controller != nullptr ? &controller->settings : nullptr;
}

const std::string& LinkRewriter::fromFile() {
  if (!m_base.empty()) return m_base;
  if (!m_ownerFileKnown) {
    m_ownerFile = m_owner.localFile();
    m_ownerFileKnown = true;
  }
  return m_ownerFile;
}

bool LinkRewriter::full() const {
  const CrawlSettings* s = settings();
  return s != nullptr && m_owner.childCount() >= static_cast<size_t>(std::max(1, s->maxPageLinks));
}

void LinkRewriter::followScriptAsset(std::string_view url) {
  const CrawlSettings* s = settings();
  if (s == nullptr || !s->scanScripts || full()) return;
  // A script names many addresses; only its own server's assets are its.
  if (url.starts_with("//") || startsWithNoCase(url, "http:") || startsWithNoCase(url, "https:")) {
    CombinedUrl combined = combineUrl(m_owner.url(), url);
    HttpUrlParts parts = combined.parts;
    if (!combined.partsValid && !parseHttpUrl(combined.url, parts)) return;
    if (parts.https != m_owner.https() || parts.port != m_owner.port() ||
        !equalsNoCase(parts.server, m_owner.server())) {
      return;
    }
  } else if (url.find(':') != std::string_view::npos && url.find(':') < url.find('/')) {
    return;  // another scheme ("data:", "blob:")
  }
  std::string_view path = url.substr(0, url.find_first_of("?#"));
  const bool sheet = path.size() > 4 && equalsNoCase(path.substr(path.size() - 4), ".css");
  // A script's addresses are read by the page that runs it: in a script
  // file, "style/dark.css" is the page's neighbour, not the script's.
  const LinkRecord* page = m_owner.parent;
  if (m_owner.contentKind == ContentKind::Script && page != nullptr && page->contentKind == ContentKind::Html) {
    m_owner.addChild(combineUrl(page->url(), url).url, nullptr, true, sheet);
    return;
  }
  m_owner.addChild(url, nullptr, true, sheet);
}

std::optional<std::string> LinkRewriter::take(std::string_view url, bool inlineFlag, bool sameLevel) {
  // A place in this same document: nothing to fetch, and the text stays
  // valid.
  if (url.empty() || url.front() == '#') return std::nullopt;
  const CrawlSettings* s = settings();
  if (full()) {
    // A page of endless unique links would grow the tree without bound;
    // the rest of its links keep their text.
    if (!m_limitLogged) {
      m_limitLogged = true;
      logMessage(strprintf(text::kPageLinksLimitReached, s->maxPageLinks, m_owner.url().c_str()));
    }
    return std::nullopt;
  }
  if (s == nullptr || !s->fixLinks) {
    // The link is followed all the same; its local file is not needed.
    m_owner.addChild(url, nullptr, inlineFlag, sameLevel);
    return std::nullopt;
  }
  std::string target;
  m_owner.addChild(url, &target, inlineFlag, sameLevel);
  if (target.empty()) return std::nullopt;
  makeRelativePath(fromFile(), target, false);
  return fileReference(target);
}

std::vector<TextSpan> candidateUrls(std::string_view list) {
  std::vector<TextSpan> urls;
  auto white = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (white(list[i]) || list[i] == ',')) ++i;
    size_t start = i;
    while (i < list.size() && !white(list[i])) ++i;
    size_t end = i;
    bool endedWithComma = false;
    while (end > start && list[end - 1] == ',') {
      --end;
      endedWithComma = true;
    }
    if (end > start) urls.push_back({start, end});
    if (endedWithComma) continue;
    // Descriptors, up to the comma that ends the candidate (not one inside
    // parentheses).
    int depth = 0;
    while (i < list.size() && (list[i] != ',' || depth > 0)) {
      if (list[i] == '(') ++depth;
      if (list[i] == ')' && depth > 0) --depth;
      ++i;
    }
  }
  return urls;
}

}  // namespace sg
