#pragma once

#include <cstdint>

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

// What a received body is: unknown before a response, scanned as HTML, or
// anything else.
enum class ContentKind : int32_t {
  Unknown = 0,
  Html = 1,
  Other = 2,
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
