#include "pipeline/css_scanner.h"

#include <cstring>

#include "util/string_utils.h"

namespace sg {

namespace {

constexpr size_t kIncomplete = std::string::npos;

bool isCssWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Part of a name: "url(" after one of these is another function
// ("myurl(") or an escaped name, not a reference.
bool continuesName(char c) {
  auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '\\' || u >= 0x80;
}

// The end of the string whose opening quote is at pos (one past its
// closing quote, or the line feed that ends a bad string), or kIncomplete.
size_t stringEnd(std::string_view s, size_t pos) {
  const char quote = s[pos];
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i == s.size()) return kIncomplete;
    } else if (s[i] == quote) {
      return i + 1;
    } else if (s[i] == '\n') {
      return i;
    }
  }
  return kIncomplete;
}

// One past the escape whose backslash is at pos: hex digits take one white
// space after them along.
size_t escapeEnd(std::string_view s, size_t pos) {
  size_t i = pos + 1;
  if (i == s.size()) return kIncomplete;
  if (!isHex(s[i])) return i + 1;
  size_t digits = 0;
  while (i < s.size() && digits < 6 && isHex(s[i])) ++i, ++digits;
  if (i == s.size()) return kIncomplete;
  return isCssWhite(s[i]) ? i + 1 : i;
}

size_t skipWhite(std::string_view s, size_t pos) {
  while (pos < s.size() && isCssWhite(s[pos])) ++pos;
  return pos;
}

bool startsWithNoCaseAt(std::string_view s, size_t pos, std::string_view word) {
  return s.size() - pos >= word.size() && equalsNoCase(s.substr(pos, word.size()), word);
}

}  // namespace

CssScanner::CssScanner(Reference reference, char quote) : m_reference(std::move(reference)), m_quote(quote) {}

std::string CssScanner::unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    ++i;
    if (text[i] == '\n') continue;  // a line continued in a string
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    if (!isHex(text[i])) {
      out += text[i];
      continue;
    }
    uint32_t code = 0;
    size_t digits = 0;
    while (i < text.size() && digits < 6 && isHex(text[i])) {
      char c = text[i];
      code = code * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
      ++i;
      ++digits;
    }
    // One white space after the digits belongs to the escape.
    if (i < text.size() && isCssWhite(text[i])) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      --i;
    }
    appendUtf8(out, code);
  }
  return out;
}

std::string CssScanner::quoted(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == quote) {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      out += strprintf("\\%x ", u);
    } else {
      out += c;
    }
  }
  return out;
}

void CssScanner::scanBlock(std::string_view block, std::string& output) {
  m_pending.append(block);
  size_t pos = 0;
  while (pos < m_pending.size()) {
    size_t next = scanFrom(pos, output);
    if (next != kIncomplete) {
      pos = next;
      continue;
    }
    if (m_pending.size() - pos <= kMaxCssConstruct) break;
    // Too long to be anything a sheet needs: its first byte is text.
    output += m_pending[pos++];
  }
  if (pos > 0) m_previous = m_pending[pos - 1];
  m_pending.erase(0, pos);
}

void CssScanner::finish(std::string& output) {
  // What waits can no longer complete; scanned as far as it goes, the rest
  // is copied as it came.
  size_t pos = 0;
  while (pos < m_pending.size()) {
    size_t next = scanFrom(pos, output);
    if (next == kIncomplete) {
      output.append(m_pending, pos, std::string::npos);
      break;
    }
    pos = next;
  }
  m_pending.clear();
}

size_t CssScanner::scanFrom(size_t pos, std::string& output) {
  const std::string_view s(m_pending);
  // Plain text runs up to the next byte that may start a construct.
  static constexpr std::string_view kStarts = "/\"'uU@\\";
  size_t stop = s.find_first_of(kStarts, pos);
  if (stop == std::string_view::npos) stop = s.size();
  if (stop > pos) {
    output.append(s.substr(pos, stop - pos));
    return stop;
  }
  const char c = s[pos];
  switch (c) {
    case '\\':
      // An escape outside a string: the next byte is part of a name.
      if (pos + 1 == s.size()) return kIncomplete;
      output.append(s.substr(pos, 2));
      return pos + 2;
    case '/': {
      if (pos + 1 == s.size()) return kIncomplete;
      if (s[pos + 1] != '*') {
        output += c;
        return pos + 1;
      }
      size_t close = s.find("*/", pos + 2);
      if (close == std::string_view::npos) return kIncomplete;
      output.append(s.substr(pos, close + 2 - pos));
      return close + 2;
    }
    case '"':
    case '\'': {
      size_t end = stringEnd(s, pos);
      if (end == kIncomplete) return kIncomplete;
      output.append(s.substr(pos, end - pos));
      return end;
    }
    case '@':
      return importString(pos, output);
    default:  // 'u' or 'U'
      return urlFunction(pos, output);
  }
}

