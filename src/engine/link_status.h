#pragma once

#include <cstdint>
#include <string_view>

namespace sg {

// Where a link stands in its download.
enum class LinkStatus : int32_t {
  Pending = 0,
  Reading = 1,
  Complete = 2,
  Failed = 3,
  Skipped = 4,
};

// "Pending", "Reading", "Complete", "Failed" or "Skipped".
const char* linkStatusWord(LinkStatus status);

// What a received body is: unknown before a response, a page (scanned and
// rewritten as HTML), a style sheet (scanned and rewritten as CSS), or
// anything else (saved byte for byte).
enum class ContentKind : int32_t {
  Unknown = 0,
  Html = 1,
  Other = 2,
  Stylesheet = 3,
  Script = 4,  // saved byte for byte, searched for the assets it names
};

// The kind of a body of the given MIME type ("text/html; charset=utf-8").
// Only HTML is a page: a script or plain text served as "text/..." is not.
ContentKind contentKindOf(std::string_view mimeType);

// What the processing of a link came to, for the worker that handed it
// over.
enum class LinkOutcome {
  Done,      // the link is settled, or queued again by the processor itself
  TimedOut,  // a read timed out: the worker queues the link again
};

// Update codes that the engine and the document hand to the views.
enum class UpdateCode : int {
  DisplayOptionChanged = 0,
  DownloadReset = 1,
  LinkChanged = 2,
  LinkAdded = 3,
  DownloadEnded = 4,
};

}  // namespace sg
