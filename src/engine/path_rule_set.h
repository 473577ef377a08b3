// A tree of path components that answers whether a path lies at or below
// one of the rules added to it. Rules are whole components, not string
// prefixes: "/cgi-bin/" covers "/cgi-bin" and "/cgi-bin/x" but not
// "/cgi-binary". Not thread-safe; the server rule table guards it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sg {

class PathRuleSet {
 public:
  PathRuleSet() = default;
  ~PathRuleSet();
  PathRuleSet(const PathRuleSet&) = delete;
  PathRuleSet& operator=(const PathRuleSet&) = delete;

  // Adds a rule. "*" alone, "" and "/" cover every path.
  void add(std::string_view path);
  bool matches(std::string_view path) const;
  // Appends prefix followed by "/component..." for every terminal node, the
  // node itself first and then its children in key order.
  void list(const std::string& prefix, std::vector<std::string>& out) const;
  bool empty() const { return !m_terminal && m_children.empty(); }

 private:
  std::map<std::string, std::unique_ptr<PathRuleSet>, std::less<>> m_children;
  bool m_terminal = false;
};

}  // namespace sg
