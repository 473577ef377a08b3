// Speed of the HTML scanner: a page of about 1 MB with 2,000 links
// (paragraphs, anchors, images) fed to scanBlock in blocks of 4095 bytes,
// as the body reader hands them over.
//
//   build/scanner-rel/bench/scanner_bench
//
// KnownLinks measures the steady state of the scanner itself: the
// controller already knows every link, so each link costs a registry
// lookup (and, with Fix Links, its relative path). FreshTree adds every
// link as a new record on each run. NoLinks is the same page with the link
// attributes renamed, which leaves the byte loop and the tag handling.
// StyleSheet feeds a style sheet of about 1 MB (rules, comments, 2,000
// url() references) through the stylesheet scanner, every reference known.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "engine/download_controller.h"
#include "pipeline/css_scanner.h"
#include "pipeline/html_scanner.h"
#include "pipeline/link_rewriter.h"

namespace {

constexpr size_t kLinks = 2000;
constexpr size_t kBlockSize = 4095;
constexpr const char* kPageUrl = "http://www.example-docs.org/manual/chapter07/index.html";

const char* const kWords[] = {
    "the",     "crawler", "follows", "every",   "link",     "on",     "a",        "page",      "and",
    "saves",   "its",     "copy",    "below",   "the",      "chosen", "folder",   "so",        "that",
    "offline", "reading", "works",   "without", "network",  "access", "settings", "limit",     "depth",
    "size",    "time",    "servers", "of",      "download", "which",  "keeps",    "mirroring", "polite",
};

// A documentation page: headings, paragraphs of text with inline markup,
// anchors to pages near and far, and figures. The attribute names are
// replaced when links is false, so that no tag carries a link.
std::string buildPage(bool links) {
  const char* href = links ? "href" : "hraf";
  const char* src = links ? "src" : "srk";
  std::string page;
  page.reserve(1100000);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer,
                "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
                "<title>Chapter 7: Mirroring a site</title>\r\n"
                "<link rel=\"stylesheet\" %s=\"../styles/manual.css\">\r\n"
                "</head>\r\n<body class=\"chapter\">\r\n<div id=\"content\">\r\n",
                href);
  page += buffer;
  size_t word = 0;
  for (size_t i = 0; i < kLinks; ++i) {
    if (i % 20 == 0) {
      std::snprintf(buffer, sizeof buffer, "<h2 id=\"section-%zu\">Section %zu</h2>\r\n", i / 20, i / 20);
      page += buffer;
    }
    page += "<p class=\"body\">";
    for (int w = 0; w < 60; ++w) {
      if (w == 20) page += "<em>";
      if (w == 24) page += "</em>";
      if (w == 40) {
        switch (i % 5) {
          case 0:
            std::snprintf(buffer, sizeof buffer, "<a %s=\"page%04zu.html\">", href, i);
            break;
          case 1:
            std::snprintf(buffer, sizeof buffer, "<a %s=\"../chapter%02zu/page%04zu.html#part%zu\">", href, i % 13, i,
                          i % 7);
            break;
          case 2:
            std::snprintf(buffer, sizeof buffer, "<a class=\"ref\" %s=\"/manual/reference/symbol%04zu.html\">", href,
                          i);
            break;
          case 3:
            std::snprintf(buffer, sizeof buffer,
                          "<a %s=\"http://www.example-docs.org/manual/appendix/note%04zu.html\" title=\"Note\">", href,
                          i);
            break;
          default:
            std::snprintf(buffer, sizeof buffer, "<a %s=\"#section-%zu\">", href, i / 20);
            break;
        }
        page += buffer;
      }
      page += kWords[word++ % std::size(kWords)];
      if (w == 42) page += "</a>";
      page += w % 12 == 11 ? "\r\n" : " ";
    }
    page += "</p>\r\n";
    if (i % 4 == 3) {
      std::snprintf(buffer, sizeof buffer,
                    "<div class=\"figure\"><img %s=\"../images/figure%04zu.png\" width=\"640\" height=\"480\" "
                    "alt=\"Figure %zu\"><br>Figure %zu.</div>\r\n",
                    src, i, i, i);
      page += buffer;
    }
  }
  page += "</div>\r\n</body>\r\n</html>\r\n";
  return page;
}

