#include "pipeline/local_files.h"

#include <fcntl.h>
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

size_t LocalCopy::read(char* buffer, size_t size) {
  ssize_t n = readUpTo(m_fd.get(), buffer, size);
  // Treating a read error as the end would let a truncated copy pass for
  // a complete one.
  if (n < 0) throw PlatformError(kErrorInternal, std::error_code(errno, std::generic_category()).message());
  return static_cast<size_t>(n);
}

std::unique_ptr<BodySource> openLocalCopy(LinkRecord& link) {
  const DownloadController* download = link.controller();
  if (download == nullptr || !download->settings.ignoreSavedFiles) return nullptr;
  std::string file = link.localFile();
  if (file.empty()) return nullptr;

  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return nullptr;

  // A directory of that name (the URL /a beside /a/b) opens too. A
  // placeholder says why there is no copy; it is never one.
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || isPlaceholderFile(file)) return nullptr;
  char first = 0;
  ssize_t n = readUpTo(fd.get(), &first, 1);
  if (n < 0 || ::lseek(fd.get(), 0, SEEK_SET) != 0) return nullptr;

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
  return std::make_unique<LocalCopy>(std::move(fd));
}

std::unique_ptr<AtomicFile> openOutput(LinkRecord& link, bool* failed) {
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
  auto output = std::make_unique<AtomicFile>();
  if (directories == DirectoriesBelow::Refused || !output->openLocked(file, kSavedCopySuffix)) {
    logMessage(strprintf(text::kFailedToOpenOutput, file.c_str()), LogKind::Outcome);
    if (failed != nullptr) *failed = true;
    return nullptr;
  }
  return output;
}

bool copySavedFile(const std::string& base, const std::string& from, const std::string& to, FileTime fileTime) {
  if (makeDirectoriesBelow(base, to) == DirectoriesBelow::Refused) return false;
  UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source) return false;
  AtomicFile output;
  if (!output.openLocked(to, kSavedCopySuffix)) return false;
  char block[65536];
  for (;;) {
    ssize_t n = readUpTo(source.get(), block, sizeof block);
    if (n < 0) return false;
    if (n == 0) break;
    if (!output.write(std::string_view(block, static_cast<size_t>(n)))) return false;
  }
  return output.commit(fileTime);
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
