#include "util/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "util/file_io.h"
#include "util/mutex.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

// The log file, shared by every thread. The lock keeps a line from being
// written to a stream that another thread is closing; each line is one
// fprintf call, so lines of different threads never mix.
struct LogFile {
  Mutex mutex;
  FILE* file SG_GUARDED_BY(mutex) = nullptr;
};

LogFile& logFile() {
  static LogFile instance;
  return instance;
}

std::string timeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[128];
  // The locale's own date and time representations.
  size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

}  // namespace

void LogQueue::push(std::string text) {
  MutexLock lock(m_mutex);
  m_lines.push_back(std::move(text));
}

size_t LogQueue::size() const {
  MutexLock lock(m_mutex);
  return m_lines.size();
}

bool LogQueue::takeOldest(std::string& out) {
  MutexLock lock(m_mutex);
  if (m_lines.empty()) return false;
  out = std::move(m_lines.front());
  m_lines.pop_front();
  return true;
}

void LogQueue::drain(std::vector<std::string>& out) {
  MutexLock lock(m_mutex);
  for (auto& line : m_lines) out.push_back(std::move(line));
  m_lines.clear();
}

void LogQueue::clear() {
  MutexLock lock(m_mutex);
  m_lines.clear();
}

LogQueue& logQueue() {
  static LogQueue instance;
  return instance;
}

void logMessage(std::string_view raw, LogKind) {
  // URLs and titles come from servers: a line feed in one would forge a
  // line of the log, in the file and in the pane.
  const std::string text = blankControls(raw);
  logQueue().push(text);
  if (text.empty()) return;
  LogFile& log = logFile();
  MutexLock lock(log.mutex);
  if (log.file == nullptr) return;
  std::string stamp = timeStamp();
  std::fprintf(log.file, "%s: %.*s\n", stamp.c_str(), static_cast<int>(text.size()), text.data());
  std::fflush(log.file);
}

bool openLogFile(const std::string& path) {
  std::string name = path.empty() ? std::string(text::kProductName) + ".log" : path;
  closeLogFile();
  // The log names every URL of a crawl, credentials of a site among them
  // at times: a new log is for its owner only.
  UniqueFd fd(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
  struct stat info {};
  FILE* file = nullptr;
  if (fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)) {
    // Non-blocking only so that a FIFO is refused at the open, not waited on.
    ::fcntl(fd.get(), F_SETFL, O_APPEND);
    file = ::fdopen(fd.get(), "a");
    if (file != nullptr) fd.release();  // the stream closes it now
  }
  if (file == nullptr) {
    logMessage(strprintf(text::kLogOpenFailed, name.c_str()));
    return false;
  }
  LogFile& log = logFile();
  MutexLock lock(log.mutex);
  log.file = file;
  return true;
}

void closeLogFile() {
  LogFile& log = logFile();
  MutexLock lock(log.mutex);
  if (log.file == nullptr) return;
  std::fflush(log.file);
  std::fclose(log.file);
  log.file = nullptr;
}

bool logFileIsOpen() {
  LogFile& log = logFile();
  MutexLock lock(log.mutex);
  return log.file != nullptr;
}

}  // namespace sg
