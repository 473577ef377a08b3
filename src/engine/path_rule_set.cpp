#include "engine/path_rule_set.h"

namespace sg {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Splits off the first component: one leading separator is skipped and the
// component runs to the next separator; rest starts at that separator.
std::string_view firstComponent(std::string_view path, std::string_view& rest) {
  if (!path.empty() && isSeparator(path.front())) path.remove_prefix(1);
  size_t end = 0;
  while (end < path.size() && !isSeparator(path[end])) ++end;
  rest = path.substr(end);
  return path.substr(0, end);
}

}  // namespace

PathRuleSet::~PathRuleSet() {
  // Robots files can hold very deep rules; tear them down without recursion.
  std::vector<std::unique_ptr<PathRuleSet>> pending;
  for (auto& [key, child] : m_children) pending.push_back(std::move(child));
  m_children.clear();
  while (!pending.empty()) {
    std::unique_ptr<PathRuleSet> node = std::move(pending.back());
    pending.pop_back();
    for (auto& [key, child] : node->m_children) pending.push_back(std::move(child));
    node->m_children.clear();
  }
}

void PathRuleSet::add(std::string_view path) {
  PathRuleSet* node = this;
  while (true) {
    if (path == "*") {
      node->m_terminal = true;
      return;
    }
    std::string_view rest;
    std::string_view component = firstComponent(path, rest);
    if (component.empty()) {
      node->m_terminal = true;
      return;
    }
    auto it = node->m_children.find(component);
    if (it == node->m_children.end()) {
      it = node->m_children.emplace(std::string(component), std::make_unique<PathRuleSet>()).first;
    }
    node = it->second.get();
    path = rest;
  }
}

bool PathRuleSet::matches(std::string_view path) const {
  const PathRuleSet* node = this;
  while (true) {
    if (node->m_terminal) return true;
    std::string_view rest;
    std::string_view component = firstComponent(path, rest);
    if (component.empty()) return false;
    auto it = node->m_children.find(component);
    if (it == node->m_children.end()) return false;
    node = it->second.get();
    path = rest;
  }
}

void PathRuleSet::list(const std::string& prefix, std::vector<std::string>& out) const {
  struct Step {
    const PathRuleSet* node;
    std::string name;
  };
  std::vector<Step> stack{{this, prefix}};
  while (!stack.empty()) {
    Step step = std::move(stack.back());
    stack.pop_back();
    if (step.node->m_terminal) out.push_back(step.name);
    // Pushed in reverse so that children come out in key order.
    for (auto it = step.node->m_children.rbegin(); it != step.node->m_children.rend(); ++it) {
      stack.push_back({it->second.get(), step.name + "/" + it->first});
    }
  }
}

}  // namespace sg
