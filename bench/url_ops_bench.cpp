// Speed of URL combining: sg::combineUrl resolves the links a page holds
// against the page's URL (libcurl's URL API), percent-decodes the result and
// cuts the fragment. The links are the forms documentation sites use:
// relative, parent-relative, root-relative, absolute, with fragments and
// with escapes. Base is the page URL; the parse of a base is cached per
// thread, so one base for many links is the steady state of the scanner.
//
//   build/bench-release/bench/url_ops_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "util/url_ops.h"

namespace {

constexpr const char* kPageUrl = "http://www.example-docs.org/manual/chapter07/section03/index.html";

std::vector<std::string> makeLinks(size_t n) {
  std::vector<std::string> links;
  links.reserve(n);
  char buffer[200];
  for (size_t i = 0; i < n; ++i) {
    switch (i % 8) {
      case 0: std::snprintf(buffer, sizeof buffer, "topic-%03zu.html", i); break;
      case 1: std::snprintf(buffer, sizeof buffer, "../section%02zu/topic-%03zu.html", i % 17, i); break;
      case 2: std::snprintf(buffer, sizeof buffer, "../../chapter%02zu/", i % 23); break;
      case 3: std::snprintf(buffer, sizeof buffer, "/manual/images/figure-%04zu.png", i); break;
      case 4: std::snprintf(buffer, sizeof buffer, "topic-%03zu.html#part-%zu", i, i % 5); break;
      case 5: std::snprintf(buffer, sizeof buffer, "http://www.example-docs.org/manual/ref/symbol%05zu.html", i); break;
      case 6: std::snprintf(buffer, sizeof buffer, "search.html?q=term%zu&lang=en", i); break;
      default: std::snprintf(buffer, sizeof buffer, "files/Release%%20Notes%%20%zu.html", i); break;
    }
    links.emplace_back(buffer);
  }
  return links;
}

// All the link forms against one page, as the scanner meets them.
void BM_CombineUrlMixed(benchmark::State& state) {
  const std::vector<std::string> links = makeLinks(1024);
  size_t i = 0;
  for (auto _ : state) {
    sg::CombinedUrl combined = sg::combineUrl(kPageUrl, links[i++ & 1023]);
    benchmark::DoNotOptimize(combined.url.data());
  }
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CombineUrlMixed);

// One form at a time, to see what each costs.
void BM_CombineUrlForm(benchmark::State& state) {
  const std::vector<std::string> all = makeLinks(1024);
  std::vector<std::string> links;
  for (size_t i = static_cast<size_t>(state.range(0)); i < all.size(); i += 8) links.push_back(all[i]);
  size_t i = 0;
  for (auto _ : state) {
    sg::CombinedUrl combined = sg::combineUrl(kPageUrl, links[i++ % links.size()]);
    benchmark::DoNotOptimize(combined.url.data());
  }
  static const char* const kNames[] = {"relative",  "parent-relative", "directory", "root-relative",
                                       "fragment",  "absolute",        "query",     "escaped"};
  state.SetLabel(kNames[state.range(0)]);
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CombineUrlForm)->DenseRange(0, 7);

// Every link against a different base: the cached parse of the base does
// not help, as when workers switch pages.
void BM_CombineUrlChangingBase(benchmark::State& state) {
  const std::vector<std::string> links = makeLinks(1024);
  std::vector<std::string> bases;
  for (size_t i = 0; i < 64; ++i) {
    bases.push_back("http://www.example-docs.org/manual/chapter" + std::to_string(i) + "/index.html");
  }
  size_t i = 0;
  for (auto _ : state) {
    sg::CombinedUrl combined = sg::combineUrl(bases[i & 63], links[i & 1023]);
    ++i;
    benchmark::DoNotOptimize(combined.url.data());
  }
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CombineUrlChangingBase);

void BM_ParseHttpUrl(benchmark::State& state) {
  const std::vector<std::string> links = makeLinks(1024);
  std::vector<std::string> urls;
  for (const std::string& link : links) urls.push_back(sg::combineUrl(kPageUrl, link).url);
  size_t i = 0;
  sg::HttpUrlParts parts;
  for (auto _ : state) {
    std::string url = urls[i++ & 1023];
    benchmark::DoNotOptimize(sg::parseHttpUrl(url, parts));
  }
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseHttpUrl);

}  // namespace

BENCHMARK_MAIN();
