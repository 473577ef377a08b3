#include "document/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <variant>

#include "util/file_io.h"

namespace sg {

namespace {

// A profile is read whole into memory; anything larger than this is not a
// profile (a real one is a few hundred bytes).
constexpr size_t kMaxProfileFileSize = 16 * 1024 * 1024;

// Fields 2 to 35 of a profile in file order (field 1 is the root URL). A
// bool is a 32-bit flag, an int a 32-bit integer, a string a counted text.
using ProfileMember = std::variant<bool CrawlSettings::*, int CrawlSettings::*, std::string CrawlSettings::*>;
using S = CrawlSettings;
const std::array<ProfileMember, 34> kProfileFields = {{
    &S::username,           // 2
    &S::proxyUsername,      // 3
    &S::password,           // 4
    &S::proxyPassword,      // 5
    &S::showWarnings,       // 6
    &S::stayBelowRoot,      // 7
    &S::saveFiles,          // 8
    &S::saveAll,            // 9
    &S::ignoreSavedFiles,   // 10
    &S::createTree,         // 11
    &S::limitBinaries,      // 12
    &S::maxCrawlDepth,      // 13
    &S::maxServerDepth,     // 14
    &S::profileReserved,    // 15
    &S::threads,            // 16
    &S::downloadUnknown,    // 17
    &S::downloadAll,        // 18
    &S::fixLinks,           // 19
    &S::downloadFileTypes,  // 20
    &S::saveFileTypes,      // 21
    &S::maxSize,            // 22
    &S::minSize,            // 23
    &S::maxTime,            // 24
    &S::maxTotalTime,       // 25
    &S::limitFlags,         // 26
    &S::promptForPassword,  // 27
    &S::noCache,            // 28
    &S::saveDirectory,      // 29
    &S::maxDays,            // 30
    &S::autoDial,           // 31
    &S::ignoreInline,       // 32
    &S::userAgent,          // 33
    &S::objectDelay,        // 34
    &S::logFile,            // 35
}};
// Reading stops after field 27: a profile never carries the later fields
// into the record.
constexpr size_t kReadProfileFields = 26;

void appendU16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void appendU32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// Reads little-endian words and counted texts, never past the end.
class ProfileReader {
 public:
  explicit ProfileReader(std::string_view data) : m_data(data) {}

  bool u8(uint8_t& value) {
    if (m_data.size() - m_pos < 1) return false;
    value = static_cast<uint8_t>(m_data[m_pos++]);
    return true;
  }

  bool u16(uint16_t& value) {
    if (m_data.size() - m_pos < 2) return false;
    value = static_cast<uint16_t>(byteAt(0) | byteAt(1) << 8);
    m_pos += 2;
    return true;
  }

  bool u32(uint32_t& value) {
    if (m_data.size() - m_pos < 4) return false;
    value = byteAt(0) | byteAt(1) << 8 | byteAt(2) << 16 | byteAt(3) << 24;
    m_pos += 4;
    return true;
  }

  bool text(std::string& value) {
    uint8_t shortLength = 0;
    if (!u8(shortLength)) return false;
    uint32_t length = shortLength;
    if (shortLength == 0xFF) {
      uint16_t midLength = 0;
      if (!u16(midLength)) return false;
      length = midLength;
      // 0xFFFE introduces a wide-character text elsewhere; profiles never
      // hold one.
      if (midLength == 0xFFFE) return false;
      if (midLength == 0xFFFF && !u32(length)) return false;
    }
    if (m_data.size() - m_pos < length) return false;
    value.assign(m_data.substr(m_pos, length));
    m_pos += length;
    return true;
  }

 private:
  uint32_t byteAt(size_t offset) const { return static_cast<uint8_t>(m_data[m_pos + offset]); }

