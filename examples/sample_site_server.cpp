// sample_site_server: serves a directory (by default the bundled sample
// site) on 127.0.0.1, so that a crawl can be tried, and tested end to end,
// without the Internet.
//
//   sample_site_server [--port N] [--root DIR] [--port-file FILE]
//
// With port 0 (the default) the system picks a free port; it is printed and,
// with --port-file, written to that file once the server accepts
// connections. Each request is logged on standard output. SIGTERM or SIGINT
// stops the server and ends the program with status 0.
#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <locale>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Old addresses that the site has moved, as a real site keeps them working.
const std::map<std::string, std::string> kRedirects = {
    {"/old-news.html", "/news/index.html"},
};

std::string contentType(const fs::path& file) {
  static const std::map<std::string, std::string> kTypes = {
      {".html", "text/html"}, {".htm", "text/html"},  {".css", "text/css"},   {".gif", "image/gif"},
      {".png", "image/png"},  {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".txt", "text/plain"},
  };
  auto it = kTypes.find(file.extension().string());
  return it == kTypes.end() ? "application/octet-stream" : it->second;
}

std::string httpDate(time_t t) {
  tm parts{};
  gmtime_r(&t, &parts);
  char text[64];
  strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

// -1 when the text is not an HTTP date (only the IMF-fixdate form is read,
// which is the one clients send).
time_t parseHttpDate(const std::string& text) {
  tm parts{};
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  in >> std::get_time(&parts, "%a, %d %b %Y %H:%M:%S GMT");
  return in.fail() ? -1 : timegm(&parts);
}

// A URL path may name only what lies below the root: ".." never climbs out.
bool pathIsSafe(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return false;
  for (const auto& part : fs::path(path)) {
    if (part == "..") return false;
  }
  return true;
}

void serveFile(const fs::path& root, const httplib::Request& req, httplib::Response& res) {
  if (!pathIsSafe(req.path)) {
    res.status = 404;
    return;
  }
  fs::path file = root / fs::path(req.path).relative_path();
  std::error_code error;
  if (fs::is_directory(file, error)) {
    // Relative links of a directory's index page resolve against the
    // directory only when its URL ends in "/", as with any real server.
    if (req.path.back() != '/') {
      res.set_redirect(req.path + "/", 301);
      return;
    }
    file /= "index.html";
  }
  struct stat info {};
  std::ifstream in(file, std::ios::binary);
  if (!in || stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    res.status = 404;
    return;
  }
  res.set_header("Last-Modified", httpDate(info.st_mtime));
  if (req.has_header("If-Modified-Since")) {
    time_t since = parseHttpDate(req.get_header_value("If-Modified-Since"));
    if (since != -1 && info.st_mtime <= since) {
      res.status = 304;
      return;
    }
  }
  std::ostringstream body;
  body << in.rdbuf();
  res.set_content(body.str(), contentType(file));
}

// Error responses are small HTML pages, as most servers send.
void errorPage(const httplib::Request&, httplib::Response& res) {
  const std::string title = res.status == 404 ? "Not found" : "Error " + std::to_string(res.status);
  res.set_content("<html><head><title>" + title + "</title></head><body><h1>" + title +
                      "</h1><p>The requested address is not available on this server.</p></body></html>\n",
                  "text/html");
}

constexpr const char* kUsage = "usage: sample_site_server [--port N] [--root DIR] [--port-file FILE]\n";

int usageError(const std::string& message) {
  std::cerr << "sample_site_server: " << message << "\n" << kUsage;
  return 2;
}

// Written under a temporary name and renamed, so that a script waiting for
// the file never reads it half written.
bool writePortFile(const std::string& path, int port) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!(out << port << "\n")) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string root = SAMPLE_SITE_DIR;
  std::string portFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= argc) return usageError("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--port") {
      try {
        size_t used = 0;
        port = std::stoi(value, &used);
        if (used != value.size() || port < 0 || port > 65535) throw std::out_of_range(value);
      } catch (const std::exception&) {
        return usageError("not a port: " + value);
      }
    } else if (arg == "--root") {
      root = value;
    } else if (arg == "--port-file") {
      portFile = value;
    } else {
      return usageError("unknown option " + arg);
    }
  }
  std::error_code error;
  const fs::path rootPath = fs::canonical(root, error);
  if (error || !fs::is_directory(rootPath)) return usageError("not a directory: " + root);

  // The signals are taken by sigwait() below rather than by a handler,
  // because stopping the server is not async-signal-safe. They are blocked
  // before any thread starts, so every thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  // A crawler keeps one connection per worker thread open; the default pool
  // of eight would make further workers wait.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  // httplib's default SO_REUSEPORT would let a second server share a busy
  // port without a word; SO_REUSEADDR alone still allows a quick restart.
  server.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(100000);
  server.set_keep_alive_timeout(30);
  for (const auto& [from, to] : kRedirects) {
    server.Get(from, [to = to](const httplib::Request&, httplib::Response& res) { res.set_redirect(to, 301); });
  }
  server.Get(".*", [&rootPath](const httplib::Request& req, httplib::Response& res) { serveFile(rootPath, req, res); });
  server.set_error_handler(errorPage);
  std::mutex logMutex;  // keeps the lines of concurrent requests whole
  server.set_logger([&logMutex](const httplib::Request& req, const httplib::Response& res) {
    std::lock_guard lock(logMutex);
    std::cout << res.status << " " << req.method << " " << req.target << std::endl;
  });

  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    std::cerr << "sample_site_server: cannot listen on 127.0.0.1:" << port << "\n";
    return 1;
  }
  if (!portFile.empty() && !writePortFile(portFile, bound)) {
    std::cerr << "sample_site_server: cannot write " << portFile << "\n";
    return 1;
  }
  std::cout << "Serving " << rootPath.string() << " on http://127.0.0.1:" << bound << "/" << std::endl;

  std::atomic<bool> stopping{false};
  std::atomic<bool> failed{false};
  std::thread listener([&] {
    server.listen_after_bind();
    if (!stopping) {
      failed = true;
      kill(getpid(), SIGTERM);  // wakes the main thread
    }
  });
  int received = 0;
  sigwait(&stopSignals, &received);
  stopping = true;
  server.stop();
  listener.join();
  if (!portFile.empty()) std::remove(portFile.c_str());
  return failed ? 1 : 0;
}
