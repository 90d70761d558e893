#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/Algorithm.h>
#include <aidl/android/hardware/security/keymint/BlockMode.h>
#include <aidl/android/hardware/security/keymint/Digest.h>
#include <aidl/android/hardware/security/keymint/EcCurve.h>
#include <aidl/android/hardware/security/keymint/HardwareAuthenticatorType.h>
#include <aidl/android/hardware/security/keymint/KeyOrigin.h>
#include <aidl/android/hardware/security/keymint/KeyPurpose.h>
#include <aidl/android/hardware/security/keymint/PaddingMode.h>
#include <aidl/android/hardware/security/keymint/SecurityLevel.h>

namespace aidl::android::hardware::security::keymint {

// The value of a key parameter: one member at a time, selected by its tag (the member's
// index in declaration order).
class KeyParameterValue {
 public:
  enum class Tag : int32_t {
    invalid = 0,
    algorithm,
    blockMode,
    paddingMode,
    digest,
    ecCurve,
    origin,
    keyPurpose,
    hardwareAuthenticatorType,
    securityLevel,
    boolValue,
    integer,
    longInteger,
    dateTime,
    blob,
  };
  static constexpr Tag invalid = Tag::invalid;
  static constexpr Tag algorithm = Tag::algorithm;
  static constexpr Tag blockMode = Tag::blockMode;
  static constexpr Tag paddingMode = Tag::paddingMode;
  static constexpr Tag digest = Tag::digest;
  static constexpr Tag ecCurve = Tag::ecCurve;
  static constexpr Tag origin = Tag::origin;
  static constexpr Tag keyPurpose = Tag::keyPurpose;
  static constexpr Tag hardwareAuthenticatorType = Tag::hardwareAuthenticatorType;
  static constexpr Tag securityLevel = Tag::securityLevel;
  static constexpr Tag boolValue = Tag::boolValue;
  static constexpr Tag integer = Tag::integer;
  static constexpr Tag longInteger = Tag::longInteger;
  static constexpr Tag dateTime = Tag::dateTime;
  static constexpr Tag blob = Tag::blob;

  using Storage = std::variant<int32_t, Algorithm, BlockMode, PaddingMode, Digest, EcCurve, KeyOrigin, KeyPurpose,
                               HardwareAuthenticatorType, SecurityLevel, bool, int32_t, int64_t, int64_t,
                               std::vector<uint8_t>>;
  template <Tag T>
  using Type = std::variant_alternative_t<static_cast<size_t>(T), Storage>;

  KeyParameterValue() : value_(std::in_place_index<0>, 0) {}

  template <Tag T, typename V>
  static KeyParameterValue make(V&& v) {
    KeyParameterValue out;
    out.value_.template emplace<static_cast<size_t>(T)>(std::forward<V>(v));
    return out;
  }
  Tag getTag() const { return static_cast<Tag>(value_.index()); }
  template <Tag T>
  const Type<T>& get() const {
    return std::get<static_cast<size_t>(T)>(value_);
  }
  template <Tag T>
  Type<T>& get() {
    return std::get<static_cast<size_t>(T)>(value_);
  }
  template <Tag T, typename V>
  void set(V&& v) {
    value_.template emplace<static_cast<size_t>(T)>(std::forward<V>(v));
  }

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const KeyParameterValue&) const = default;

 private:
  Storage value_;
};

}  // namespace aidl::android::hardware::security::keymint
