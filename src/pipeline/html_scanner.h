// The HTML scanner: one pass over a page's bytes as they arrive. It copies
// the page to the output, cuts out each tag, finds the attributes that carry
// links, adds every link to the tree (rewriting it for local browsing),
// collects the title and honours a robots meta tag that forbids following.
// A byte scanner, not a parser: a "<" anywhere starts a tag and the next
// ">" ends it.
//
// Not thread-safe; one scanner per page being read, on the worker that
// holds the page.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/css_scanner.h"
#include "pipeline/link_rewriter.h"
#include "pipeline/script_scanner.h"

namespace sg {

class LinkRecord;
struct CrawlSettings;

struct AttributeValue {
  std::string value;
  size_t start = 0;  // position of the value in the tag text (quotes excluded)
  size_t end = 0;    // one past its last character
};

// Finds an attribute's value in a tag text: only the first occurrence of
// name outside a quoted value counts, and only when no visible character
// stands before it, so "src" is not found inside "dynsrc", and "url" inside
// content="0; url=x.html" is no attribute. Blanks may stand around "="; the value is
// quoted (" or ') or runs to the next blank. Nothing when the value is
// missing, empty or lacks its closing quote. lowerTag is the tag text in
// lower case (passed in so that a tag is lowered once for all its
// attributes, and of the same length); name is lower case.
std::optional<AttributeValue> findAttribute(std::string_view tag, std::string_view lowerTag, std::string_view name);
std::optional<AttributeValue> findAttribute(std::string_view tag, std::string_view name);

class HtmlScanner {
 public:
  // page is the record whose body is scanned; its controller's settings
  // (`Ignore Inline`, `Fix Links`, `Strip HTML Tags`) and the stealth flag
  // apply. The page's title is emptied: this body's title replaces it.
  explicit HtmlScanner(LinkRecord& page);

  // Scans the next block of the body and appends to output what is to be
  // written for it. State (an open tag, the title, a carriage return at the
  // end of the block, an unfinished style element) carries over to the next
  // block.
  void scanBlock(std::string_view block, std::string& output);
  // The body ended: what a style element still holds goes out.
  void finish(std::string& output);

  // Examines and rewrites one tag text (without "<" and ">").
  void handleTag(std::string& tag);

  bool noFollow() const { return m_noFollow; }
  // The local file of the page's base element, once one was met.
  const std::string& baseLocalFile() const { return m_baseLocalFile; }

 private:
  // A base element's target: the page's links are then made relative to
  // its local file; a base that is no link of the tree is emptied.
  std::optional<std::string> rewriteBase(std::string_view url);
  // The references of a style attribute, rewritten in place.
  void rewriteStyleAttribute(std::string& tag);
  // Every URL of a candidate list (srcset and the like), rewritten in place.
  // True when the tag changed.
  bool rewriteCandidates(std::string& tag, std::string_view name);
  // The page a refresh meta element goes on to; true when the tag changed.
  bool rewriteRefresh(std::string& tag);
  // What a style sheet of the page (a style element, a style attribute)
  // names: images and fonts, and sheets it imports.
  std::optional<std::string> styleReference(std::string_view url, bool import);
  bool followsLinks() const;

  // Appends text bytes (first to last) to out, adding an LF after every CR
  // that is not followed by one.
  void appendWithLineEnds(const char* first, const char* last, std::string& out);
  void appendToTitle(const char* first, const char* last);
  // Keeps the address of a link element and its text up to its end tag,
  // and tells the controller of a link whose text says log out.
  void followAnchor();
  // The tag text is complete: handles it, writes it and follows the title.
  void finishTag(std::string& output);
  const CrawlSettings* settings() const;

  LinkRecord& m_page;
  LinkRewriter m_links;
  std::unique_ptr<CssScanner> m_style;  // inside a style element
  std::unique_ptr<ScriptScanner> m_script;  // inside a script element
  std::string m_urlScratch;                  // an attribute value that needed decoding
  std::string m_styleText;
  std::string m_tag;
  std::string m_lowerTag;  // m_tag in lower case while handleTag() runs
  bool m_inTag = false;
  bool m_previousCr = false;
  // Text goes into the title too; the next title tag expected is then
  // "/title" rather than "title".
  bool m_inTitle = false;
  bool m_noFollow = false;
  std::string m_anchorHref;  // of the open link element, as written
  std::string m_anchorText;  // its text so far, bounded
  std::string m_baseLocalFile;
};

// The longest title kept for a page.
inline constexpr size_t kMaxTitleLength = 4095;
// The longest tag text; a longer one is taken as text.
inline constexpr size_t kMaxTagLength = 1024 * 1024;

}  // namespace sg
