// ISecureClock: stub dispatch and proxy.
#include <aidl/android/hardware/security/secureclock/BnSecureClock.h>
#include <aidl/android/hardware/security/secureclock/BpSecureClock.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::security::secureclock {

using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;

const char* ISecureClock::descriptor = "android.hardware.security.secureclock.ISecureClock";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<ISecureClock>(binder);
  switch (code) {
    case ISecureClock::TRANSACTION_generateTimeStamp:
      return serve<TimeStampToken, int64_t>(
          in, out, [&](int64_t& challenge, TimeStampToken* r) { return impl->generateTimeStamp(challenge, r); });
    case ISecureClock::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case ISecureClock::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(ISecureClock::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<ISecureClock> ISecureClock::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<ISecureClock, BpSecureClock>(binder, clazz());
}

::ndk::SpAIBinder BnSecureClock::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnSecureClock::getInterfaceVersion(int32_t* r) {
  *r = ISecureClock::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnSecureClock::getInterfaceHash(std::string* r) {
  *r = ISecureClock::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpSecureClock::BpSecureClock(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpSecureClock::generateTimeStamp(int64_t challenge, TimeStampToken* r) {
  return remoteCall(asBinder(), TRANSACTION_generateTimeStamp, 0, r, challenge);
}
::ndk::ScopedAStatus BpSecureClock::getInterfaceVersion(int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, r);
}
::ndk::ScopedAStatus BpSecureClock::getInterfaceHash(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, r);
}

}  // namespace aidl::android::hardware::security::secureclock
