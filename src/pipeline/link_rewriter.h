// What a saved page or style sheet says in place of a link: the link is
// added to the tree below the record that names it, and the path from the
// saved copy to the link's local file comes back, written so that a browser
// opening the copy from disk finds the file.
//
// Not thread-safe; one rewriter per body being read, on the worker that
// holds the record.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sg {

class LinkRecord;
struct CrawlSettings;

class LinkRewriter {
 public:
  explicit LinkRewriter(LinkRecord& owner);

  // Adds url (as a browser takes it: character references decoded, white
  // space stripped) below the owner. Gives back the relative path to write
  // in its place, percent-encoded where a file URL needs it, or nothing
  // when the text stays (refused, `Fix Links` clear, the owner's limit of
  // links reached). A link on the same level takes the owner's depth.
  std::optional<std::string> take(std::string_view url, bool inlineFlag, bool sameLevel = false);

  // Adds an asset a script names below the owner, unless it lies on
  // another server or the owner's limit of links is reached. Nothing is
  // rewritten.
  void followScriptAsset(std::string_view url);

  // The local file that relative paths start from, when not the owner's
  // own (a page's base element).
  void setBase(std::string localFile) { m_base = std::move(localFile); }
  // The owner's limit of links was reached.
  bool full() const;
  LinkRecord& owner() { return m_owner; }

 private:
  const CrawlSettings* settings() const;
  const std::string& fromFile();

  LinkRecord& m_owner;
  std::string m_ownerFile;
  bool m_ownerFileKnown = false;
  std::string m_base;
  bool m_limitLogged = false;
};

// A URL attribute value as a browser takes it: character references
// decoded, leading and trailing ASCII white space removed, tabs and line
// ends inside dropped.
std::string urlFromAttribute(std::string_view value);
// The same without a copy where the value needs no change: the view is of
// value or of scratch.
std::string_view urlFromAttribute(std::string_view value, std::string& scratch);
// Decodes the character references of an attribute value ("&amp;",
// "&#39;", "&#x2F;", and the named ones a URL or a style holds).
std::string decodeCharacterReferences(std::string_view value);
// The text as an attribute value between quote characters: "&" and the
// quote become references.
std::string attributeText(std::string_view text, char quote);
// A local path as a file URL reference: blanks, "%", "?", "#", quotes,
// controls and bytes above 127 percent-encoded; a "#fragment" after the
// first "#" is kept as it is.
std::string fileReference(std::string_view path);

struct TextSpan {
  size_t start;
  size_t end;
};
// Where the URLs of an image candidate list ("a.png 1x, b.png 2x", as
// srcset holds) lie, split as a browser splits one: a URL runs to the next
// white space (less commas at its end), its descriptors to the next comma
// outside parentheses.
std::vector<TextSpan> candidateUrls(std::string_view list);

}  // namespace sg
