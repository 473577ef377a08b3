#include "pipeline/html_scanner.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/download_controller.h"
#include "engine/link_record.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {


struct LinkAttribute {
  std::string_view name;
  bool inlineFlag;  // the target is part of the page (an image, a background), not a page of its own
};

// Looked for in every tag, in this order; a replacement of one value is
// seen by the search for the next.
constexpr LinkAttribute kLinkAttributes[] = {
    {"background", true}, {"dynsrc", true}, {"src", true},      {"href", false}, {"action", false},
    {"usemap", false},    {"url", false},   {"archive", false}, {"code", false},
    // What today's pages show: lazy images, objects, video posters, SVG.
    {"data-src", true},   {"data", true},   {"poster", true},   {"xlink:href", true},
};

// Replaces the value at range by value written as an attribute text with
// the range's own quotes.
void replaceValue(std::string& tag, size_t start, size_t end, std::string_view value) {
  const char quote = start > 0 && (tag[start - 1] == '"' || tag[start - 1] == '\'') ? tag[start - 1] : '\0';
  tag.replace(start, end - start, attributeText(value, quote));
}

// Attributes that hold a list of image candidates: "a.png 1x, b.png 2x".
constexpr std::string_view kCandidateAttributes[] = {"srcset", "imagesrcset", "data-srcset"};

// A letter, digit or punctuation mark in the C locale. Bytes above 127 are
// not visible, whatever the page's character set.
bool isVisible(char c) {
  auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u < 0x7f;
}

struct ValueRange {
  size_t start;
  size_t end;
};

bool continuesAttributeName(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == ':';
}

// Follows a tag text from its start and tells whether a position lies
// inside a quoted attribute value. Positions are asked in increasing order,
// so a tag is read once however many mentions it holds.
class QuotedValues {
 public:
  explicit QuotedValues(std::string_view tag) : m_tag(tag) {}

  bool inside(size_t at) {
    for (; m_pos < at; ++m_pos) {
      const char c = m_tag[m_pos];
      if (m_quote != '\0') {
        if (c == m_quote) m_quote = '\0';
      } else if ((c == '"' || c == '\'') && m_afterEquals) {
        m_quote = c;
      } else if (c == '=') {
        m_afterEquals = true;
        continue;
      }
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') m_afterEquals = false;
    }
    return m_quote != '\0';
  }

 private:
  std::string_view m_tag;
  size_t m_pos = 0;
  char m_quote = '\0';
  bool m_afterEquals = false;
};

std::optional<ValueRange> findValueRange(std::string_view tag, std::string_view lowerTag, std::string_view name) {
  if (lowerTag.size() != tag.size() || name.empty()) return std::nullopt;
  size_t at = lowerTag.find(name);
  QuotedValues quoted(tag);
  // A longer name that begins with this one ("srcset" before "src") is
  // another attribute, and a name written inside another value ("url" in a
  // refresh's content="0; url=next.html") is text: the search goes on past
  // both. Taking the text for an attribute would cut the value at its
  // closing quote and break the tag when the link is rewritten.
  while (at != std::string_view::npos &&
         ((at + name.size() < lowerTag.size() && continuesAttributeName(lowerTag[at + name.size()]) &&
           (at == 0 || !isVisible(lowerTag[at - 1]))) ||
          quoted.inside(at))) {
    at = lowerTag.find(name, at + 1);
  }
  if (at == std::string_view::npos) return std::nullopt;
  if (at > 0 && isVisible(lowerTag[at - 1])) return std::nullopt;

  const size_t n = tag.size();
  size_t i = at + name.size();
  while (i < n && tag[i] == ' ') ++i;
  if (i >= n || tag[i] != '=') return std::nullopt;
  ++i;
  while (i < n && tag[i] == ' ') ++i;
  if (i >= n) return std::nullopt;

  ValueRange range{};
  const char quote = tag[i];
  if (quote == '"' || quote == '\'') {
    range.start = i + 1;
    range.end = tag.find(quote, range.start);
    if (range.end == std::string_view::npos) return std::nullopt;
  } else {
    range.start = i;
    range.end = tag.find(' ', range.start);
    if (range.end == std::string_view::npos) range.end = n;
  }
  if (range.end == range.start) return std::nullopt;
  return range;
}

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

void lowerInto(std::string_view text, std::string& lower) {
  lower.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) lower[i] = lowerAscii(text[i]);
}

