// IVibratorCallback: stub dispatch and proxy.
#include <aidl/android/hardware/vibrator/BnVibratorCallback.h>
#include <aidl/android/hardware/vibrator/BpVibratorCallback.h>

#include "marshal.h"

namespace aidl::android::hardware::vibrator {

using vibrator_aidl::NoReturn;
using vibrator_aidl::remoteCall;
using vibrator_aidl::serve;

const char* IVibratorCallback::descriptor = "android.hardware.vibrator.IVibratorCallback";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in,
                           AParcel* out) {
  auto impl = vibrator_aidl::implOf<IVibratorCallback>(binder);
  switch (code) {
    case IVibratorCallback::TRANSACTION_onComplete:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->onComplete(); });
    case IVibratorCallback::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IVibratorCallback::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c =
      ::ndk::ICInterface::defineClass(IVibratorCallback::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IVibratorCallback> IVibratorCallback::fromBinder(const ::ndk::SpAIBinder& binder) {
  return vibrator_aidl::fromBinderOf<IVibratorCallback, BpVibratorCallback>(binder, clazz());
}
binder_status_t IVibratorCallback::writeToParcel(AParcel* parcel,
                                                 const std::shared_ptr<IVibratorCallback>& instance) {
  return ::ndk::AParcel_writeData(parcel, instance);
}
binder_status_t IVibratorCallback::readFromParcel(const AParcel* parcel,
                                                  std::shared_ptr<IVibratorCallback>* instance) {
  return ::ndk::AParcel_readData(parcel, instance);
}

::ndk::SpAIBinder BnVibratorCallback::createBinder() {
  return vibrator_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnVibratorCallback::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IVibratorCallback::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnVibratorCallback::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IVibratorCallback::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpVibratorCallback::BpVibratorCallback(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpVibratorCallback::onComplete() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_onComplete, FLAG_ONEWAY, &none);
}
::ndk::ScopedAStatus BpVibratorCallback::getInterfaceVersion(int32_t* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, _aidl_return);
}
::ndk::ScopedAStatus BpVibratorCallback::getInterfaceHash(std::string* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, _aidl_return);
}

}  // namespace aidl::android::hardware::vibrator
