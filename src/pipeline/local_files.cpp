#include "pipeline/local_files.h"

#include <unistd.h>

#include "engine/link_record.h"

namespace sg {

// Placeholder bodies; local files are being written.
LocalCopy::LocalCopy(int fd) : m_fd(fd) {}
LocalCopy::~LocalCopy() { if (m_fd >= 0) close(m_fd); }
size_t LocalCopy::read(char*, size_t) { return 0; }
std::unique_ptr<BodySource> openLocalCopy(LinkRecord&) { return nullptr; }
TempOutputFile::~TempOutputFile() {}
bool TempOutputFile::open(const std::string& target) { m_target = target; return false; }
bool TempOutputFile::write(const char*, size_t) { return false; }
bool TempOutputFile::commit(bool, FileTime) { return false; }
std::unique_ptr<TempOutputFile> openOutput(LinkRecord&) { return nullptr; }
bool createPathDirectories(const std::string&) { return false; }

}  // namespace sg
