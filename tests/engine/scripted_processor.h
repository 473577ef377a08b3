// A link processor for engine tests: it records the order in which links
// are processed, adds the children a test scripted for each path, queues
// them as a completed page would, and can fetch the link through the
// worker's connection.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download_controller.h"
#include "engine/link_processor.h"
#include "engine/thread_status.h"
#include "platform/http.h"

namespace sg::test {

class ScriptedProcessor : public LinkProcessor {
 public:
  struct Child {
    std::string href;
    bool inlineLink = false;
  };

  LinkOutcome process(LinkRecord& link, HttpConnection& connection) override {
    {
      std::lock_guard lock(m_mutex);
      m_order.push_back(std::string(link.object()));
      m_slots.push_back(currentThreadSlot());
    }
    if (before) before(link);
    if (fetch) {
      auto request = connection.openRequest(link.object());
      request->send();
      char block[4095];
      while (request->read(block, sizeof block) > 0) {
      }
    }
    auto it = children.find(std::string(link.object()));
    if (it != children.end()) {
      for (const Child& child : it->second) link.addChild(child.href, nullptr, child.inlineLink);
    }
    link.status = LinkStatus::Complete;
    DownloadController* controller = link.controller();
    ++controller->objectsCompleted;
    for (size_t i = 0; i < link.childCount(); ++i) {
      if (controller->cancelled) break;
      controller->addLink(link.child(i));
    }
    controller->notify(UpdateCode::LinkChanged, &link);
    return LinkOutcome::Done;
  }

  void refusedByRobots(LinkRecord& link) override {
    std::lock_guard lock(m_mutex);
    m_refused.push_back(std::string(link.object()));
  }

  std::vector<std::string> order() {
    std::lock_guard lock(m_mutex);
    return m_order;
  }
  std::vector<unsigned> slots() {
    std::lock_guard lock(m_mutex);
    return m_slots;
  }
  std::vector<std::string> refused() {
    std::lock_guard lock(m_mutex);
    return m_refused;
  }

  std::map<std::string, std::vector<Child>> children;  // by object path
  std::function<void(LinkRecord&)> before;
  bool fetch = false;

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_order;
  std::vector<unsigned> m_slots;
  std::vector<std::string> m_refused;
};

}  // namespace sg::test
