// The built program run as a user would, with a home of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

namespace sg::test {

class Console : public ::testing::Test {
 protected:
  Console() {
    std::filesystem::create_directories(home.file("config"));
    environment = {{"HOME", home.path()},
                   {"XDG_CONFIG_HOME", home.file("config")},
                   {"XDG_DESKTOP_DIR", home.file("Desktop")},
                   {"SITEGLEANER_VERSION_SERVER", "127.0.0.1:" + std::to_string(refusedPort())},
                   {"http_proxy", ""},
                   {"https_proxy", ""},
                   {"all_proxy", ""}};
  }

  ProcessResult run(std::vector<std::string> arguments, int timeoutMs = 60000) {
    arguments.insert(arguments.begin(), "-console");
    return runProcess(SITEGLEANER_BINARY, arguments, environment, home.path(), timeoutMs);
  }

  // The usual switches of a test crawl: save into the temporary home,
  // without the politeness pause.
  std::vector<std::string> saving(std::vector<std::string> more) {
    std::vector<std::string> arguments = {"-q",   "-set",        "Save Files=1", "-set", "Save Directory=" + sites(),
                                          "-set", "Link Pause=0"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  }

  // The small site on a server of its own, started.
  TestServer& smallSite() {
    site.page("/", "<html><title>Small site</title><a href=\"a.html\">a</a><img src=\"pic.gif\"></html>");
    site.page("/a.html", "<html><a href=\"/\">home</a><a href=\"gone.html\">gone</a></html>");
    site.page("/pic.gif", "GIF89a", "image/gif");
    site.start();
    return site;
  }

  std::string sites() const { return home.file("sites"); }
  std::string settingsFile() const { return home.file("config") + "/Corvalin/Sitegleaner.conf"; }
  std::string hostDir(const TestServer& server) const {
    return sites() + "/127.0.0.1_" + std::to_string(server.port());
  }

  TempDir home;
  std::map<std::string, std::string> environment;
  TestServer site;
};

}  // namespace sg::test
