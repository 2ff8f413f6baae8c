#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace lumarex {

// A character tree of exported names. Each node holds one character and links to its parent,
// its first child and its previous and next sibling; siblings stand in ascending order of
// their characters. Nodes live in one array and link by index, so the whole tree goes in one
// release.
class TExportTree {
 public:
  // Adds name -> value. An empty name adds nothing; a name already present keeps its first
  // value. True when the value was stored.
  bool Add(std::string_view name, uintptr_t value);
  std::optional<uintptr_t> Find(std::string_view name) const;

  size_t NodeCount() const { return nodes_.size(); }

 private:
  static constexpr int32_t kNone = -1;
  struct Node {
    uint8_t character = 0;
    uintptr_t value = 0;
    bool hasValue = false;
    int32_t parent = kNone;
    int32_t firstChild = kNone;
    int32_t previous = kNone;
    int32_t next = kNone;
  };

  int32_t NewNode(uint8_t character, int32_t parent);

  std::vector<Node> nodes_;
  int32_t root_ = kNone;
};

}  // namespace lumarex
