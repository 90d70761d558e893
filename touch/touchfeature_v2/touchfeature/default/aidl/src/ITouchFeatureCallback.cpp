// ITouchFeatureCallback: stub dispatch and proxy.
#include <aidl/vendor/tamrel/hw/touchfeature/ITouchFeatureCallback.h>

#include "marshal.h"

namespace aidl::vendor::tamrel::hw::touchfeature {

using vibrator_aidl::remoteCall;
using vibrator_aidl::serve;

const char* ITouchFeatureCallback::descriptor = "vendor.tamrel.hw.touchfeature.ITouchFeatureCallback";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = vibrator_aidl::implOf<ITouchFeatureCallback>(binder);
  switch (code) {
    case ITouchFeatureCallback::TRANSACTION_onModeChanged:
      return serve<int32_t, int32_t, int32_t, int32_t, std::vector<int32_t>, std::vector<std::string>>(
          in, out, [&](int32_t id, int32_t mode, int32_t value, auto& values, auto& names, int32_t* r) {
            return impl->onModeChanged(id, mode, value, values, names, r);
          });
    case ITouchFeatureCallback::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case ITouchFeatureCallback::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(ITouchFeatureCallback::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<ITouchFeatureCallback> ITouchFeatureCallback::fromBinder(const ::ndk::SpAIBinder& binder) {
  return vibrator_aidl::fromBinderOf<ITouchFeatureCallback, BpTouchFeatureCallback>(binder, clazz());
}
binder_status_t ITouchFeatureCallback::writeToParcel(AParcel* parcel,
                                                     const std::shared_ptr<ITouchFeatureCallback>& instance) {
  return ::ndk::AParcel_writeData(parcel, instance);
}
binder_status_t ITouchFeatureCallback::readFromParcel(const AParcel* parcel,
                                                      std::shared_ptr<ITouchFeatureCallback>* instance) {
  return ::ndk::AParcel_readData(parcel, instance);
}

::ndk::SpAIBinder BnTouchFeatureCallback::createBinder() {
  return vibrator_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnTouchFeatureCallback::getInterfaceVersion(int32_t* r) {
  *r = ITouchFeatureCallback::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnTouchFeatureCallback::getInterfaceHash(std::string* r) {
  *r = ITouchFeatureCallback::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpTouchFeatureCallback::BpTouchFeatureCallback(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpTouchFeatureCallback::onModeChanged(int32_t id, int32_t mode, int32_t value,
                                                           const std::vector<int32_t>& values,
                                                           const std::vector<std::string>& names, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_onModeChanged, 0, r, id, mode, value, values, names);
}
::ndk::ScopedAStatus BpTouchFeatureCallback::getInterfaceVersion(int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, r);
}
::ndk::ScopedAStatus BpTouchFeatureCallback::getInterfaceHash(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, r);
}

}  // namespace aidl::vendor::tamrel::hw::touchfeature
