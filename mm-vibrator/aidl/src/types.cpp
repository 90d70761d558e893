// Parcel forms of the vibrator parcelables (stable framing) and the PWLE union.
#include <android/binder_parcel_utils.h>
#include <platform_binder_aidl.h>

#include <aidl/android/hardware/vibrator/ActivePwle.h>
#include <aidl/android/hardware/vibrator/BrakingPwle.h>
#include <aidl/android/hardware/vibrator/CompositeEffect.h>
#include <aidl/android/hardware/vibrator/PrimitivePwle.h>

namespace aidl::android::hardware::vibrator {

using platform_binder_aidl::readFramed;
using platform_binder_aidl::writeFramed;

binder_status_t CompositeEffect::writeToParcel(AParcel* p) const {
  return writeFramed(p, delayMs, primitive, scale);
}
binder_status_t CompositeEffect::readFromParcel(const AParcel* p) {
  return readFramed(p, &delayMs, &primitive, &scale);
}

binder_status_t ActivePwle::writeToParcel(AParcel* p) const {
  return writeFramed(p, startAmplitude, startFrequency, endAmplitude, endFrequency, duration);
}
binder_status_t ActivePwle::readFromParcel(const AParcel* p) {
  return readFramed(p, &startAmplitude, &startFrequency, &endAmplitude, &endFrequency, &duration);
}

binder_status_t BrakingPwle::writeToParcel(AParcel* p) const {
  return writeFramed(p, braking, duration);
}
binder_status_t BrakingPwle::readFromParcel(const AParcel* p) {
  return readFramed(p, &braking, &duration);
}

binder_status_t PrimitivePwle::writeToParcel(AParcel* p) const {
  binder_status_t s = ::ndk::AParcel_writeData(p, static_cast<int32_t>(getTag()));
  if (s != STATUS_OK) return s;
  return getTag() == Tag::active ? ::ndk::AParcel_writeData(p, get<Tag::active>())
                                 : ::ndk::AParcel_writeData(p, get<Tag::braking>());
}
binder_status_t PrimitivePwle::readFromParcel(const AParcel* p) {
  int32_t tag = 0;
  binder_status_t s = ::ndk::AParcel_readData(p, &tag);
  if (s != STATUS_OK) return s;
  switch (static_cast<Tag>(tag)) {
    case Tag::active: {
      ActivePwle v;
      s = ::ndk::AParcel_readData(p, &v);
      if (s == STATUS_OK) set<Tag::active>(std::move(v));
      return s;
    }
    case Tag::braking: {
      BrakingPwle v;
      s = ::ndk::AParcel_readData(p, &v);
      if (s == STATUS_OK) set<Tag::braking>(std::move(v));
      return s;
    }
  }
  return STATUS_BAD_VALUE;  // a tag this version does not know
}

}  // namespace aidl::android::hardware::vibrator
