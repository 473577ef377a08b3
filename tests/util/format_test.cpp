#include "util/format.h"

#include <gtest/gtest.h>

namespace sg {
namespace {

struct SizeCase {
  double bytes;
  const char* text;
};

TEST(Format, SizeThresholdsAndUnits) {
  const SizeCase cases[] = {
      {0, "0b"},
      {1023, "1023b"},
      {1024, "1.0Kb"},
      {101277, "98.9Kb"},
      {101278, "98Kb"},
      {524287, "511Kb"},
      {524288, "0.5Mb"},
      {536870911, "512.0Mb"},
      {536870912, "0.5Gb"},
      {1073741824, "1.0Gb"},
      {30720, "30.0Kb"},
      {1023.9, "1.0Kb"},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(formatSize(c.bytes), c.text) << c.bytes;
}

struct DurationCase {
  double seconds;
  const char* text;
};

TEST(Format, DurationKeepsTwoLargestUnitsTruncated) {
  const DurationCase cases[] = {
      {0, "0.0s"},     {1, "1.0s"},        {1.5, "1s"},         {59.9, "59s"},
      {60, "1m 0s"},   {3599, "59m 59s"},  {3600, "1h 0m"},     {86399, "23h 59m"},
      {86400, "1dy 0hr"}, {90061, "1dy 1hr"}, {0.5, "0.5s"},   {1800, "30m 0s"},
  };
  for (const DurationCase& c : cases) EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
}

TEST(Format, RateIsSizePerSecond) {
  EXPECT_EQ(formatRate(2048), "2.0Kb/sec");
  EXPECT_EQ(formatRate(0), "0b/sec");
}

}  // namespace
}  // namespace sg
