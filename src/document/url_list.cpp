#include "document/url_list.h"

#include "util/url_ops.h"

namespace sg {

bool readUrlList(std::istream& in, std::vector<std::string>& urls) {
  bool readAny = false;
  size_t total = 0;
  std::string line;
  while (std::getline(in, line)) {
    readAny = true;
    total += line.size() + 1;
    if (total > kMaxUrlListBytes) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    HttpUrlParts parts;
    if (!line.empty() && parseHttpUrl(line, parts)) urls.push_back(line);
  }
  return readAny;
}

}  // namespace sg
