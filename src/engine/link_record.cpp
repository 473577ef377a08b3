#include "engine/link_record.h"

#include "engine/download_controller.h"
#include "engine/local_naming.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {
std::atomic<uint32_t> g_sequence{0};
}  // namespace

uint32_t nextLinkSequence() { return g_sequence.load(); }

ContentKind contentKindOf(std::string_view mimeType) {
  std::string_view type = trimWhite(mimeType.substr(0, mimeType.find(';')));
  if (equalsNoCase(type, "text/html") || equalsNoCase(type, "application/xhtml+xml")) return ContentKind::Html;
  if (equalsNoCase(type, "text/css")) return ContentKind::Stylesheet;
  for (std::string_view script : {"text/javascript", "application/javascript", "application/x-javascript",
                                  "text/ecmascript", "application/ecmascript"}) {
    if (equalsNoCase(type, script)) return ContentKind::Script;
  }
  return ContentKind::Other;
}

const char* linkStatusWord(LinkStatus status) {
  switch (status) {
    case LinkStatus::Pending:
      return text::kStatusPending;
    case LinkStatus::Reading:
      return text::kStatusReading;
    case LinkStatus::Complete:
      return text::kStatusComplete;
    case LinkStatus::Failed:
      return text::kStatusFailed;
    case LinkStatus::Skipped:
      return text::kStatusSkipped;
  }
  return text::kStatusPending;
}

LinkRecord::LinkRecord(LinkRecord* parentRecord, bool inlineFlag)
    : sequence(g_sequence.fetch_add(1)), parent(parentRecord), inlineLink(inlineFlag) {}

LinkRecord::~LinkRecord() { destroyChildren(); }

void LinkRecord::destroyChildren() {
  if (!children) return;
  // Trees can be tens of thousands of levels deep (MaxCrawlDepth allows
  // 50000), so they are taken apart with an explicit stack.
  std::vector<std::unique_ptr<Children>> pending;
  pending.push_back(std::move(children));
  while (!pending.empty()) {
    std::unique_ptr<Children> list = std::move(pending.back());
    pending.pop_back();
    for (auto& record : *list) {
      if (record->children) pending.push_back(std::move(record->children));
    }
  }
}

LinkOutcome LinkRecord::process(HttpConnection& connection) {
  DownloadController* download = controller();
  return download != nullptr ? download->processLink(*this, connection) : LinkOutcome::Done;
}

DownloadController* LinkRecord::controller() { return isRoot() ? static_cast<DownloadController*>(this) : root; }

const DownloadController* LinkRecord::controller() const {
  return isRoot() ? static_cast<const DownloadController*>(this) : root;
}

std::string_view LinkRecord::server() const {
  if (m_splitCopy) return m_splitCopy->server;
  return std::string_view(m_url).substr(m_serverStart, m_serverLength);
}

std::string_view LinkRecord::object() const {
  if (m_splitCopy) return m_splitCopy->object;
  return std::string_view(m_url).substr(m_objectStart);
}

void LinkRecord::storeSplit(HttpUrlParts& parts) {
  m_port = parts.port;
  m_https = parts.https;
  m_splitCopy.reset();
  std::string_view text(m_url);
  size_t serverAt = text.find(parts.server);
  bool objectIsTail = text.size() >= parts.object.size() && text.ends_with(parts.object);
  if (serverAt != std::string_view::npos && objectIsTail && text.size() <= UINT32_MAX) {
    m_serverStart = static_cast<uint32_t>(serverAt);
    m_serverLength = static_cast<uint32_t>(parts.server.size());
    m_objectStart = static_cast<uint32_t>(text.size() - parts.object.size());
  } else {
    m_splitCopy = std::make_unique<SplitCopy>(SplitCopy{std::move(parts.server), std::move(parts.object)});
  }
}

std::string LinkRecord::localName() const {
  const DownloadController* download = controller();
  if (server().empty()) return std::string();
  bool createTree = download == nullptr || download->settings.createTree;
  return localNameFor(server(), m_port, m_https, object(), createTree, !inlineLink);
}