  std::string_view m_data;
  size_t m_pos = 0;
};

std::string errnoText(int code) { return std::error_code(code, std::generic_category()).message(); }

}  // namespace

void appendCountedText(std::string& out, std::string_view text) {
  const size_t length = text.size();
  if (length < 0xFF) {
    out += static_cast<char>(length);
  } else if (length < 0xFFFE) {
    out += '\xFF';
    appendU16(out, static_cast<uint16_t>(length));
  } else {
    // Texts of 4 GB and more cannot be counted; a record never holds one.
    out += '\xFF';
    appendU16(out, 0xFFFF);
    appendU32(out, static_cast<uint32_t>(length));
  }
  out.append(text);
}

std::string writeProfile(const std::string& rootUrl, const CrawlSettings& settings) {
  std::string out;
  appendU16(out, kDocumentFormatVersion);
  appendU16(out, kSettingsFormatVersion);
  appendCountedText(out, rootUrl);
  for (const ProfileMember& field : kProfileFields) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            appendCountedText(out, settings.*member);
          } else {
            appendU32(out, static_cast<uint32_t>(static_cast<int32_t>(settings.*member)));
          }
        },
        field);
  }
  return out;
}

bool readProfile(std::string_view data, std::string& rootUrl, CrawlSettings& settings) {
  ProfileReader reader(data);
  uint16_t version = 0;
  // The version words are read past, not checked.
  if (!reader.u16(version) || !reader.u16(version)) return false;
  std::string url;
  if (!reader.text(url)) return false;
  for (size_t i = 0; i < kReadProfileFields; ++i) {
    bool ok = std::visit(
        [&](auto member) -> bool {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            std::string value;
            if (!reader.text(value)) return false;
            settings.*member = std::move(value);
          } else {
            uint32_t value = 0;
            if (!reader.u32(value)) return false;
            if constexpr (std::is_same_v<T, bool>) {
              // Profiles write flags as 0 or 1; anything else means the
              // file is not a profile (a URL list read as one, say).
              if (value > 1) return false;
              settings.*member = value != 0;
            } else {
              settings.*member = static_cast<int32_t>(value);
            }
          }
          return true;
        },
        kProfileFields[i]);
    if (!ok) return false;
  }
  rootUrl = std::move(url);
  return true;
}

bool loadProfileFile(const std::string& path, std::string& rootUrl, CrawlSettings& settings, std::string* refusal) {
  // Non-blocking, so that a FIFO given as a profile is refused rather than
  // waited on.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return false;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<uint64_t>(info.st_size) > kMaxProfileFileSize) {
    return false;
  }
  // The file may change size while it is read; take what is there, up to
  // the size seen at the start.
  std::string data(static_cast<size_t>(info.st_size), '\0');
  ssize_t got = readUpTo(fd.get(), data.data(), data.size());
  if (got < 0) return false;
  data.resize(static_cast<size_t>(got));
  if (!readProfile(data, rootUrl, settings)) return false;
  // A profile may come from anyone: a thread count of two thousand million
  // must not reach the engine.
  std::string error = firstSettingRangeError(settings);
  if (error.empty()) return true;
  if (refusal != nullptr) *refusal = "The profile " + path + " cannot be used: " + error + ".";
  return false;
}

bool saveProfileFile(const std::string& path, const std::string& rootUrl, const CrawlSettings& settings,
                     std::string& error) {
  const std::string data = writeProfile(rootUrl, settings);
  // A profile that carries a credential is kept from other users, as the
  // settings file is; any other is an ordinary file.
  const bool holdsCredential = !settings.password.empty() || !settings.proxyPassword.empty();
  const mode_t mode = holdsCredential ? S_IRUSR | S_IWUSR : 0666;

  // Flushed before the rename: an earlier profile must not give way to one
  // that a crash could still leave empty.
  AtomicFile file;
  if (file.create(path, mode, true) && file.write(data) && file.commit()) return true;
  const char* step = file.failedStep() == AtomicFile::Step::Create    ? "Cannot create "
                     : file.failedStep() == AtomicFile::Step::Replace ? "Cannot replace "
                                                                      : "Cannot write ";
  error = step + path + ": " + errnoText(file.error());
  return false;
}

}  // namespace sg
