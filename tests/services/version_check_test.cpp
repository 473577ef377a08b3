#include "services/version_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/http.h"
#include "support/log_lines.h"
#include "support/test_server.h"
#include "util/log.h"

namespace sg {
namespace {

// A front end that keeps "Last New Version" in memory and records what the
// check asked of it.
class RecordingHost : public VersionCheckHost {
 public:
  std::string lastNewVersion() override { return stored; }
  void setLastNewVersion(const std::string& line) override { stored = line; }
  bool announceNewVersion(double version) override {
    announced.push_back(version);
    return answerDoNotNotify;
  }
  void stopNotifying() override { ++stops; }

  std::string stored;
  std::vector<double> announced;
  bool answerDoNotNotify = false;
  int stops = 0;
};

class VersionCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logQueue().clear();
    server.http().Get(kVersionFilePath, [this](const httplib::Request&, httplib::Response& res) {
      if (status != 200) {
        res.status = status;
        return;
      }
      res.set_content(body, "text/plain");
    });
    server.start();
  }
  void TearDown() override { logQueue().clear(); }

  VersionServer loopback() const { return {"127.0.0.1", static_cast<uint16_t>(server.port())}; }
  size_t requests() const { return server.count(kVersionFilePath); }

  test::TestServer server;
  HttpSession session{defaultAgentName(), false, HttpTimeouts{}};
  RecordingHost host;
  std::string body = "6.5\r\nThe next line does not matter\r\n";
  int status = 200;
};

using Lines = std::vector<std::string>;
const Lines kFailed = {"Failed check for new version of Sitegleaner."};

TEST(VersionNumber, IsReadAsTheNumberAtTheStartOfTheLine) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"6.5", 6.5}, {"  6.5 beta", 6.5}, {"\t7", 7},     {"+6.6", 6.6}, {"-1.5", -1.5}, {"6.", 6},
      {".5", 0.5},  {"6e1", 60},         {"6.5.1", 6.5}, {"v6.5", 0},   {"", 0},        {"abc", 0},
      {"+-6", 0},   {"inf", 0},          {"nan", 0},     {"6,5", 6},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(parseVersionNumber(c.text), c.expected) << c.text;
}

TEST(VersionNumber, IsShownWithOneDigitAfterThePoint) {
  EXPECT_EQ(versionText(6.5), "6.5");
  EXPECT_EQ(versionText(7), "7.0");
  EXPECT_EQ(versionText(6.44), "6.4");
  EXPECT_EQ(versionText(6.96), "7.0");
}

TEST(VersionServerSetting, ComesFromTheBuildUnlessTheEnvironmentNamesOne) {
  unsetenv("SITEGLEANER_VERSION_SERVER");
  VersionServer built = defaultVersionServer();
  EXPECT_FALSE(built.host.empty());
  setenv("SITEGLEANER_VERSION_SERVER", "127.0.0.1:8123", 1);
  VersionServer local = defaultVersionServer();
  EXPECT_EQ(local.host, "127.0.0.1");
  EXPECT_EQ(local.port, 8123);
  setenv("SITEGLEANER_VERSION_SERVER", "versions.example", 1);
  EXPECT_EQ(defaultVersionServer().host, "versions.example");
  EXPECT_EQ(defaultVersionServer().port, built.port);
  setenv("SITEGLEANER_VERSION_SERVER", "host:notaport", 1);
  EXPECT_EQ(defaultVersionServer().host, built.host);
  unsetenv("SITEGLEANER_VERSION_SERVER");
}

TEST_F(VersionCheckTest, NewerReleaseIsAnnouncedOnceAndRemembered) {
  VersionCheck check(host, loopback(), 6.4);
  EXPECT_TRUE(check.checkForNewVersion(&session, false, true));
  EXPECT_EQ(host.announced, std::vector<double>({6.5}));
  EXPECT_EQ(host.stored, "6.5");  // the first line as read, without its line end
  EXPECT_EQ(host.stops, 0);
  EXPECT_TRUE(test::drainLog().empty());
  EXPECT_EQ(requests(), 1u);

  // A later download of the same run asks no more.
  EXPECT_TRUE(check.checkForNewVersion(&session, false, true));
  EXPECT_EQ(requests(), 1u);

  // Answered "do not notify": the notifications stop.
  host = RecordingHost{};
  host.answerDoNotNotify = true;
  VersionCheck answered(host, loopback(), 6.4);
  EXPECT_TRUE(answered.checkForNewVersion(&session, false, true));
  EXPECT_EQ(host.stops, 1);
}

TEST_F(VersionCheckTest, AnnouncesOnlyAReleaseAboveTheStoredOrElseTheProgramsOwn) {
  struct Case {
    const char* what;
    const char* stored;
    const char* file;
    double program;
    std::vector<double> announced;
  } cases[] = {
      {"same release as the program", "", "6.4\n", 6.4, {}},
      {"the stored version is compared, not the program's", "6.5", "6.6", 7.0, {6.6}},
      {"a first line without a number counts as success", "", "<html>maintenance</html>\n6.9\n", 6.4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host = RecordingHost{};
    host.stored = c.stored;
    body = c.file;
    VersionCheck check(host, loopback(), c.program);
    EXPECT_TRUE(check.checkForNewVersion(&session, false, true));
    EXPECT_EQ(host.announced, c.announced);
    EXPECT_EQ(host.stored, c.announced.empty() ? std::string(c.stored) : versionText(c.announced[0]));
    EXPECT_TRUE(test::drainLog().empty());
  }
}

TEST_F(VersionCheckTest, NotFoundIsLoggedOnceAndNotTriedAgain) {
  status = 404;
  VersionCheck check(host, loopback(), 6.4);
  EXPECT_FALSE(check.checkForNewVersion(&session, false, true));
  EXPECT_EQ(test::drainLog(), kFailed);
  EXPECT_TRUE(check.checked());
  EXPECT_TRUE(check.checkForNewVersion(&session, false, true));
  EXPECT_TRUE(test::drainLog().empty());
  EXPECT_EQ(requests(), 1u);
  EXPECT_TRUE(host.announced.empty());
  EXPECT_EQ(host.stored, "");
}

TEST_F(VersionCheckTest, OfflineOrNotifyOffMakesNoRequestUntilALaterDownload) {
  VersionCheck check(host, loopback(), 6.4);
  EXPECT_TRUE(check.checkForNewVersion(&session, true, true));
  HttpSession offlineSession(defaultAgentName(), true, HttpTimeouts{});
  EXPECT_TRUE(check.checkForNewVersion(&offlineSession, false, true));
  EXPECT_TRUE(check.checkForNewVersion(&session, false, false));
  EXPECT_TRUE(check.checkForNewVersion(nullptr, false, true));
  EXPECT_EQ(requests(), 0u);
  EXPECT_TRUE(test::drainLog().empty());
  EXPECT_FALSE(check.checked());

  EXPECT_TRUE(check.checkForNewVersion(&session, false, true));
  EXPECT_EQ(requests(), 1u);
  EXPECT_EQ(host.announced, std::vector<double>({6.5}));
}

}  // namespace
}  // namespace sg
