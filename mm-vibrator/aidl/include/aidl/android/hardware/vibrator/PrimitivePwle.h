#pragma once
#include <cstdint>
#include <utility>
#include <variant>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/vibrator/ActivePwle.h>
#include <aidl/android/hardware/vibrator/BrakingPwle.h>

namespace aidl::android::hardware::vibrator {

// A union: the tag is the index of the member held.
class PrimitivePwle {
 public:
  static constexpr const char* descriptor = "android.hardware.vibrator.PrimitivePwle";
  enum class Tag : int32_t { active = 0, braking = 1 };
  static constexpr Tag active = Tag::active;
  static constexpr Tag braking = Tag::braking;

  PrimitivePwle() = default;
  PrimitivePwle(ActivePwle value) : mValue(std::move(value)) {}
  PrimitivePwle(BrakingPwle value) : mValue(std::move(value)) {}

  template <Tag tag, typename... Args>
  static PrimitivePwle make(Args&&... args) {
    PrimitivePwle u;
    u.mValue.emplace<static_cast<size_t>(tag)>(std::forward<Args>(args)...);
    return u;
  }
  Tag getTag() const { return static_cast<Tag>(mValue.index()); }
  template <Tag tag>
  const auto& get() const {
    return std::get<static_cast<size_t>(tag)>(mValue);
  }
  template <Tag tag>
  auto& get() {
    return std::get<static_cast<size_t>(tag)>(mValue);
  }
  template <Tag tag, typename... Args>
  void set(Args&&... args) {
    mValue.emplace<static_cast<size_t>(tag)>(std::forward<Args>(args)...);
  }

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const PrimitivePwle&) const = default;

 private:
  std::variant<ActivePwle, BrakingPwle> mValue;
};

}  // namespace aidl::android::hardware::vibrator
