// IKeyMintDevice: stub dispatch and proxy.
#include <aidl/android/hardware/security/keymint/BnKeyMintDevice.h>
#include <aidl/android/hardware/security/keymint/BpKeyMintDevice.h>
#include <platform_binder_aidl.h>

#include <algorithm>

namespace aidl::android::hardware::security::keymint {

using platform_binder_aidl::NoReturn;
using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using Bytes = std::vector<uint8_t>;
using Params = std::vector<KeyParameter>;
using OptAttest = std::optional<AttestationKey>;
using OptAuth = std::optional<HardwareAuthToken>;
using OptStamp = std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>;
using Challenge = std::array<uint8_t, 16>;

const char* IKeyMintDevice::descriptor = "android.hardware.security.keymint.IKeyMintDevice";

namespace {

// A byte[16] travels as a byte array that must hold exactly 16 bytes.
bool toChallenge(const Bytes& in, Challenge* out) {
  if (in.size() != out->size()) return false;
  std::copy(in.begin(), in.end(), out->begin());
  return true;
}

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<IKeyMintDevice>(binder);
  switch (code) {
    case IKeyMintDevice::TRANSACTION_getHardwareInfo:
      return serve<KeyMintHardwareInfo>(in, out, [&](KeyMintHardwareInfo* r) { return impl->getHardwareInfo(r); });
    case IKeyMintDevice::TRANSACTION_addRngEntropy:
      return serve<NoReturn, Bytes>(in, out, [&](Bytes& data, NoReturn*) { return impl->addRngEntropy(data); });
    case IKeyMintDevice::TRANSACTION_generateKey:
      return serve<KeyCreationResult, Params, OptAttest>(
          in, out, [&](Params& p, OptAttest& a, KeyCreationResult* r) { return impl->generateKey(p, a, r); });
    case IKeyMintDevice::TRANSACTION_importKey:
      return serve<KeyCreationResult, Params, KeyFormat, Bytes, OptAttest>(
          in, out, [&](Params& p, KeyFormat& f, Bytes& d, OptAttest& a, KeyCreationResult* r) {
            return impl->importKey(p, f, d, a, r);
          });
    case IKeyMintDevice::TRANSACTION_importWrappedKey:
      return serve<KeyCreationResult, Bytes, Bytes, Bytes, Params, int64_t, int64_t>(
          in, out,
          [&](Bytes& wrapped, Bytes& wrapping, Bytes& masking, Params& p, int64_t& pw, int64_t& bio,
              KeyCreationResult* r) { return impl->importWrappedKey(wrapped, wrapping, masking, p, pw, bio, r); });
    case IKeyMintDevice::TRANSACTION_upgradeKey:
      return serve<Bytes, Bytes, Params>(in, out,
                                         [&](Bytes& blob, Params& p, Bytes* r) { return impl->upgradeKey(blob, p, r); });
    case IKeyMintDevice::TRANSACTION_deleteKey:
      return serve<NoReturn, Bytes>(in, out, [&](Bytes& blob, NoReturn*) { return impl->deleteKey(blob); });
    case IKeyMintDevice::TRANSACTION_deleteAllKeys:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->deleteAllKeys(); });
    case IKeyMintDevice::TRANSACTION_destroyAttestationIds:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->destroyAttestationIds(); });
    case IKeyMintDevice::TRANSACTION_begin:
      return serve<BeginResult, KeyPurpose, Bytes, Params, OptAuth>(
          in, out, [&](KeyPurpose& purpose, Bytes& blob, Params& p, OptAuth& auth, BeginResult* r) {
            return impl->begin(purpose, blob, p, auth, r);
          });
    case IKeyMintDevice::TRANSACTION_deviceLocked:
      return serve<NoReturn, bool, OptStamp>(
          in, out, [&](bool& passwordOnly, OptStamp& stamp, NoReturn*) { return impl->deviceLocked(passwordOnly, stamp); });
    case IKeyMintDevice::TRANSACTION_earlyBootEnded:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->earlyBootEnded(); });
    case IKeyMintDevice::TRANSACTION_convertStorageKeyToEphemeral:
      return serve<Bytes, Bytes>(in, out,
                                 [&](Bytes& blob, Bytes* r) { return impl->convertStorageKeyToEphemeral(blob, r); });
    case IKeyMintDevice::TRANSACTION_getKeyCharacteristics:
      return serve<std::vector<KeyCharacteristics>, Bytes, Bytes, Bytes>(
          in, out, [&](Bytes& blob, Bytes& appId, Bytes& appData, std::vector<KeyCharacteristics>* r) {
            return impl->getKeyCharacteristics(blob, appId, appData, r);
          });
    case IKeyMintDevice::TRANSACTION_getRootOfTrustChallenge:
      return serve<Bytes>(in, out, [&](Bytes* r) {
        Challenge challenge{};
        ::ndk::ScopedAStatus status = impl->getRootOfTrustChallenge(&challenge);
        r->assign(challenge.begin(), challenge.end());
        return status;
      });
    case IKeyMintDevice::TRANSACTION_getRootOfTrust:
      return serve<Bytes, Bytes>(in, out, [&](Bytes& raw, Bytes* r) {
        Challenge challenge{};
        if (!toChallenge(raw, &challenge)) return ::ndk::ScopedAStatus::fromStatus(STATUS_BAD_VALUE);
        return impl->getRootOfTrust(challenge, r);
      });
    case IKeyMintDevice::TRANSACTION_sendRootOfTrust:
      return serve<NoReturn, Bytes>(in, out, [&](Bytes& rot, NoReturn*) { return impl->sendRootOfTrust(rot); });
    case IKeyMintDevice::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IKeyMintDevice::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IKeyMintDevice::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IKeyMintDevice> IKeyMintDevice::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<IKeyMintDevice, BpKeyMintDevice>(binder, clazz());
}

