// A download controller with default settings, a root URL and an observer
// that counts what the engine announced.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "engine/download_controller.h"

namespace sg::test {

class CountingObserver : public DownloadObserver {
 public:
  void downloadUpdate(UpdateCode code, LinkRecord* record) override {
    std::lock_guard lock(mutex);
    events.emplace_back(code, record);
  }
  size_t count(UpdateCode code) {
    std::lock_guard lock(mutex);
    size_t n = 0;
    for (auto& e : events) n += e.first == code;
    return n;
  }

  std::mutex mutex;
  std::vector<std::pair<UpdateCode, LinkRecord*>> events;
};

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    controller.settings = CrawlSettings::defaults("/home/user/Desktop");
    controller.settings.saveDirectory = "/S";
    controller.setObserver(&observer);
  }
  ~ControllerTest() override { controller.setObserver(nullptr); }

  // Re-initialises the root with url; the settings must be set first.
  void setRoot(const std::string& url) {
    controller.registry().clear();
    ASSERT_TRUE(controller.initialise(url, nullptr, 0)) << controller.information;
    controller.registerLink(controller);
  }

  DownloadController controller;
  CountingObserver observer;
};

}  // namespace sg::test
