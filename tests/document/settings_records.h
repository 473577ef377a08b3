// Settings records the document tests save and read back.
#pragma once

#include "engine/crawl_settings.h"

namespace sg::test {

// A record in which every value differs from its default.
inline CrawlSettings changedRecord() {
  CrawlSettings s;
  s.stayBelowRoot = true;
  s.maxServerDepth = 3;
  s.maxCrawlDepth = 50000;
  s.autoDial = false;
  s.autoDisconnect = false;
  s.userAgent = "Agent/1.0 (x; y) = z";
  s.username = "Zoë Brontë";  // UTF-8
  s.password = "Wm/Dqzpz+ZWNyZXQ=";
  s.proxyUsername = "proxy user";
  s.proxyPassword = "cHJveHk6cGFzcw==";
  s.promptForPassword = false;
  s.noCache = true;
  s.knownFileTypes = "text/html;image/png";
  s.downloadFileTypes = "text/html;text/plain";
  s.downloadAll = false;
  s.downloadUnknown = false;
  s.fileExtensions = "htm, html; asp";
  s.ignoreInline = true;
  s.saveFiles = true;
  s.saveDirectory = "/home/user/My Sites/Gleaned \xE9t\xE9";  // Latin-1 bytes, not UTF-8
  s.createTree = false;
  s.saveAll = false;
  s.saveFileTypes = "image/gif";
  s.ignoreSavedFiles = true;
  s.checkForChanges = false;
  s.fixLinks = false;
  s.stripHtmlTags = true;
  s.threads = 30;
  s.objectDelay = 59;
  s.maxSize = 6000000;
  s.minSize = 1;
  s.maxTime = 7;
  s.maxTotalTime = 7200;
  s.maxDays = 365;
  s.limitFlags = 31;
  s.limitBinaries = 3;
  s.linkPause = 0;
  s.maxScanSize = 4096;
  s.maxPageLinks = 1;
  s.maxPlaceholders = 0;
  s.maxDownloadSize = 10000000;
  s.scanScripts = false;
  s.maxConnectionsPerServer = 30;
  s.showWarnings = false;
  s.crawlJournal = false;
  s.compression = false;
  s.cookieFile = "/home/user/cookies.txt";
  s.skipLogoutLinks = false;
  s.logFile = "";  // empty, while its default is not
  return s;
}

}  // namespace sg::test
