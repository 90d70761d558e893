// Parcel forms of the KeyMint, secure-clock and shared-secret types.
#include <aidl/android/hardware/security/keymint/AttestationKey.h>
#include <aidl/android/hardware/security/keymint/BeginResult.h>
#include <aidl/android/hardware/security/keymint/Certificate.h>
#include <aidl/android/hardware/security/keymint/HardwareAuthToken.h>
#include <aidl/android/hardware/security/keymint/KeyCharacteristics.h>
#include <aidl/android/hardware/security/keymint/KeyCreationResult.h>
#include <aidl/android/hardware/security/keymint/KeyMintHardwareInfo.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>
#include <aidl/android/hardware/security/secureclock/TimeStampToken.h>
#include <aidl/android/hardware/security/sharedsecret/SharedSecretParameters.h>
#include <platform_binder_aidl.h>

namespace aidl::android::hardware::security::keymint {

using platform_binder_aidl::readFramed;
using platform_binder_aidl::writeFramed;

namespace {

template <size_t I>
binder_status_t readMember(const AParcel* p, KeyParameterValue* v) {
  KeyParameterValue::Type<static_cast<KeyParameterValue::Tag>(I)> member{};
  binder_status_t s = ::ndk::AParcel_readData(p, &member);
  if (s == STATUS_OK) v->set<static_cast<KeyParameterValue::Tag>(I)>(std::move(member));
  return s;
}

template <size_t... I>
binder_status_t readByIndex(const AParcel* p, size_t index, KeyParameterValue* v, std::index_sequence<I...>) {
  binder_status_t s = STATUS_BAD_VALUE;
  static_cast<void>(((index == I && (s = readMember<I>(p, v), true)) || ...));
  return s;
}

template <size_t I>
binder_status_t writeMember(AParcel* p, const KeyParameterValue& v) {
  return ::ndk::AParcel_writeData(p, v.get<static_cast<KeyParameterValue::Tag>(I)>());
}

template <size_t... I>
binder_status_t writeByIndex(AParcel* p, const KeyParameterValue& v, std::index_sequence<I...>) {
  binder_status_t s = STATUS_BAD_VALUE;
  const auto index = static_cast<size_t>(v.getTag());
  static_cast<void>(((index == I && (s = writeMember<I>(p, v), true)) || ...));
  return s;
}

constexpr size_t kMembers = std::variant_size_v<KeyParameterValue::Storage>;

}  // namespace

// A union travels as its member's index, then the member.
binder_status_t KeyParameterValue::writeToParcel(AParcel* p) const {
  binder_status_t s = AParcel_writeInt32(p, static_cast<int32_t>(getTag()));
  return s == STATUS_OK ? writeByIndex(p, *this, std::make_index_sequence<kMembers>{}) : s;
}
binder_status_t KeyParameterValue::readFromParcel(const AParcel* p) {
  int32_t tag = 0;
  binder_status_t s = AParcel_readInt32(p, &tag);
  if (s != STATUS_OK) return s;
  if (tag < 0 || static_cast<size_t>(tag) >= kMembers) return STATUS_BAD_VALUE;
  return readByIndex(p, static_cast<size_t>(tag), this, std::make_index_sequence<kMembers>{});
}

binder_status_t KeyParameter::writeToParcel(AParcel* p) const { return writeFramed(p, tag, value); }
binder_status_t KeyParameter::readFromParcel(const AParcel* p) { return readFramed(p, &tag, &value); }

binder_status_t KeyCharacteristics::writeToParcel(AParcel* p) const {
  return writeFramed(p, securityLevel, authorizations);
}
binder_status_t KeyCharacteristics::readFromParcel(const AParcel* p) {
  return readFramed(p, &securityLevel, &authorizations);
}

binder_status_t Certificate::writeToParcel(AParcel* p) const { return writeFramed(p, encodedCertificate); }
binder_status_t Certificate::readFromParcel(const AParcel* p) { return readFramed(p, &encodedCertificate); }

binder_status_t KeyCreationResult::writeToParcel(AParcel* p) const {
  return writeFramed(p, keyBlob, keyCharacteristics, certificateChain);
}
binder_status_t KeyCreationResult::readFromParcel(const AParcel* p) {
  return readFramed(p, &keyBlob, &keyCharacteristics, &certificateChain);
}

binder_status_t AttestationKey::writeToParcel(AParcel* p) const {
  return writeFramed(p, keyBlob, attestKeyParams, issuerSubjectName);
}
binder_status_t AttestationKey::readFromParcel(const AParcel* p) {
  return readFramed(p, &keyBlob, &attestKeyParams, &issuerSubjectName);
}

binder_status_t HardwareAuthToken::writeToParcel(AParcel* p) const {
  return writeFramed(p, challenge, userId, authenticatorId, authenticatorType, timestamp, mac);
}
binder_status_t HardwareAuthToken::readFromParcel(const AParcel* p) {
  return readFramed(p, &challenge, &userId, &authenticatorId, &authenticatorType, &timestamp, &mac);
}

binder_status_t KeyMintHardwareInfo::writeToParcel(AParcel* p) const {
  return writeFramed(p, versionNumber, securityLevel, keyMintName, keyMintAuthorName, timestampTokenRequired);
}
binder_status_t KeyMintHardwareInfo::readFromParcel(const AParcel* p) {
  return readFramed(p, &versionNumber, &securityLevel, &keyMintName, &keyMintAuthorName, &timestampTokenRequired);
}

binder_status_t BeginResult::writeToParcel(AParcel* p) const { return writeFramed(p, challenge, params, operation); }
binder_status_t BeginResult::readFromParcel(const AParcel* p) { return readFramed(p, &challenge, &params, &operation); }

}  // namespace aidl::android::hardware::security::keymint

namespace aidl::android::hardware::security::secureclock {

binder_status_t Timestamp::writeToParcel(AParcel* p) const {
  return platform_binder_aidl::writeFramed(p, milliSeconds);
}
binder_status_t Timestamp::readFromParcel(const AParcel* p) {
  return platform_binder_aidl::readFramed(p, &milliSeconds);
}
binder_status_t TimeStampToken::writeToParcel(AParcel* p) const {
  return platform_binder_aidl::writeFramed(p, challenge, timestamp, mac);
}
binder_status_t TimeStampToken::readFromParcel(const AParcel* p) {
  return platform_binder_aidl::readFramed(p, &challenge, &timestamp, &mac);
}

}  // namespace aidl::android::hardware::security::secureclock

namespace aidl::android::hardware::security::sharedsecret {

binder_status_t SharedSecretParameters::writeToParcel(AParcel* p) const {
  return platform_binder_aidl::writeFramed(p, seed, nonce);
}
binder_status_t SharedSecretParameters::readFromParcel(const AParcel* p) {
  return platform_binder_aidl::readFramed(p, &seed, &nonce);
}

}  // namespace aidl::android::hardware::security::sharedsecret