// The places where an attribute name would have to end for
// findValueRange() to give it a value: just before an "=", blanks aside.
// A name that ends at none of them has no value whatever else the tag
// holds, so most names of the table are ruled out without searching the
// tag for them (the search itself must still find the first occurrence).
class NameEnds {
 public:
  explicit NameEnds(std::string_view tag) : m_tag(tag) {
    for (size_t eq = tag.find('='); eq != std::string_view::npos; eq = tag.find('=', eq + 1)) {
      if (m_count == kMax) {
        m_overflow = true;
        break;
      }
      size_t end = eq;
      while (end > 0 && tag[end - 1] == ' ') --end;
      m_ends[m_count++] = end;
      if (end > 0) m_lastLetters |= letterBit(lowerAscii(tag[end - 1]));
    }
  }

  bool empty() const { return m_count == 0; }

  // name is lower case.
  bool mayHaveValue(std::string_view name) const {
    if (m_overflow) return true;
    // Most names are ruled out by their last letter alone.
    if (name.empty() || (m_lastLetters & letterBit(name.back())) == 0) return false;
    for (size_t i = 0; i < m_count; ++i) {
      size_t end = m_ends[i];
      if (end < name.size()) continue;
      size_t k = 0;
      while (k < name.size() && lowerAscii(m_tag[end - name.size() + k]) == name[k]) ++k;
      if (k == name.size()) return true;
    }
    return false;
  }

 private:
  static constexpr size_t kMax = 16;
  static uint64_t letterBit(char c) { return uint64_t{1} << (static_cast<unsigned char>(c) & 63); }
  std::string_view m_tag;
  uint64_t m_lastLetters = 0;  // a bit for the last letter of each name that may end at an "="
  size_t m_ends[kMax] = {};
  size_t m_count = 0;
  bool m_overflow = false;
};

}  // namespace

std::optional<AttributeValue> findAttribute(std::string_view tag, std::string_view lowerTag, std::string_view name) {
  std::optional<ValueRange> range = findValueRange(tag, lowerTag, name);
  if (!range) return std::nullopt;
  return AttributeValue{std::string(tag.substr(range->start, range->end - range->start)), range->start, range->end};
}

std::optional<AttributeValue> findAttribute(std::string_view tag, std::string_view name) {
  return findAttribute(tag, toLowerAscii(tag), name);
}

namespace {

// The most text of a link element kept to judge what it says.
constexpr size_t kMaxAnchorText = 200;

// Is the tag text the named tag ("a", "/a", "style"), with or without
// attributes?
bool tagNamed(std::string_view tag, std::string_view name) {
  return startsWithNoCase(tag, name) &&
         (tag.size() == name.size() || std::strchr(" \t\r\n/", tag[name.size()]) != nullptr);
}

}  // namespace

HtmlScanner::HtmlScanner(LinkRecord& page) : m_page(page), m_links(page) { m_page.title.clear(); }

const CrawlSettings* HtmlScanner::settings() const {
  const DownloadController* controller = m_page.controller();
  return controller != nullptr ? &controller->settings : nullptr;
}

// The previous-CR flag, the title and the open tag all live across blocks:
// where the network splits a body must not change what is saved, nor the
// title. Text runs are copied in bulk between the bytes that matter ("<",
// ">" and CR), which are found with memchr.
void HtmlScanner::scanBlock(std::string_view block, std::string& output) {
  output.reserve(output.size() + block.size() + block.size() / 2);
  const char* p = block.data();
  const char* const end = p + block.size();
  while (p < end) {
    if (!m_inTag) {
      const char* open = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
      const char* stop = open != nullptr ? open : end;
      if (m_style) {
        // A style element's text is a style sheet of its own; it ends
        // where the next tag (its end tag) begins.
        m_styleText.clear();
        appendWithLineEnds(p, stop, m_styleText);
        m_style->scanBlock(m_styleText, output);
        if (open != nullptr) m_style->finish(output);
      } else {
        appendWithLineEnds(p, stop, output);
      }
      if (m_script) m_script->scanBlock(std::string_view(p, static_cast<size_t>(stop - p)));
      if (m_inTitle) appendToTitle(p, stop);
      if (!m_anchorHref.empty() && m_anchorText.size() < kMaxAnchorText) {
        m_anchorText.append(p, std::min<size_t>(static_cast<size_t>(stop - p), kMaxAnchorText));
      }
      if (open == nullptr) break;
      m_inTag = true;
      m_previousCr = false;
      p = open + 1;
    } else {
      const char* close = static_cast<const char*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
      const char* stop = close != nullptr ? close : end;
      appendWithLineEnds(p, stop, m_tag);
      if (m_tag.size() > kMaxTagLength) {
        // No page has a tag this long: the "<" was text. It goes out as it
        // came, so that a stray "<" cannot hold the rest of an endless body.
        const CrawlSettings* s = settings();
        if (s == nullptr || !s->stripHtmlTags) {
          output += '<';
          output += m_tag;
        }
        m_tag.clear();
        m_inTag = false;
        p = stop;
        continue;
      }
      if (close == nullptr) break;
      m_inTag = false;
      m_previousCr = false;
      finishTag(output);
      p = close + 1;
    }
  }
}

