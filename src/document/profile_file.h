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
// fields 28 to 35 are not read. False when the data ends early; the fields
// read before that keep their new values.
bool readProfile(std::string_view data, std::string& rootUrl, CrawlSettings& settings);

// Counted text form: one length byte below 255; else 0xFF and a 16-bit
// length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length.
void appendCountedText(std::string& out, std::string_view text);

// Whole-file helpers. saveProfileFile writes atomically and reports a
// readable error text on failure.
bool loadProfileFile(const std::string& path, std::string& rootUrl, CrawlSettings& settings);
bool saveProfileFile(const std::string& path, const std::string& rootUrl, const CrawlSettings& settings,
                     std::string& error);

}  // namespace sg
