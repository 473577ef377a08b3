#pragma once

#include "engine/link_status.h"

namespace sg {

class LinkRecord;

// How the engine tells a front end what changed. Called on worker threads
// (and on the thread that calls the controller), under the controller's
// notification lock: an implementation must return quickly and must not
// call back into the controller. The desktop front end queues the call onto
// its GUI thread; the console handles it directly.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  // code is LinkChanged, LinkAdded (record non-null) or DownloadEnded (null).
  virtual void downloadUpdate(UpdateCode code, LinkRecord* record) = 0;
};

}  // namespace sg
