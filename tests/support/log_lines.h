// The log lines queued since the last look, for tests that check what a
// run reported.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "util/log.h"

namespace sg::test {

inline std::vector<std::string> drainLog() {
  std::vector<std::string> lines;
  logQueue().drain(lines);
  return lines;
}

inline bool containsLine(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

}  // namespace sg::test
