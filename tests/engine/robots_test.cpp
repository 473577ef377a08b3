#include "engine/robots.h"

#include <gtest/gtest.h>

#include "engine/thread_status.h"
#include "platform/http.h"
#include "support/log_lines.h"
#include "support/test_server.h"
#include "util/app_flags.h"
#include "util/log.h"

namespace sg::test {
namespace {

class RobotsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    robotsCache().clear();
    logQueue().clear();
    setStealthMode(false);
  }
  void TearDown() override {
    robotsCache().clear();
    setStealthMode(false);
  }
  std::unique_ptr<HttpConnection> connectTo(TestServer& server) {
    return session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  }
  HttpSession session{"agent", false, HttpTimeouts{2000, 300}};
};

TEST_F(RobotsServer, MissingOrStalledFileLeavesNoRulesAndIsNotAskedForAgain) {
  for (int status : {404, 403, 200}) {
    SCOPED_TRACE(status);
    robotsCache().clear();
    TestServer server;
    if (status == 200) {
      server.stalledBody("/robots.txt", "", 3000);  // the head, then nothing
    } else {
      server.status("/robots.txt", status);
    }
    server.start();
    auto connection = connectTo(server);
    readRobots(*connection);
    readRobots(*connection);
    EXPECT_EQ(server.count("/robots.txt"), 1u);
    EXPECT_TRUE(robotsAllowed(*connection, "/anything"));
  }
}

TEST_F(RobotsServer, AMovedFileIsFollowedOnItsServer) {
  TestServer server;
  server.redirect("/robots.txt", "/config/robots.txt", 301);
  server.page("/config/robots.txt", "User-agent: *\nDisallow: /x\n", "text/plain");
  server.start();
  auto connection = connectTo(server);
  readRobots(*connection);
  EXPECT_FALSE(robotsAllowed(*connection, "/x/y"));
  EXPECT_TRUE(robotsAllowed(*connection, "/y"));
}

TEST_F(RobotsServer, AFailingServerIsRefusedUntilItsFileIsReadAgain) {
  TestServer server;
  server.status("/robots.txt", 503);
  server.start();
  auto connection = connectTo(server);
  robotsCache().setRetryMs(60 * 1000);
  readRobots(*connection);
  readRobots(*connection);
  EXPECT_EQ(server.count("/robots.txt"), 1u);
  EXPECT_FALSE(robotsAllowed(*connection, "/a"));
  std::vector<std::string> log = drainLog();
  EXPECT_TRUE(containsLine(
      log, "The robots file of 127.0.0.1 could not be read (HTTP 503): its pages are refused until it is read again"));
  EXPECT_TRUE(containsLine(log, "Access denied to /a on 127.0.0.1"));
}

TEST_F(RobotsServer, RefusalIsLoggedAndStealthIgnoresIt) {
  TestServer server;
  server.page("/robots.txt", "User-agent: *\nDisallow: /\n", "text/plain");
  server.start();
  auto connection = connectTo(server);
  readRobots(*connection);
  EXPECT_FALSE(robotsAllowed(*connection, "/page.html"));
  EXPECT_EQ(drainLog(), std::vector<std::string>{"Access denied to /page.html on 127.0.0.1"});
  setStealthMode(true);
  EXPECT_TRUE(robotsAllowed(*connection, "/page.html"));
  EXPECT_TRUE(drainLog().empty());
  // Rules are keyed by host and port, so another port of the host is free.
  EXPECT_TRUE(robotsCache().contains(robotsKey("127.0.0.1", static_cast<uint16_t>(server.port()), false)));
  EXPECT_FALSE(robotsCache().contains("127.0.0.1"));
}

TEST(ThreadStatus, LinesBySlotWithGapsAndRemovals) {
  ThreadStatusTable table;
  std::vector<std::string> lines;
  EXPECT_FALSE(table.collectThreadLines(lines));
  table.setThreadLine(0, "Initialising thread");
  table.setThreadLine(2, "Reading robots file.");
  ASSERT_TRUE(table.collectThreadLines(lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"1: Initialising thread", "", "3: Reading robots file."}));
  EXPECT_FALSE(table.collectThreadLines(lines));

  table.setThreadLine(2, "");
  std::vector<std::string> again{"1: old", "", "3: old"};
  ASSERT_TRUE(table.collectThreadLines(again));
  EXPECT_EQ(again[0], "1: Initialising thread");
  EXPECT_EQ(again[2], "3: old");  // rows are never removed

  table.setThreadLine(0, "");
  std::vector<std::string> empty;
  EXPECT_TRUE(table.collectThreadLines(empty));  // a change, but nothing to show
  EXPECT_TRUE(empty.empty());
  EXPECT_TRUE(table.collectThreadLines(empty));  // the flag stays set while empty
}

}  // namespace
}  // namespace sg::test
