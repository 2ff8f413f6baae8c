#include "music/export_tree.h"

namespace lumarex {

int32_t TExportTree::NewNode(uint8_t character, int32_t parent) {
  Node node;
  node.character = character;
  node.parent = parent;
  nodes_.push_back(node);
  return static_cast<int32_t>(nodes_.size() - 1);
}

bool TExportTree::Add(std::string_view name, uintptr_t value) {
  if (name.empty()) return false;
  int32_t level = root_;  // first node of the level being searched
  int32_t last = kNone;   // the node of the previous character
  size_t i = 0;
  for (; i < name.size() && level != kNone; ++i) {
    const auto c = static_cast<uint8_t>(name[i]);
    int32_t n = level;
    while (nodes_[static_cast<size_t>(n)].character < c &&
           nodes_[static_cast<size_t>(n)].next != kNone) {
      n = nodes_[static_cast<size_t>(n)].next;
    }
    if (nodes_[static_cast<size_t>(n)].character == c) {
      last = n;
      level = nodes_[static_cast<size_t>(n)].firstChild;
      continue;
    }
    const int32_t k = NewNode(c, last);
    Node& created = nodes_[static_cast<size_t>(k)];
    Node& at = nodes_[static_cast<size_t>(n)];
    if (at.character < c) {
      // n is the last sibling and smaller: append after it.
      created.previous = n;
      at.next = k;
    } else {
      created.previous = at.previous;
      created.next = n;
      if (at.previous != kNone) {
        nodes_[static_cast<size_t>(at.previous)].next = k;
      } else if (last != kNone) {
        nodes_[static_cast<size_t>(last)].firstChild = k;
      } else {
        root_ = k;
      }
      at.previous = k;
    }
    last = k;
    level = kNone;
    ++i;
    break;
  }
  // Below here the tree is empty: the rest of the name becomes a chain.
  for (; i < name.size(); ++i) {
    const int32_t k = NewNode(static_cast<uint8_t>(name[i]), last);
    if (last == kNone) {
      root_ = k;
    } else {
      nodes_[static_cast<size_t>(last)].firstChild = k;
    }
    last = k;
  }
  Node& end = nodes_[static_cast<size_t>(last)];
  if (end.hasValue) return false;
  end.value = value;
  end.hasValue = true;
  return true;
}

std::optional<uintptr_t> TExportTree::Find(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  int32_t level = root_;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<uint8_t>(name[i]);
    int32_t n = level;
    while (n != kNone && nodes_[static_cast<size_t>(n)].character != c) {
      n = nodes_[static_cast<size_t>(n)].next;
    }
    if (n == kNone) return std::nullopt;
    const Node& node = nodes_[static_cast<size_t>(n)];
    if (i + 1 == name.size()) {
      if (!node.hasValue) return std::nullopt;
      return node.value;
    }
    level = node.firstChild;
  }
  return std::nullopt;
}

}  // namespace lumarex
