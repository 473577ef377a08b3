// One download worker: takes links from the work queue, keeps one HTTP
// connection of its own, checks each link against the robots rules, has
// the link processed, and ends when the queue is empty or stopped. Runs on
// its own thread; nothing of it is shared.
#pragma once

#include <memory>
#include <string>

#include "platform/http.h"

namespace sg {

class DownloadController;
class LinkRecord;
class WorkQueue;

class Worker {
 public:
  Worker(unsigned slot, WorkQueue& queue, DownloadController& controller, bool offline, int delaySeconds,
         std::shared_ptr<HttpTransfers> transfers);
  ~Worker();

  // The main loop; returns when the worker ends.
  void run();

 private:
  // False, with the reason in m_connectError, when the link's server
  // cannot be reached (now, or earlier in this download).
  bool connect(const LinkRecord& link);
  // Keeps the reason in m_connectError, logs it and, unless a stop or the
  // time limit caused it, marks the link's server unreachable.
  void connectFailed(const LinkRecord& link, const PlatformError& error);
  // Sleeps until the link's server may be asked again under its Crawl-delay.
  void waitForTurn(const LinkRecord& link);
  void closeConnection();
  void waitBetweenObjects();

  unsigned m_slot;
  WorkQueue& m_queue;
  DownloadController& m_controller;
  bool m_offline;
  int m_delaySeconds;
  std::shared_ptr<HttpTransfers> m_transfers;  // outlives the session's connections
  std::unique_ptr<HttpSession> m_session;
  std::unique_ptr<HttpConnection> m_connection;
  std::string m_connectError;
};

}  // namespace sg
