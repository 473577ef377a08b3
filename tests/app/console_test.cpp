#include <gtest/gtest.h>

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
  ProcessResult badSwitch = run({"-frobnicate"});
  EXPECT_EQ(badSwitch.exitCode, 2);
  EXPECT_NE(badSwitch.err.find("unknown switch"), std::string::npos);
}

TEST_F(Console, IncompleteDownloadsExitOneAndSayWhatWasNotDone) {
  TestServer server;
  server.page("/", "<html>root</html>");
  server.start();
  // A file stands where the site's folder belongs.
  std::filesystem::create_directories(sites());
  writeFile(hostDir(server), "in the way");
  ProcessResult unwritable = run(saving({"-set", "MaxCrawlDepth=0", server.url("/")}));
  EXPECT_EQ(unwritable.exitCode, 1) << unwritable.out << unwritable.err;
  EXPECT_NE(unwritable.out.find("1 files were read but could not be written below " + sites()), std::string::npos)
      << unwritable.out;
  EXPECT_NE(unwritable.out.find("0 links complete, 1 failed"), std::string::npos) << unwritable.out;
  EXPECT_NE(unwritable.out.find("The root page was not saved."), std::string::npos);
  EXPECT_EQ(unwritable.out.find("To browse it offline"), std::string::npos);
}

TEST_F(Console, SettingsFileKeepsNoOverrides) {
  TestServer& server = smallSite();
  run({"-q", "-set", "MaxCrawlDepth=3", "-set", "Link Pause=0", server.url("/")});
  std::string stored = readFile(settingsFile());
  EXPECT_NE(stored.find("\nMaxCrawlDepth=10\n"), std::string::npos) << stored;
  EXPECT_FALSE(std::filesystem::exists(sites()));
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
