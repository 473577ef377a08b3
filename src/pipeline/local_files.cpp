#include "pipeline/local_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "engine/download_controller.h"
#include "engine/link_record.h"
#include "pipeline/placeholder.h"
#include "platform/platform_error.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

constexpr const char* kTemporarySuffix = "~.tmp";
// A writer that is just finishing can rename or delete the temporary file
// between our open and our lock; we then start again on the new file. Two
// rounds nearly always suffice; the bound only keeps a pathological race
// from spinning.
constexpr int kOpenRounds = 8;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

LocalCopy::LocalCopy(int fd) : m_fd(fd) {}

LocalCopy::~LocalCopy() {
  if (m_fd >= 0) ::close(m_fd);
}

size_t LocalCopy::read(char* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(m_fd, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    // Treating a read error as the end would let a truncated copy pass for
    // a complete one.
    throw PlatformError(kErrorInternal, std::error_code(errno, std::generic_category()).message());
  }
}

std::unique_ptr<BodySource> openLocalCopy(LinkRecord& link) {
  const DownloadController* download = link.controller();
  if (download == nullptr || !download->settings.ignoreSavedFiles) return nullptr;
  std::string file = link.localFile();
  if (file.empty()) return nullptr;

  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto copy = std::make_unique<LocalCopy>(fd);

  // A directory of that name (the URL /a beside /a/b) opens too. A
  // placeholder says why there is no copy; it is never one.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || isPlaceholderFile(file)) return nullptr;
  char first = 0;
  ssize_t n;
  do {
    n = ::read(fd, &first, 1);
  } while (n < 0 && errno == EINTR);
  if (n < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return nullptr;

  // The record is changed only once the copy is known to be readable.
  uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  link.size = fileSize;
  link.lastModified = fileTimeFromUnix(st.st_mtim);
  link.information = strprintf(text::kReadLocalFile, file.c_str());
  // A style sheet is known by its name; reading a copy writes nothing, so
  // anything else that begins with "<" may as well be searched as a page.
  if (link.localName().ends_with(".css")) {
    link.contentKind = ContentKind::Stylesheet;
  } else if (n == 1 && first == '<') {
    link.contentKind = ContentKind::Html;
    link.mimeType = text::kHtmlFileType;
  } else {
    link.contentKind = ContentKind::Other;
  }
  link.localSource = true;
  return copy;
}

TempOutputFile::~TempOutputFile() { discard(); }

bool TempOutputFile::open(const std::string& target) {
  discard();
  m_target = target;
  m_temporary = target + kTemporarySuffix;
  m_error = 0;

  for (int round = 0; round < kOpenRounds; ++round) {
    // O_NOFOLLOW: the file we write must be the one that is renamed, not
    // whatever a symbolic link of that name points at.
    int fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      if (errno == EINTR) continue;
      m_error = errno;
      return false;
    }
    // Two links can map to one local file. The lock keeps a second writer
    // out; it is held until the temporary file is renamed or deleted, and
    // only a holder of the lock renames or deletes it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      m_error = errno;
      ::close(fd);
      return false;
    }
    // We may have locked a file that its writer renamed over the target or
    // deleted after our open; it must not be touched then.
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) != 0) {
      m_error = errno;
      ::close(fd);
      return false;
    }
    if (::lstat(m_temporary.c_str(), &named) != 0 || !sameFile(opened, named)) {
      ::close(fd);
      continue;
    }
    if (!S_ISREG(opened.st_mode)) {
      m_error = EINVAL;
      ::close(fd);
      return false;
    }
    // A leftover of a crashed run is reused from its start. The duplicate
    // descriptor holds the lock while commit() closes the writing one.
    int lockFd = -1;
    // Truncating a new, empty file would still make the file system flush
    // it early on close, so only a leftover is truncated.
    if ((opened.st_size != 0 && ::ftruncate(fd, 0) != 0) || (lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0)) < 0) {
      m_error = errno;
      ::unlink(m_temporary.c_str());
      ::close(fd);
      return false;
    }
    m_fd = fd;
    m_lockFd = lockFd;
    return true;
  }
  m_error = EAGAIN;
  return false;
}

