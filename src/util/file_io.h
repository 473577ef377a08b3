// Descriptors, reads and writes that survive signals, and files that replace
// their target only once they are whole. Every file the program writes by
// hand goes through here, and through FileSystem, so that a test can make a
// write, a close or a rename fail in-process.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "util/clock.h"

namespace sg {

// Owns a file descriptor and closes it when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  int release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  // Closes the descriptor held (its error is lost) and holds fd instead.
  void reset(int fd = -1);
  // Closes through the file system, for a caller that must know whether
  // the data reached it (a network file system reports late write errors
  // here). 0, or the errno.
  int close();

 private:
  int m_fd = -1;
};

// The calls that create and write files. The default instance makes the
// system calls; a test puts another in place to fail one of them.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual int open(const std::string& path, int flags, mode_t mode);
  // mkostemp with O_CLOEXEC: pathTemplate ends in "XXXXXX", which is
  // replaced by the name made.
  virtual int createUnique(std::string& pathTemplate);
  virtual ssize_t write(int fd, const void* data, size_t size);
  virtual int fsync(int fd);
  virtual int close(int fd);
  virtual int rename(const std::string& from, const std::string& to);
};

// The file system in use: the system's, unless a test set another.
FileSystem& fileSystem();
// Puts fs in use (nullptr: the system's again); gives back the one before.
// Only while no file is being written.
FileSystem* setFileSystem(FileSystem* fs);

// Reads until size bytes or the end of the file. The count read, or -1
// with errno set.
ssize_t readUpTo(int fd, char* buffer, size_t size);
// Writes all of data through fileSystem(). False with errno set when a
// write failed.
bool writeAll(int fd, std::string_view data);

// A file written under a temporary name beside its target and renamed over
// it by commit(), so that nobody sees it half written. On any failure, and
// when it goes uncommitted, the target stays as it was and the temporary
// file is removed.
class AtomicFile {
 public:
  // Where a failure happened, for messages that name the step.
  enum class Step { None, Create, Write, Replace };

  AtomicFile() = default;
  ~AtomicFile() { discard(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates a new file of a name nobody uses ("<target>~" and six
  // characters) with mode less the umask. With sync the data is flushed
  // to the disk before the rename: for a file whose earlier copy matters
  // more than the speed of writing it.
  bool create(const std::string& target, mode_t mode, bool sync = false);
  // Opens "<target><suffix>" (mode 0644 less the umask), a name known in
  // advance, taking over a leftover of a crashed run. A lock held until
  // the file is renamed or removed keeps a second writer of the same
  // target out: open fails while another writer holds it.
  bool openLocked(const std::string& target, std::string_view suffix);

  // False once any write failed (disk full, file too large); later writes
  // are ignored.
  bool write(std::string_view data);
  // Closes the file, gives it the file time (when not 0) and renames it
  // over the target. True only when the target now holds everything
  // written; else as discard().
  bool commit(FileTime fileTime = 0);
  // Closes and removes the temporary file, if one is open.
  void discard();

  const std::string& target() const { return m_target; }
  // The errno of the first failure, 0 when none, and its step.
  int error() const { return m_error; }
  Step failedStep() const { return m_step; }

 private:
  bool fail(Step step, int error);

  std::string m_target;
  std::string m_temporary;
  UniqueFd m_fd;    // written to; closed first by commit()
  UniqueFd m_hold;  // the same open file, kept until renamed or removed
  bool m_sync = false;
  int m_error = 0;
  Step m_step = Step::None;
};

}  // namespace sg