const std::string& pageWithLinks() {
  static const std::string page = buildPage(true);
  return page;
}

const std::string& pageWithoutLinks() {
  static const std::string page = buildPage(false);
  return page;
}

std::unique_ptr<sg::DownloadController> makeController(bool fixLinks) {
  auto controller = std::make_unique<sg::DownloadController>();
  controller->settings = sg::CrawlSettings::defaults("/home/someone/Desktop");
  controller->settings.fixLinks = fixLinks;
  controller->initialise(kPageUrl, nullptr, 0);
  controller->registerLink(*controller);
  return controller;
}

// One body read: each block's output is written and emptied by the reader.
void scanPage(sg::LinkRecord& record, std::string_view page, std::string& output) {
  sg::HtmlScanner scanner(record);
  for (size_t at = 0; at < page.size(); at += kBlockSize) {
    output.clear();
    scanner.scanBlock(page.substr(at, kBlockSize), output);
    benchmark::DoNotOptimize(output.data());
  }
}

void report(benchmark::State& state, const std::string& page, const sg::LinkRecord& record) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["page_kb"] = static_cast<double>(page.size()) / 1024;
  state.counters["children"] = static_cast<double>(record.childCount());
}

void BM_ScanKnownLinks(benchmark::State& state) {
  const std::string& page = pageWithLinks();
  auto controller = makeController(state.range(0) != 0);
  std::string output;
  scanPage(*controller, page, output);  // every link is known from here on
  for (auto _ : state) scanPage(*controller, page, output);
  report(state, page, *controller);
}

void BM_ScanFreshTree(benchmark::State& state) {
  const std::string& page = pageWithLinks();
  std::string output;
  std::unique_ptr<sg::DownloadController> controller;
  for (auto _ : state) {
    state.PauseTiming();
    controller = makeController(state.range(0) != 0);
    state.ResumeTiming();
    scanPage(*controller, page, output);
  }
  report(state, page, *controller);
}

void BM_ScanNoLinks(benchmark::State& state) {
  const std::string& page = pageWithoutLinks();
  auto controller = makeController(true);
  std::string output;
  for (auto _ : state) scanPage(*controller, page, output);
  report(state, page, *controller);
}

// A framework's style sheet: many plain rules, some with images and fonts.
std::string buildSheet() {
  std::string sheet;
  sheet.reserve(1100000);
  char buffer[512];
  for (size_t i = 0; sheet.size() < 1000000; ++i) {
    std::snprintf(buffer, sizeof buffer,
                  "/* component %zu */\n.c%zu > .item:hover, .c%zu .title { margin: 0 %zupx; color: #%06zx; "
                  "font: 14px/1.4 \"Helvetica Neue\", sans-serif; }\n",
                  i, i, i, i % 17, i * 2654435761u % 0xFFFFFF);
    sheet += buffer;
    if (i % 4 == 0) {
      std::snprintf(buffer, sizeof buffer, ".icon-%zu { background: url(../images/icons/icon%04zu.png) no-repeat; }\n",
                    i, i % 2000);
      sheet += buffer;
    }
  }
  return sheet;
}

void BM_ScanStyleSheet(benchmark::State& state) {
  static const std::string sheet = buildSheet();
  auto controller = makeController(true);
  sg::LinkRewriter links(*controller);
  std::string output;
  auto scanOnce = [&] {
    sg::CssScanner scanner([&](std::string_view url, bool) { return links.take(url, true); });
    for (size_t at = 0; at < sheet.size(); at += kBlockSize) {
      output.clear();
      scanner.scanBlock(std::string_view(sheet).substr(at, kBlockSize), output);
      benchmark::DoNotOptimize(output.data());
    }
    scanner.finish(output);
  };
  scanOnce();  // every reference is known from here on
  for (auto _ : state) scanOnce();
  report(state, sheet, *controller);
}

BENCHMARK(BM_ScanStyleSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanKnownLinks)->ArgName("FixLinks")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanFreshTree)->ArgName("FixLinks")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanNoLinks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
