#include "pipeline/placeholder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "engine/download_controller.h"
#include "pipeline/link_rewriter.h"
#include "pipeline/local_files.h"
#include "util/file_io.h"
#include "util/log.h"
#include "util/string_utils.h"
#include "util/texts.h"
#include "util/url_ops.h"

namespace sg {

namespace {

// The fixed lines before the date: what marks a file as one of our pages.
std::string_view placeholderHead() {
  static const std::string_view head = [] {
    std::string_view page(text::kPlaceholderPage);
    constexpr std::string_view kEnd = "</TITLE>\n";
    return page.substr(0, page.find(kEnd) + kEnd.size());
  }();
  return head;
}

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// May a placeholder be written at path? Not over a saved copy, nor over
// anything that is not a plain file.
bool placeholderMayReplace(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode) && isPlaceholderFile(path);
}

}  // namespace

std::string placeholderPage(std::string_view date, std::string_view reason, std::string_view url,
                            std::string_view localTarget) {
  std::string escapedUrl = htmlEscape(url);
  std::string href = localTarget.empty() ? escapedUrl : htmlEscape(localTarget);
  std::string page = strprintf(text::kPlaceholderPage, htmlEscape(date).c_str(), htmlEscape(reason).c_str(),
                               href.c_str(), escapedUrl.c_str());
  if (!localTarget.empty()) {
    // After the marking lines, so that the page is still known as ours.
    page.insert(page.find("</HEAD>"), "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL=" + href + "\">\n");
  }
  return page;
}

std::string placeholderDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  size_t n = std::strftime(buffer, sizeof buffer, text::kPlaceholderDateFormat, &local);
  return std::string(buffer, n);
}

bool writePlaceholderFile(const std::string& path, std::string_view reason, std::string_view url,
                          const std::string& base, std::string_view localTarget) {
  if (path.empty() || !placeholderMayReplace(path)) return false;
  // Even a link into a directory that holds nothing yet must lead somewhere.
  if (!base.empty()) {
    if (makeDirectoriesBelow(base, path) == DirectoriesBelow::Refused) return false;
  } else {
    createPathDirectories(path);
  }
  AtomicFile output;
  if (!output.openLocked(path, kSavedCopySuffix)) return false;
  // Asked again under the lock: a body saved meanwhile by another worker
  // was committed before we got it, and must stay.
  if (!placeholderMayReplace(path)) return false;
  return output.write(placeholderPage(placeholderDate(), reason, url, localTarget)) && output.commit();
}

bool writeDownloadPlaceholder(DownloadController& controller, const std::string& path, std::string_view reason,
                              std::string_view url, const std::string& targetFile) {
  const CrawlSettings& s = controller.settings;
  if (!s.saveFiles || path.empty()) return false;
  // A place is taken before writing and given back when nothing was
  // written, so that workers together never pass the limit.
  const int taken = controller.placeholdersWritten.fetch_add(1);
  std::string target;
  if (!targetFile.empty()) {
    target = targetFile;
    makeRelativePath(path, target, false);
    target = fileReference(target);
  }
  if (taken >= s.maxPlaceholders || !writePlaceholderFile(path, reason, url, s.saveDirectory, target)) {
    controller.placeholdersWritten.fetch_sub(1);
    return false;
  }
  if (taken + 1 == s.maxPlaceholders) logMessage(strprintf(text::kPlaceholderLimitReached, s.maxPlaceholders));
  return true;
}

bool isPlaceholderFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  std::string_view head = placeholderHead();
  // Room for the CR LF line ends of pages left by a Windows copy.
  std::string start(head.size() + 8, '\0');
  start.resize(std::max<ssize_t>(readUpTo(fd.get(), start.data(), start.size()), 0));
  std::erase(start, '\r');
  return start.starts_with(head);
}

bool isSavedCopy(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !isPlaceholderFile(path);
}

namespace {

std::string lowerExtension(std::string_view localName) {
  size_t slash = localName.rfind('/');
  if (slash != std::string_view::npos) localName.remove_prefix(slash + 1);
  size_t dot = localName.rfind('.');
  return dot == std::string_view::npos ? std::string() : toLowerAscii(localName.substr(dot));
}

}  // namespace

bool namesNonPage(std::string_view localName) {
  static constexpr std::string_view kNonPage[] = {
      ".gif",  ".jpg",  ".jpeg", ".png", ".webp", ".avif", ".svg",  ".ico",  ".bmp", ".tif", ".tiff",
      ".css",  ".js",   ".mjs",  ".json", ".map", ".woff", ".woff2", ".ttf", ".otf", ".eot",  ".mp3",
      ".mp4",  ".m4a",  ".wav",  ".ogg", ".oga",  ".ogv",  ".webm", ".avi",  ".mov", ".mpg", ".mpeg",
      ".mid",  ".midi", ".flac", ".zip", ".gz",   ".tgz",  ".bz2",  ".xz",   ".7z",  ".rar", ".tar",
      ".pdf",  ".exe",  ".dmg",  ".iso", ".deb",  ".rpm",  ".apk",  ".bin",  ".txt", ".csv", ".xml"};
  std::string extension = lowerExtension(localName);
  for (std::string_view known : kNonPage) {
    if (extension == known) return true;
  }
  return false;
}

bool looksLikePage(std::string_view localName) {
  std::string extension = lowerExtension(localName);
  return extension.empty() || extension == ".html" || extension == ".htm";
}

}  // namespace sg
