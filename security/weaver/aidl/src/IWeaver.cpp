// IWeaver: stub dispatch, proxy and the parcel forms of its types.
#include <aidl/android/hardware/weaver/BnWeaver.h>
#include <aidl/android/hardware/weaver/BpWeaver.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::weaver {

using platform_binder_aidl::NoReturn;
using platform_binder_aidl::readFramed;
using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using platform_binder_aidl::writeFramed;
using Bytes = std::vector<uint8_t>;

const char* IWeaver::descriptor = "android.hardware.weaver.IWeaver";

binder_status_t WeaverConfig::writeToParcel(AParcel* p) const {
  return writeFramed(p, slots, keySize, valueSize);
}
binder_status_t WeaverConfig::readFromParcel(const AParcel* p) {
  return readFramed(p, &slots, &keySize, &valueSize);
}
binder_status_t WeaverReadResponse::writeToParcel(AParcel* p) const {
  return writeFramed(p, timeout, value, status);
}
binder_status_t WeaverReadResponse::readFromParcel(const AParcel* p) {
  return readFramed(p, &timeout, &value, &status);
}

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in,
                           AParcel* out) {
  auto impl = platform_binder_aidl::implOf<IWeaver>(binder);
  switch (code) {
    case IWeaver::TRANSACTION_getConfig:
      return serve<WeaverConfig>(in, out, [&](WeaverConfig* r) { return impl->getConfig(r); });
    case IWeaver::TRANSACTION_read:
      return serve<WeaverReadResponse, int32_t, Bytes>(
          in, out, [&](int32_t slot, Bytes& key, WeaverReadResponse* r) { return impl->read(slot, key, r); });
    case IWeaver::TRANSACTION_write:
      return serve<NoReturn, int32_t, Bytes, Bytes>(
          in, out, [&](int32_t slot, Bytes& key, Bytes& value, NoReturn*) { return impl->write(slot, key, value); });
    case IWeaver::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IWeaver::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IWeaver::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IWeaver> IWeaver::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<IWeaver, BpWeaver>(binder, clazz());
}

::ndk::SpAIBinder BnWeaver::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnWeaver::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IWeaver::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnWeaver::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IWeaver::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpWeaver::BpWeaver(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpWeaver::getConfig(WeaverConfig* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getConfig, 0, _aidl_return);
}
::ndk::ScopedAStatus BpWeaver::read(int32_t slotId, const Bytes& key, WeaverReadResponse* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_read, 0, _aidl_return, slotId, key);
}
::ndk::ScopedAStatus BpWeaver::write(int32_t slotId, const Bytes& key, const Bytes& value) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_write, 0, &none, slotId, key, value);
}
::ndk::ScopedAStatus BpWeaver::getInterfaceVersion(int32_t* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, _aidl_return);
}
::ndk::ScopedAStatus BpWeaver::getInterfaceHash(std::string* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, _aidl_return);
}

}  // namespace aidl::android::hardware::weaver
