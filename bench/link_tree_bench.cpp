// Memory and speed of the link tree: builds trees of link records with
// realistic URLs through addChild, the way the HTML scanner does.
//
//   build/bench/link_tree_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/download_controller.h"

namespace {

size_t heapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::unique_ptr<sg::DownloadController> makeController() {
  auto controller = std::make_unique<sg::DownloadController>();
  controller->settings = sg::CrawlSettings::defaults("/home/someone/Desktop");
  controller->settings.maxCrawlDepth = 50;
  controller->initialise("http://www.example-docs.org/manual/index.html", nullptr, 0);
  controller->registerLink(*controller);
  return controller;
}

// A documentation site: sections of chapters of pages, each page linking to
// pages further down, to images and to pages of its siblings.
std::string hrefFor(size_t i) {
  char buffer[160];
  switch (i % 4) {
    case 0:
      std::snprintf(buffer, sizeof buffer, "../section%02zu/chapter%03zu/page%06zu.html", i % 37, i % 211, i);
      break;
    case 1:
      std::snprintf(buffer, sizeof buffer, "/manual/images/figures/figure-%06zu.png", i);
      break;
    case 2:
      std::snprintf(buffer, sizeof buffer, "topic-%06zu.html#overview", i);
      break;
    default:
      std::snprintf(buffer, sizeof buffer, "http://www.example-docs.org/manual/reference/api/symbol%06zu.html", i);
      break;
  }
  return buffer;
}

const std::vector<std::string>& hrefs(size_t n) {
  static std::vector<std::string> texts;
  while (texts.size() < n) texts.push_back(hrefFor(texts.size()));
  return texts;
}

// Adds n records, fan-out 100: record i hangs below record i / 100.
void buildTree(sg::DownloadController& controller, size_t n, std::vector<sg::LinkRecord*>& records) {
  const std::vector<std::string>& links = hrefs(n);
  records.clear();
  records.reserve(n + 1);
  records.push_back(&controller);
  std::string rewritten;
  for (size_t i = 0; i < n; ++i) {
    sg::LinkRecord* parent = records[i / 100];
    if (parent->addChild(links[i], &rewritten, i % 4 == 1)) {
      records.push_back(parent->child(parent->childCount() - 1));
    }
  }
}

void BM_AddChildNewRecords(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<sg::LinkRecord*> records;
  double bytesPerRecord = 0;
  hrefs(n);
  for (auto _ : state) {
    state.PauseTiming();
    auto controller = makeController();
    malloc_trim(0);
    size_t before = heapInUse();
    state.ResumeTiming();

    buildTree(*controller, n, records);

    state.PauseTiming();
    size_t after = heapInUse();
    bytesPerRecord = static_cast<double>(after - before) / static_cast<double>(records.size() - 1);
    if (records.size() != n + 1) state.SkipWithError("not every link was added");
    controller.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.counters["adds_per_second"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AddChildNewRecords)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddChildKnownUrls(benchmark::State& state) {
  const size_t n = 100000;
  auto controller = makeController();
  std::vector<sg::LinkRecord*> records;
  buildTree(*controller, n, records);
  const std::vector<std::string>& links = hrefs(n);
  std::string rewritten;
  size_t i = 0;
  for (auto _ : state) {
    sg::LinkRecord* parent = records[(i % n) / 100];
    benchmark::DoNotOptimize(parent->addChild(links[i % n], &rewritten, false));
    ++i;
  }
  state.counters["calls_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                          benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AddChildKnownUrls);

}  // namespace

BENCHMARK_MAIN();
