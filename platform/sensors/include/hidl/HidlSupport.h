#pragma once
// The HIDL value types the sensor interfaces use, on plain standard containers.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace android::hardware {

class hidl_string {
 public:
  hidl_string() = default;
  hidl_string(const char* s) : mValue(s == nullptr ? "" : s) {}
  hidl_string(std::string s) : mValue(std::move(s)) {}
  const char* c_str() const { return mValue.c_str(); }
  size_t size() const { return mValue.size(); }
  bool empty() const { return mValue.empty(); }
  operator std::string() const { return mValue; }
  bool operator==(const hidl_string&) const = default;

 private:
  std::string mValue;
};

template <typename T>
class hidl_vec {
 public:
  hidl_vec() = default;
  hidl_vec(std::vector<T> v) : mValue(std::move(v)) {}
  hidl_vec(std::initializer_list<T> l) : mValue(l) {}
  size_t size() const { return mValue.size(); }
  void resize(size_t n) { mValue.resize(n); }
  T* data() { return mValue.data(); }
  const T* data() const { return mValue.data(); }
  T& operator[](size_t i) { return mValue[i]; }
  const T& operator[](size_t i) const { return mValue[i]; }
  auto begin() { return mValue.begin(); }
  auto end() { return mValue.end(); }
  auto begin() const { return mValue.begin(); }
  auto end() const { return mValue.end(); }
  operator std::vector<T>() const { return mValue; }

 private:
  std::vector<T> mValue;
};

}  // namespace android::hardware
