#include "engine/work_queue.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "engine/download_controller.h"
#include "engine/robots.h"
#include "engine/worker.h"
#include "util/log.h"
#include "util/texts.h"

namespace sg {

WorkQueue::WorkQueue(DownloadController& owner) : m_owner(owner) {}

WorkQueue::~WorkQueue() { shutdown(); }

void WorkQueue::init(int maximum) {
  std::vector<std::unique_ptr<WorkerThread>> finished;
  {
    MutexLock lock(m_mutex);
    m_stopped = false;
    m_maximum = std::max(1, maximum);
    // Slots of workers still ending keep their mark.
    if (static_cast<int>(m_slots.size()) < m_maximum) m_slots.resize(m_maximum, 0);
    if (m_running == 0) m_slots.assign(m_maximum, 0);
    finished = takeFinished();
  }
  for (auto& worker : finished) worker->thread.join();
}

void WorkQueue::addLink(LinkRecord* record) { addLinks({record}); }

void WorkQueue::addLinks(const std::vector<LinkRecord*>& records) {
  // Into the journal before a worker can take them, so that a link is
  // never taken or settled ahead of its own row.
  for (LinkRecord* record : records) m_owner.journal().queued(*record);
  std::vector<std::unique_ptr<WorkerThread>> finished;
  {
    MutexLock lock(m_mutex);
    for (LinkRecord* record : records) {
      if (record->inlineLink) {
        m_pending.push_front(record);
      } else {
        m_pending.push_back(record);
      }
      if (m_running < m_maximum) startWorker();
    }
    finished = takeFinished();
  }
  // Threads that have ended are joined outside the lock.
  for (auto& worker : finished) worker->thread.join();
}

void WorkQueue::startWorker() {
  auto slotIt = std::find(m_slots.begin(), m_slots.end(), 0);
  if (slotIt == m_slots.end()) return;
  unsigned slot = static_cast<unsigned>(slotIt - m_slots.begin());
  int delay = m_maximum <= 1 ? m_owner.settings.objectDelay : 0;
  bool offline = m_owner.offline.load();
  auto worker = std::make_unique<WorkerThread>();
  WorkerThread* self = worker.get();
  ++m_running;
  *slotIt = 1;
  try {
    if (!m_transfers) m_transfers = std::make_shared<HttpTransfers>();
    worker->thread = std::thread(&WorkQueue::runWorker, this, slot, delay, offline, m_workerNice, m_transfers, self);
  } catch (const std::exception&) {
    // Without its thread the worker never ends by itself: give back what it took.
    --m_running;
    *slotIt = 0;
    logMessage(text::kUnhandledThreadError);
    return;
  }
  m_threads.push_back(std::move(worker));
}

void WorkQueue::lowerWorkerPriority(int steps) {
  // Linux keeps the nice value per thread: "0" is the calling thread.
  errno = 0;
  int own = getpriority(PRIO_PROCESS, 0);
  if (errno != 0) return;
  MutexLock lock(m_mutex);
  m_workerNice = std::min(own + steps, 19);
}

void WorkQueue::runWorker(unsigned slot, int delaySeconds, bool offline, std::optional<int> nice,
                          std::shared_ptr<HttpTransfers> transfers, WorkerThread* self) {
  // An absolute value, not a step: workers start workers, and a step would
  // add up. Failing is harmless; the worker keeps the priority it has.
  if (nice) setpriority(PRIO_PROCESS, 0, *nice);
  try {
    Worker worker(slot, *this, m_owner, offline, delaySeconds, std::move(transfers));
    worker.run();
  } catch (...) {
    logMessage(text::kUnhandledThreadError);
  }
  // Whatever happened, the slot is given back, so the end is announced.
  if (workerEnded(slot) == 0) allWorkersEnded();
  self->finished = true;
}

std::vector<std::unique_ptr<WorkQueue::WorkerThread>> WorkQueue::takeFinished() {
  std::vector<std::unique_ptr<WorkerThread>> finished;
  for (auto it = m_threads.begin(); it != m_threads.end();) {
    if ((*it)->finished.load()) {
      finished.push_back(std::move(*it));
      it = m_threads.erase(it);
    } else {
      ++it;
    }
  }
  return finished;
}

LinkRecord* WorkQueue::nextLink(std::string* serverKey) {
  MutexLock lock(m_mutex);
  if (m_pending.empty()) return nullptr;
  if (serverKey == nullptr) {
    LinkRecord* record = m_pending.front();
    m_pending.pop_front();
    return record;
  }
  // The first link whose server has room, looked for near the head only: a
  // worker that finds none ends, and the workers at those servers go on.
  const int most = std::max(1, m_owner.settings.maxConnectionsPerServer);
  const size_t looked = std::min<size_t>(m_pending.size(), kServerSearchDepth);
  for (size_t i = 0; i < looked; ++i) {
    LinkRecord* record = m_pending[i];
    std::string key = robotsKey(record->server(), record->port(), record->https());
    auto it = m_inHand.find(key);
    if (it != m_inHand.end() && it->second >= most) continue;
    m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
    ++m_inHand[key];
    *serverKey = std::move(key);
    return record;
  }
  return nullptr;
}

void WorkQueue::serverDone(const std::string& serverKey) {
  MutexLock lock(m_mutex);
  auto it = m_inHand.find(serverKey);
  if (it == m_inHand.end()) return;
  if (--it->second <= 0) m_inHand.erase(it);
}

bool WorkQueue::isStopped() const {
  MutexLock lock(m_mutex);
  return m_stopped;
}

int WorkQueue::workerEnded(unsigned slot) {
  MutexLock lock(m_mutex);
  --m_running;
  if (slot < m_slots.size()) m_slots[slot] = 0;
  if (m_running == 0) m_transfers.reset();
  m_changed.notify_all();
  return m_running;
}

void WorkQueue::abortToResume(LinkRecord* first) {
  MutexLock lock(m_mutex);
  if (first != nullptr) m_resume.push_back(first);
  for (LinkRecord* record : m_pending) m_resume.push_back(record);
  m_pending.clear();
  m_stopped = true;
  m_changed.notify_all();
}

void WorkQueue::dropPending() {
  MutexLock lock(m_mutex);
  m_pending.clear();
  m_stopped = true;
  m_changed.notify_all();
}

void WorkQueue::allWorkersEnded() {
  // Whatever the end, the journal holds all of it before anyone hears of it.
  m_owner.journal().flush();
  m_owner.notify(UpdateCode::DownloadEnded, nullptr);
  m_owner.runDownloadEndedHook();
}

bool WorkQueue::sleepUnlessStopped(uint32_t ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MutexLock lock(m_mutex);
  while (!m_stopped && lock.waitUntil(m_changed, deadline)) {
  }
  return m_stopped;
}

bool WorkQueue::waitForWorkers(uint32_t ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MutexLock lock(m_mutex);
  while (m_running != 0 && lock.waitUntil(m_changed, deadline)) {
  }
  return m_running == 0;
}

size_t WorkQueue::pendingCount() const {
  MutexLock lock(m_mutex);
  return m_pending.size();
}

size_t WorkQueue::resumeCount() const {
  MutexLock lock(m_mutex);
  return m_resume.size();
}

int WorkQueue::running() const {
  MutexLock lock(m_mutex);
  return m_running;
}

std::vector<LinkRecord*> WorkQueue::takeResumeList() {
  MutexLock lock(m_mutex);
  std::vector<LinkRecord*> out;
  out.swap(m_resume);
  return out;
}

void WorkQueue::resumeLater(const std::vector<LinkRecord*>& records) {
  MutexLock lock(m_mutex);
  m_resume.insert(m_resume.end(), records.begin(), records.end());
}

void WorkQueue::clearResumeList() {
  MutexLock lock(m_mutex);
  m_resume.clear();
}

void WorkQueue::shutdown() {
  std::vector<std::unique_ptr<WorkerThread>> threads;
  {
    MutexLock lock(m_mutex);
    m_pending.clear();
    m_stopped = true;
    m_changed.notify_all();
    threads.swap(m_threads);
  }
  // Workers waiting on the network see the cancelled flag within a moment.
  m_owner.cancelled = true;
  for (auto& worker : threads) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

}  // namespace sg
