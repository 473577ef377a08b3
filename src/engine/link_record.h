// One URL of a download and its place in the link tree.
//
// Records form a tree below the download controller, which is itself the
// root record. A record is written only by the worker that holds it (or by
// the document while no download runs; the include flag is the exception)
// and is never destroyed while a download runs; the tree is destroyed as a
// whole. While a download runs the views read no live record: each
// announcement carries a snapshot taken on the thread that made it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/link_status.h"
#include "util/clock.h"
#include "util/url_ops.h"

namespace sg {

class DownloadController;
class HttpConnection;

inline constexpr int kInitialAttempts = 15;

class LinkRecord {
 public:
  using Children = std::vector<std::unique_ptr<LinkRecord>>;

  LinkRecord(LinkRecord* parent, bool inlineFlag);
  virtual ~LinkRecord();
  LinkRecord(const LinkRecord&) = delete;
  LinkRecord& operator=(const LinkRecord&) = delete;

  virtual bool isRoot() const { return false; }
  // Handles the link on a worker thread.
  virtual LinkOutcome process(HttpConnection& connection);

  // Makes the record reusable and admits the URL. False when the URL is
  // invalid, filtered out or beyond the server radius (see admit()). split,
  // when given, is the URL's split as combineUrl() found it.
  bool initialise(std::string url, DownloadController* root, int depth, const HttpUrlParts* split = nullptr);

  // Resolves href against this record's URL and adds the link as a child
  // unless the registry already knows it. rewritten (when given) receives
  // the local file of the record that stands for the URL, plus "#fragment"
  // when href had one; it is left empty when the link was refused. True only
  // when a new record joined the tree. A link on the same level (a page's
  // style sheet, what a style sheet names) takes this record's depth, so
  // that the crawl depth counts pages, not their parts.
  bool addChild(std::string_view href, std::string* rewritten, bool inlineFlag, bool sameLevel = false);

  // Sets the include flag of this record and of every record below it.
  void setInclude(bool value);

  // Splits and filters a URL; run by initialise() and again when a server
  // moves the link. False with the information text set when the URL is
  // refused. The local file follows from the split (localFile()).
  bool admit(std::string url, const HttpUrlParts* split = nullptr);

  // The root rule: the controller that governs this record.
  DownloadController* controller();
  const DownloadController* controller() const;

  const std::string& url() const { return m_url; }
  // Host only, and path with query, as split from the URL.
  std::string_view server() const;
  std::string_view object() const;
  uint16_t port() const { return m_port; }
  bool https() const { return m_https; }

  // Where the local copy lives: below `Save Directory`, named from server,
  // port and object. "" when the record has no URL.
  std::string localName() const;
  std::string localFile() const;

  size_t childCount() const { return children ? children->size() : 0; }
  LinkRecord* child(size_t i) const { return (*children)[i].get(); }

  // Every record below this one, destroyed without deep recursion.
  void destroyChildren();

  // --- Fields, used directly by the engine and pipeline; views see snapshots ---
  uint32_t sequence;
  int32_t depth = 0;
  int32_t serverDepth = 0;  // changes of server on the way from the root
  std::unique_ptr<Children> children;
  FileTime lastModified = 0;
  std::string information;
  std::string mimeType;
  std::string title;
  std::string etag;  // the validator of the last response, for the crawl journal
  LinkRecord* parent = nullptr;
  DownloadController* root = nullptr;
  int32_t attemptsRemaining = kInitialAttempts;
  uint64_t receivedSize = 0;
  uint64_t size = 0;
  uint32_t readStartTick = 0;
  uint32_t readTime = 0;
  ContentKind contentKind = ContentKind::Unknown;
  LinkStatus status = LinkStatus::Pending;
  bool written = false;
  // Written by the user interface (Include URL) while workers read it.
  std::atomic<bool> include{true};
  bool localSource = false;
  bool inlineLink = false;
  uint8_t redirections = 0;  // redirections followed for this link
  int16_t httpCode = 0;      // status of the last response; 0 before one

 private:
  friend class LinkRegistry;

  bool passesFilters();
  void storeSplit(HttpUrlParts& parts);

  // Server and object are nearly always verbatim in the URL, so they are
  // kept as positions in it; only the rest keep copies of their own.
  struct SplitCopy {
    std::string server;
    std::string object;
  };
  std::string m_url;
  std::unique_ptr<SplitCopy> m_splitCopy;
  uint32_t m_serverStart = 0;
  uint32_t m_serverLength = 0;
  uint32_t m_objectStart = 0;
  uint16_t m_port = 0;
  bool m_https = false;
  bool m_registered = false;  // the link registry holds a key that views m_url
};

// Sequence number the next record will take.
uint32_t nextLinkSequence();

}  // namespace sg
