// Process state a test changes for a while and puts back: the umask and
// environment variables; and a file's permission bits.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <optional>
#include <string>

namespace sg::test {

// The permission bits of path, 0 when it cannot be read.
inline mode_t fileMode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : m_previous(::umask(mask)) {}
  ~UmaskScope() { ::umask(m_previous); }

 private:
  mode_t m_previous;
};

class EnvScope {
 public:
  EnvScope(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = ::getenv(name)) m_previous = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvScope() { m_previous ? ::setenv(m_name, m_previous->c_str(), 1) : ::unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_previous;
};

}  // namespace sg::test
