#include "ui/link_store.h"

#include "engine/link_record.h"
#include "util/string_utils.h"

namespace sg {

LinkSnapshot LinkSnapshot::of(const LinkRecord& record) {
  LinkSnapshot s;
  s.record = &record;
  s.parent = record.isRoot() ? nullptr : record.parent;
  // Shown in single lines: a decoded line feed in a URL must not break the
  // row, nor pass for another entry.
  s.url = blankControls(record.url());
  s.mimeType = record.mimeType;
  s.information = blankControls(record.information);
  s.localFile = record.localFile();
  s.size = record.size;
  s.receivedSize = record.receivedSize;
  s.lastModified = record.lastModified;
  s.status = record.status;
  s.include = record.include;
  return s;
}

void LinkStore::rebuild(const LinkRecord& root) {
  m_nodes.clear();
  m_root = nullptr;
  std::vector<const LinkRecord*> pending{&root};
  while (!pending.empty()) {
    const LinkRecord* record = pending.back();
    pending.pop_back();
    add(LinkSnapshot::of(*record));
    // Reversed so that children come out in their own order.
    for (size_t i = record->childCount(); i-- > 0;) pending.push_back(record->child(i));
  }
}

LinkNode* LinkStore::add(const LinkSnapshot& snapshot) {
  if (LinkNode* known = find(snapshot.record)) {
    known->info = snapshot;
    return known;
  }
  LinkNode* parent = nullptr;
  if (snapshot.parent != nullptr) {
    parent = find(snapshot.parent);
    if (parent == nullptr) return nullptr;
  }
  auto node = std::make_unique<LinkNode>();
  node->info = snapshot;
  node->parent = parent;
  LinkNode* raw = node.get();
  m_nodes.emplace(snapshot.record, std::move(node));
  if (parent == nullptr) {
    m_root = raw;
    raw->inTree = true;
  } else {
    parent->children.push_back(raw);
  }
  return raw;
}

LinkNode* LinkStore::update(const LinkSnapshot& snapshot) {
  LinkNode* node = find(snapshot.record);
  if (node != nullptr) node->info = snapshot;
  return node;
}

LinkNode* LinkStore::find(const LinkRecord* record) const {
  auto it = m_nodes.find(record);
  return it == m_nodes.end() ? nullptr : it->second.get();
}

void LinkStore::setInclude(LinkNode* node, bool value) {
  std::vector<LinkNode*> pending{node};
  while (!pending.empty()) {
    LinkNode* n = pending.back();
    pending.pop_back();
    n->info.include = value;
    for (LinkNode* child : n->children) pending.push_back(child);
  }
}

}  // namespace sg
