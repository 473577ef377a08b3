#include "util/clock.h"

#include <chrono>

namespace sg {

namespace {
// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;
}  // namespace

uint32_t tickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

FileTime fileTimeFromUnix(const timespec& ts) {
  if (ts.tv_sec < 0) return 0;
  return kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * kTicksPerSecond +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

timespec unixFromFileTime(FileTime ft) {
  timespec ts{};
  if (ft < kUnixEpochAsFileTime) return ts;
  uint64_t since = ft - kUnixEpochAsFileTime;
  ts.tv_sec = static_cast<time_t>(since / kTicksPerSecond);
  ts.tv_nsec = static_cast<long>((since % kTicksPerSecond) * 100);
  return ts;
}

FileTime fileTimeFromTimeT(time_t t) { return fileTimeFromUnix(timespec{t, 0}); }

time_t timeTFromFileTime(FileTime ft) { return unixFromFileTime(ft).tv_sec; }

FileTime currentFileTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return fileTimeFromUnix(ts);
}

}  // namespace sg