bool TempOutputFile::write(const char* data, size_t size) {
  if (m_fd < 0 || m_error != 0) {
    if (m_error == 0) m_error = EBADF;
    return false;
  }
  while (size > 0) {
    ssize_t n = ::write(m_fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      m_error = errno;
      return false;
    }
    if (n == 0) {
      m_error = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool TempOutputFile::commit(bool success, FileTime fileTime) {
  if (m_lockFd < 0) return false;
  bool ok = success && m_error == 0;
  if (ok) {
    // Closing the writing descriptor is where a network file system reports
    // delayed write errors; the duplicate keeps the lock meanwhile.
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
      ok = false;
      m_error = errno;
    }
  }
  // The times are set before the rename, so that a failure to set them
  // still leaves the earlier target as it was.
  if (ok && fileTime != 0) {
    timespec ts = unixFromFileTime(fileTime);
    const timespec times[2] = {ts, ts};
    if (::futimens(m_lockFd, times) != 0) {
      ok = false;
      m_error = errno;
    }
  }
  if (ok && ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    ok = false;
    m_error = errno;
  }
  if (!ok) {
    discard();
    return false;
  }
  ::close(m_lockFd);
  m_lockFd = -1;
  return true;
}

void TempOutputFile::discard() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  if (m_lockFd >= 0) {
    // Deleted while the lock is still held, so no other writer is using
    // the file under that name.
    ::unlink(m_temporary.c_str());
    ::close(m_lockFd);
    m_lockFd = -1;
  }
}

std::unique_ptr<TempOutputFile> openOutput(LinkRecord& link, bool* failed) {
  if (failed != nullptr) *failed = false;
  if (link.localSource) return nullptr;
  const DownloadController* download = link.controller();
  if (download == nullptr) return nullptr;
  const CrawlSettings& settings = download->settings;
  if (!settings.saveFiles) return nullptr;
  if (!settings.saveAll && settings.saveFileTypes.find(link.mimeType) == std::string::npos) return nullptr;
  std::string file = link.localFile();
  if (file.empty()) return nullptr;

  DirectoriesBelow directories = makeDirectoriesBelow(settings.saveDirectory, file);
  if (directories == DirectoriesBelow::Created) {
    logMessage(strprintf(text::kCreatedDirectory, file.c_str()), LogKind::Information);
  }
  auto output = std::make_unique<TempOutputFile>();
  if (directories == DirectoriesBelow::Refused || !output->open(file)) {
    logMessage(strprintf(text::kFailedToOpenOutput, file.c_str()), LogKind::Outcome);
    if (failed != nullptr) *failed = true;
    return nullptr;
  }
  return output;
}

bool copySavedFile(const std::string& base, const std::string& from, const std::string& to, FileTime fileTime) {
  if (makeDirectoriesBelow(base, to) == DirectoriesBelow::Refused) return false;
  int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  LocalCopy source(fd);
  TempOutputFile output;
  if (!output.open(to)) return false;
  char block[65536];
  try {
    while (size_t n = source.read(block, sizeof block)) {
      if (!output.write(block, n)) return false;
    }
  } catch (const PlatformError&) {
    return false;
  }
  return output.commit(true, fileTime);
}

DirectoriesBelow makeDirectoriesBelow(const std::string& base, const std::string& path) {
  bool created = false;
  std::string root = base;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0 || path[root.size()] != '/') {
    return DirectoriesBelow::Refused;
  }
  struct stat st {};
  // The save directory itself is the user's choice, link or not.
  if (::stat(root.c_str(), &st) != 0) {
    if (errno != ENOENT) return DirectoriesBelow::Refused;
    createPathDirectories(root + "/");
    if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return DirectoriesBelow::Refused;
    created = true;
  } else if (!S_ISDIR(st.st_mode)) {
    return DirectoriesBelow::Refused;
  }
  size_t last = path.rfind('/');
  std::string walk = root;
  for (size_t pos = root.size(); pos < last;) {
    size_t next = path.find('/', pos + 1);
    if (next == std::string::npos || next > last) next = last;
    walk.assign(path, 0, next);
    pos = next;
    if (::lstat(walk.c_str(), &st) == 0) {
      // A link, or a file in the way.
      if (!S_ISDIR(st.st_mode)) return DirectoriesBelow::Refused;
      continue;
    }
    if (errno != ENOENT) return DirectoriesBelow::Refused;
    if (::mkdir(walk.c_str(), 0755) == 0) {
      created = true;
    } else if (errno != EEXIST || ::lstat(walk.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return DirectoriesBelow::Refused;
    }
  }
  return created ? DirectoriesBelow::Created : DirectoriesBelow::Present;
}

bool createPathDirectories(const std::string& path) {
  size_t last = path.rfind('/');
  if (last == std::string::npos || last == 0) return false;
  std::string walk = path.substr(0, last);
  // Most files go into a directory that an earlier file created.
  struct stat st {};
  if (::stat(walk.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;

  bool created = false;
  for (size_t pos = walk.find('/', 1); pos != std::string::npos; pos = walk.find('/', pos + 1)) {
    walk[pos] = '\0';
    if (::mkdir(walk.c_str(), 0755) == 0) created = true;
    walk[pos] = '/';
  }
  if (::mkdir(walk.c_str(), 0755) == 0) created = true;
  return created;
}

}  // namespace sg
