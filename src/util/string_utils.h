// Small text helpers shared by every module. Texts are byte strings; only
// ASCII letters take part in case conversions, as the program's own
// comparisons are defined on ASCII.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sg {

// printf-style formatting into a std::string.
std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

char toLowerAscii(char c);
std::string toLowerAscii(std::string_view text);
// The system's text for an errno value; safe on any thread, unlike strerror.
std::string systemErrorText(int error);
void makeLowerAscii(std::string& text);

bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
// Position of needle in haystack ignoring ASCII case, or npos.
size_t findNoCase(std::string_view haystack, std::string_view needle);
bool containsNoCase(std::string_view haystack, std::string_view needle);

// The C locale's white space: blank, tab, line feed, vertical tab, form
// feed, carriage return.
inline bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Appends c as a "%XX" escape with upper-case hex digits.
inline void appendPercentEscape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

// Trims blanks, tabs, carriage returns and line feeds at both ends.
std::string_view trimWhite(std::string_view text);

// Replaces every byte below 32 (and DEL) by a blank, as texts shown in a
// single line of the interface must not carry control characters.
std::string blankControls(std::string_view text);

// Length of the well-formed UTF-8 sequence at the start of text, 0 when
// there is none (stray continuation byte, overlong form, surrogate, beyond
// U+10FFFF, cut short).
size_t utf8SequenceLength(std::string_view text);

// Appends the UTF-8 form of a code point; NUL, surrogates and what lies
// beyond U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, uint32_t code);

// Base64 (RFC 2045 alphabet, "=" padding, no line breaks).
std::string base64Encode(std::string_view bytes);

// The 64-bit FNV-1a hash, for names that must stay the same from run to
// run (std::hash need not).
uint64_t fnv1aHash(std::string_view text);

}  // namespace sg
