#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/startup.h"

namespace sg {
namespace {

TEST(CommandLine, SwitchesAndFiles) {
  CommandLine line = parseCommandLine({"/q", "-stealth", "/home/user/list.txt", "-set", "Threads=2", "http://h/"});
  EXPECT_TRUE(line.error.empty()) << line.error;
  EXPECT_TRUE(line.quitWhenDone);
  EXPECT_TRUE(line.stealth);
  EXPECT_EQ(line.files, (std::vector<std::string>{"/home/user/list.txt", "http://h/"}));
  ASSERT_EQ(line.overrides.size(), 1u);
  EXPECT_EQ(line.overrides[0], std::make_pair(std::string("Threads"), std::string("2")));

  EXPECT_FALSE(parseCommandLine({"-Q"}).error.empty());  // switch words are case-sensitive
  EXPECT_FALSE(parseCommandLine({"-STEALTH"}).error.empty());
  EXPECT_FALSE(parseCommandLine({"-set"}).error.empty());
  EXPECT_FALSE(parseCommandLine({"-set", "=3"}).error.empty());
  // On this platform "/Q" and other slash words are paths.
  EXPECT_EQ(parseCommandLine({"/Q"}).files, std::vector<std::string>{"/Q"});
  EXPECT_TRUE(parseCommandLine({"-console", "-help"}).help);
}

struct VersionCase {
  const char* version;
  bool holds;
};

TEST(Startup, HttpLibraryVersionRule) {
  const VersionCase cases[] = {
      {"4.71.544.0", true}, {"4.71.543.0", false}, {"4.72.3110.0", true}, {"4.70.1300", false},
      {"5.00.2014.0213", true}, {"4.73", true}, {"3.99.9999", false}, {"7.88.1", true}, {"", false},
  };
  for (const VersionCase& c : cases) EXPECT_EQ(httpLibraryVersionHolds(c.version), c.holds) << c.version;
  EXPECT_TRUE(httpLibraryVersionHolds(httpLibraryVersion()));
  EXPECT_DOUBLE_EQ(productVersion(), 6.4);
}

}  // namespace
}  // namespace sg
