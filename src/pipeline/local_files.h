// The saved copies of links: reopening one instead of downloading again,
// and writing a body so that a failed or interrupted download never damages
// an earlier copy (the body goes to "<target>~.tmp", which replaces the
// target only when everything was written).
#pragma once

#include <memory>
#include <string>

#include "pipeline/body_source.h"
#include "util/clock.h"
#include "util/file_io.h"

namespace sg {

class LinkRecord;

// The saved copy of a link, read as its body.
class LocalCopy : public BodySource {
 public:
  explicit LocalCopy(UniqueFd fd) : m_fd(std::move(fd)) {}
  size_t read(char* buffer, size_t size) override;

 private:
  UniqueFd m_fd;
};

// Opens the link's saved copy when `Ignore Saved Files` is set and the file
// exists and is no placeholder. Sets the link's size, last modified, information ("Read local
// file %s"), content kind ("<" first: HTML, MIME type "HTML File"; else
// other) and local source flag. Null when nothing was opened.
std::unique_ptr<BodySource> openLocalCopy(LinkRecord& link);

// The temporary name of a saved copy beside its target, opened with
// AtomicFile::openLocked: two links can map to one local file, and the lock
// keeps the second writer out.
inline constexpr std::string_view kSavedCopySuffix = "~.tmp";

// Opens the output for the link's body, or null when nothing is to be
// saved: a local source, `Save Files` clear, a type outside `Save File
// Types` (unless `Save All`), or no local file. Creates the directories
// ("Created directory for file %s", information kind) and reports a failed
// open ("Failed to open output file %s."), setting failed when given. The
// directories below `Save Directory` are never passed through a symbolic
// link, so no file is written outside it.
std::unique_ptr<AtomicFile> openOutput(LinkRecord& link, bool* failed = nullptr);

// Copies the saved file from onto to (below base, with the file time),
// replacing what is there the way a body is saved. True when done.
bool copySavedFile(const std::string& base, const std::string& from, const std::string& to, FileTime fileTime);

// Creates every directory named in path (not its last component); true
// when at least one was created.
bool createPathDirectories(const std::string& path);

// The same for a path below base, component by component: Refused when a
// component below base is a symbolic link or not a directory (or cannot be
// made), so that nothing is ever written outside base through a link.
// base itself may be a link.
enum class DirectoriesBelow { Refused, Present, Created };
DirectoriesBelow makeDirectoriesBelow(const std::string& base, const std::string& path);

}  // namespace sg
