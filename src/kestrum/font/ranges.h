// A map from u32 keys to values stored as disjoint runs of keys, so that a range of four
// billion keys costs one entry. Assigning a range replaces what the keys held before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>

namespace kestrum {

template <class T>
class RangeMap {
 public:
  struct Run {
    uint32_t last;
    T value;
  };

  // Sets every key in first..last to `value`; nothing when last < first.
  void assign(uint32_t first, uint32_t last, const T& value) {
    if (last < first) return;
    auto it = runs_.upper_bound(first);
    if (it != runs_.begin()) {
      auto before = std::prev(it);
      if (before->second.last >= first) {
        Run old = before->second;
        if (old.last > last) runs_.emplace(last + 1, old);
        if (before->first < first) {
          before->second.last = first - 1;
        } else {
          runs_.erase(before);
        }
      }
    }
    for (it = runs_.lower_bound(first); it != runs_.end() && it->first <= last;) {
      if (it->second.last > last) {
        Run tail = it->second;
        runs_.erase(it);
        runs_.emplace(last + 1, tail);
        break;
      }
      it = runs_.erase(it);
    }
    runs_.insert_or_assign(first, Run{last, value});
  }

  // The value at `key`, or nullptr.
  const T* find(uint32_t key) const {
    auto it = runs_.upper_bound(key);
    if (it == runs_.begin()) return nullptr;
    --it;
    return key <= it->second.last ? &it->second.value : nullptr;
  }

  bool empty() const { return runs_.empty(); }
  // Number of runs (not of keys).
  size_t runs() const { return runs_.size(); }
  // Runs by first key, in key order.
  const std::map<uint32_t, Run>& items() const { return runs_; }

 private:
  std::map<uint32_t, Run> runs_;  // first key -> last key and value; the runs never overlap
};

}  // namespace kestrum
