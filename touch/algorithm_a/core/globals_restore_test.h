#pragma once
// Keeps copies of module records a test overwrites and puts them back when the test ends,
// so that a test leaves the module as it found it whatever order the tests run in.
#include <cstring>
#include <type_traits>
#include <vector>

namespace fxtest {

class GlobalsRestore {
 public:
  GlobalsRestore() = default;
  GlobalsRestore(const GlobalsRestore&) = delete;
  GlobalsRestore& operator=(const GlobalsRestore&) = delete;
  ~GlobalsRestore() { Restore(); }

  // Remembers RECORD as it is now (a plain record or array of the module).
  template <class T>
  void Keep(T& record) {
    static_assert(std::is_trivially_copyable_v<T>, "only plain records are copied byte for byte");
    Saved s{&record, std::vector<unsigned char>(sizeof(T))};
    memcpy(s.bytes.data(), &record, sizeof(T));
    saved_.push_back(std::move(s));
  }

  // Puts every remembered record back, the last kept first; nothing is kept afterwards.
  void Restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) memcpy(it->at, it->bytes.data(), it->bytes.size());
    saved_.clear();
  }

 private:
  struct Saved {
    void* at;
    std::vector<unsigned char> bytes;
  };
  std::vector<Saved> saved_;
};

}  // namespace fxtest
