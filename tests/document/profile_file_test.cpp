#include "document/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "document/settings_records.h"
#include "support/faulty_file_system.h"
#include "support/posix_scopes.h"
#include "support/settings_text.h"
#include "support/temp_dir.h"

namespace sg {
namespace {

using test::describe;
using test::TempDir;

// The settings a profile read takes, fields 2 to 27 in file order; field 1
// is the root URL and field 15 the reserved profile field.
const char* const kProfileFieldNames[] = {
    "Username",           "Proxy Username", "Password",       "Proxy Password",      "Show Warnings",
    "Stay Below Root",    "Save Files",     "Save All",       "Ignore Saved Files",  "Create Tree",
    "Limit Binaries",     "MaxCrawlDepth",  "MaxServerDepth", "(profile field 15)",  "Threads",
    "Download Unknown",   "Download All",   "Fix Links",      "Download File Types", "Save File Types",
    "Max Size",           "Min Size",       "Max Time",       "Max Total Time",      "Limit Flags",
    "Prompt For Password"};

void copyField(const char* name, const CrawlSettings& from, CrawlSettings& to) {
  if (std::string(name) == "(profile field 15)") {
    to.profileReserved = from.profileReserved;
    return;
  }
  const SettingField* field = findSettingField(name);
  ASSERT_NE(field, nullptr) << name;
  std::visit([&](auto member) { to.*member = from.*member; }, field->member);
}

std::string le16(uint16_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

std::string le32(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
  return out;
}

// A short counted text, its one-byte length first.
std::string shortText(const std::string& text) { return static_cast<char>(text.size()) + text; }

// Two records that differ in every value a profile carries.
CrawlSettings firstRecord() {
  CrawlSettings s = test::changedRecord();
  s.showWarnings = true;
  s.profileReserved = -7;
  s.logFile = "one.log";
  return s;
}

CrawlSettings secondRecord() {
  CrawlSettings s = CrawlSettings::defaults("/home/two/Desktop");
  s.username = "bob";
  s.proxyUsername = "";
  s.password = "Ym9iOnB3";
  s.proxyPassword = "";
  s.showWarnings = false;
  s.saveAll = true;
  s.createTree = true;
  s.limitBinaries = 1;
  s.maxCrawlDepth = 3;
  s.maxServerDepth = 2;
  s.profileReserved = 1;
  s.threads = 2;
  s.downloadFileTypes = "text/plain";
  s.saveFileTypes = "image/png";
  s.maxSize = 20;
  s.minSize = 9;
  s.maxTime = 61;
  s.maxTotalTime = 90;
  s.limitFlags = 0;
  s.noCache = false;
  s.saveDirectory = "/home/two/Sites";
  s.maxDays = 7;
  s.autoDial = true;
  s.ignoreInline = false;
  s.userAgent = "Two/2.0";
  s.objectDelay = 3;
  s.logFile = "";
  return s;
}

// Each input in a heap block of exactly its size, so that the sanitizer
// sees any read beyond its end.
bool readExact(std::string_view data, std::string& rootUrl, CrawlSettings& settings) {
  auto block = std::make_unique<char[]>(data.size());
  std::copy(data.begin(), data.end(), block.get());
  return readProfile(std::string_view(block.get(), data.size()), rootUrl, settings);
}

TEST(ProfileWrite, ExactBytesOfASmallProfile) {
  CrawlSettings s = secondRecord();
  s.username = "u";
  s.password = "dTpw";
  s.saveDirectory = "/d";
  s.userAgent = "UA";
  s.logFile = "l";
  s.maxCrawlDepth = 0x12345678;  // integers are little-endian words
  s.profileReserved = -2;

  const std::string expected =
      le16(6) + le16(7) +
      "\x13"
      "http://a.example/x/" +  // versions, 1 root URL
      shortText("u") +
      shortText("") + shortText("dTpw") + shortText("") +                    // 2-5 user names, passwords
      le32(0) + le32(0) + le32(0) + le32(1) + le32(0) + le32(1) + le32(1) +  // 6-12 flags, Limit Binaries
      "\x78\x56\x34\x12" + le32(2) + "\xFE\xFF\xFF\xFF" + le32(2) +          // 13-16 depths, reserved, Threads
      le32(1) + le32(1) + le32(1) + shortText("text/plain") + shortText("image/png") +  // 17-21
      le32(20) + le32(9) + le32(61) + le32(90) + le32(0) + le32(1) + le32(0) +          // 22-28 limits, flags
      shortText("/d") + le32(7) + le32(1) + le32(0) + shortText("UA") + le32(3) + shortText("l");  // 29-35
  EXPECT_EQ(writeProfile("http://a.example/x/", s), expected);
}

TEST(ProfileWrite, CountedTextFormsAndTheirReadingBack) {
  struct Case {
    size_t length;
    std::string prefix;
  } cases[] = {
      {0, std::string("\x00", 1)},
      {254, "\xFE"},
      {255, std::string("\xFF\xFF\x00", 3)},
      {300, "\xFF\x2C\x01"},
      {0xFFFE, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
      {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, 'q');
    std::string out = "pre";
    appendCountedText(out, text);
    EXPECT_EQ(out, "pre" + c.prefix + text);

    // As the root URL the prefix follows the version words; the text and
    // the fields after it up to field 27 come back whole, 28 to 35 stay.
    std::string bytes = writeProfile(text, secondRecord());
    EXPECT_EQ(bytes.substr(4, c.prefix.size()), c.prefix);
    bytes[0] = '\x63';  // the version words are not checked
    bytes[3] = '\x80';
    std::string url;
    CrawlSettings back = firstRecord();
    ASSERT_TRUE(readExact(bytes, url, back));
    EXPECT_EQ(url, text);
    CrawlSettings expected = firstRecord();
    for (const char* name : kProfileFieldNames) copyField(name, secondRecord(), expected);
    EXPECT_EQ(describe(back), describe(expected));
  }
}

TEST(ProfileRead, DataCutShortFailsUntilFieldTwentySevenIsWhole) {
  CrawlSettings written = firstRecord();
  written.downloadFileTypes = std::string(256, 't');  // a three-byte count
  const std::string url(300, 'u');
  const std::string bytes = writeProfile(url, written);
  // Fields 28 to 35: No Cache, Save Directory, Max Days, AutoDial, Ignore
  // Inline, User Agent, Object Delay, Log File.
  const size_t tail = 4 + (1 + written.saveDirectory.size()) + 4 + 4 + 4 + (1 + written.userAgent.size()) + 4 +
                      (1 + written.logFile.size());
  const size_t endOfField27 = bytes.size() - tail;

  for (size_t length = 0; length <= bytes.size(); ++length) {
    std::string rootUrl = "http://kept.example/";
    CrawlSettings settings = secondRecord();
    const bool ok = readExact(std::string_view(bytes).substr(0, length), rootUrl, settings);
    ASSERT_EQ(ok, length >= endOfField27) << "cut at " << length << " of " << bytes.size();
    EXPECT_EQ(rootUrl, ok ? url : "http://kept.example/") << length;
  }
}

TEST(ProfileRead, MalformedCountsFailCleanly) {
  const std::string versions("\x06\x00\x07\x00", 4);
  struct Case {
    const char* what;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"versions only", versions},
      {"short length beyond the end", versions + '\x05' + "abc"},
      {"16-bit length cut", versions + "\xFF\x10"},
      {"wide-text marker", versions + "\xFF\xFE\xFF\x01" + "a"},
      {"32-bit length cut", versions + std::string("\xFF\xFF\xFF\x10\x00", 5)},
      {"huge 32-bit length", versions + std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7) + "abc"},
  };
  for (const Case& c : cases) {
    std::string url = "kept";
    CrawlSettings settings = secondRecord();
    EXPECT_FALSE(readExact(c.data, url, settings)) << c.what;
    EXPECT_EQ(url, "kept") << c.what;
    EXPECT_EQ(describe(settings), describe(secondRecord())) << c.what;
  }
}

// Loading a saved profile is checked where the document opens one.
TEST(ProfileFile, SaveWritesTheWholeFileInTheModeItsCredentialsAsk) {
  TempDir dir;
  test::UmaskScope scope(022);
  const std::string path = dir.file("site profile.glean");
  std::string error;
  ASSERT_TRUE(saveProfileFile(path, "http://a.example/", firstRecord(), error)) << error;
  EXPECT_EQ(test::readFile(path), writeProfile("http://a.example/", firstRecord()));
  // It holds credentials.
  EXPECT_EQ(test::fileMode(path), 0600u);
  EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"site profile.glean"});

