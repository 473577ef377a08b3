// An observer that lets a test wait for the end of a download.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/download_controller.h"

namespace sg::test {

class EndSignal : public DownloadObserver {
 public:
  void downloadUpdate(UpdateCode code, LinkRecord*) override {
    if (code != UpdateCode::DownloadEnded) return;
    std::lock_guard lock(m_mutex);
    ++m_ends;
    m_cv.notify_all();
  }
  // Waits until `ends` downloads have ended in all.
  bool wait(int ends = 1) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(60), [&] { return m_ends >= ends; });
  }
  int ends() {
    std::lock_guard lock(m_mutex);
    return m_ends;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_ends = 0;
};

}  // namespace sg::test
