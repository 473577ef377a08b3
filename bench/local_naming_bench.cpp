// Speed of local naming: sg::localNameFor turns server, port and object
// into the file name below the save directory, for every link the scanner
// rewrites and every file that is saved.
//
//   build/bench-release/bench/local_naming_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/local_naming.h"

namespace {

std::vector<std::string> makeObjects(size_t n) {
  std::vector<std::string> objects;
  objects.reserve(n);
  char buffer[400];
  for (size_t i = 0; i < n; ++i) {
    switch (i % 6) {
      case 0: std::snprintf(buffer, sizeof buffer, "/manual/chapter%02zu/section%02zu/topic-%03zu.html", i % 23, i % 17, i); break;
      case 1: std::snprintf(buffer, sizeof buffer, "/manual/chapter%02zu/", i % 23); break;
      case 2: std::snprintf(buffer, sizeof buffer, "/images/figures/fig-%04zu.png", i); break;
      case 3: std::snprintf(buffer, sizeof buffer, "/search.php?q=term%zu&page=%zu", i, i % 9); break;
      case 4: std::snprintf(buffer, sizeof buffer, "/docs/../files/./Release Notes %zu.html", i); break;
      default: {
        // A file name longer than a file system allows.
        std::string longName = "/archive/" + std::string(300, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".html";
        objects.push_back(longName);
        continue;
      }
    }
    objects.emplace_back(buffer);
  }
  return objects;
}

void BM_LocalNameFor(benchmark::State& state) {
  const std::vector<std::string> objects = makeObjects(1020);
  const bool createTree = state.range(0) != 0;
  size_t i = 0;
  for (auto _ : state) {
    std::string name = sg::localNameFor("www.example-docs.org", 8080, false, objects[i++ % objects.size()], createTree);
    benchmark::DoNotOptimize(name.data());
  }
  state.SetLabel(createTree ? "Create Tree on" : "Create Tree off");
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LocalNameFor)->Arg(1)->Arg(0);

// The common case alone: a plain page path on the default port.
void BM_LocalNameForPlainPage(benchmark::State& state) {
  for (auto _ : state) {
    std::string name = sg::localNameFor("www.example-docs.org", 80, false,
                                        "/manual/chapter07/section03/topic-042.html", true);
    benchmark::DoNotOptimize(name.data());
  }
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LocalNameForPlainPage);

}  // namespace

BENCHMARK_MAIN();
