// IRemotelyProvisionedComponent: stub dispatch, proxy and the parcel forms of its types.
#include <aidl/android/hardware/security/keymint/BnRemotelyProvisionedComponent.h>
#include <aidl/android/hardware/security/keymint/BpRemotelyProvisionedComponent.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::security::keymint {

using platform_binder_aidl::readAll;
using platform_binder_aidl::readFramed;
using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using platform_binder_aidl::writeAll;
using platform_binder_aidl::writeFramed;
using Bytes = std::vector<uint8_t>;
using Keys = std::vector<MacedPublicKey>;

const char* IRemotelyProvisionedComponent::descriptor = "android.hardware.security.keymint.IRemotelyProvisionedComponent";

binder_status_t RpcHardwareInfo::writeToParcel(AParcel* p) const {
  return writeFramed(p, versionNumber, rpcAuthorName, supportedEekCurve, uniqueId, supportedNumKeysInCsr);
}
binder_status_t RpcHardwareInfo::readFromParcel(const AParcel* p) {
  return readFramed(p, &versionNumber, &rpcAuthorName, &supportedEekCurve, &uniqueId, &supportedNumKeysInCsr);
}
binder_status_t MacedPublicKey::writeToParcel(AParcel* p) const { return writeFramed(p, macedKey); }
binder_status_t MacedPublicKey::readFromParcel(const AParcel* p) { return readFramed(p, &macedKey); }
binder_status_t DeviceInfo::writeToParcel(AParcel* p) const { return writeFramed(p, deviceInfo); }
binder_status_t DeviceInfo::readFromParcel(const AParcel* p) { return readFramed(p, &deviceInfo); }
binder_status_t ProtectedData::writeToParcel(AParcel* p) const { return writeFramed(p, protectedData); }
binder_status_t ProtectedData::readFromParcel(const AParcel* p) { return readFramed(p, &protectedData); }

namespace {

// A reply of several results: the status, then (when it is OK) the return value and the
// out arguments in declaration order.
template <typename... R>
binder_status_t writeReply(AParcel* out, const ::ndk::ScopedAStatus& status, const R&... results) {
  binder_status_t s = AParcel_writeStatusHeader(out, status.get());
  if (s != STATUS_OK || !status.isOk()) return s;
  return writeAll(out, results...);
}

template <typename... R, typename... A>
::ndk::ScopedAStatus callWithResults(const ::ndk::SpAIBinder& binder, uint32_t code, std::tuple<R*...> results,
                                     const A&... args) {
  ::ndk::ScopedAParcel in;
  binder_status_t s = AIBinder_prepareTransaction(binder.get(), in.getR());
  if (s == STATUS_OK) s = writeAll(in.get(), args...);
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  ::ndk::ScopedAParcel out;
  s = AIBinder_transact(binder.get(), code, in.getR(), out.getR(), FLAG_PRIVATE_LOCAL);
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  ::ndk::ScopedAStatus status;
  s = AParcel_readStatusHeader(out.get(), status.getR());
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  if (!status.isOk()) return status;
  s = std::apply([&](auto*... r) { return readAll(out.get(), r...); }, results);
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  return status;
}

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<IRemotelyProvisionedComponent>(binder);
  switch (code) {
    case IRemotelyProvisionedComponent::TRANSACTION_getHardwareInfo:
      return serve<RpcHardwareInfo>(in, out, [&](RpcHardwareInfo* r) { return impl->getHardwareInfo(r); });
    case IRemotelyProvisionedComponent::TRANSACTION_generateEcdsaP256KeyPair: {
      bool testMode = false;
      binder_status_t s = readAll(in, &testMode);
      if (s != STATUS_OK) return s;
      MacedPublicKey key;
      Bytes ret;
      return writeReply(out, impl->generateEcdsaP256KeyPair(testMode, &key, &ret), ret, key);
    }
    case IRemotelyProvisionedComponent::TRANSACTION_generateCertificateRequest: {
      bool testMode = false;
      Keys keys;
      Bytes eek, challenge;
      binder_status_t s = readAll(in, &testMode, &keys, &eek, &challenge);
      if (s != STATUS_OK) return s;
      DeviceInfo info;
      ProtectedData data;
      Bytes ret;
      return writeReply(out, impl->generateCertificateRequest(testMode, keys, eek, challenge, &info, &data, &ret), ret,
                        info, data);
    }
    case IRemotelyProvisionedComponent::TRANSACTION_generateCertificateRequestV2:
      return serve<Bytes, Keys, Bytes>(in, out, [&](Keys& keys, Bytes& challenge, Bytes* r) {
        return impl->generateCertificateRequestV2(keys, challenge, r);
      });
    case IRemotelyProvisionedComponent::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IRemotelyProvisionedComponent::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IRemotelyProvisionedComponent::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IRemotelyProvisionedComponent> IRemotelyProvisionedComponent::fromBinder(
    const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<IRemotelyProvisionedComponent, BpRemotelyProvisionedComponent>(binder,
                                                                                                         clazz());
}

::ndk::SpAIBinder BnRemotelyProvisionedComponent::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnRemotelyProvisionedComponent::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IRemotelyProvisionedComponent::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnRemotelyProvisionedComponent::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IRemotelyProvisionedComponent::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpRemotelyProvisionedComponent::BpRemotelyProvisionedComponent(const ::ndk::SpAIBinder& binder)
    : BpCInterface(binder) {}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::getHardwareInfo(RpcHardwareInfo* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getHardwareInfo, 0, _aidl_return);
}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::generateEcdsaP256KeyPair(bool testMode,
                                                                            MacedPublicKey* macedPublicKey,
                                                                            Bytes* _aidl_return) {
  return callWithResults(asBinder(), TRANSACTION_generateEcdsaP256KeyPair, std::make_tuple(_aidl_return, macedPublicKey),
                         testMode);
}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::generateCertificateRequest(
    bool testMode, const Keys& keysToSign, const Bytes& endpointEncryptionCertChain, const Bytes& challenge,
    DeviceInfo* deviceInfo, ProtectedData* protectedData, Bytes* _aidl_return) {
  return callWithResults(asBinder(), TRANSACTION_generateCertificateRequest,
                         std::make_tuple(_aidl_return, deviceInfo, protectedData), testMode, keysToSign,
                         endpointEncryptionCertChain, challenge);
}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::generateCertificateRequestV2(const Keys& keysToSign,
                                                                                const Bytes& challenge,
                                                                                Bytes* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_generateCertificateRequestV2, 0, _aidl_return, keysToSign, challenge);
}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::getInterfaceVersion(int32_t* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, _aidl_return);
}
::ndk::ScopedAStatus BpRemotelyProvisionedComponent::getInterfaceHash(std::string* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, _aidl_return);
}

}  // namespace aidl::android::hardware::security::keymint
