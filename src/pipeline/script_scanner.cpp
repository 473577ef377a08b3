#include "pipeline/script_scanner.h"

#include "util/string_utils.h"

namespace sg {

namespace {

// Longer strings are data, not a URL.
constexpr size_t kMaxAssetUrl = 2048;

}  // namespace

bool looksLikeAssetUrl(std::string_view text) {
  if (text.empty() || text.size() > kMaxAssetUrl) return false;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || c == '<' || c == '>' || c == '"' || c == '\'' || c == '`' || c == '\\' || c == '{' ||
        c == '}' || c == '(' || c == ')' || c == ',' || c == ';') {
      return false;
    }
  }
  std::string_view path = text.substr(0, text.find_first_of("?#"));
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return false;
  static constexpr std::string_view kExtensions[] = {".css",  ".js",   ".png",  ".gif", ".jpg", ".jpeg", ".svg",
                                                     ".webp", ".ico",  ".woff", ".woff2", ".ttf", ".json"};
  std::string extension = toLowerAscii(path.substr(dot));
  for (std::string_view known : kExtensions) {
    if (extension == known) return dot > 0;
  }
  return false;
}

ScriptScanner::ScriptScanner(Found found) : m_found(std::move(found)) {}

void ScriptScanner::endString() {
  if (!m_tooLong && looksLikeAssetUrl(m_string)) m_found(m_string);
  m_string.clear();
  m_tooLong = false;
  m_state = State::Code;
}

void ScriptScanner::scanBlock(std::string_view block) {
  for (char c : block) {
    switch (m_state) {
      case State::Code:
        if (c == '"' || c == '\'' || c == '`') {
          m_state = State::String;
          m_quote = c;
          m_escaped = false;
        } else if (m_previous == '/' && c == '/') {
          m_state = State::LineComment;
        } else if (m_previous == '/' && c == '*') {
          m_state = State::BlockComment;
          c = 0;  // "/*/" does not close the comment it opens
        }
        break;
      case State::String:
        if (m_escaped) {
          m_escaped = false;
          m_tooLong = true;  // an escape makes it no plain URL
        } else if (c == '\\') {
          m_escaped = true;
        } else if (c == m_quote) {
          endString();
          c = 0;
        } else if (c == '\n' && m_quote != '`') {
          // A quote that opened no string (in a regular expression, say):
          // the line ends it.
          m_string.clear();
          m_tooLong = false;
          m_state = State::Code;
        } else if (m_string.size() < kMaxAssetUrl) {
          m_string += c;
        } else {
          m_tooLong = true;
        }
        break;
      case State::LineComment:
        if (c == '\n') m_state = State::Code;
        break;
      case State::BlockComment:
        if (m_previous == '*' && c == '/') {
          m_state = State::Code;
          c = 0;
        }
        break;
    }
    m_previous = c;
  }
}

}  // namespace sg
