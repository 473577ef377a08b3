#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "app/console_fixture.h"
#include "support/posix_scopes.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

namespace sg::test {
namespace {

TEST_F(Console, CrawlsARootUrlIntoABrowsableMirror) {
  TestServer& server = smallSite();
  ProcessResult result = run(saving({server.url("/")}));
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Starting download at " + server.url("/") + "..."), std::string::npos);
  EXPECT_NE(result.out.find("Download complete"), std::string::npos);
  EXPECT_NE(result.out.find("To browse it offline, open " + hostDir(server) + "/default.html"), std::string::npos);
  EXPECT_NE(readFile(hostDir(server) + "/default.html").find("href=\"a.html\""), std::string::npos);
  EXPECT_EQ(readFile(hostDir(server) + "/pic.gif"), "GIF89a");
  EXPECT_NE(readFile(hostDir(server) + "/gone.html").find("HTTP_STATUS_NOT_FOUND"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(sites() + "/Small site.desktop"));
}

TEST_F(Console, StealthCrawlsWhatRobotsRefuse) {
  TestServer& server = site;
  serveSmallSite(server);
  server.page("/robots.txt", "User-agent: *\nDisallow: /\n", "text/plain");
  server.start();
  ProcessResult stealthy = run(saving({"-stealth", server.url("/")}));
  EXPECT_EQ(stealthy.exitCode, 0) << stealthy.out << stealthy.err;
  EXPECT_NE(stealthy.out.find("'Stealth' mode activated."), std::string::npos);
  EXPECT_EQ(server.count("/a.html"), 1u);
  EXPECT_EQ(server.count("/robots.txt"), 1u);  // read by the stealthy run all the same
}

TEST_F(Console, RefusingServerAbortsTheDownload) {
  std::string url = "http://127.0.0.1:" + std::to_string(refusedPort()) + "/";
  ProcessResult result = run(saving({url}));
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  EXPECT_NE(result.out.find("Error connecting to 127.0.0.1 - "), std::string::npos);
  EXPECT_NE(result.out.find("Download aborted."), std::string::npos);
}

TEST_F(Console, InvalidUrlCannotStart) {
  ProcessResult result = run(saving({"mailto:someone@example.com"}));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("could not start a download of \"mailto:someone@example.com\": Invalid URL"),
            std::string::npos)
      << result.err;
  ProcessResult noArgument = run({"-q"});
  EXPECT_EQ(noArgument.exitCode, 2);
  ProcessResult badSwitch = run({"-frobnicate"});
  EXPECT_EQ(badSwitch.exitCode, 2);
  EXPECT_NE(badSwitch.err.find("unknown switch"), std::string::npos);
  ProcessResult badSetting = run({"-set", "Threads=many", "http://127.0.0.1/"});
  EXPECT_EQ(badSetting.exitCode, 2);
}

TEST_F(Console, IncompleteDownloadsExitOneAndSayWhatWasNotDone) {
  TestServer server;
  std::string links;
  for (int i = 0; i < 6; ++i) links += "<a href=\"slow" + std::to_string(i) + ".html\">s</a>";
  server.page("/", "<html>" + links + "</html>");
  server.http().Get(R"(/slow\d\.html)", [](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    res.set_content("<html>slow</html>", "text/html");
  });
  server.start();

  // Files that cannot be written: a file stands where the site's folder
  // belongs.
  std::filesystem::create_directories(sites());
  writeFile(hostDir(server), "in the way");
  ProcessResult unwritable = run(saving({"-set", "MaxCrawlDepth=0", server.url("/")}));
  EXPECT_EQ(unwritable.exitCode, 1) << unwritable.out << unwritable.err;
  EXPECT_NE(unwritable.out.find("1 files were read but could not be written below " + sites()), std::string::npos)
      << unwritable.out;
  EXPECT_NE(unwritable.out.find("0 links complete, 1 failed"), std::string::npos) << unwritable.out;
  EXPECT_NE(unwritable.out.find("The root page was not saved."), std::string::npos);
  EXPECT_EQ(unwritable.out.find("To browse it offline"), std::string::npos);
  std::filesystem::remove(hostDir(server));

  // Cut short by the time limit, with links left to fetch.
  ProcessResult cut = run(saving({"-set", "Threads=1", "-set", "Max Total Time=1", server.url("/")}));
  EXPECT_EQ(cut.exitCode, 1) << cut.out << cut.err;
  EXPECT_NE(cut.out.find("The time limit of the download (1.0s) was reached: "), std::string::npos) << cut.out;
  EXPECT_NE(cut.out.find("Download complete"), std::string::npos);
}

// Profiles, and a bad stored value, are the document's tests.
TEST_F(Console, ValuesOutOfRangeAreRefused) {
  ProcessResult huge = run(saving({"-set", "Threads=2147483647", "http://127.0.0.1/"}));
  EXPECT_EQ(huge.exitCode, 2);
  EXPECT_NE(huge.err.find("\"Threads\" must be between 1 and 30, not 2147483647"), std::string::npos) << huge.err;
}

TEST_F(Console, CredentialsInTheRootUrlAreUsedButNeverWrittenDown) {
  TestServer& server = smallSite();
  std::string url = server.url("/");
  url.insert(std::string("http://").size(), "user:secret@");
  const std::string log = home.file("crawl.log");
  ProcessResult result = run(saving({"-set", "Log File=" + log, url}));
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(server.requests().back().header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_EQ(fileMode(log), 0600u);
  for (const std::string& text : {result.out, result.err, readFile(log), readFile(sites() + "/Small site.desktop")}) {
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  }
}

TEST_F(Console, SettingsFileKeepsNoOverridesAndIsReadBack) {
  TestServer& server = smallSite();
  run({"-q", "-set", "MaxCrawlDepth=3", "-set", "Link Pause=0", server.url("/")});
  std::string stored = readFile(settingsFile());
  EXPECT_NE(stored.find("\nMaxCrawlDepth=10\n"), std::string::npos) << stored;
  EXPECT_FALSE(std::filesystem::exists(sites()));

  // Values in the file are the next run's settings.
  std::string edited = stored;
  // QSettings writes a blank in a key as "%20".
  auto set = [&](const std::string& key, const std::string& value) {
    size_t at = edited.find("\n" + key + "=");
    ASSERT_NE(at, std::string::npos) << key;
    edited.replace(at + 1, edited.find('\n', at + 1) - at - 1, key + "=" + value);
  };
  set("Save%20Files", "1");
  set("Save%20Directory", sites());
  set("Link%20Pause", "0");
  writeFile(settingsFile(), edited);
  ProcessResult result = run({"-q", server.url("/")});
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_TRUE(std::filesystem::exists(hostDir(server) + "/default.html"));
}

TEST_F(Console, InterruptStopsAndExitsAborted) {
  TestServer server;
  server.page("/", "<a href=\"slow.bin\">slow</a>");
  server.stalledBody("/slow.bin", "x", 30000);
  server.start();
  std::vector<std::string> arguments = saving({server.url("/")});
  arguments.insert(arguments.begin(), "-console");
  ChildProcess child(SITEGLEANER_BINARY, arguments, environment, home.path());
  while (server.count("/slow.bin") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  child.signal(SIGINT);
  ProcessResult result = child.wait(20000);
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  EXPECT_NE(result.out.find("Download aborted."), std::string::npos);
}

TEST_F(Console, NewerReleaseIsALogLineOncePerRelease) {
  smallSite();
  TestServer maker;
  maker.page("/sitegleaner/version.txt", "6.5\nnotes\n", "text/plain");
  maker.start();
  environment["SITEGLEANER_VERSION_SERVER"] = "127.0.0.1:" + std::to_string(maker.port());
  ProcessResult first = run({"-q", "-set", "Link Pause=0", site.url("/")});
  EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("Sitegleaner v6.5 is available for download."), std::string::npos) << first.out;
  ProcessResult second = run({"-q", "-set", "Link Pause=0", site.url("/")});
  EXPECT_EQ(second.out.find("is available for download"), std::string::npos) << second.out;
  EXPECT_EQ(maker.count("/sitegleaner/version.txt"), 2u);
}

TEST_F(Console, HelpAndVersion) {
  ProcessResult help = runProcess(SITEGLEANER_BINARY, {"-help"}, environment, home.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: sitegleaner"), std::string::npos);
  ProcessResult version = runProcess(SITEGLEANER_BINARY, {"-version"}, environment, home.path());
  EXPECT_EQ(version.out, "Sitegleaner 6.4\n");
}

// Without -console the program loads its desktop front end from beside the
// executable and runs the download in a window, which "-q" closes at the end.
TEST_F(Console, WindowRunLoadsTheDesktopFrontEnd) {
  TestServer& server = smallSite();
  // The conditions of use were seen before, so no dialog waits for a click.
  std::filesystem::create_directories(home.file("config") + "/Corvalin");
  writeFile(settingsFile(), "[Legal]\nShown Disclaimer=640\n");
  environment["QT_QPA_PLATFORM"] = "offscreen";
  ProcessResult result = runProcess(SITEGLEANER_BINARY, saving({server.url("/")}), environment, home.path(), 60000);
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(readFile(hostDir(server) + "/pic.gif"), "GIF89a");
  EXPECT_TRUE(std::filesystem::exists(hostDir(server) + "/a.html"));
}

}  // namespace
}  // namespace sg::test
