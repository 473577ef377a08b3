// The rules one robots file gives one crawler, read as today's robots files
// are written: groups of one or more User-agent lines, Allow and Disallow
// with "*" and "$" patterns where the longest match wins (Allow on a tie),
// Crawl-delay and Sitemap lines.
//
// Immutable once parsed; shared between workers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sg {

class RobotsRules {
 public:
  // A server without rules: everything allowed.
  RobotsRules() = default;
  // The rules of body for the crawler whose product token is agent (lower
  // case, "sitegleaner"): the groups that name it, or else the groups for
  // "*", or else none.
  static RobotsRules parse(std::string_view body, std::string_view agent);
  // What a server whose robots file cannot be read gets: nothing allowed.
  static RobotsRules disallowAll();

  // path is the request target (path and query) as sent.
  bool allowed(std::string_view path) const;
  // The least time between two requests the group asks for; 0 for none.
  uint32_t crawlDelayMs() const { return m_crawlDelayMs; }
  const std::vector<std::string>& sitemaps() const { return m_sitemaps; }
  bool empty() const { return m_rules.empty(); }

 private:
  struct Rule {
    std::string pattern;  // percent-encoding normalised
    bool allow;
  };
  std::vector<Rule> m_rules;
  uint32_t m_crawlDelayMs = 0;
  std::vector<std::string> m_sitemaps;
};

// A path or pattern with its percent-escapes written in upper case and
// every byte above 127 percent-encoded, so that two spellings of one path
// compare equal.
std::string normaliseRobotsPath(std::string_view path);

// The most of a robots file that is read and parsed.
inline constexpr size_t kMaxRobotsBytes = 500 * 1024;
// The longest rule pattern taken; a longer one is cut, as other crawlers cut it.
inline constexpr size_t kMaxRobotsPattern = 16 * 1024;
// The largest Crawl-delay obeyed: a server asking for more would make a
// crawl of a few pages last for hours.
inline constexpr uint32_t kMaxCrawlDelayMs = 60 * 1000;

}  // namespace sg
