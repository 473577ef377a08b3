#include "util/format.h"

#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

std::string formatSize(double v) {
  // The boundaries are part of what users see: 101277, not 102400, is where
  // whole kilobytes take over, and from 512 Kb up sizes show as a fraction of
  // the next unit.
  if (v > 536870911.0) return strprintf("%0.1fGb", v / 1073741824.0);
  if (v > 524287.0) return strprintf("%0.1fMb", v / 1048576.0);
  if (v > 101277.0) return strprintf("%dKb", static_cast<int>(v / 1024.0));
  if (v > 1023.0) return strprintf("%0.1fKb", v / 1024.0);
  return strprintf("%ldb", static_cast<long>(v));
}

std::string formatDuration(double t) {
  if (t >= 86400.0) {
    int days = static_cast<int>(t / 86400.0);
    int hours = static_cast<int>((t - days * 86400.0) / 3600.0);
    return strprintf("%ddy %dhr", days, hours);
  }
  if (t >= 3600.0) {
    int hours = static_cast<int>(t / 3600.0);
    int minutes = static_cast<int>((t - hours * 3600.0) / 60.0);
    return strprintf("%dh %dm", hours, minutes);
  }
  if (t >= 60.0) {
    int minutes = static_cast<int>(t / 60.0);
    int seconds = static_cast<int>(t - minutes * 60.0);
    return strprintf("%dm %ds", minutes, seconds);
  }
  if (t > 1.0) return strprintf("%lds", static_cast<long>(t));
  return strprintf("%0.1fs", t);
}

std::string formatRate(double bytesPerSecond) {
  return strprintf(text::kRatePerSecond, formatSize(bytesPerSecond).c_str());
}

}  // namespace sg
