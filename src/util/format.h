// Short size, duration and rate texts used in messages, panes and columns.
// Pure functions; any thread may call them.
#pragma once

#include <string>

namespace sg {

// "0b", "1.0Kb", "98Kb", "0.5Mb", "1.0Gb" ...
std::string formatSize(double bytes);
// "1.0s", "59s", "1m 0s", "1h 0m", "1dy 1hr" ...
std::string formatDuration(double seconds);
// formatSize of the bytes per second inside "%s/sec".
std::string formatRate(double bytesPerSecond);

}  // namespace sg