std::string LinkRecord::localFile() const {
  const DownloadController* download = controller();
  std::string name = localName();
  if (name.empty() || download == nullptr) return std::string();
  const std::string& directory = download->settings.saveDirectory;
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool LinkRecord::initialise(std::string newUrl, DownloadController* rootController, int newDepth,
                            const HttpUrlParts* split) {
  root = rootController;
  depth = newDepth;
  attemptsRemaining = kInitialAttempts;
  include = true;
  status = LinkStatus::Pending;
  receivedSize = 0;
  size = 0;
  contentKind = ContentKind::Unknown;
  readStartTick = 0;
  readTime = 0;
  written = false;
  localSource = false;
  title.clear();
  etag.clear();
  httpCode = 0;
  return admit(std::move(newUrl), split);
}

bool LinkRecord::admit(std::string newUrl, const HttpUrlParts* split) {
  DownloadController* download = controller();
  // The registry keys this record by a view of its URL; that key must be
  // given a text of its own before the URL changes.
  if (m_registered && download != nullptr) download->registry().detach(*this);
  m_url = std::move(newUrl);
  // A password in the root URL would go into the log, the title and the
  // desktop link; it becomes the download's credential instead.
  if (isRoot()) static_cast<DownloadController*>(this)->takeRootCredential(m_url);
  destroyChildren();

  HttpUrlParts parts;
  bool valid = false;
  if (split != nullptr) {
    parts = *split;
    valid = true;
  } else {
    valid = parseHttpUrl(m_url, parts);
  }
  if (!valid) {
    m_splitCopy.reset();
    m_serverStart = m_serverLength = 0;
    m_objectStart = static_cast<uint32_t>(m_url.size());
    information = text::kInvalidUrl;
    return false;
  }
  storeSplit(parts);

  if (!passesFilters()) {
    status = LinkStatus::Skipped;
    return false;
  }

  if (isRoot()) {
    // A server that moves the root to another host takes the crawl off the
    // server the user chose: that counts against the radius like any link.
    serverDepth = static_cast<DownloadController*>(this)->rootServerDepth(server());
  } else if (parent == nullptr) {
    serverDepth = 0;
  } else {
    serverDepth = parent->serverDepth + (server() == parent->server() ? 0 : 1);
  }
  if (download != nullptr && serverDepth > download->settings.maxServerDepth) {
    information = text::kServerRadius;
    return false;
  }
  return true;
}

bool LinkRecord::passesFilters() {
  DownloadController* download = controller();
  if (download == nullptr) return true;
  const CrawlSettings& s = download->settings;

  if (!download->exclusions().isAllowed(server(), object())) {
    information = text::kUrlExcluded;
    return false;
  }

  if (s.stayBelowRoot) {
    // The root's directory is its object up to its last separator; the
    // first character is never taken as that separator.
    std::string_view rootObject = download->object();
    size_t n = 0;
    for (size_t i = rootObject.size(); i-- > 1;) {
      if (rootObject[i] == '/' || rootObject[i] == '\\') {
        n = i;
        break;
      }
    }
    std::string_view own = object();
    if (own.size() < n || !equalsNoCase(own.substr(0, n), rootObject.substr(0, n))) {
      information = strprintf(text::kNotBelowRoot, m_url.c_str());
      return false;
    }
  }

  if (!s.downloadAll && !s.fileExtensions.empty()) {
    std::string extension;
    for (size_t i = m_url.size(); i-- > 1;) {
      char c = m_url[i];
      if (c == '.') {
        extension = toLowerAscii(std::string_view(m_url).substr(i));
        break;
      }
      if (c == '/' || c == ':' || c == '\\') break;
    }
    if (!extension.empty() && !containsNoCase(s.fileExtensions, extension)) {
      information = strprintf(text::kUnwantedType, m_url.c_str());
      return false;
    }
  }
  return true;
}

bool LinkRecord::addChild(std::string_view href, std::string* rewritten, bool inlineFlag, bool sameLevel) {
  if (rewritten) rewritten->clear();
  if (href.empty()) return false;
  DownloadController* download = controller();
  if (download == nullptr) return false;

  CombinedUrl combined = combineUrl(m_url, href);
  // A saved copy names its links by their local files, which read back as
  // other addresses (a folder's "default.html", a query's file name): the
  // URL saved at that file is the link.
  if (localSource) {
    if (const std::string* saved = download->urlSavedAt(combined, inlineFlag)) {
      combined.url = *saved;
      combined.partsValid = false;
    }
  }
  std::string redirected;
  if (download->redirects().lookup(combined.url, redirected)) {
    combined.url = std::move(redirected);
    combined.partsValid = false;
  }

  auto handBack = [&](const LinkRecord& standing) {
    if (!rewritten) return;
    *rewritten = standing.localFile();
    if (combined.hasFragment) {
      *rewritten += '#';
      *rewritten += combined.fragment;
    }
  };

  // Most links of a crawl are met again and again; a known URL is answered
  // from the registry without admitting it anew. Only the server radius
  // depends on the page it was found on, so only that is checked again.
  if (LinkRecord* known = download->find(combined.url)) {
    int knownServerDepth = serverDepth + (known->server() == server() ? 0 : 1);
    if (knownServerDepth > download->settings.maxServerDepth) return false;
    handBack(*known);
    return false;
  }

  auto offered = std::make_unique<LinkRecord>(this, inlineFlag);
  if (!offered->initialise(std::move(combined.url), download, sameLevel ? depth : depth + 1,
                           combined.partsValid ? &combined.parts : nullptr)) {
    return false;
  }

  auto [standing, added] = download->registerLink(*offered);
  if (added) {
    if (!children) children = std::make_unique<Children>();
    children->push_back(std::move(offered));
    download->notify(UpdateCode::LinkAdded, standing);
  }
  handBack(*standing);
  return added;
}

void LinkRecord::setInclude(bool value) {
  std::vector<LinkRecord*> pending{this};
  while (!pending.empty()) {
    LinkRecord* record = pending.back();
    pending.pop_back();
    record->include = value;
    for (size_t i = 0; i < record->childCount(); ++i) pending.push_back(record->child(i));
  }
}

}  // namespace sg
