// The saved copies of links: reopening one instead of downloading again,
// and writing a body so that a failed or interrupted download never damages
// an earlier copy (the body goes to "<target>~.tmp", which replaces the
// target only when everything was written).
#pragma once

#include <memory>
#include <string>

#include "pipeline/body_source.h"
#include "util/clock.h"

namespace sg {

class LinkRecord;

// The saved copy of a link, read as its body.
class LocalCopy : public BodySource {
 public:
  explicit LocalCopy(int fd);
  ~LocalCopy() override;
  size_t read(char* buffer, size_t size) override;

 private:
  int m_fd;
};

// Opens the link's saved copy when `Ignore Saved Files` is set and the file
// exists and is no placeholder. Sets the link's size, last modified, information ("Read local
// file %s"), content kind ("<" first: HTML, MIME type "HTML File"; else
// other) and local source flag. Null when nothing was opened.
std::unique_ptr<BodySource> openLocalCopy(LinkRecord& link);

// A file written beside its target and moved over it by commit().
class TempOutputFile {
 public:
  TempOutputFile() = default;
  ~TempOutputFile();  // an uncommitted file is discarded
  TempOutputFile(const TempOutputFile&) = delete;
  TempOutputFile& operator=(const TempOutputFile&) = delete;

  // Opens "<target>~.tmp" for writing, truncating a leftover one. Fails when
  // another writer holds it.
  bool open(const std::string& target);
  // False once any write failed (disk full, file too large); later writes
  // are ignored.
  bool write(const char* data, size_t size);
  // On success closes the file, renames it over the target and gives the
  // target the file time (when not 0); on failure, or when any write, the
  // close or the rename failed, deletes it and leaves the target as it was.
  // True only when the target now holds everything written.
  bool commit(bool success, FileTime fileTime);

  const std::string& target() const { return m_target; }
  // The errno of the first failure, 0 when none.
  int error() const { return m_error; }

 private:
  // Closes and deletes the temporary file, if one is open.
  void discard();

  std::string m_target;
  std::string m_temporary;
  int m_fd = -1;      // written to; closed first by commit()
  int m_lockFd = -1;  // same open file, holds the lock until renamed or deleted
  int m_error = 0;
};

// Opens the output for the link's body, or null when nothing is to be
// saved: a local source, `Save Files` clear, a type outside `Save File
// Types` (unless `Save All`), or no local file. Creates the directories
// ("Created directory for file %s", information kind) and reports a failed
// open ("Failed to open output file %s."), setting failed when given. The
// directories below `Save Directory` are never passed through a symbolic
// link, so no file is written outside it.
std::unique_ptr<TempOutputFile> openOutput(LinkRecord& link, bool* failed = nullptr);

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
