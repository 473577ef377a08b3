// The program's own texts: every message, status word and information text
// that the user sees, in one table so that wording stays consistent across
// the engine, the console and the desktop front ends. Format texts are
// printf-style and are filled with strprintf().
#pragma once

namespace sg::text {

inline constexpr const char* kProductName = "Sitegleaner";

// Link status words.
inline constexpr const char* kStatusPending = "Pending";
inline constexpr const char* kStatusReading = "Reading";
inline constexpr const char* kStatusComplete = "Complete";
inline constexpr const char* kStatusFailed = "Failed";
inline constexpr const char* kStatusSkipped = "Skipped";
inline constexpr const char* kNotAvailable = "n/a";

// Admission.
inline constexpr const char* kInvalidUrl = "Invalid URL";
inline constexpr const char* kUrlExcluded = "URL excluded by user.";
inline constexpr const char* kNotBelowRoot =
    "Ignoring link - object was not in or below directory of root. (%s)";
inline constexpr const char* kUnwantedType = "Unwanted type '%s'";
inline constexpr const char* kServerRadius = "Server 'radius' reached";
inline constexpr const char* kRemovedByUser = "URL removed from download by user.";

// Controller and workers.
inline constexpr const char* kStartingDownload = "Starting download at %s...";
inline constexpr const char* kResumingDownload = "Resuming download.";
inline constexpr const char* kPendingCount = "%d pending";
inline constexpr const char* kResumeCount = "%d to resume";
inline constexpr const char* kThreadsCount = "%d threads";
inline constexpr const char* kTimeLimitExceeded = "Time limit exceeded.";
inline constexpr const char* kInitialisingThread = "Initialising thread";
inline constexpr const char* kInitialisingConnection = "Initialising connection";
inline constexpr const char* kThreadEnded = "Thread ended";
inline constexpr const char* kWaitingBetweenObjects = "Waiting between objects (%ds remaining)...";
inline constexpr const char* kTimedOutConnecting = "Timed out connecting to %s";
inline constexpr const char* kErrorConnecting = "Error connecting to %s - %s";
inline constexpr const char* kUnhandledThreadError = "Unhandled error in Download thread.";
inline constexpr const char* kReadingRobots = "Reading robots file.";
inline constexpr const char* kAccessDenied = "Access denied to %s on %s";

// Link processing.
inline constexpr const char* kDownloading = "Downloading %s";
inline constexpr const char* kReading = "Reading %s (%s)";
inline constexpr const char* kRemaining = " - %s remaining";
inline constexpr const char* kReadFileIn = "Read file in %0.2fs (%s)";
inline constexpr const char* kSavedAs = "Saved as %s";
inline constexpr const char* kDownloadingLinksFrom = "Downloading links from '%s'";
inline constexpr const char* kTimedOutReading = "Timed out reading %s (%d attempts remaining)";
inline constexpr const char* kErrorDownloading = "Error downloading %s - %s";
inline constexpr const char* kSeriousError = "A serious unknown error occurred (exception).";
inline constexpr const char* kSizeLarger = "File size (%s) was larger than limit (%s)";
inline constexpr const char* kSizeSmaller = "File size (%s) was smaller than limit (%s)";
inline constexpr const char* kTimeExceeded = "Download time (%s) exceeded limit (%s)";
inline constexpr const char* kMaximumDepth = "Reached maximum %d levels deep. Links will not be downloaded.";
inline constexpr const char* kWriteFailed = "Failed to write output file %s (%s)";

// HTTP exchange.
inline constexpr const char* kRequesting = "Requesting %s...";
inline constexpr const char* kReceivedResponse = "Received response";
inline constexpr const char* kReceivedUnchanged = "Received response - file unchanged";
inline constexpr const char* kErrorSendingRequest = "Error sending request for %s";
inline constexpr const char* kNoRedirectDestination = "Redirection with no destination.";
inline constexpr const char* kTooManyRedirections = "Maximum number of redirections reached.";
inline constexpr const char* kRedirectedTo = "Redirected to %s";
inline constexpr const char* kNotModifiedWithin = "File not modified within %d days";
inline constexpr const char* kStatusInformation = "Status: %s";

// Log file.
inline constexpr const char* kLogOpenFailed = "Error - unable to open logfile (%s)";

// Rates.
inline constexpr const char* kRatePerSecond = "%s/sec";

}  // namespace sg::text
