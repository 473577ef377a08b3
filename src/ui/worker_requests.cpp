#include "ui/worker_requests.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <chrono>
#include <condition_variable>

#include "util/mutex.h"

namespace sg {

namespace {

struct RequestState {
  Mutex mutex;
  std::condition_variable changed;
  bool finished SG_GUARDED_BY(mutex) = false;
  bool abandoned SG_GUARDED_BY(mutex) = false;
  QPointer<QDialog> dialog;  // GUI thread only
};

void rejectDialogOf(const std::shared_ptr<RequestState>& state) {
  // The window may be gone already; the application outlives every request.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [state] { if (state->dialog) state->dialog->reject(); }, Qt::QueuedConnection);
}

}  // namespace

WorkerRequests::WorkerRequests(QObject* parent)
    : QObject(parent), m_closed(std::make_shared<std::atomic<bool>>(false)) {}

WorkerRequests::~WorkerRequests() { close(); }

void WorkerRequests::close() { m_closed->store(true); }

bool WorkerRequests::run(std::function<QDialog*(Finish finish)> begin, const std::atomic<bool>* cancel) {
  std::shared_ptr<std::atomic<bool>> closed = m_closed;
  auto givenUp = [&] { return closed->load() || (cancel != nullptr && cancel->load()); };
  if (givenUp()) return false;
  auto state = std::make_shared<RequestState>();
  Finish finish = [state] {
    MutexLock lock(state->mutex);
    state->finished = true;
    state->changed.notify_all();
  };

  if (QThread::currentThread() == thread()) {
    // Asked on the GUI thread itself: wait in a local event loop instead.
    // The loop is shared with the dialog, which may outlive this call when
    // the application quits meanwhile.
    auto loop = std::make_shared<QEventLoop>();
    begin([finish, loop] {
      finish();
      loop->quit();
    });
    MutexLock lock(state->mutex);
    if (!state->finished) {
      lock.unlock();
      loop->exec();
      lock.lock();
    }
    return state->finished;
  }

  // Posted to this object: should it go before the request runs, Qt drops
  // the request and the worker gives up through the closed flag.
  QMetaObject::invokeMethod(
      this,
      [state, closed, begin = std::move(begin), finish] {
        {
          MutexLock lock(state->mutex);
          if (state->abandoned || closed->load()) return;
        }
        state->dialog = begin(finish);
        bool abandoned = false;
        {
          MutexLock lock(state->mutex);
          abandoned = state->abandoned;
        }
        // Closing the dialog finishes the request, which takes the lock.
        if (abandoned && state->dialog) state->dialog->reject();
      },
      Qt::QueuedConnection);

  MutexLock lock(state->mutex);
  while (!state->finished) {
    if (givenUp()) {
      state->abandoned = true;
      lock.unlock();
      rejectDialogOf(state);
      return false;
    }
    lock.waitUntil(state->changed, std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs));
  }
  return true;
}

}  // namespace sg
