// ISharedSecret: stub dispatch and proxy.
#include <aidl/android/hardware/security/sharedsecret/BnSharedSecret.h>
#include <aidl/android/hardware/security/sharedsecret/BpSharedSecret.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::security::sharedsecret {

using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using Bytes = std::vector<uint8_t>;
using ParamsList = std::vector<SharedSecretParameters>;

const char* ISharedSecret::descriptor = "android.hardware.security.sharedsecret.ISharedSecret";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<ISharedSecret>(binder);
  switch (code) {
    case ISharedSecret::TRANSACTION_getSharedSecretParameters:
      return serve<SharedSecretParameters>(
          in, out, [&](SharedSecretParameters* r) { return impl->getSharedSecretParameters(r); });
    case ISharedSecret::TRANSACTION_computeSharedSecret:
      return serve<Bytes, ParamsList>(
          in, out, [&](ParamsList& params, Bytes* r) { return impl->computeSharedSecret(params, r); });
    case ISharedSecret::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case ISharedSecret::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(ISharedSecret::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<ISharedSecret> ISharedSecret::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<ISharedSecret, BpSharedSecret>(binder, clazz());
}

::ndk::SpAIBinder BnSharedSecret::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnSharedSecret::getInterfaceVersion(int32_t* r) {
  *r = ISharedSecret::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnSharedSecret::getInterfaceHash(std::string* r) {
  *r = ISharedSecret::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpSharedSecret::BpSharedSecret(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpSharedSecret::getSharedSecretParameters(SharedSecretParameters* r) {
  return remoteCall(asBinder(), TRANSACTION_getSharedSecretParameters, 0, r);
}
::ndk::ScopedAStatus BpSharedSecret::computeSharedSecret(const ParamsList& params, Bytes* r) {
  return remoteCall(asBinder(), TRANSACTION_computeSharedSecret, 0, r, params);
}
::ndk::ScopedAStatus BpSharedSecret::getInterfaceVersion(int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, r);
}
::ndk::ScopedAStatus BpSharedSecret::getInterfaceHash(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, r);
}

}  // namespace aidl::android::hardware::security::sharedsecret
