// A download through the real controller, workers and page pipeline
// against a loopback server, saving into a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "engine/download_controller.h"
#include "engine/robots.h"
#include "pipeline/link_rewriter.h"
#include "pipeline/page_pipeline.h"
#include "support/end_signal.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "util/app_flags.h"
#include "util/log.h"
#include "util/url_ops.h"

namespace sg::test {

// The local references of a saved page or sheet, as a browser reads them
// (character references and escapes decoded), fragments dropped.
inline std::vector<std::string> localReferences(std::string text) {
  static const std::regex comment(R"re(/\*[^*]*\*/)re");
  text = std::regex_replace(text, comment, "");
  static const std::regex pattern(
      R"re((?:href|src|background)\s*=\s*"([^"]*)"|url\(\s*["']?([^"')]*)["']?\s*\)|@import\s+"([^"]*)")re",
      std::regex::icase);
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
    std::string value = (*it)[1].matched ? (*it)[1].str() : (*it)[2].matched ? (*it)[2].str() : (*it)[3].str();
    value = decodeCharacterReferences(value);
    if (value.empty() || value[0] == '#' || value.find(':') != std::string::npos) continue;
    out.push_back(percentDecode(value.substr(0, value.find('#'))));
  }
  return out;
}

class PipelineTest : public ::testing::Test {
 protected:
  PipelineTest() {
    robotsCache().clear();
    robotsCache().setBackoff(1, 4);
    logQueue().clear();
    setStealthMode(false);
    controller.settings = CrawlSettings::defaults(dir.path());
    controller.settings.saveDirectory = dir.file("sites");
    controller.settings.saveFiles = true;
    controller.settings.linkPause = 0;
    controller.settings.threads = 2;
    controller.timing.http.connectMs = 2000;
    controller.timing.http.receiveMs = 2000;
    controller.timing.localReadPauseMs = 0;
    controller.setProcessor(&pipeline);
    controller.setObserver(&ends);
  }
  ~PipelineTest() override {
    controller.workQueue().shutdown();
    controller.setObserver(nullptr);
  }

  // Crawls from url (a path on the server) and waits for the end.
  void crawl(const std::string& path) {
    if (controller.url().empty() || m_runs == 0) {
      ASSERT_TRUE(controller.initialise(server.url(path), nullptr, 0)) << controller.information;
    }
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(ends.wait(++m_runs));
    ASSERT_TRUE(controller.workQueue().waitForWorkers(30000));
  }

  // Crawls afresh from url, on any server, and waits for the end.
  void crawlUrl(const std::string& url) {
    controller.registry().clear();
    controller.workQueue().clearResumeList();
    ASSERT_TRUE(controller.initialise(url, nullptr, 0)) << controller.information;
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(ends.wait(++m_runs));
    ASSERT_TRUE(controller.workQueue().waitForWorkers(30000));
  }

  LinkRecord* link(const std::string& path) { return controller.find(server.url(path)); }
  std::string saved(const std::string& path) { return readFile(localFileOf(path)); }
  std::string localFileOf(const std::string& path) {
    LinkRecord* record = link(path);
    return record ? record->localFile() : std::string();
  }
  std::string hostDir() { return controller.settings.saveDirectory + "/127.0.0.1_" + std::to_string(server.port()); }

  TempDir dir;
  TestServer server;
  PagePipeline pipeline;
  EndSignal ends;
  DownloadController controller;

 private:
  int m_runs = 0;
};

}  // namespace sg::test
