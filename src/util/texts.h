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
// Cookies and proxies of a download.
inline constexpr const char* kUsingProxy = "Using the proxy %s from %s";
inline constexpr const char* kCookieFileUnreadable =
    "The cookie file %s cannot be read (%s); the download goes on without its cookies.";
inline constexpr const char* kLogoutLinkSkipped =
    "Not requested while cookies are in use: it looks like a link that logs out (\"Skip Logout Links\").";
inline constexpr const char* kLogoutLinkLogged =
    "Not requesting %s while cookies are in use: it looks like a link that logs out (\"Skip Logout Links\").";
// The crawl journal kept below the save directory.
inline constexpr const char* kJournalUnusable =
    "The crawl journal %s cannot be used (%s). It is left as it is; this download keeps no journal, so it "
    "cannot be resumed after a stop.";
inline constexpr const char* kJournalFound = "A stopped download of %s was found with %d links still to fetch.";
inline constexpr const char* kJournalResuming = "Resuming the stopped download of %s: %d links to fetch.";
inline constexpr const char* kJournalRestarting =
    "Starting %s again from the beginning; the stopped download's %d "
    "links still to fetch are forgotten.";
inline constexpr const char* kJournalSettingsChanged =
    "The options were changed since the download was stopped; it goes on with the current ones.";
inline constexpr const char* kJournalConsoleHint =
    "Run again with -resume to continue it, or with -restart to start it again from the beginning.";
inline constexpr const char* kUpdateSummary = "Update: %d new, %d changed, %d unchanged, %d gone, %d failed.";
inline constexpr const char* kNoSaveDirectory = "No directory is set to save the copy in (\"Save Directory\").";
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
inline constexpr const char* kBrowseOffline = "To browse it offline, open %s";
inline constexpr const char* kRootNotWeb = "Cannot copy %s: only http and https addresses can be copied.";
inline constexpr const char* kRootRefused = "Cannot copy %s: %s";
inline constexpr const char* kRobotsUnavailable =
    "The robots file of %s could not be read (%s): its pages are refused until it is read again";
inline constexpr const char* kCrawlDelayApplies =
    "%s asks for %.1f s between requests (Crawl-delay): every worker keeps to it there";
inline constexpr const char* kLinkPauseApplies =
    "%s asks for %.1f s between requests (Crawl-delay): the longer Link Pause of %.1f s applies";
inline constexpr const char* kWaitingForServer = "Waiting for %s, as it asked...";
inline constexpr const char* kServerHold = "%s asks for a pause (%s): its requests wait %.0f s";

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
inline constexpr const char* kEmptyPageKept = "The server sent an empty page; the saved copy was kept";
// Filled with the number of attempts and the last reason.
inline constexpr const char* kAttemptsUsedUp = "Gave up after %d attempts: %s";
// Filled with the size read and the limit.
inline constexpr const char* kScanLimitExceeded =
    "Page size (%s) was larger than the limit for pages scanned for links (%s)";
// Filled with the limit and the page's URL.
inline constexpr const char* kPageLinksLimitReached =
    "Only the first %d links of %s are followed (the limit of links taken from one page)";
inline constexpr const char* kPlaceholderLimitReached =
    "The limit of %d placeholder pages was reached: links not saved from now on get none";
// Filled with the limit.
inline constexpr const char* kSizeLimitExceeded = "Download size limit (%s) reached.";

// Local files and placeholder pages.
inline constexpr const char* kReadLocalFile = "Read local file %s";
inline constexpr const char* kCreatedDirectory = "Created directory for file %s";
inline constexpr const char* kFailedToOpenOutput = "Failed to open output file %s.";
inline constexpr const char* kHtmlFileType = "HTML File";
// Filled with the date, the reason, the URL and the URL again.
inline constexpr const char* kPlaceholderPage =
    "<HTML>\n"
    "<HEAD>\n"
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\n"
    "<META NAME=\"Generator\" CONTENT=\"Sitegleaner\">\n"
    "<TITLE>Sitegleaner - Page Not Available Locally</TITLE>\n"
    "<META NAME=\"Date\" CONTENT=\"%s\">\n"
    "</HEAD>\n"
    "<H1>Sitegleaner - Page not available</H1>\n"
    "<P>The link you have clicked on was not saved locally for the following reason: </P>"
    "<P><I>%s</I></P>\n"
    "<P>If you wish to connect to the internet in order to load this web \n"
    "page, please click on the following link:</P>\n"
    "<P><A HREF=\"%s\">%s</A></P>\n"
    "<HR SIZE=1>\n"
    "<h5>Generated by Sitegleaner (see http://www.corvalin.example/sitegleaner).</h5>\n"
    "</BODY>\n"
    "</HTML>\n";

inline constexpr const char* kPlaceholderDateFormat = "%d/%m/%y";


// HTML scanner.
inline constexpr const char* kNoFollowTag =
    "'NoFollow' HTML tag prohibits Sitegleaner from gleaning links on page %s.";

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

// Dial-up connection.
inline constexpr const char* kConnectionFailed = "Connection to the internet failed.";
inline constexpr const char* kModemDisconnected = "Modem disconnected.";