// An LF goes in only before a byte that is itself copied to the same text:
// a CR just before "<" or ">" stays alone, as the byte after it is not
// copied there.
void HtmlScanner::appendWithLineEnds(const char* first, const char* last, std::string& out) {
  if (first == last) return;
  if (m_previousCr && *first != '\n') out += '\n';
  const char* p = first;
  while (true) {
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(last - p)));
    if (cr == nullptr) {
      out.append(p, last);
      break;
    }
    out.append(p, cr + 1);
    p = cr + 1;
    if (p == last) break;
    if (*p != '\n') out += '\n';
  }
  m_previousCr = last[-1] == '\r';
}

void HtmlScanner::appendToTitle(const char* first, const char* last) {
  std::string& title = m_page.title;
  if (title.size() >= kMaxTitleLength) return;
  size_t room = kMaxTitleLength - title.size();
  size_t count = static_cast<size_t>(last - first);
  title.append(first, count < room ? count : room);
}

void HtmlScanner::finish(std::string& output) {
  if (m_style) m_style->finish(output);
}

void HtmlScanner::followAnchor() {
  // Only a download that leaves logout links alone needs their texts.
  DownloadController* download = m_page.controller();
  if (download == nullptr || !download->settings.skipLogoutLinks) return;
  const char first = m_tag.empty() ? '\0' : lowerAscii(m_tag[0]);
  if (first != 'a' && first != '/') return;
  if (tagNamed(m_tag, "/a")) {
    // The text as a reader sees it: "Log&nbsp;out" says log out too.
    const bool decode = m_anchorText.find('&') != std::string::npos;
    if (!m_anchorHref.empty() &&
        looksLikeLogout(decode ? decodeCharacterReferences(m_anchorText) : m_anchorText)) {
      download->noteLogoutText(combineUrl(m_page.url(), urlFromAttribute(m_anchorHref)).url);
    }
    m_anchorHref.clear();
    m_anchorText.clear();
  } else if (tagNamed(m_tag, "a")) {
    std::optional<AttributeValue> href = findAttribute(m_tag, "href");
    m_anchorHref = href ? href->value : std::string();
    m_anchorText.clear();
  }
}

void HtmlScanner::finishTag(std::string& output) {
  // Before the tag's links are rewritten: the address as the page gives it.
  followAnchor();
  handleTag(m_tag);
  // Whether what follows is a style sheet: from a style start tag to its
  // end tag.
  auto named = [&](std::string_view name) { return tagNamed(m_tag, name); };
  const char first = m_tag.empty() ? '\0' : lowerAscii(m_tag[0]);
  if (first != 's' && first != '/') {
    // Neither a style nor a script element begins or ends here.
  } else if (named("style")) {
    m_style = std::make_unique<CssScanner>(
        [this](std::string_view url, bool import) { return styleReference(url, import); });
  } else if (named("/style")) {
    m_style.reset();
  } else if (named("script")) {
    m_script = std::make_unique<ScriptScanner>([this](std::string_view url) {
      if (followsLinks()) m_links.followScriptAsset(url);
    });
  } else if (named("/script")) {
    m_script.reset();
  }
  const CrawlSettings* s = settings();
  if (s == nullptr || !s->stripHtmlTags) {
    output += '<';
    output += m_tag;
    output += '>';
  }
  // Only the bare tag texts open and close the title; a title tag with
  // attributes or blanks does not.
  if (equalsNoCase(m_tag, m_inTitle ? "/title" : "title")) m_inTitle = !m_inTitle;
  m_tag.clear();
}

