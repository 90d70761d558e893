#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>

namespace aidl::vendor::tamrel::hw::touchfeature {

// A client of the touch feature service, told about mode changes it registered for.
class ITouchFeatureCallback : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "734e11ac1aabda7e8d55c6a8d162630186d35915";
  static constexpr uint32_t TRANSACTION_onModeChanged = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777214 + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<ITouchFeatureCallback> fromBinder(const ::ndk::SpAIBinder& binder);
  static binder_status_t writeToParcel(AParcel* parcel, const std::shared_ptr<ITouchFeatureCallback>& instance);
  static binder_status_t readFromParcel(const AParcel* parcel, std::shared_ptr<ITouchFeatureCallback>* instance);

  virtual ::ndk::ScopedAStatus onModeChanged(int32_t in_id, int32_t in_mode, int32_t in_value,
                                             const std::vector<int32_t>& in_values,
                                             const std::vector<std::string>& in_names, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

class BnTouchFeatureCallback : public ::ndk::BnCInterface<ITouchFeatureCallback> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

class BpTouchFeatureCallback : public ::ndk::BpCInterface<ITouchFeatureCallback> {
 public:
  explicit BpTouchFeatureCallback(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus onModeChanged(int32_t in_id, int32_t in_mode, int32_t in_value,
                                     const std::vector<int32_t>& in_values, const std::vector<std::string>& in_names,
                                     int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::vendor::tamrel::hw::touchfeature
