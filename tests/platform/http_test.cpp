#include "platform/http.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace sg::test {
namespace {

class Http : public ::testing::Test {
 protected:
  void SetUp() override {
    server.page("/page.html", "<html>hello</html>", "text/html",
                {{"Last-Modified", "Tue, 03 Mar 2026 10:20:30 GMT"}});
    server.http().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/page.html");
    });
    server.page("/big.bin", std::string(300000, 'x'), "application/octet-stream");
    server.stalledBody("/stall", "first bytes", 5000);
    server.truncatedBody("/cut", std::string(1000, 'y'), 5000);
    server.start();
  }

  HttpTimeouts shortTimeouts() {
    HttpTimeouts t;
    t.connectMs = 2000;
    t.receiveMs = 300;
    return t;
  }

  std::string readAll(HttpRequest& request, size_t block = 4095) {
    std::string body;
    std::vector<char> buffer(block);
    while (size_t n = request.read(buffer.data(), buffer.size())) body.append(buffer.data(), n);
    return body;
  }

  TestServer server;
};

TEST_F(Http, GetReturnsStatusHeadAndBody) {
  HttpSession session("Agent/1", false, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  auto request = connection->openRequest("/page.html");
  request->addHeaders("Accept: */*\r\nUser-Agent: Custom agent\r\nX-Extra: 1\r\n");
  request->addHeaders("X-Extra: 2\r\n");  // only added when new
  request->send();
  EXPECT_EQ(request->statusCode(), 200);
  EXPECT_EQ(request->rawHeaders().rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_NE(request->rawHeaders().find("\r\nContent-Type: text/html\r\n"), std::string::npos);
  EXPECT_EQ(request->rawHeaders().substr(request->rawHeaders().size() - 4), "\r\n\r\n");
  EXPECT_EQ(request->contentType(), "text/html");
  EXPECT_EQ(request->contentLength(), 18u);
  ASSERT_TRUE(request->lastModified().has_value());
  EXPECT_EQ(timeTFromFileTime(*request->lastModified()), 1772533230);
  EXPECT_EQ(readAll(*request), "<html>hello</html>");
  EXPECT_EQ(request->read(nullptr, 0), 0u);

  auto recorded = server.requests().back();
  EXPECT_EQ(recorded.header("User-Agent"), "Custom agent");
  EXPECT_EQ(recorded.header("X-Extra"), "1");
}

TEST_F(Http, RedirectionsAreNotFollowed) {
  HttpSession session("a", false, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  auto request = connection->openRequest("/moved");
  request->send();
  EXPECT_EQ(request->statusCode(), 302);
  EXPECT_EQ(request->header("Location"), "/page.html");
  EXPECT_EQ(server.count("/page.html"), 0u);
}

TEST_F(Http, BodiesArePulledWholeInBlocksOverOneReusedConnection) {
  HttpSession session("a", false, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  for (int i = 0; i < 5; ++i) {
    auto request = connection->openRequest(i % 2 ? "/page.html" : "/big.bin");
    request->send();
    // Pulled in blocks, a large body whole.
    EXPECT_EQ(readAll(*request, i % 2 ? 4095 : 1000).size(), i % 2 ? 18u : 300000u);
  }
  EXPECT_EQ(server.clientPorts().size(), 1u);
  EXPECT_TRUE(connection->sameServer(false, "127.0.0.1", static_cast<uint16_t>(server.port())));
  EXPECT_FALSE(connection->sameServer(true, "127.0.0.1", static_cast<uint16_t>(server.port())));
  EXPECT_FALSE(connection->sameServer(false, "127.0.0.1", 1));
}

TEST_F(Http, StalledBodyTimesOutWithCode12002) {
  HttpSession session("a", false, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  auto request = connection->openRequest("/stall");
  request->send();
  char block[100];
  EXPECT_EQ(request->read(block, sizeof block), 11u);
  try {
    request->read(block, sizeof block);
    FAIL() << "no time-out";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), kErrorTimeout);
  }
}

TEST_F(Http, ConnectionDroppedMidBodyIsAnError) {
  HttpSession session("a", false, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  auto request = connection->openRequest("/cut");
  request->send();
  try {
    std::string body = readAll(*request);
    FAIL() << "read " << body.size() << " bytes without an error";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), kErrorConnectionAborted) << error.what();
  }
}

TEST_F(Http, RefusedConnectionFailsAtConnectWithCode12029) {
  HttpSession session("a", false, shortTimeouts());
  try {
    session.connect(false, "127.0.0.1", static_cast<uint16_t>(refusedPort()));
    FAIL() << "connected";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), kErrorCannotConnect);
    EXPECT_NE(std::string(error.what()).find("could not be established"), std::string::npos);
  }
}

TEST_F(Http, OfflineRequestsFailAtOnce) {
  HttpSession session("a", true, shortTimeouts());
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(refusedPort()));
  auto request = connection->openRequest("/page.html");
  try {
    request->send();
    FAIL() << "sent while offline";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), kErrorDisconnected);
  }
}

TEST_F(Http, AbortFlagEndsWaits) {
  std::atomic<bool> abort{false};
  HttpTimeouts t = shortTimeouts();
  t.receiveMs = 60000;
  HttpSession session("a", false, t, &abort);
  auto connection = session.connect(false, "127.0.0.1", static_cast<uint16_t>(server.port()));
  auto request = connection->openRequest("/stall");
  request->send();
  char block[100];
  request->read(block, sizeof block);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    abort = true;
  });
  try {
    request->read(block, sizeof block);
    FAIL() << "read went on";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), kErrorOperationCancelled);
  }
  stopper.join();
}

}  // namespace
}  // namespace sg::test
