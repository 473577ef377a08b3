// What each worker is doing, one line per worker slot, for the thread pane.
// Process-wide; any thread may write, the front end collects.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "util/mutex.h"

namespace sg {

class ThreadStatusTable {
 public:
  // An empty text removes the slot's line; any other becomes "<slot+1>: text".
  void setThreadLine(unsigned slot, std::string_view text);
  // True when anything changed since the last collection; lines then holds
  // one element per slot up to the highest with a line ("" between).
  bool collectThreadLines(std::vector<std::string>& lines);
  void clear();

 private:
  Mutex m_mutex;
  std::map<unsigned, std::string> m_lines SG_GUARDED_BY(m_mutex);
  bool m_changed SG_GUARDED_BY(m_mutex) = false;
};

ThreadStatusTable& threadStatusTable();

// The worker slot of the calling thread; 0 on threads that never set one.
void setCurrentThreadSlot(unsigned slot);
unsigned currentThreadSlot();

// Sets the calling worker's line in the thread status table.
void setThreadStatus(std::string_view text);

}  // namespace sg