::ndk::SpAIBinder BnKeyMintDevice::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnKeyMintDevice::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IKeyMintDevice::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnKeyMintDevice::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IKeyMintDevice::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpKeyMintDevice::BpKeyMintDevice(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}

::ndk::ScopedAStatus BpKeyMintDevice::getHardwareInfo(KeyMintHardwareInfo* r) {
  return remoteCall(asBinder(), TRANSACTION_getHardwareInfo, 0, r);
}
::ndk::ScopedAStatus BpKeyMintDevice::addRngEntropy(const Bytes& data) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_addRngEntropy, 0, &none, data);
}
::ndk::ScopedAStatus BpKeyMintDevice::generateKey(const Params& keyParams, const OptAttest& attestationKey,
                                                  KeyCreationResult* r) {
  return remoteCall(asBinder(), TRANSACTION_generateKey, 0, r, keyParams, attestationKey);
}
::ndk::ScopedAStatus BpKeyMintDevice::importKey(const Params& keyParams, KeyFormat keyFormat, const Bytes& keyData,
                                                const OptAttest& attestationKey, KeyCreationResult* r) {
  return remoteCall(asBinder(), TRANSACTION_importKey, 0, r, keyParams, keyFormat, keyData, attestationKey);
}
::ndk::ScopedAStatus BpKeyMintDevice::importWrappedKey(const Bytes& wrappedKeyData, const Bytes& wrappingKeyBlob,
                                                       const Bytes& maskingKey, const Params& unwrappingParams,
                                                       int64_t passwordSid, int64_t biometricSid,
                                                       KeyCreationResult* r) {
  return remoteCall(asBinder(), TRANSACTION_importWrappedKey, 0, r, wrappedKeyData, wrappingKeyBlob, maskingKey,
                    unwrappingParams, passwordSid, biometricSid);
}
::ndk::ScopedAStatus BpKeyMintDevice::upgradeKey(const Bytes& keyBlobToUpgrade, const Params& upgradeParams, Bytes* r) {
  return remoteCall(asBinder(), TRANSACTION_upgradeKey, 0, r, keyBlobToUpgrade, upgradeParams);
}
::ndk::ScopedAStatus BpKeyMintDevice::deleteKey(const Bytes& keyBlob) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_deleteKey, 0, &none, keyBlob);
}
::ndk::ScopedAStatus BpKeyMintDevice::deleteAllKeys() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_deleteAllKeys, 0, &none);
}
::ndk::ScopedAStatus BpKeyMintDevice::destroyAttestationIds() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_destroyAttestationIds, 0, &none);
}
::ndk::ScopedAStatus BpKeyMintDevice::begin(KeyPurpose purpose, const Bytes& keyBlob, const Params& params,
                                            const OptAuth& authToken, BeginResult* r) {
  return remoteCall(asBinder(), TRANSACTION_begin, 0, r, purpose, keyBlob, params, authToken);
}
::ndk::ScopedAStatus BpKeyMintDevice::deviceLocked(bool passwordOnly, const OptStamp& timestampToken) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_deviceLocked, 0, &none, passwordOnly, timestampToken);
}
::ndk::ScopedAStatus BpKeyMintDevice::earlyBootEnded() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_earlyBootEnded, 0, &none);
}
::ndk::ScopedAStatus BpKeyMintDevice::convertStorageKeyToEphemeral(const Bytes& storageKeyBlob, Bytes* r) {
  return remoteCall(asBinder(), TRANSACTION_convertStorageKeyToEphemeral, 0, r, storageKeyBlob);
}
::ndk::ScopedAStatus BpKeyMintDevice::getKeyCharacteristics(const Bytes& keyBlob, const Bytes& appId,
                                                            const Bytes& appData, std::vector<KeyCharacteristics>* r) {
  return remoteCall(asBinder(), TRANSACTION_getKeyCharacteristics, 0, r, keyBlob, appId, appData);
}
::ndk::ScopedAStatus BpKeyMintDevice::getRootOfTrustChallenge(Challenge* r) {
  Bytes raw;
  ::ndk::ScopedAStatus status = remoteCall(asBinder(), TRANSACTION_getRootOfTrustChallenge, 0, &raw);
  if (status.isOk() && !toChallenge(raw, r)) return ::ndk::ScopedAStatus::fromStatus(STATUS_BAD_VALUE);
  return status;
}
::ndk::ScopedAStatus BpKeyMintDevice::getRootOfTrust(const Challenge& challenge, Bytes* r) {
  return remoteCall(asBinder(), TRANSACTION_getRootOfTrust, 0, r, Bytes(challenge.begin(), challenge.end()));
}
::ndk::ScopedAStatus BpKeyMintDevice::sendRootOfTrust(const Bytes& rootOfTrust) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_sendRootOfTrust, 0, &none, rootOfTrust);
}
::ndk::ScopedAStatus BpKeyMintDevice::getInterfaceVersion(int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, r);
}
::ndk::ScopedAStatus BpKeyMintDevice::getInterfaceHash(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, r);
}

}  // namespace aidl::android::hardware::security::keymint