  // Saving again replaces it; without credentials it is an ordinary file.
  CrawlSettings plain = secondRecord();
  plain.password.clear();
  ASSERT_TRUE(saveProfileFile(path, "http://b.example/", plain, error)) << error;
  EXPECT_EQ(test::readFile(path), writeProfile("http://b.example/", plain));
  EXPECT_EQ(test::fileMode(path), 0644u);
  EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"site profile.glean"});
}

// A disk that fills up part way, a flush or a rename that fails.
TEST(ProfileFile, FailedSaveKeepsTheEarlierProfileAndLeavesNothingBehind) {
  using Fault = test::FaultyFileSystem::Fault;
  TempDir dir;
  const std::string path = dir.file("site.glean");
  const std::string earlier = writeProfile("http://a.example/", secondRecord());
  for (const auto& [fault, error, message] : {std::tuple{Fault::Write, ENOSPC, "Cannot write "},
                                              {Fault::Sync, EIO, "Cannot write "},
                                              {Fault::Rename, EACCES, "Cannot replace "}}) {
    test::writeFile(path, earlier);
    test::FaultyFileSystem faulty(fault, error, path, 10);
    std::string reason;
    EXPECT_FALSE(saveProfileFile(path, "http://b.example/", firstRecord(), reason));
    EXPECT_EQ(reason, message + path + ": " + std::strerror(error));
    EXPECT_EQ(test::readFile(path), earlier);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"site.glean"});
  }
}

TEST(ProfileFile, LoadRefusesWhatIsNoProfile) {
  TempDir dir;
  const std::string empty = dir.file("empty.glean");
  test::writeFile(empty, "");
  const std::string huge = dir.file("huge.glean");
  test::writeFile(huge, writeProfile("http://a.example/", firstRecord()));
  std::filesystem::resize_file(huge, 17 * 1024 * 1024);  // sparse
  const std::string fifo = dir.file("fifo.glean");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string truncated = dir.file("truncated.glean");
  test::writeFile(truncated, writeProfile("http://a.example/", firstRecord()).substr(0, 30));

  for (const std::string& path : {empty, huge, fifo, dir.path(), dir.file("missing.glean"), truncated}) {
    std::string url = "kept";
    CrawlSettings settings = secondRecord();
    EXPECT_FALSE(loadProfileFile(path, url, settings)) << path;
    EXPECT_EQ(url, "kept") << path;
  }
}

}  // namespace
}  // namespace sg
