#include "util/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "support/log_lines.h"
#include "support/posix_scopes.h"
#include "support/temp_dir.h"

namespace sg {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { logQueue().clear(); }
  void TearDown() override {
    closeLogFile();
    logQueue().clear();
  }

  // Lines of the file without their time stamps.
  static std::vector<std::string> fileMessages(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream content(test::readFile(path));
    for (std::string line; std::getline(content, line);) {
      size_t colon = line.find(": ");
      out.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    }
    return out;
  }

  test::TempDir dir;
};

TEST_F(LogTest, FileGetsOneStampedLinePerNonEmptyMessage) {
  std::string path = dir.file("run.log");
  ASSERT_TRUE(openLogFile(path));
  logMessage("Starting download at http://h/...");
  logMessage("");
  logMessage("Read file in 0.10s (http://h/)", LogKind::Information);
  closeLogFile();
  EXPECT_EQ(fileMessages(path),
            (std::vector<std::string>{"Starting download at http://h/...", "Read file in 0.10s (http://h/)"}));
  EXPECT_EQ(test::drainLog().size(), 3u);  // the empty message reaches the pane all the same
  std::string content = test::readFile(path);
  EXPECT_NE(content.find(": Starting"), std::string::npos);
  EXPECT_NE(content.substr(0, content.find(": ")).find_first_of("0123456789"), std::string::npos);
}

TEST_F(LogTest, ControlsCannotForgeLinesAndANewFileIsTheOwners) {
  std::string path = dir.file("forge.log");
  ASSERT_TRUE(openLogFile(path));
  logMessage("Error downloading http://h/a\n12/07/26 10:00:00: Download complete\r\x1b[2J - gone");
  closeLogFile();
  const std::string flat = "Error downloading http://h/a 12/07/26 10:00:00: Download complete  [2J - gone";
  EXPECT_EQ(fileMessages(path), std::vector<std::string>{flat});
  EXPECT_EQ(test::drainLog(), std::vector<std::string>{flat});
  EXPECT_EQ(test::fileMode(path), 0600u);

  // An existing log keeps the mode its owner gave it; a FIFO is no log.
  chmod(path.c_str(), 0644);
  ASSERT_TRUE(openLogFile(path));
  closeLogFile();
  EXPECT_EQ(test::fileMode(path), 0644u);
  ASSERT_EQ(mkfifo(dir.file("fifo.log").c_str(), 0600), 0);
  EXPECT_FALSE(openLogFile(dir.file("fifo.log")));
}

TEST_F(LogTest, UnopenablePathIsReportedInTheQueue) {
  std::string path = dir.file("missing/dir/x.log");
  EXPECT_FALSE(openLogFile(path));
  EXPECT_FALSE(logFileIsOpen());
  EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Error - unable to open logfile (" + path + ")"});
  EXPECT_FALSE(test::fileExists(path));
}

TEST_F(LogTest, LinesOfManyThreadsNeverMix) {
  std::string path = dir.file("threads.log");
  ASSERT_TRUE(openLogFile(path));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) logMessage("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (auto& t : threads) t.join();
  closeLogFile();
  auto lines = fileMessages(path);
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
  EXPECT_EQ(logQueue().size(), 800u);
}

}  // namespace
}  // namespace sg
