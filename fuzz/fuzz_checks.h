// Checks shared by the fuzz targets: a failed check aborts, which the
// fuzzer reports as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace sg::fuzz {

// Is a "/"-separated local name free of components that climb out of the
// directory it is below?
inline bool staysBelow(std::string_view name) {
  if (!name.empty() && name.front() == '/') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part == "..") return false;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}

}  // namespace sg::fuzz
