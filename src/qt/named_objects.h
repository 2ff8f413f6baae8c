#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace lumarex::qt {

// A window's widgets or menu actions by the names of the controls they show, in the order
// they were made (tests and the program's own bindings find them by these names).
template <typename T>
class NamedObjects {
 public:
  void Add(const QString& name, T* object) { list_.emplace_back(name, object); }
  void Remove(const QString& name) {
    std::erase_if(list_, [&name](const auto& entry) { return entry.first == name; });
  }
  // Null when no object has that name.
  T* Find(const QString& name) const {
    for (const auto& [n, object] : list_) {
      if (n == name) return object;
    }
    return nullptr;
  }

 private:
  std::vector<std::pair<QString, T*>> list_;
};

}  // namespace lumarex::qt
