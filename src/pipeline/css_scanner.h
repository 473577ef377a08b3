// The stylesheet scanner: finds the references of a style sheet, its
// `url(...)` values (quoted or not) and the strings of `@import` rules, as
// the bytes arrive, and writes the sheet out with each reference replaced
// when the caller gives a replacement. Comments and strings that are not
// references are copied as they are; CSS escapes in a reference are
// decoded before it is handed on. Whatever the sheet holds, every byte that
// is not a replaced reference reaches the output: a broken sheet loses
// nothing.
//
// Not thread-safe; one scanner per sheet (a file, a <style> element, a
// style attribute).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sg {

class CssScanner {
 public:
  // Called for every reference with its decoded text, and whether it names
  // a style sheet to import; a value that comes back replaces the reference
  // (it is quoted and escaped here).
  using Reference = std::function<std::optional<std::string>(std::string_view url, bool import)>;

  // quote is the character that encloses a rewritten reference: '"' in a
  // sheet, '\'' inside a style attribute written between double quotes.
  explicit CssScanner(Reference reference, char quote = '"');

  // Scans the next block; what is complete goes to output, a construct cut
  // by the end of the block waits for the next one.
  void scanBlock(std::string_view block, std::string& output);
  // The sheet ended: whatever waits goes out as it is.
  void finish(std::string& output);

  // Decodes the escapes of a CSS string or URL body ("\\26 " is "&").
  static std::string unescape(std::string_view text);
  // The text as the body of a CSS string enclosed in quote.
  static std::string quoted(std::string_view text, char quote);

 private:
  // Handles what starts at pos in m_pending; returns how far it got, or
  // npos when the construct is not complete yet.
  size_t scanFrom(size_t pos, std::string& output);
  size_t urlFunction(size_t pos, std::string& output);
  size_t importString(size_t pos, std::string& output);

  Reference m_reference;
  char m_quote;
  std::string m_pending;  // bytes not yet written: an unfinished construct
  char m_previous = ' ';  // the last byte written, for a block that starts with "url("
  bool m_importing = false;  // "@import" was met and its url() is next
};

// The longest construct (comment, string, url()) the scanner waits for; a
// longer one is copied as it is, so an endless comment cannot hold memory.
inline constexpr size_t kMaxCssConstruct = 1024 * 1024;

}  // namespace sg
