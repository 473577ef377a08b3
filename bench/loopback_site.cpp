#include "loopback_site.h"

#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace bench {

pid_t startLoopbackSite(int& port, int pages, int fanOut, int niceness) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(2);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // Before the pool's threads start, which inherit it.
    if (niceness != 0 && nice(niceness) == -1) _exit(2);
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.set_keep_alive_max_count(1000000);
    server.set_tcp_nodelay(true);
    std::string padding(1000, 'x');
    server.Get(R"(/page(\d+)\.html)", [&](const httplib::Request& req, httplib::Response& res) {
      long index = std::atol(req.matches[1].str().c_str());
      std::string body = "<html><head><title>Page " + std::to_string(index) + "</title></head><body>\n";
      for (long i = index * fanOut + 1; i <= index * fanOut + fanOut && i < pages; ++i) {
        body += "<a href=\"page" + std::to_string(i) + ".html\">page " + std::to_string(i) + "</a>\n";
      }
      body += "<p>" + padding + "</p></body></html>\n";
      res.set_content(body, "text/html");
    });
    int p = server.bind_to_any_port("127.0.0.1");
    if (write(fds[1], &p, sizeof p) != sizeof p) _exit(2);
    close(fds[1]);
    server.listen_after_bind();
    _exit(0);
  }
  close(fds[1]);
  if (read(fds[0], &port, sizeof port) != sizeof port) std::exit(2);
  close(fds[0]);
  return pid;
}

void stopLoopbackSite(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace bench
