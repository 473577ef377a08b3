#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace sg::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& workingDirectory) {
  m_outPath = workingDirectory + "/.stdout-" + std::to_string(::getpid()) + "-" + std::to_string(rand());
  m_errPath = m_outPath + ".err";
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (environment.count(name) == 0) envText.push_back(entry);
  }
  for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);

  m_pid = fork();
  if (m_pid == 0) {
    int out = open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (chdir(workingDirectory.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  unlink(m_outPath.c_str());
  unlink(m_errPath.c_str());
}

void ChildProcess::signal(int number) {
  if (m_pid > 0) kill(m_pid, number);
}

ProcessResult ChildProcess::wait(int timeoutMs) {
  ProcessResult result;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = -1;
  if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = readFile(m_outPath);
  result.err = readFile(m_errPath);
  return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, const std::string& workingDirectory,
                         int timeoutMs) {
  ChildProcess child(program, arguments, environment, workingDirectory);
  return child.wait(timeoutMs);
}

}  // namespace sg::test
