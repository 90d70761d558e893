// IKeyMintOperation: stub dispatch and proxy.
#include <aidl/android/hardware/security/keymint/BnKeyMintOperation.h>
#include <aidl/android/hardware/security/keymint/BpKeyMintOperation.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::security::keymint {

using platform_binder_aidl::NoReturn;
using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using Bytes = std::vector<uint8_t>;
using OptBytes = std::optional<Bytes>;
using OptAuth = std::optional<HardwareAuthToken>;
using OptStamp = std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>;

const char* IKeyMintOperation::descriptor = "android.hardware.security.keymint.IKeyMintOperation";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<IKeyMintOperation>(binder);
  switch (code) {
    case IKeyMintOperation::TRANSACTION_updateAad:
      return serve<NoReturn, Bytes, OptAuth, OptStamp>(
          in, out, [&](Bytes& input, OptAuth& auth, OptStamp& stamp, NoReturn*) {
            return impl->updateAad(input, auth, stamp);
          });
    case IKeyMintOperation::TRANSACTION_update:
      return serve<Bytes, Bytes, OptAuth, OptStamp>(
          in, out, [&](Bytes& input, OptAuth& auth, OptStamp& stamp, Bytes* r) {
            return impl->update(input, auth, stamp, r);
          });
    case IKeyMintOperation::TRANSACTION_finish:
      return serve<Bytes, OptBytes, OptBytes, OptAuth, OptStamp, OptBytes>(
          in, out,
          [&](OptBytes& input, OptBytes& signature, OptAuth& auth, OptStamp& stamp, OptBytes& confirmation,
              Bytes* r) { return impl->finish(input, signature, auth, stamp, confirmation, r); });
    case IKeyMintOperation::TRANSACTION_abort:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->abort(); });
    case IKeyMintOperation::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IKeyMintOperation::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IKeyMintOperation::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IKeyMintOperation> IKeyMintOperation::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<IKeyMintOperation, BpKeyMintOperation>(binder, clazz());
}

::ndk::SpAIBinder BnKeyMintOperation::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnKeyMintOperation::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IKeyMintOperation::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnKeyMintOperation::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IKeyMintOperation::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpKeyMintOperation::BpKeyMintOperation(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpKeyMintOperation::updateAad(const Bytes& input, const OptAuth& authToken,
                                                   const OptStamp& timeStampToken) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_updateAad, 0, &none, input, authToken, timeStampToken);
}
::ndk::ScopedAStatus BpKeyMintOperation::update(const Bytes& input, const OptAuth& authToken,
                                                const OptStamp& timeStampToken, Bytes* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_update, 0, _aidl_return, input, authToken, timeStampToken);
}
::ndk::ScopedAStatus BpKeyMintOperation::finish(const OptBytes& input, const OptBytes& signature,
                                                const OptAuth& authToken, const OptStamp& timestampToken,
                                                const OptBytes& confirmationToken, Bytes* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_finish, 0, _aidl_return, input, signature, authToken, timestampToken,
                    confirmationToken);
}
::ndk::ScopedAStatus BpKeyMintOperation::abort() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_abort, 0, &none);
}
::ndk::ScopedAStatus BpKeyMintOperation::getInterfaceVersion(int32_t* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, _aidl_return);
}
::ndk::ScopedAStatus BpKeyMintOperation::getInterfaceHash(std::string* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, _aidl_return);
}

}  // namespace aidl::android::hardware::security::keymint
