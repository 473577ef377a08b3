// The one way any thread reports an event: logMessage() queues the text for
// the log pane (or the console) and appends it, time-stamped, to the log
// file when one is open. Thread-safe.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "util/mutex.h"

namespace sg {

enum class LogKind : int {
  Outcome = 0,      // errors and outcomes
  Information = 1,  // "Read file in ...", directories created, limits met while reading
};

void logMessage(std::string_view text, LogKind kind = LogKind::Outcome);

// Process-wide queue of log lines, appended by any thread and drained by the
// front end. Thread-safe; every operation holds the queue's own lock.
class LogQueue {
 public:
  void push(std::string text);
  size_t size() const;
  // Removes the oldest line into out; false when the queue is empty.
  bool takeOldest(std::string& out);
  // Moves every queued line, oldest first, to the end of out.
  void drain(std::vector<std::string>& out);
  void clear();

 private:
  mutable Mutex m_mutex;
  std::deque<std::string> m_lines SG_GUARDED_BY(m_mutex);
};

LogQueue& logQueue();

// (Re)opens the log file for appending; an empty path means "Sitegleaner.log"
// in the current directory. On failure the reason goes to the log queue and
// the answer is false.
bool openLogFile(const std::string& path);
void closeLogFile();
bool logFileIsOpen();

}  // namespace sg
