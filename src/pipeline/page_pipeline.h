// What happens to one link on a worker: the checks that it is still
// wanted, the saved copy or the HTTP exchange, the size and time limits,
// the body read with saving (and scanning, for pages), the queuing of the
// page's links, and the placeholder page for a page that was not saved.
//
// One PagePipeline serves every worker of a download; it keeps no state of
// its own between links, so any number of workers may use it at once.
#pragma once

#include <string>

#include "engine/link_processor.h"

namespace sg {

class BodySource;
class DownloadController;
class LinkRecord;
class PasswordPrompt;

class PagePipeline : public LinkProcessor {
 public:
  LinkOutcome process(LinkRecord& link, HttpConnection& connection) override;
  void refusedByRobots(LinkRecord& link) override;
  void unreachable(LinkRecord& link, const std::string& reason) override;

  // Installs the prompt asked for new credentials after a 401 or 407.
  void setPasswordPrompt(PasswordPrompt* prompt) { m_prompt = prompt; }

 private:
  PasswordPrompt* m_prompt = nullptr;
};

// Reads the body, saving and (for pages) scanning it. True when read to
// its end; a body read but not saved (its file could not be written)
// leaves the link Failed, with its links found all the same. An empty page
// never replaces a saved copy. A body of unknown size until read (a decoded
// one) is held to the smallest size once read: a smaller one is Skipped and
// not saved.
bool readBody(LinkRecord& link, BodySource& body, bool sizeKnownOnlyOnceRead = false);

// The limit checks made during a read; false (with the link's information
// set and logged) once a limit is broken.
bool checkLimits(LinkRecord& link);
bool checkSize(const DownloadController& controller, uint64_t size, std::string& message, bool duringRead);
bool checkTime(const DownloadController& controller, uint32_t milliseconds, std::string& message);

// Hands the page's links to the work queue; false when the download was
// cancelled meanwhile.
bool queueChildren(LinkRecord& link);

// "Reading <name> (<progress>)" for the thread pane.
std::string progressText(const LinkRecord& link);

// Makes the desktop link to the saved root page.
void createRootShortcut(DownloadController& controller);

}  // namespace sg