void HtmlScanner::handleTag(std::string& tag) {
  // Every attribute looked for here needs its "=": most tags of a page
  // (closing tags, paragraphs, line breaks) are done with at once.
  NameEnds ends(tag);
  if (ends.empty()) return;
  // The tag is lowered once, when a name is first searched for, and again
  // only after a value was replaced.
  bool lowered = false;
  auto lowerTag = [&]() -> std::string_view {
    if (!lowered) {
      lowerInto(tag, m_lowerTag);
      lowered = true;
    }
    return m_lowerTag;
  };

  if (ends.mayHaveValue("name")) {
    std::string_view lower = lowerTag();
    std::optional<ValueRange> name = findValueRange(tag, lower, "name");
    if (name && lower.substr(name->start, name->end - name->start).find("robots") != std::string_view::npos) {
      std::optional<ValueRange> content = findValueRange(tag, lower, "content");
      if (content &&
          lower.substr(content->start, content->end - content->start).find("nofollow") != std::string_view::npos) {
        m_noFollow = true;
        m_page.information = strprintf(text::kNoFollowTag, m_page.url().c_str());
        logMessage(m_page.information, LogKind::Outcome);
      }
    }
  }
  // Stealth mode ignores the page's wish, as it ignores robots files.
  if (m_noFollow && !stealthMode()) return;

  const CrawlSettings* s = settings();
  if (s != nullptr && s->ignoreInline && startsWithNoCase(tag, "img")) return;

  // A link element's target is part of the page when it is a style sheet,
  // an icon or something preloaded; a style sheet counts no crawl level.
  bool partOfPage = false;
  bool styleSheet = false;
  if (startsWithNoCase(tag, "link ") && ends.mayHaveValue("rel")) {
    std::string_view lower = lowerTag();
    if (std::optional<ValueRange> rel = findValueRange(tag, lower, "rel")) {
      std::string_view kinds = lower.substr(rel->start, rel->end - rel->start);
      styleSheet = kinds.find("stylesheet") != std::string_view::npos;
      partOfPage = styleSheet || kinds.find("icon") != std::string_view::npos ||
                   kinds.find("preload") != std::string_view::npos || kinds.find("manifest") != std::string_view::npos;
    }
  }
  const bool baseElement = tag.starts_with("base ");
  // SVG's image and use elements name what they draw by href.
  if (startsWithNoCase(tag, "image ") || startsWithNoCase(tag, "use ")) partOfPage = true;

  for (const LinkAttribute& attribute : kLinkAttributes) {
    if (!ends.mayHaveValue(attribute.name)) continue;
    std::optional<ValueRange> range = findValueRange(tag, lowerTag(), attribute.name);
    if (!range) continue;
    // A view of the tag: nothing changes the tag before the link is taken.
    std::string_view url =
        urlFromAttribute(std::string_view(tag).substr(range->start, range->end - range->start), m_urlScratch);
    const bool link = attribute.name == "href" && partOfPage;
    std::optional<std::string> replacement =
        baseElement ? rewriteBase(url) : m_links.take(url, link ? partOfPage : attribute.inlineFlag, link && styleSheet);
    if (!replacement) continue;
    replaceValue(tag, range->start, range->end, *replacement);
    lowered = false;
    ends = NameEnds(tag);
  }
  // The places of the names move when a value is replaced.
  for (std::string_view name : kCandidateAttributes) {
    if (ends.mayHaveValue(name) && rewriteCandidates(tag, name)) ends = NameEnds(tag);
  }
  if (ends.mayHaveValue("content") && startsWithNoCase(tag, "meta") && rewriteRefresh(tag)) ends = NameEnds(tag);
  if (ends.mayHaveValue("style")) rewriteStyleAttribute(tag);
}

bool HtmlScanner::rewriteCandidates(std::string& tag, std::string_view name) {
  lowerInto(tag, m_lowerTag);
  std::optional<ValueRange> range = findValueRange(tag, m_lowerTag, name);
  if (!range) return false;
  std::string list = decodeCharacterReferences(std::string_view(tag).substr(range->start, range->end - range->start));
  std::vector<TextSpan> urls = candidateUrls(list);
  // Taken in the page's order, written from the last to the first so that
  // earlier positions stay valid.
  std::vector<std::optional<std::string>> replacements;
  bool changed = false;
  for (const TextSpan& url : urls) {
    replacements.push_back(m_links.take(std::string_view(list).substr(url.start, url.end - url.start), true));
    changed |= replacements.back().has_value();
  }
  if (!changed) return false;
  for (size_t i = urls.size(); i-- > 0;) {
    if (replacements[i]) list.replace(urls[i].start, urls[i].end - urls[i].start, *replacements[i]);
  }
  replaceValue(tag, range->start, range->end, list);
  return true;
}

