#pragma once

#include <string>

#include "engine/link_status.h"

namespace sg {

class DownloadController;
class HttpConnection;
class LinkRecord;

// What a worker does with a link once it has a connection to the link's
// server. The page pipeline implements it; tests put simpler ones in its
// place. Called on worker threads, one link per call; an implementation
// must be safe to call from several workers at once.
class LinkProcessor {
 public:
  virtual ~LinkProcessor() = default;
  // Handles the link. ServerUnreachable, thrown when the connection's first
  // request finds no server, is let through: the worker reports the server
  // and fails the link as it would after a failed connect.
  virtual LinkOutcome process(LinkRecord& link, HttpConnection& connection) = 0;
  // The server's robots rules refused the link; it stays Pending.
  virtual void refusedByRobots(LinkRecord& link) {}
  // The link's server could not be reached (reason says why); the link
  // fails on its own and the download goes on.
  // By default it ends Failed with the reason and is announced.
  virtual void unreachable(LinkRecord& link, const std::string& reason);
};

}  // namespace sg
