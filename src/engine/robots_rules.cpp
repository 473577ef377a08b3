#include "engine/robots_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "util/string_utils.h"

namespace sg {

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char upperHex(char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimBlanks(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  return text.substr(first, last - first);
}

// "key: value"; people also write "disallow /" without the colon, and what
// they mean is plain.
bool splitLine(std::string_view line, std::string_view& key, std::string_view& value) {
  line = trimBlanks(line);
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    size_t blank = line.find_first_of(" \t");
    if (blank == std::string_view::npos) return false;
    key = line.substr(0, blank);
    value = trimBlanks(line.substr(blank + 1));
    return equalsNoCase(key, "user-agent") || equalsNoCase(key, "allow") || equalsNoCase(key, "disallow");
  }
  key = trimBlanks(line.substr(0, colon));
  value = trimBlanks(line.substr(colon + 1));
  return !key.empty();
}

// The product token a User-agent line names: its leading letters, "_" and
// "-" ("SiteGleaner/6.4" names "SiteGleaner").
std::string_view productToken(std::string_view value) {
  size_t n = 0;
  while (n < value.size() && ((value[n] >= 'a' && value[n] <= 'z') || (value[n] >= 'A' && value[n] <= 'Z') ||
                              value[n] == '_' || value[n] == '-')) {
    ++n;
  }
  return value.substr(0, n);
}

// Whether pattern ("*" for any run of bytes, "$" at its end for the end of
// the path) matches the start of path. The set of places in path that the
// pattern read so far can reach is kept, so no input makes it backtrack.
bool patternMatches(std::string_view pattern, std::string_view path) {
  std::vector<size_t> places{0};
  std::vector<size_t> next;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '$' && i + 1 == pattern.size()) {
      return std::find(places.begin(), places.end(), path.size()) != places.end();
    }
    next.clear();
    if (c == '*') {
      for (size_t p = places.front(); p <= path.size(); ++p) next.push_back(p);
    } else {
      for (size_t p : places) {
        if (p < path.size() && path[p] == c) next.push_back(p + 1);
      }
    }
    if (next.empty()) return false;
    places.swap(next);
  }
  return true;
}

// Seconds, perhaps with a fraction, as milliseconds within the cap.
bool parseDelay(std::string_view value, uint32_t& ms) {
  std::string text(value);
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(seconds) || seconds < 0) return false;
  ms = seconds * 1000 >= kMaxCrawlDelayMs ? kMaxCrawlDelayMs : static_cast<uint32_t>(seconds * 1000);
  return true;
}

}  // namespace

namespace {

// A rule's pattern, normalised, with runs of "*" made one (they match the
// same) and cut at kMaxRobotsPattern bytes, so that matching stays cheap
// whatever a file holds.
std::string rulePattern(std::string_view value) {
  std::string pattern = normaliseRobotsPath(value);
  pattern.erase(std::unique(pattern.begin(), pattern.end(), [](char a, char b) { return a == '*' && b == '*'; }),
                pattern.end());
  if (pattern.size() > kMaxRobotsPattern) pattern.resize(kMaxRobotsPattern);
  return pattern;
}

}  // namespace

std::string normaliseRobotsPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '%' && i + 2 < path.size() && isHex(path[i + 1]) && isHex(path[i + 2])) {
      out += '%';
      out += upperHex(path[i + 1]);
      out += upperHex(path[i + 2]);
      i += 2;
    } else if (c >= 0x80) {
      appendPercentEscape(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

RobotsRules RobotsRules::parse(std::string_view body, std::string_view agent) {
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (body.size() > kMaxRobotsBytes) body = body.substr(0, kMaxRobotsBytes);

  RobotsRules mine, anyone;
  bool namedUs = false;     // some group names this crawler: "*" groups do not apply
  bool readingAgents = false;  // the lines since the last rule were User-agent lines
  bool groupIsMine = false, groupIsAnyone = false;
  std::vector<std::string> sitemaps;

  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = body.size();
    std::string_view line = body.substr(start, end - start);
    start = end + 1;
    if (end < body.size() && body[end] == '\r' && start < body.size() && body[start] == '\n') ++start;

    line = line.substr(0, line.find('#'));
    std::string_view key, value;
    if (!splitLine(line, key, value)) continue;

    if (equalsNoCase(key, "user-agent")) {
      // The first User-agent line after a rule opens a new group; the ones
      // right after it name more crawlers for the same group.
      if (!readingAgents) groupIsMine = groupIsAnyone = false;
      readingAgents = true;
      if (value.starts_with("*")) {
        groupIsAnyone = true;
      } else if (std::string_view token = productToken(value); !token.empty() && equalsNoCase(token, agent)) {
        groupIsMine = true;
        namedUs = true;
      }
    } else if (equalsNoCase(key, "allow") || equalsNoCase(key, "disallow")) {
      readingAgents = false;
      // An empty value is no rule; a rule before any group is nobody's.
      if (value.empty()) continue;
      Rule rule{rulePattern(value), equalsNoCase(key, "allow")};
      if (groupIsMine) mine.m_rules.push_back(rule);
      if (groupIsAnyone) anyone.m_rules.push_back(std::move(rule));
    } else if (equalsNoCase(key, "crawl-delay")) {
      readingAgents = false;
      uint32_t ms = 0;
      if (!parseDelay(value, ms)) continue;
      if (groupIsMine) mine.m_crawlDelayMs = std::max(mine.m_crawlDelayMs, ms);
      if (groupIsAnyone) anyone.m_crawlDelayMs = std::max(anyone.m_crawlDelayMs, ms);
    } else if (equalsNoCase(key, "sitemap")) {
      // Sitemaps belong to the file, not to a group.
      if (!value.empty()) sitemaps.emplace_back(value);
    }
  }
  RobotsRules rules = namedUs ? std::move(mine) : std::move(anyone);
  rules.m_sitemaps = std::move(sitemaps);
  return rules;
}

RobotsRules RobotsRules::disallowAll() {
  RobotsRules rules;
  rules.m_rules.push_back({"/", false});
  return rules;
}

bool RobotsRules::allowed(std::string_view path) const {
  if (m_rules.empty()) return true;
  const std::string target = normaliseRobotsPath(path.empty() ? std::string_view("/") : path);
  size_t bestLength = 0;
  bool best = true;
  bool matched = false;
  for (const Rule& rule : m_rules) {
    const size_t length = rule.pattern.size();
    // A shorter rule can no longer win, nor can an equal Disallow.
    if (matched && (length < bestLength || (length == bestLength && (best || !rule.allow)))) continue;
    if (!patternMatches(rule.pattern, target)) continue;
    matched = true;
    bestLength = length;
    best = rule.allow;
  }
  return best;
}

}  // namespace sg
