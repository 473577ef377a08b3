// Lets a worker thread ask the user something: the request runs on the GUI
// thread, where it may open a dialog, while the worker waits for the
// answer. The GUI thread is never blocked: a dialog is opened with open(),
// not exec(), and the worker alone waits.
//
// The wait ends without an answer once the download is cancelled (which
// WorkQueue::shutdown() does before it joins the workers) or once this
// object is closed or destroyed; a dialog still open then is rejected. So a
// window that closes never waits for a worker that waits for the window.
//
// run() may be called from any thread; the object itself lives on the GUI
// thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

class QDialog;

namespace sg {

class WorkerRequests : public QObject {
  Q_OBJECT

 public:
  explicit WorkerRequests(QObject* parent = nullptr);
  ~WorkerRequests() override;

  // Called once the answer is in place; may be called from the GUI thread
  // at any time, also after the worker stopped waiting.
  using Finish = std::function<void()>;
  // begin runs on the GUI thread: it finishes at once, or opens a dialog,
  // returns it and finishes when the dialog closes. True when finished;
  // false when the wait was given up (cancel set, or closed). An answer
  // must be written where the worker can still read it after giving up
  // (a shared_ptr held by the request), and read only after a true.
  bool run(std::function<QDialog*(Finish finish)> begin, const std::atomic<bool>* cancel);

  // Every waiting and later request is answered "no".
  void close();

  // How often a waiting worker looks at the cancel flag.
  static constexpr int kPollMs = 50;

 private:
  std::shared_ptr<std::atomic<bool>> m_closed;
};

}  // namespace sg