bool HtmlScanner::rewriteRefresh(std::string& tag) {
  lowerInto(tag, m_lowerTag);
  std::optional<ValueRange> equiv = findValueRange(tag, m_lowerTag, "http-equiv");
  if (!equiv || std::string_view(m_lowerTag).substr(equiv->start, equiv->end - equiv->start) != "refresh") {
    return false;
  }
  std::optional<ValueRange> range = findValueRange(tag, m_lowerTag, "content");
  if (!range) return false;
  // "5; url=next.html", the URL perhaps quoted: a page to go on to.
  std::string content = decodeCharacterReferences(std::string_view(tag).substr(range->start, range->end - range->start));
  std::string lower = toLowerAscii(content);
  size_t at = lower.find("url");
  if (at == std::string::npos) return false;
  size_t i = lower.find_first_not_of(" \t", at + 3);
  if (i == std::string::npos || lower[i] != '=') return false;
  i = lower.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos) return false;
  size_t end = content.size();
  if (content[i] == '"' || content[i] == '\'') {
    size_t close = content.find(content[i], i + 1);
    end = close == std::string::npos ? end : close;
    ++i;
  }
  std::optional<std::string> replacement = m_links.take(urlFromAttribute(std::string_view(content).substr(i, end - i)),
                                                        false);
  if (!replacement) return false;
  content.replace(i, end - i, *replacement);
  replaceValue(tag, range->start, range->end, content);
  return true;
}

bool HtmlScanner::followsLinks() const { return !m_noFollow || stealthMode(); }

std::optional<std::string> HtmlScanner::rewriteBase(std::string_view url) {
  const CrawlSettings* s = settings();
  if (url.empty() || url.front() == '#') return std::nullopt;
  if (s == nullptr || !s->fixLinks) {
    m_page.addChild(url, nullptr, false);
    return std::nullopt;
  }
  std::string target;
  if (!m_links.full()) m_page.addChild(url, &target, false);
  // A base left pointing at the live site would make the browser load
  // every rewritten link of the saved page from there; without a value the
  // page's own place is the base again.
  if (target.empty()) return std::string();
  // Later links are made relative to the base target's directory; the
  // base element itself gets the full local path.
  m_baseLocalFile = target.substr(0, target.find('#'));
  m_links.setBase(m_baseLocalFile);
  return fileReference(target);
}

std::optional<std::string> HtmlScanner::styleReference(std::string_view url, bool import) {
  if (!followsLinks()) return std::nullopt;
  const CrawlSettings* s = settings();
  // "Don't download inline images" covers what a style shows, not the
  // sheets it imports.
  if (!import && s != nullptr && s->ignoreInline) return std::nullopt;
  return m_links.take(url, true, import);
}

void HtmlScanner::rewriteStyleAttribute(std::string& tag) {
  lowerInto(tag, m_lowerTag);
  // Every "style" counts, not only the first: "stylesheet" in a rel value
  // must not hide the attribute.
  for (size_t at = m_lowerTag.find("style"); at != std::string::npos; at = m_lowerTag.find("style", at + 1)) {
    if (at > 0 && isVisible(m_lowerTag[at - 1])) continue;
    std::optional<ValueRange> range = findValueRange(std::string_view(tag).substr(at),
                                                     std::string_view(m_lowerTag).substr(at), "style");
    if (!range) continue;
    const size_t start = at + range->start, end = at + range->end;
    const char quote = tag[start - 1] == '"' || tag[start - 1] == '\'' ? tag[start - 1] : '\0';
    bool changed = false;
    CssScanner css(
        [&](std::string_view url, bool import) {
          std::optional<std::string> replacement = styleReference(url, import);
          changed |= replacement.has_value();
          return replacement;
        },
        quote == '"' ? '\'' : '"');
    std::string rewritten;
    css.scanBlock(decodeCharacterReferences(std::string_view(tag).substr(start, end - start)), rewritten);
    css.finish(rewritten);
    if (changed) tag.replace(start, end - start, attributeText(rewritten, quote));
    return;
  }
}

}  // namespace sg
