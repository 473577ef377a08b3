// A file system that fails one kind of call on the files whose path holds
// a given part, as a full disk or a failing network share would; in use
// for its lifetime.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "util/file_io.h"

namespace sg::test {

class FaultyFileSystem : public FileSystem {
 public:
  enum class Fault { Write, Sync, Close, Rename };

  // A write fault lets the bytes before failAt through: a disk that fills up part way.
  FaultyFileSystem(Fault fault, int error, std::string pathPart, off_t failAt = 0)
      : m_fault(fault), m_error(error), m_pathPart(std::move(pathPart)), m_failAt(failAt) {
    m_previous = setFileSystem(this);
  }
  ~FaultyFileSystem() override { setFileSystem(m_previous); }

  ssize_t write(int fd, const void* data, size_t size) override {
    if (m_fault == Fault::Write && watched(fd)) {
      off_t at = ::lseek(fd, 0, SEEK_CUR);
      if (at >= m_failAt) return failed();
      size = std::min<size_t>(size, static_cast<size_t>(m_failAt - at));
    }
    return FileSystem::write(fd, data, size);
  }
  int fsync(int fd) override { return m_fault == Fault::Sync && watched(fd) ? failed() : FileSystem::fsync(fd); }
  int close(int fd) override {
    // The descriptor goes all the same, as on Linux.
    const bool fail = m_fault == Fault::Close && watched(fd);
    int result = FileSystem::close(fd);
    return fail ? failed() : result;
  }
  int rename(const std::string& from, const std::string& to) override {
    const bool fail = m_fault == Fault::Rename && to.find(m_pathPart) != std::string::npos;
    return fail ? failed() : FileSystem::rename(from, to);
  }

 private:
  int failed() const {
    errno = m_error;
    return -1;
  }
  bool watched(int fd) const {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ignored).string().find(m_pathPart) !=
           std::string::npos;
  }

  const Fault m_fault;
  const int m_error;
  const std::string m_pathPart;
  const off_t m_failAt;
  FileSystem* m_previous = nullptr;
};

}  // namespace sg::test
