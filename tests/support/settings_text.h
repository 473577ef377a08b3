// Every value of a settings record as name and text, so that a mismatch in
// a comparison names the setting.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "engine/crawl_settings.h"

namespace sg::test {

inline std::vector<std::pair<std::string, std::string>> describe(const CrawlSettings& settings) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const SettingField& field : generalSettingFields()) {
    std::string text = std::visit(
        [&](auto member) -> std::string {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            return "\"" + settings.*member + "\"";
          } else {
            return std::to_string(static_cast<int>(settings.*member));
          }
        },
        field.member);
    out.emplace_back(field.name, text);
  }
  out.emplace_back("(profile field 15)", std::to_string(settings.profileReserved));
  return out;
}

}  // namespace sg::test
