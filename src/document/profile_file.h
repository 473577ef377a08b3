// URL profile files (*.glean): a root URL with the settings to crawl it,
// in the program's binary format (little-endian words, counted texts).
// Plain C++; no Qt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/crawl_settings.h"

namespace sg {

inline constexpr uint16_t kDocumentFormatVersion = 6;
inline constexpr uint16_t kSettingsFormatVersion = 7;

// The bytes of a profile: both version words and fields 1 to 35.
std::string writeProfile(const std::string& rootUrl, const CrawlSettings& settings);

// Reads the version words and fields 1 to 27 into rootUrl and settings;
// fields 28 to 35 are not read, so data that ends after field 27 is a
// whole profile. False when the data ends early or a text's count is
// malformed; the settings read before that keep their new values, and
// rootUrl is set only when every field was read.
bool readProfile(std::string_view data, std::string& rootUrl, CrawlSettings& settings);

// Counted text form: one length byte below 255; else 0xFF and a 16-bit
// length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length.
void appendCountedText(std::string& out, std::string_view text);

// Whole-file helpers. loadProfileFile refuses what is not a regular file
// or is larger than 16 MB, and a profile holding a number outside the range
// the options accept (refusal then says which; it stays empty for a file
// that is no profile at all). saveProfileFile writes a file beside path and
// renames it into place, so on failure no new profile exists and an
// earlier one is untouched; error then names the path and the system's
// reason. A profile holding a credential is made readable by its owner
// only.
bool loadProfileFile(const std::string& path, std::string& rootUrl, CrawlSettings& settings,
                     std::string* refusal = nullptr);
bool saveProfileFile(const std::string& path, const std::string& rootUrl, const CrawlSettings& settings,
                     std::string& error);

}  // namespace sg
