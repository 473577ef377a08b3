#include "util/file_io.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace sg {

namespace {

// A writer that is just finishing can rename or remove a locked temporary
// file between our open and our lock; we then start again on the new file.
// Two rounds nearly always suffice; the bound only keeps a pathological
// race from spinning.
constexpr int kOpenRounds = 8;

FileSystem g_systemFileSystem;
std::atomic<FileSystem*> g_fileSystem{&g_systemFileSystem};

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// mkostemp makes its file 0600 whatever the umask; the mode wanted is
// given afterwards as open() would have. The umask is read from /proc,
// since setting it to learn it would change the mode of files that other
// threads create meanwhile.
mode_t currentUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
}

int UniqueFd::close() {
  int fd = release();
  if (fd < 0) return EBADF;
  // Linux frees the descriptor even when close fails, so it is never
  // closed again.
  return fileSystem().close(fd) == 0 ? 0 : errno;
}

int FileSystem::open(const std::string& path, int flags, mode_t mode) { return ::open(path.c_str(), flags, mode); }

int FileSystem::createUnique(std::string& pathTemplate) { return ::mkostemp(pathTemplate.data(), O_CLOEXEC); }

ssize_t FileSystem::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

int FileSystem::fsync(int fd) { return ::fsync(fd); }

int FileSystem::close(int fd) { return ::close(fd); }

int FileSystem::rename(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

FileSystem& fileSystem() { return *g_fileSystem.load(); }

FileSystem* setFileSystem(FileSystem* fs) { return g_fileSystem.exchange(fs != nullptr ? fs : &g_systemFileSystem); }

ssize_t readUpTo(int fd, char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool writeAll(int fd, std::string_view data) {
  FileSystem& fs = fileSystem();
  while (!data.empty()) {
    ssize_t n = fs.write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool AtomicFile::fail(Step step, int error) {
  m_step = step;
  m_error = error;
  discard();
  return false;
}

bool AtomicFile::create(const std::string& target, mode_t mode, bool sync) {
  discard();
  m_target = target;
  m_temporary = target + "~XXXXXX";
  m_sync = sync;
  m_error = 0;
  m_step = Step::None;
  UniqueFd fd(fileSystem().createUnique(m_temporary));
  if (!fd) {
    m_temporary.clear();
    return fail(Step::Create, errno);
  }
  m_hold = UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
  m_fd = std::move(fd);
  if (!m_hold || ::fchmod(m_fd.get(), mode & ~currentUmask()) != 0) return fail(Step::Create, errno);
  return true;
}

bool AtomicFile::openLocked(const std::string& target, std::string_view suffix) {
  discard();
  m_target = target;
  m_temporary = target + std::string(suffix);
  m_sync = false;
  m_error = 0;
  m_step = Step::None;
  const std::string temporary = m_temporary;
  // Only a holder of the lock removes the file: until it is ours, a
  // failure leaves it to its writer.
  m_temporary.clear();

  for (int round = 0; round < kOpenRounds; ++round) {
    // O_NOFOLLOW: the file we write must be the one that is renamed, not
    // whatever a symbolic link of that name points at.
    UniqueFd fd(fileSystem().open(temporary, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) {
      if (errno == EINTR) continue;
      return fail(Step::Create, errno);
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return fail(Step::Create, errno);
    // We may have locked a file that its writer renamed over the target or
    // removed after our open; it must not be touched then.
    struct stat opened {
    }, named{};
    if (::fstat(fd.get(), &opened) != 0) return fail(Step::Create, errno);
    if (::lstat(temporary.c_str(), &named) != 0 || !sameFile(opened, named)) continue;
    if (!S_ISREG(opened.st_mode)) return fail(Step::Create, EINVAL);
    m_temporary = temporary;
    // A leftover of a crashed run is reused from its start. Truncating a
    // new, empty file would still make the file system flush it early on
    // close, so only a leftover is truncated.
    if (opened.st_size != 0 && ::ftruncate(fd.get(), 0) != 0) return fail(Step::Create, errno);
    m_hold = UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!m_hold) return fail(Step::Create, errno);
    m_fd = std::move(fd);
    return true;
  }
  return fail(Step::Create, EAGAIN);
}

bool AtomicFile::write(std::string_view data) {
  if (!m_fd || m_error != 0) {
    if (m_error == 0) m_error = EBADF;
    return false;
  }
  if (!writeAll(m_fd.get(), data)) {
    m_step = Step::Write;
    m_error = errno;
    return false;
  }
  return true;
}

bool AtomicFile::commit(FileTime fileTime) {
  if (!m_fd || m_error != 0) {
    discard();
    return false;
  }
  if (m_sync && fileSystem().fsync(m_fd.get()) != 0) return fail(Step::Write, errno);
  // Closing the writing descriptor is where a network file system reports
  // delayed write errors; the duplicate keeps the file (and its lock).
  if (int error = m_fd.close()) return fail(Step::Write, error);
  // The times are set after the close, which may change them, and before
  // the rename, so that a failure to set them still leaves the earlier
  // target as it was.
  if (fileTime != 0) {
    timespec ts = unixFromFileTime(fileTime);
    const timespec times[2] = {ts, ts};
    if (::futimens(m_hold.get(), times) != 0) return fail(Step::Write, errno);
  }
  if (fileSystem().rename(m_temporary, m_target) != 0) return fail(Step::Replace, errno);
  m_temporary.clear();
  m_hold.reset();
  return true;
}

void AtomicFile::discard() {
  m_fd.reset();
  // Removed while the lock is still held, so no other writer is using the
  // file under that name.
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  m_hold.reset();
}

}  // namespace sg
