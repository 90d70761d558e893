#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>

#include <aidl/vendor/tamrel/hw/touchfeature/ITouchFeatureCallback.h>

namespace aidl::vendor::tamrel::hw::touchfeature {

// The vendor touch feature interface: touch modes by number, the touch-event text, white
// lists, package-level settings and client callbacks.
class ITouchFeature : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "734e11ac1aabda7e8d55c6a8d162630186d35915";

  enum : uint32_t {
    TRANSACTION_getModeCurValue = FIRST_CALL_TRANSACTION + 0,
    TRANSACTION_getModeDefaultValue,
    TRANSACTION_getModeMaxValue,
    TRANSACTION_getModeMinValue,
    TRANSACTION_getModeValue,
    TRANSACTION_getTouchEvent,
    TRANSACTION_modeReset,
    TRANSACTION_setModeLongValue,
    TRANSACTION_setModeValue,
    TRANSACTION_getModeCurValueString,
    TRANSACTION_getModeWhiteList,
    TRANSACTION_registerCallback,
    TRANSACTION_unregisterCallback,
    TRANSACTION_setModePackageName,
    TRANSACTION_getInterfaceVersion = 16777214 + 1,
    TRANSACTION_getInterfaceHash = 16777214
  };

  static std::shared_ptr<ITouchFeature> fromBinder(const ::ndk::SpAIBinder& binder);
  static binder_status_t writeToParcel(AParcel* parcel, const std::shared_ptr<ITouchFeature>& instance);
  static binder_status_t readFromParcel(const AParcel* parcel, std::shared_ptr<ITouchFeature>* instance);

  virtual ::ndk::ScopedAStatus getModeCurValue(int32_t id, int32_t mode, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getModeDefaultValue(int32_t id, int32_t mode, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getModeMaxValue(int32_t id, int32_t mode, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getModeMinValue(int32_t id, int32_t mode, int32_t* _aidl_return) = 0;
  // Appends the mode's four values to *values.
  virtual ::ndk::ScopedAStatus getModeValue(int32_t id, int32_t mode, std::vector<int32_t>* values) = 0;
  virtual ::ndk::ScopedAStatus getTouchEvent(std::string* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus modeReset(int32_t id, int32_t mode, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus setModeLongValue(int32_t id, int32_t mode, int32_t count,
                                                const std::vector<int32_t>& values, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus setModeValue(int32_t id, int32_t mode, int32_t value, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getModeCurValueString(int32_t id, int32_t mode, std::string* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getModeWhiteList(int32_t id, const std::vector<int32_t>& modes,
                                                std::string* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus registerCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                                const std::string& name, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus unregisterCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                                  const std::string& name, int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus setModePackageName(int32_t id, int32_t mode, const std::string& text,
                                                  std::string* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

class BnTouchFeature : public ::ndk::BnCInterface<ITouchFeature> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

class BpTouchFeature : public ::ndk::BpCInterface<ITouchFeature> {
 public:
  explicit BpTouchFeature(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus getModeCurValue(int32_t id, int32_t mode, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getModeDefaultValue(int32_t id, int32_t mode, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getModeMaxValue(int32_t id, int32_t mode, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getModeMinValue(int32_t id, int32_t mode, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getModeValue(int32_t id, int32_t mode, std::vector<int32_t>* values) override;
  ::ndk::ScopedAStatus getTouchEvent(std::string* _aidl_return) override;
  ::ndk::ScopedAStatus modeReset(int32_t id, int32_t mode, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus setModeLongValue(int32_t id, int32_t mode, int32_t count, const std::vector<int32_t>& values,
                                        int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus setModeValue(int32_t id, int32_t mode, int32_t value, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getModeCurValueString(int32_t id, int32_t mode, std::string* _aidl_return) override;
  ::ndk::ScopedAStatus getModeWhiteList(int32_t id, const std::vector<int32_t>& modes,
                                        std::string* _aidl_return) override;
  ::ndk::ScopedAStatus registerCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                        const std::string& name, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus unregisterCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                          const std::string& name, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus setModePackageName(int32_t id, int32_t mode, const std::string& text,
                                          std::string* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::vendor::tamrel::hw::touchfeature