// The document.
inline constexpr const char* kDownloadComplete = "Download complete";
inline constexpr const char* kDownloadAborted = "Download aborted.";
// Filled with the limit and the number of links left to resume.
inline constexpr const char* kEndTimeLimit =
    "The time limit of the download (%s) was reached: %d links were not fetched (Go resumes them).";
inline constexpr const char* kEndSizeLimit =
    "The size limit of the download (%s) was reached: %d links were not fetched (Go resumes them).";
// Filled with the number of files and the save directory.
inline constexpr const char* kEndUnsaved = "%d files were read but could not be written below %s.";
inline constexpr const char* kNoUrlSelected = "No URL Selected";
inline constexpr const char* kConfirmReset = "This will clear the current download. Are you sure?";
inline constexpr const char* kConfirmCancelBatch =
    "You have cancelled the current download.\n\nDo you want to cancel all downloads in the current batch queue?";
inline constexpr const char* kConfirmCloseDuringDownload =
    "Cannot close whilst a download is in progress.\n\nWould you like to end the current download?";
inline constexpr const char* kFailedToSaveDocument = "Failed to save document.";
// Filled with the unreadable values ("Name (text)", comma-joined) and the
// settings file.
inline constexpr const char* kSettingsValuesUnreadable =
    "An error occurred whilst reading your previous session's settings - this may be due to a corrupted entry in "
    "the settings file. The original Sitegleaner defaults will be used instead for: %s. The settings file (%s) is "
    "left as it is until you change a setting.";
// Filled with the file's path.
inline constexpr const char* kSettingsFileUnusable =
    "The settings file %s is not a regular file: your settings cannot be read or kept. The original Sitegleaner "
    "defaults will be used for this run.";
// Filled with the path, the URLs taken and the lines skipped.
inline constexpr const char* kUrlListRead = "URL list %s: %zu URLs queued, %zu lines skipped (not web URLs)";
inline constexpr const char* kUrlListTruncated = "; only its first %s were read";

// Start-up.
inline constexpr const char* kStealthActivated = "'Stealth' mode activated.";
inline constexpr const char* kCommandLineActivated = "Command-Line mode activated.";
inline constexpr const char* kHttpLibraryTooOld = "Sitegleaner cannot run without libcurl v4 or higher installed.";

inline constexpr const char* kConditionsOfUse =
    "IMPORTANT NOTE: Sitegleaner fetches pages as fast as the limits you set allow. Please be considerate of the "
    "servers you copy: keep the number of threads low, leave the pause after each link in place on servers that "
    "are not your own, respect each site's robots rules, and warn a site's administrator before you copy a large "
    "site. Copying a site may also be subject to its owner's terms and to copyright.";

// Options sheet.
inline constexpr const char* kOptionsCaption = "Sitegleaner Options";
inline constexpr const char* kEnterIntegerBetween = "Please enter an integer between %d and %d.";
inline constexpr const char* kEnterNoMoreThan = "Please enter no more than %d characters.";
inline constexpr const char* kEnterInteger = "Please enter an integer.";
inline constexpr const char* kNoHtmlTypes =
    "You have not selected any HTML types to be downloaded.\nThis may prevent any files from being downloaded at "
    "all.";
inline constexpr const char* kSelectLogFolder = "Select a directory to which the Sitegleaner logfile will be written.";
inline constexpr const char* kSelectSaveFolder = "Select a directory in which local sites should be saved";
inline constexpr const char* kLogFileName = "sitegleaner.log";
inline constexpr const char* kCheckType = "Check '%s'";
inline constexpr const char* kUncheckType = "Uncheck '%s'";
inline constexpr const char* kNoCacheHasNoEffect =
    "Kept for profiles made elsewhere: this platform has no system web cache, so the setting has no effect here.";
inline constexpr const char* kSetPasswordCaption = "Set Password";

// Password prompt after a 401 or 407.
inline constexpr const char* kPasswordPromptCaption = "Enter Network Password";
inline constexpr const char* kPasswordPromptSite = "The site %s asks for a user name and password.";
inline constexpr const char* kPasswordPromptProxy = "The proxy server asks for a user name and password to reach %s.";

// New-version check.
inline constexpr const char* kHomePage = "http://www.corvalin.example/sitegleaner";
inline constexpr const char* kCheckingVersion = "Checking for new Sitegleaner version";
inline constexpr const char* kVersionCheckFailed = "Failed check for new version of Sitegleaner.";
// Filled with versionText(): the number with one digit after the point.
inline constexpr const char* kNewVersionCaption = "Sitegleaner v%s Available";
inline constexpr const char* kNewVersionText =
    "A newer version of Sitegleaner is available for download. To find out more, visit the Sitegleaner home page "
    "by clicking on the link below.";
inline constexpr const char* kHomePageLink = "Sitegleaner Home Page";
inline constexpr const char* kDoNotNotify = "Do &not notify me of future Sitegleaner updates";
// The console's report of a newer release, filled with versionText() and the home page.
inline constexpr const char* kNewVersionLogLine =
    "Sitegleaner v%s is available for download. To find out more, visit the Sitegleaner home page: %s";

// Log file.
inline constexpr const char* kLogOpenFailed = "Error - unable to open logfile (%s)";

// Rates.
inline constexpr const char* kRatePerSecond = "%s/sec";

}  // namespace sg::text
