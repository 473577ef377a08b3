// URL splitting, comparison and combination, and local relative paths.
// Stateless; any thread may call them. URLs are byte strings; parsing and
// resolving follow RFC 3986 through libcurl's URL API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sg {

struct HttpUrlParts {
  std::string server;  // host only: no scheme, port or user name
  std::string object;  // path, then "?" query and "#" fragment when present
  uint16_t port = 0;   // the scheme's default when the URL names none
  bool https = false;
};

// Splits a web URL. A text that does not crack as it stands is tried again
// behind "http://"; when that works the caller's text is replaced by the
// prefixed one. A host written in Unicode is given in ASCII (asciiHost),
// in the parts and in the caller's text. Answers true only for http and https URLs; other schemes
// that crack (ftp, ...) answer false with the parts filled in all the same.
bool parseHttpUrl(std::string& url, HttpUrlParts& parts);
bool parseHttpUrl(std::string& url, std::string& server, std::string& object,
                  uint16_t* port = nullptr);

uint16_t defaultPort(bool https);

// Same object: both parse, same port, server and object equal ignoring case.
bool sameUrl(std::string_view a, std::string_view b);

struct CombinedUrl {
  std::string url;       // absolute URL without fragment
  std::string fragment;  // text after the first "#", without it
  bool hasFragment = false;
  // When set, parts holds the split of url (an http or https URL), so that
  // it need not be parsed again.
  bool partsValid = false;
  HttpUrlParts parts;
};

// Resolves a link found on a page against the page's URL, percent-decodes
// the result, and cuts it at its first "#". A link that cannot be resolved
// is used as written.
CombinedUrl combineUrl(std::string_view base, std::string_view link);
// The same; with allowShortcut false every link goes through libcurl (the
// tests and fuzzers compare both ways).
CombinedUrl combineUrl(std::string_view base, std::string_view link, bool allowShortcut);

// Takes "user:password@" out of the authority of a URL text (the part
// after "//"), giving it in userInfo without the "@". False, with url
// unchanged, when the URL carries none.
bool takeUserInfo(std::string& url, std::string& userInfo);

// Percent-decodes every "%XX" escape; malformed escapes stay as they are.
std::string percentDecode(std::string_view text);
// Escapes the bytes that may not stand in a request target: blanks,
// controls, DEL and bytes above 127.
std::string encodeUnsafeBytes(std::string_view text);
// The same for a request target, where a "%" that starts no escape is a
// percent sign of the name ("100%.html" was linked as "100%25.html") and is
// sent as "%25".
std::string encodeRequestTarget(std::string_view text);

// A host name as it is asked for: a name written in Unicode ("bücher.de")
// in its ASCII form ("xn--bcher-kva.de"), lower case. Other hosts, and a
// Unicode name that is no valid international name, come back as given.
std::string asciiHost(std::string_view host);
// The Unicode form of a host whose labels are ASCII-encoded international
// names, for file names a person reads; other hosts come back as given.
std::string unicodeHost(std::string_view host);

// The object cut before its first "?", then "#", then "@".
std::string displayPath(std::string_view object);

// Rewrites target as a path relative to the directory of base. Both are
// "/"-separated and compared exactly, as Linux file names are
// case-sensitive. With dotPrefix the result starts with "./".
void makeRelativePath(std::string_view base, std::string& target, bool dotPrefix = false);

}  // namespace sg
