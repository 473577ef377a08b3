// A directory under the system's temporary folder that is removed, with
// everything in it, when the object goes.
#pragma once

#include <string>
#include <vector>

namespace sg::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
// The names in dir (not below it), sorted: what a failed write left behind.
std::vector<std::string> namesIn(const std::string& dir);

}  // namespace sg::test
