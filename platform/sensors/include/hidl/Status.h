#pragma once
// The result of a HIDL call: whether the transport worked, and the value when it did.
#include <string>
#include <utility>

namespace android::hardware {

namespace details {
class return_status {
 public:
  return_status() = default;
  explicit return_status(std::string transportError) : mError(std::move(transportError)), mOk(false) {}
  bool isOk() const { return mOk; }
  bool isDeadObject() const { return !mOk; }
  std::string description() const { return mOk ? "OK" : mError; }

 private:
  std::string mError;
  bool mOk = true;
};
}  // namespace details

template <typename T>
class Return : public details::return_status {
 public:
  Return(T value) : mValue(std::move(value)) {}
  static Return<T> transportError(std::string what, T fallback) {
    Return<T> r(std::move(fallback));
    static_cast<details::return_status&>(r) = details::return_status(std::move(what));
    return r;
  }
  operator T() const { return mValue; }
  T withDefault(T def) const { return isOk() ? mValue : def; }

 private:
  T mValue;
};

template <>
class Return<void> : public details::return_status {
 public:
  Return() = default;
};

inline Return<void> Void() { return Return<void>(); }

}  // namespace android::hardware
