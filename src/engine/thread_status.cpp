#include "engine/thread_status.h"

#include "util/string_utils.h"

namespace sg {

namespace {
thread_local unsigned t_slot = 0;
}  // namespace

void ThreadStatusTable::setThreadLine(unsigned slot, std::string_view text) {
  MutexLock lock(m_mutex);
  if (text.empty()) {
    m_lines.erase(slot);
  } else {
    m_lines[slot] = strprintf("%u: %.*s", slot + 1, static_cast<int>(text.size()), text.data());
  }
  m_changed = true;
}

bool ThreadStatusTable::collectThreadLines(std::vector<std::string>& lines) {
  MutexLock lock(m_mutex);
  if (!m_changed) return false;
  if (m_lines.empty()) return true;
  for (const auto& [slot, line] : m_lines) {
    if (lines.size() <= slot) lines.resize(slot + 1);
    lines[slot] = line;
  }
  m_changed = false;
  return true;
}

void ThreadStatusTable::clear() {
  MutexLock lock(m_mutex);
  m_lines.clear();
  m_changed = true;
}

ThreadStatusTable& threadStatusTable() {
  static ThreadStatusTable table;
  return table;
}

void setCurrentThreadSlot(unsigned slot) { t_slot = slot; }
unsigned currentThreadSlot() { return t_slot; }

void setThreadStatus(std::string_view text) { threadStatusTable().setThreadLine(t_slot, text); }

}  // namespace sg
