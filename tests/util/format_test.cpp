#include "util/format.h"

#include <gtest/gtest.h>

#include <utility>

namespace sg {
namespace {

TEST(Format, SizeThresholdsAndUnits) {
  const std::pair<double, const char*> cases[] = {
      {0, "0b"},         {1023, "1023b"},   {1024, "1.0Kb"},        {101277, "98.9Kb"},   {101278, "98Kb"},
      {524287, "511Kb"}, {524288, "0.5Mb"}, {536870911, "512.0Mb"}, {536870912, "0.5Gb"}, {1073741824, "1.0Gb"},
      {30720, "30.0Kb"}, {1023.9, "1.0Kb"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(formatSize(bytes), text) << bytes;
}

TEST(Format, DurationKeepsTwoLargestUnitsTruncated) {
  const std::pair<double, const char*> cases[] = {
      {0, "0.0s"},     {1, "1.0s"},        {1.5, "1s"},        {59.9, "59s"},      {60, "1m 0s"}, {3599, "59m 59s"},
      {3600, "1h 0m"}, {86399, "23h 59m"}, {86400, "1dy 0hr"}, {90061, "1dy 1hr"}, {0.5, "0.5s"}, {1800, "30m 0s"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
}

TEST(Format, RateIsSizePerSecond) {
  EXPECT_EQ(formatRate(2048), "2.0Kb/sec");
  EXPECT_EQ(formatRate(0), "0b/sec");
}

}  // namespace
}  // namespace sg