size_t CssScanner::urlFunction(size_t pos, std::string& output) {
  const std::string_view s(m_pending);
  const bool inName = continuesName(pos > 0 ? s[pos - 1] : m_previous);
  if (s.size() - pos < 4) {
    if (!inName && startsWithNoCaseAt("url(", 0, s.substr(pos))) return kIncomplete;
  }
  if (inName || !startsWithNoCaseAt(s, pos, "url(")) {
    output += s[pos];
    return pos + 1;
  }
  size_t start = skipWhite(s, pos + 4);
  if (start == s.size()) return kIncomplete;
  std::string_view raw;
  size_t valueEnd;
  if (s[start] == '"' || s[start] == '\'') {
    size_t end = stringEnd(s, start);
    if (end == kIncomplete) return kIncomplete;
    raw = s.substr(start + 1, end > start + 1 && s[end - 1] == s[start] ? end - start - 2 : end - start - 1);
    valueEnd = end;
  } else {
    size_t i = start;
    while (i < s.size() && s[i] != ')' && !isCssWhite(s[i])) {
      if (s[i] == '"' || s[i] == '\'' || s[i] == '(') {
        // A bad URL: copied as it stands.
        output.append(s.substr(pos, 4));
        return pos + 4;
      }
      if (s[i] == '\\') {
        i = escapeEnd(s, i);
        if (i == kIncomplete) return kIncomplete;
      } else {
        ++i;
      }
    }
    if (i >= s.size()) return kIncomplete;
    raw = s.substr(start, i - start);
    valueEnd = i;
  }
  size_t close = skipWhite(s, valueEnd);
  if (close == s.size()) return kIncomplete;
  if (s[close] != ')') {
    output.append(s.substr(pos, 4));
    return pos + 4;
  }
  std::string url = unescape(raw);
  std::optional<std::string> replacement;
  std::string_view trimmed = trimWhite(url);
  const bool import = m_importing;
  m_importing = false;
  if (!trimmed.empty() && !startsWithNoCase(trimmed, "data:")) replacement = m_reference(trimmed, import);
  // A reference that already names the saved file keeps its own text, so
  // a sheet whose addresses are all relative is saved as it was served.
  if (!replacement || *replacement == trimmed) {
    output.append(s.substr(pos, close + 1 - pos));
  } else {
    output += "url(";
    output += m_quote;
    output += quoted(*replacement, m_quote);
    output += m_quote;
    output += ')';
  }
  return close + 1;
}

size_t CssScanner::importString(size_t pos, std::string& output) {
  const std::string_view s(m_pending);
  static constexpr std::string_view kImport = "@import";
  if (s.size() - pos < kImport.size() + 1) {
    if (startsWithNoCaseAt(kImport, 0, s.substr(pos))) return kIncomplete;
    output += '@';
    return pos + 1;
  }
  if (!startsWithNoCaseAt(s, pos, kImport) || continuesName(s[pos + kImport.size()])) {
    output += '@';
    return pos + 1;
  }
  size_t start = skipWhite(s, pos + kImport.size());
  if (start == s.size()) return kIncomplete;
  if (s[start] != '"' && s[start] != '\'') {
    // "@import url(...)": the url() is met on its own, and imports.
    m_importing = true;
    output.append(s.substr(pos, start - pos));
    return start;
  }
  size_t end = stringEnd(s, start);
  if (end == kIncomplete) return kIncomplete;
  std::string_view raw = s.substr(start + 1, s[end - 1] == s[start] ? end - start - 2 : end - start - 1);
  std::string url = unescape(raw);
  std::optional<std::string> replacement;
  if (!trimWhite(url).empty()) replacement = m_reference(trimWhite(url), true);
  output.append(s.substr(pos, start - pos));
  if (!replacement || *replacement == trimWhite(url)) {
    output.append(s.substr(start, end - start));
  } else {
    output += m_quote;
    output += quoted(*replacement, m_quote);
    output += m_quote;
  }
  return end;
}

}  // namespace sg
