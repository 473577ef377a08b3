// Runs a program as a user would: its own process, its own environment,
// standard output and error captured.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace sg::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not exit normally (killed, timed out)
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Starts program with arguments; environment entries override or add to
  // the test's own.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& workingDirectory);
  ~ChildProcess();
  void signal(int number);
  // Waits up to timeoutMs (killing it after that) and collects its output.
  ProcessResult wait(int timeoutMs);

 private:
  pid_t m_pid = -1;
  std::string m_outPath;
  std::string m_errPath;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, const std::string& workingDirectory,
                         int timeoutMs = 60000);

}  // namespace sg::test
