#include "util/url_ops.h"

#include <curl/curl.h>
#include <idn2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "util/string_utils.h"

namespace sg {

namespace {

struct CurlUrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using CurlUrlPtr = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
  void operator()(char* p) const { curl_free(p); }
};

// Reads one part; false when the URL has no such part.
bool getPart(CURLU* h, CURLUPart what, std::string& out, unsigned flags = 0) {
  char* raw = nullptr;
  if (curl_url_get(h, what, &raw, flags) != CURLUE_OK || raw == nullptr) {
    out.clear();
    return false;
  }
  std::unique_ptr<char, CurlStringDeleter> holder(raw);
  out.assign(raw);
  return true;
}

// Does the text start with "scheme:" where the colon is not followed by a
// port number? Such texts (mailto:, javascript:, news:) name another
// protocol and must not be turned into "http://mailto:..." URLs.
bool startsWithOpaqueScheme(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  size_t i = 1;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isalnum(c) || c == '+' || c == '-' || c == '.') {
      ++i;
      continue;
    }
    break;
  }
  if (i >= text.size() || text[i] != ':') return false;
  return i + 1 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i + 1]));
}

// Bytes that stand in a URL as they are, in libcurl's output and ours.
constexpr std::array<bool, 256> kPlainUrlBytes = [] {
  std::array<bool, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = table[c - 'a' + 'A'] = true;
  for (char c : std::string_view("-._~/?=&;,+!$'()*@:")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

bool isPlainUrlByte(char c) { return kPlainUrlBytes[static_cast<unsigned char>(c)]; }

// Calls visit with each part of text between separators, empty ones
// included, until it answers false; answers whether every part passed.
template <typename Visit>
bool everySegment(std::string_view text, char separator, Visit visit) {
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    if (!visit(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

// A decimal number as libcurl writes it (no leading zeros), at most limit;
// -1 for anything else.
long plainDecimal(std::string_view digits, long limit) {
  if (digits.empty() || digits.size() > 5 || (digits.size() > 1 && digits[0] == '0')) return -1;
  long value = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  return value <= limit ? value : -1;
}

// Four decimal numbers from 0 to 255 without leading zeros.
bool isDottedQuad(std::string_view host) {
  int parts = 0;
  return everySegment(host, '.', [&](std::string_view part) { return ++parts <= 4 && plainDecimal(part, 255) >= 0; }) &&
         parts == 4;
}

bool hasDotSegment(std::string_view path) {
  return !everySegment(path, '/', [](std::string_view segment) { return segment != "." && segment != ".."; });
}

// Does libcurl write this host as a dotted quad when it parses it ("8",
// "127.1", "0x7f.0.0.1" are IPv4 addresses to it)? Only a host already in
// that form, or one whose last label is a name, stays as written.
bool mayBeRewrittenAsAddress(std::string_view host) {
  size_t lastLabel = host.rfind('.') + 1;  // 0 without a dot
  return lastLabel < host.size() && std::isdigit(static_cast<unsigned char>(host[lastLabel])) && !isDottedQuad(host);
}

// Every part of a parsed URL, read once from libcurl's handle.
struct CurlParts {
  std::string scheme, user, password, host, port, path, query, fragment;
  std::string effectivePort;  // the explicit port, or the scheme's default
  bool hasUser = false, hasPassword = false, hasPort = false, hasQuery = false, hasFragment = false;
  bool hostConverted = false;  // the host was written in Unicode
};

void readParts(CURLU* h, CurlParts& p) {
  getPart(h, CURLUPART_SCHEME, p.scheme);
  p.hasUser = getPart(h, CURLUPART_USER, p.user);
  p.hasPassword = getPart(h, CURLUPART_PASSWORD, p.password);
  getPart(h, CURLUPART_HOST, p.host);
  // One server, one name: a host written in Unicode is the same server as
  // its ASCII form, which is also what goes on the wire.
  std::string ascii = asciiHost(p.host);
  p.hostConverted = ascii != p.host;
  p.host = std::move(ascii);
  p.hasPort = getPart(h, CURLUPART_PORT, p.port);
  if (p.hasPort) {
    p.effectivePort = p.port;
  } else {
    getPart(h, CURLUPART_PORT, p.effectivePort, CURLU_DEFAULT_PORT);
  }
  getPart(h, CURLUPART_PATH, p.path);
  p.hasQuery = getPart(h, CURLUPART_QUERY, p.query);
  p.hasFragment = getPart(h, CURLUPART_FRAGMENT, p.fragment);
}

// The URL as libcurl writes it, without the fragment. Put together here
// because libcurl's own URL output goes through its printf engine, which
// dominated the cost of adding links.
std::string assembleUrl(const CurlParts& p) {
  std::string url;
  url.reserve(p.scheme.size() + p.host.size() + p.path.size() + p.query.size() + 16);
  url += p.scheme;
  url += "://";
  if (p.hasUser) {
    url += p.user;
    if (p.hasPassword) {
      url += ':';
      url += p.password;
    }
    url += '@';
  }
  url += p.host;
  if (p.hasPort) {
    url += ':';
    url += p.port;
  }
  url += p.path.empty() ? "/" : p.path;
  if (p.hasQuery) {
    url += '?';
    url += p.query;
  }
  return url;
}

// libcurl decodes one level of escapes in a host ("//%36/", "//%2541/")
// after it has looked for an IPv4 address in it, so such a host gets its
// final spelling only over further parses ("6", then "0.0.0.6"; "%41",
// then "A"). Parsing again here until the host stays as it is gives the URL
// that spelling at once, so one server never has two. Each parse shortens
// a host it changes, so this ends.
void readSettledParts(CURLU* h, CurlParts& p) {
  readParts(h, p);
  while (p.host.find('%') != std::string::npos || mayBeRewrittenAsAddress(p.host)) {
    std::string before = p.host;
    std::string again = assembleUrl(p);
    if (p.hasFragment) {
      again += '#';
      again += p.fragment;
    }
    if (curl_url_set(h, CURLUPART_URL, again.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return;
    readParts(h, p);
    if (p.host == before) return;
  }
}

bool isHttpScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

void toHttpParts(const CurlParts& p, HttpUrlParts& out) {
  out.server = p.host;
  out.object = p.path.empty() ? "/" : p.path;
  if (p.hasQuery) {
    out.object += '?';
    out.object += p.query;
  }
  if (p.hasFragment) {
    out.object += '#';
    out.object += p.fragment;
  }
  out.https = p.scheme == "https";
  out.port = static_cast<uint16_t>(std::strtoul(p.effectivePort.c_str(), nullptr, 10));
}

struct Cracked {
  std::string scheme;
  HttpUrlParts parts;
  std::string asciiUrl;  // the URL with its host in ASCII, when it was not
};

bool crack(std::string_view text, Cracked& out) {
  // "http:///tmp/list.txt" names no server, whatever a lenient parser makes
  // of the path's first segment.
  if (size_t slashes = text.find("://"); slashes != std::string_view::npos && slashes + 3 < text.size() &&
                                         (text[slashes + 3] == '/' || text[slashes + 3] == '\\')) {
    return false;
  }
  CurlUrlPtr h(curl_url());
  if (!h) return false;
  std::string encoded = encodeUnsafeBytes(text);
  if (curl_url_set(h.get(), CURLUPART_URL, encoded.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return false;
  }
  CurlParts parts;
  readSettledParts(h.get(), parts);
  out.scheme = parts.scheme;
  toHttpParts(parts, out.parts);
  if (parts.hostConverted) {
    out.asciiUrl = assembleUrl(parts);
    if (parts.hasFragment) out.asciiUrl += '#' + parts.fragment;
  }
  // Port 0 cannot be connected to; such a URL names nothing.
  return out.parts.port != 0;
}

// The last base URL resolved against on this thread: a page's links are
// all resolved against the page, so its parse is reused.
struct BaseCache {
  std::string text;
  CurlUrlPtr handle;
};

CurlUrlPtr handleForBase(std::string_view base) {
  thread_local BaseCache cache;
  if (!cache.handle || cache.text != base) {
    CurlUrlPtr parsed(curl_url());
    std::string encoded = encodeUnsafeBytes(base);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, encoded.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
      return nullptr;
    }
    cache.handle = std::move(parsed);
    cache.text.assign(base);
  }
  return CurlUrlPtr(curl_url_dup(cache.handle.get()));
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uint16_t defaultPort(bool https) { return https ? 443 : 80; }

std::string asciiHost(std::string_view host) {
  if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::string(host);
  }
  const std::string text(host);
  char* ascii = nullptr;
  // Names that the current rules refuse but browsers still reach (the
  // transitional rules of 2003) are tried second.
  if (idn2_to_ascii_8z(text.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK &&
      idn2_to_ascii_8z(text.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_TRANSITIONAL) != IDN2_OK) {
    return text;
  }
  std::string out = ascii;
  idn2_free(ascii);
  return out;
}

std::string unicodeHost(std::string_view host) {
  std::string text(host);
  if (text.rfind("xn--", 0) != 0 && text.find(".xn--") == std::string::npos) return text;
  char* unicode = nullptr;
  if (idn2_to_unicode_8z8z(text.c_str(), &unicode, 0) != IDN2_OK) return text;
  std::string out = unicode;
  idn2_free(unicode);
  // Decoding may yield what no file name should hold; the ASCII form is safe.
  const bool plain = std::none_of(out.begin(), out.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && !std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.';
  });
  return plain ? out : text;
}

bool parseHttpUrl(std::string& url, HttpUrlParts& parts) {
  Cracked cracked;
  if (!crack(url, cracked)) {
    if (startsWithOpaqueScheme(url)) return false;
    std::string prefixed = "http://" + url;
    if (!crack(prefixed, cracked)) return false;
    url = std::move(prefixed);
  }
  if (!cracked.asciiUrl.empty()) url = std::move(cracked.asciiUrl);
  parts = std::move(cracked.parts);
  return cracked.scheme == "http" || cracked.scheme == "https";
}

bool parseHttpUrl(std::string& url, std::string& server, std::string& object, uint16_t* port) {
  HttpUrlParts parts;
  bool ok = parseHttpUrl(url, parts);
  server = std::move(parts.server);
  object = std::move(parts.object);
  if (port) *port = parts.port;
  return ok;
}

bool sameUrl(std::string_view a, std::string_view b) {
  std::string ta(a), tb(b);
  HttpUrlParts pa, pb;
  if (!parseHttpUrl(ta, pa) || !parseHttpUrl(tb, pb)) return false;
  return pa.port == pb.port && equalsNoCase(pa.server, pb.server) && equalsNoCase(pa.object, pb.object);
}

std::string percentDecode(std::string_view text) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = hexValue(text[i + 1]);
      int lo = hexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string encodeUnsafeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      appendPercentEscape(out, u);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string encodeRequestTarget(std::string_view text) {
  std::string encoded = encodeUnsafeBytes(text);
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (size_t at = encoded.find('%'); at != std::string::npos; at = encoded.find('%', at + 1)) {
    if (at + 2 < encoded.size() && hex(encoded[at + 1]) && hex(encoded[at + 2])) continue;
    encoded.replace(at, 1, "%25");
  }
  return encoded;
}

namespace {

// What a plain base contributes to every plain reference resolved
// against it.
struct PlainBase {
  bool plain = false;
  bool https = false;
  uint16_t port = 0;
  size_t pathStart = 0;
  size_t directoryEnd = 0;  // just after the last "/" of the path
  std::string host;
};

PlainBase analysePlainBase(std::string_view base) {
  PlainBase out;
  bool https = base.rfind("https://", 0) == 0;
  if (!https && base.rfind("http://", 0) != 0) return out;
  size_t hostStart = https ? 8 : 7;
  size_t pathStart = base.find('/', hostStart);
  if (pathStart == std::string_view::npos || pathStart == hostStart) return out;
  std::string_view authority = base.substr(hostStart, pathStart - hostStart);
  for (char c : authority) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':') return out;
  }
  std::string_view host = authority;
  uint16_t port = defaultPort(https);
  if (size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    // libcurl writes "080" as "80", and refuses port 0.
    long value = plainDecimal(authority.substr(colon + 1), 65535);
    if (value <= 0) return out;
    port = static_cast<uint16_t>(value);
  }
  if (host.empty()) return out;
  if (mayBeRewrittenAsAddress(host)) return out;
  for (char c : base.substr(pathStart)) {
    if (!isPlainUrlByte(c)) return out;
  }
  // No dot segments to remove (a root URL typed by the user is not
  // normalised yet), and no empty segments, which libcurl resolves in its
  // own way.
  std::string_view basePath = base.substr(pathStart, base.find('?', pathStart) - pathStart);
  if (hasDotSegment(basePath) || basePath.find("//") != std::string_view::npos) return out;

  out.plain = true;
  out.https = https;
  out.port = port;
  out.pathStart = pathStart;
  out.directoryEnd = pathStart + basePath.rfind('/') + 1;
  out.host.assign(host);
  return out;
}

// A page's links are all resolved against the page, so the base is
// looked at once.
const PlainBase& plainBaseFor(std::string_view base) {
  thread_local std::string text;
  thread_local PlainBase analysed;
  if (text != base) {
    analysed = analysePlainBase(base);
    text.assign(base);
  }
  return analysed;
}

// A relative path reference ("page.html", "dir/a.gif?x=1") against a plain
// http(s) base is the base's directory followed by the reference; most
// links of a page are of this kind, and libcurl's parser was most of the
// cost of adding a link. Anything less plain goes to libcurl.
bool resolvePlainReference(std::string_view base, std::string_view reference, std::string& combined,
                           HttpUrlParts& parts) {
  if (reference.front() == '/' || reference.front() == '?') return false;
  for (char c : reference) {
    if (!isPlainUrlByte(c)) return false;
  }
  std::string_view path = reference.substr(0, reference.find('?'));
  // No scheme ("x:y" before any "/"), no dot or empty segments.
  size_t colon = path.find(':');
  if (colon != std::string_view::npos && colon < path.find('/')) return false;
  if (hasDotSegment(path) || path.find("//") != std::string_view::npos) return false;
  const PlainBase& plain = plainBaseFor(base);
  if (!plain.plain) return false;

  combined.reserve(plain.directoryEnd + reference.size());
  combined.assign(base.substr(0, plain.directoryEnd));
  combined.append(reference);
  parts.server = plain.host;
  parts.object.assign(combined, plain.pathStart, std::string::npos);
  parts.port = plain.port;
  parts.https = plain.https;
  return true;
}

}  // namespace

CombinedUrl combineUrl(std::string_view base, std::string_view link) { return combineUrl(base, link, true); }

CombinedUrl combineUrl(std::string_view base, std::string_view link, bool allowShortcut) {
  // The link's own fragment is kept aside while the rest is resolved:
  // libcurl 7.88 drops an empty fragment and resolves a fragment-only
  // reference to the base's directory rather than to the base itself
  // (RFC 3986, 5.2.2).
  size_t linkHash = link.find('#');
  std::string_view reference = link.substr(0, linkHash);
  CombinedUrl out;
  std::string combined;
  bool resolved = false;
  if (reference.empty()) {
    combined.assign(base.substr(0, base.find('#')));
    resolved = true;
  } else if (allowShortcut && resolvePlainReference(base, reference, combined, out.parts)) {
    resolved = true;
    out.partsValid = true;
  } else if (CurlUrlPtr h = handleForBase(base)) {
    // The link's own fragment was cut off, and the base's is not inherited.
    std::string encodedReference = encodeUnsafeBytes(reference);
    if (curl_url_set(h.get(), CURLUPART_URL, encodedReference.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
      CurlParts parts;
      readSettledParts(h.get(), parts);
      combined = assembleUrl(parts);
      resolved = true;
      // Without escapes, decoding changes nothing, so the parts that were
      // just read are those of the combined URL.
      if (isHttpScheme(parts.scheme) && combined.find('%') == std::string::npos) {
        parts.hasFragment = false;
        toHttpParts(parts, out.parts);
        // A link may name port 0 ("//h:00/"), which parsing refuses.
        out.partsValid = out.parts.port != 0;
      }
    }
  }

  std::string absolute;
  if (resolved) {
    if (linkHash != std::string_view::npos) combined.append(link.substr(linkHash));
    absolute = percentDecode(combined);
  } else {
    absolute.assign(link);
  }

  size_t hash = absolute.find('#');
  if (hash == std::string::npos) {
    out.url = std::move(absolute);
  } else {
    out.fragment = absolute.substr(hash + 1);
    absolute.resize(hash);
    out.url = std::move(absolute);
    out.hasFragment = true;
  }
  return out;
}

std::string displayPath(std::string_view object) {
  for (char stop : {'?', '#', '@'}) {
    size_t at = object.find(stop);
    if (at != std::string_view::npos) object = object.substr(0, at);
  }
  return std::string(object);
}

void makeRelativePath(std::string_view base, std::string& target, bool dotPrefix) {
  constexpr size_t kNone = std::string_view::npos;
  size_t lastCommon = kNone;
  for (size_t i = 0; i < base.size() && i < target.size(); ++i) {
    if (target[i] == '/' && base[i] == '/') {
      lastCommon = i;
      continue;
    }
    if (target[i] != base[i]) break;
  }

  std::string prefix;
  for (size_t i = (lastCommon == kNone ? 0 : lastCommon + 1); i < base.size(); ++i) {
    if (base[i] == '/') prefix += prefix.empty() ? ".." : "/..";
  }

  std::string rest;
  if (lastCommon == kNone) {
    rest = prefix.empty() ? target : "/" + target;
  } else if (prefix.empty()) {
    // The target lies in the base's own directory or below it.
    rest = target.substr(lastCommon + 1);
  } else {
    rest = target.substr(lastCommon);  // keeps the "/" after the ".." run
  }
  target = (dotPrefix ? "./" : "") + prefix + rest;
}

bool takeUserInfo(std::string& url, std::string& userInfo) {
  size_t slashes = url.find("//");
  if (slashes == std::string::npos) return false;
  // Only a scheme (or nothing) may stand before the "//".
  size_t colon = url.find(':');
  if (slashes != 0 && (colon == std::string::npos || colon + 1 != slashes)) return false;
  size_t authority = slashes + 2;
  size_t end = url.find_first_of("/?#", authority);
  if (end == std::string::npos) end = url.size();
  size_t at = url.rfind('@', end == 0 ? 0 : end - 1);
  if (at == std::string::npos || at < authority) return false;
  userInfo = url.substr(authority, at - authority);
  url.erase(authority, at + 1 - authority);
  return true;
}

}  // namespace sg
