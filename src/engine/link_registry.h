// URL to link record: the one place that decides whether a URL is new.
// Keys are compared byte for byte. Thread-safe: every operation holds the
// registry's lock, so two workers offering one URL at once get one record.
//
// A record is keyed by a view of its own URL text, so a crawl of many links
// does not keep every URL twice. Such a record's URL changes only through
// LinkRecord::admit(), which first calls detach() to give the key a text of
// its own; records must stay alive until the registry is cleared.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "util/mutex.h"

namespace sg {

class LinkRecord;

class LinkRegistry {
 public:
  struct Registered {
    LinkRecord* record;  // the record that stands for the URL
    bool added;          // whether that is the offered one
  };
  // Registers offered under its URL (fragment removed) unless the URL is
  // known. A newly registered record deeper than maxCrawlDepth gets the
  // include flag 0.
  Registered registerLink(LinkRecord& offered, int maxCrawlDepth);
  // The record registered for the URL (fragment removed), or null.
  LinkRecord* find(std::string_view url) const;
  // Registers newUrl for the record known under oldUrl.
  void alias(std::string_view oldUrl, std::string_view newUrl);
  // Gives the key that views record's URL a copy of its own text.
  void detach(LinkRecord& record);
  void clear();
  size_t size() const;

 private:
  std::string_view ownedKey(std::string_view text) SG_REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  std::unordered_map<std::string_view, LinkRecord*> m_records SG_GUARDED_BY(m_mutex);
  std::deque<std::string> m_ownedKeys SG_GUARDED_BY(m_mutex);
};

// Requested URL to the location a server moved it to. Thread-safe.
class RedirectMap {
 public:
  // The URL that url was redirected to, if any.
  bool lookup(std::string_view url, std::string& target) const;
  void record(std::string_view from, std::string_view to);
  void clear();
  size_t size() const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  mutable Mutex m_mutex;
  std::unordered_map<std::string, std::string, Hash, std::equal_to<>> m_map SG_GUARDED_BY(m_mutex);
};

}  // namespace sg
