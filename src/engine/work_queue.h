// The links waiting for a worker, the worker slots and the worker threads
// of one download controller.
//
// Thread-safety: every operation holds the queue's lock for its whole
// length (never while a link is processed). The queue owns its threads:
// shutdown() stops the download and joins every one of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "util/mutex.h"

namespace sg {

class DownloadController;
class HttpTransfers;
class LinkRecord;

// How far into the pending list a worker looks for a link of a server with
// room when the links at its head wait for busy servers.
inline constexpr size_t kServerSearchDepth = 256;

class WorkQueue {
 public:
  explicit WorkQueue(DownloadController& owner);
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Clears the stopped flag and sizes the slot table; running workers stay.
  void init(int maximum);
  // Inline links go to the head, others to the tail; starts a worker while
  // fewer than the maximum run.
  void addLink(LinkRecord* record);
  // Queues several links at once, as many addLink calls would, but so that
  // no worker can find the queue empty (and end the download) between them.
  void addLinks(const std::vector<LinkRecord*>& records);
  // Removes and returns the first pending link whose server has fewer than
  // Max Connections Per Server links in hand, or null; serverKey receives
  // the server's key, to be handed back to serverDone() when the link was
  // dealt with.
  LinkRecord* nextLink(std::string* serverKey = nullptr);
  void serverDone(const std::string& serverKey);
  bool isStopped() const;
  // Gives back a worker's slot; returns how many workers still run.
  int workerEnded(unsigned slot);
  // Moves every pending link (head first) to the resume list, with first
  // (when given) ahead of them, and stops the queue.
  void abortToResume(LinkRecord* first = nullptr);
  // Forgets every pending link and stops the queue.
  void dropPending();
  // Announces the end of the download.
  void allWorkersEnded();

  // Sleeps up to ms; returns early, with true, once the queue is stopped.
  bool sleepUnlessStopped(uint32_t ms);
  // Waits up to ms for every worker to end; true when none runs.
  bool waitForWorkers(uint32_t ms);

  size_t pendingCount() const;
  size_t resumeCount() const;
  int running() const;
  // Appends links to the resume list (a stopped download read back).
  void resumeLater(const std::vector<LinkRecord*>& records);
  // Empties the resume list and returns it.
  std::vector<LinkRecord*> takeResumeList();
  void clearResumeList();

  // Workers started from now on run `steps` nice levels below the calling
  // thread: the desktop keeps its window ahead of eight busy workers, which
  // would otherwise get eight shares of the processor to its one.
  void lowerWorkerPriority(int steps);

  // Stops and cancels the download (which ends every wait for the network)
  // and joins every worker thread. Used when the controller goes away.
  void shutdown();

 private:
  struct WorkerThread {
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void startWorker() SG_REQUIRES(m_mutex);
  void runWorker(unsigned slot, int delaySeconds, bool offline, std::optional<int> nice,
                 std::shared_ptr<HttpTransfers> transfers, WorkerThread* self);
  std::vector<std::unique_ptr<WorkerThread>> takeFinished() SG_REQUIRES(m_mutex);

  DownloadController& m_owner;
  mutable Mutex m_mutex;
  std::condition_variable m_changed;  // signalled on stop and when a worker ends
  std::deque<LinkRecord*> m_pending SG_GUARDED_BY(m_mutex);
  std::vector<LinkRecord*> m_resume SG_GUARDED_BY(m_mutex);
  bool m_stopped SG_GUARDED_BY(m_mutex) = false;
  int m_running SG_GUARDED_BY(m_mutex) = 0;
  std::vector<char> m_slots SG_GUARDED_BY(m_mutex);
  int m_maximum SG_GUARDED_BY(m_mutex) = 0;
  std::vector<std::unique_ptr<WorkerThread>> m_threads SG_GUARDED_BY(m_mutex);
  std::optional<int> m_workerNice SG_GUARDED_BY(m_mutex);                   // absolute; none: as started
  // The running workers' HTTPS requests share one multi handle, and so
  // their connections (one HTTP/2 connection per server that offers it). Made
  // for the first worker and dropped with the last, which closes the
  // connections: none is left open between downloads.
  std::shared_ptr<HttpTransfers> m_transfers SG_GUARDED_BY(m_mutex);
  std::map<std::string, int, std::less<>> m_inHand SG_GUARDED_BY(m_mutex);  // links in hand by server
};

}  // namespace sg
