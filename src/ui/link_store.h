// What the desktop views know of the links of a download: a copy of each
// record's shown fields, taken on the worker thread that owns the record
// when the engine announces a change, and applied on the GUI thread. The
// views never read live link records while workers run.
//
// Not thread-safe: GUI thread only (the snapshots are made elsewhere).
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/link_status.h"
#include "util/clock.h"

namespace sg {

class LinkRecord;

// The fields the views show, copied from a record.
struct LinkSnapshot {
  const LinkRecord* record = nullptr;
  const LinkRecord* parent = nullptr;
  std::string url;
  std::string mimeType;
  std::string information;
  std::string localFile;
  uint64_t size = 0;
  uint64_t receivedSize = 0;
  FileTime lastModified = 0;
  LinkStatus status = LinkStatus::Pending;
  bool include = true;

  // Copies the record; call only where the record may be read (on the
  // worker that holds it, or while no download runs).
  static LinkSnapshot of(const LinkRecord& record);
};

struct LinkNode {
  LinkSnapshot info;
  LinkNode* parent = nullptr;
  std::vector<LinkNode*> children;     // in the order they were found
  std::vector<LinkNode*> treeChildren;  // children that have children, in the order they got one
  bool inTree = false;                  // shown in the link tree
  int treeRow = 0;                      // its row below its parent in the tree
};

class LinkStore {
 public:
  // Forgets everything and takes the tree below root as it stands (only
  // while no download runs).
  void rebuild(const LinkRecord& root);
  // A record joined the tree. Returns the new node (null if its parent is
  // unknown).
  LinkNode* add(const LinkSnapshot& snapshot);
  // A record changed; returns its node, or null when unknown.
  LinkNode* update(const LinkSnapshot& snapshot);
  LinkNode* find(const LinkRecord* record) const;
  LinkNode* root() const { return m_root; }
  size_t size() const { return m_nodes.size(); }
  // Sets the include flag of a node and every node below it.
  void setInclude(LinkNode* node, bool value);

 private:
  std::unordered_map<const LinkRecord*, std::unique_ptr<LinkNode>> m_nodes;
  LinkNode* m_root = nullptr;
};

}  // namespace sg
